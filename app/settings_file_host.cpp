// The host's INI access, with the rules of the Windows profile API that the settings file relies
// on: names match without regard to case, the first matching section and key win, spaces around
// keys and values and one pair of enclosing quotes are dropped, a write keeps every other line
// and creates the section or the file when missing. Files are UTF-8 with CR LF line ends.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"

namespace {

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The code point of the UTF-8 sequence at text[i] and its length; nothing when the bytes there
// are not one well-formed sequence (a stray or missing continuation byte, an overlong form, a
// surrogate, a value past U+10FFFF).
std::optional<std::pair<uint32_t, size_t>> Utf8SequenceAt(const std::string& text, size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t extra = c >= 0xF8 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= text.size()) return std::nullopt;
    uint32_t code = c & (0x3F >> extra);
    for (size_t j = 1; j <= extra; ++j) {
        auto next = static_cast<unsigned char>(text[i + j]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair{code, extra + 1};
}

// UTF-8 text; a byte that does not begin a well-formed sequence stands for itself (the character
// of the same number, as a single-byte code page such as Latin-1 has it), so a file saved in such a
// code page loses no line end and no line after it.
std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (auto sequence = Utf8SequenceAt(text, i)) {
            out += static_cast<wchar_t>(sequence->first);
            i += sequence->second;
        } else {
            out += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
            ++i;
        }
    }
    return out;
}

std::wstring Trim(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return {};
    size_t e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return true;
}

// The section a line opens, if it opens one.
std::optional<std::wstring> SectionOf(const std::wstring& line) {
    std::wstring t = Trim(line);
    if (t.empty() || t[0] != L'[') return std::nullopt;
    size_t close = t.find(L']');
    return Trim(t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
}

// The key of a line inside a section; comment and blank lines have none.
std::optional<std::wstring> KeyOf(const std::wstring& line) {
    std::wstring t = Trim(line);
    if (t.empty() || t[0] == L';') return std::nullopt;
    return Trim(t.substr(0, t.find(L'=')));
}

std::wstring ValueOf(const std::wstring& line) {
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) return {};
    std::wstring v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

std::vector<std::wstring> LoadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    FILE* f = std::fopen(ToUtf8(path).c_str(), "rb");
    if (!f) return lines;
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    std::wstring text = FromUtf8(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return lines;
}

// Index of the first line of the first section with this name, or npos.
size_t FindSection(const std::vector<std::wstring>& lines, const std::wstring& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto s = SectionOf(lines[i]); s && SameName(*s, section)) return i;
    }
    return std::wstring::npos;
}

}  // namespace

std::optional<std::wstring> IniFile::ReadString(const std::wstring& section,
                                                const std::wstring& key) const {
    std::vector<std::wstring> lines = LoadLines(path_);
    size_t s = FindSection(lines, section);
    if (s == std::wstring::npos) return std::nullopt;
    for (size_t i = s + 1; i < lines.size() && !SectionOf(lines[i]); ++i) {
        if (auto k = KeyOf(lines[i]); k && SameName(*k, key)) return ValueOf(lines[i]);
    }
    return std::nullopt;
}

void IniFile::WriteString(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value) {
    std::vector<std::wstring> lines = LoadLines(path_);
    size_t s = FindSection(lines, section);
    if (s == std::wstring::npos) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back(L"[" + section + L"]");
        lines.push_back(key + L"=" + value);
    } else {
        size_t lastFilled = s;
        bool replaced = false;
        for (size_t i = s + 1; i < lines.size() && !SectionOf(lines[i]); ++i) {
            if (auto k = KeyOf(lines[i]); k && SameName(*k, key)) {
                lines[i] = *k + L"=" + value;
                replaced = true;
                break;
            }
            if (!Trim(lines[i]).empty()) lastFilled = i;
        }
        if (!replaced) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastFilled) + 1,
                         key + L"=" + value);
        }
    }
    std::string bytes;
    for (const std::wstring& line : lines) bytes += ToUtf8(line) + "\r\n";
    FILE* f = std::fopen(ToUtf8(path_).c_str(), "wb");
    if (!f) throw SettingsWriteError(path_);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw SettingsWriteError(path_);
}

wchar_t LocaleDecimalSeparator() {
    const char* point = std::localeconv()->decimal_point;
    return point && point[0] ? static_cast<wchar_t>(static_cast<unsigned char>(point[0])) : L'.';
}

std::wstring ExecutableSettingsPath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "pelkan";
    return WithIniExtension(FromUtf8(path));
}
