// Number formats of the settings file and the setting fields, and the typed INI reads and writes
// on top of the string access of settings_file_win.cpp / settings_file_host.cpp.
#include "app/settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "app/device_address.h"
#include "platform/text.h"

SettingsWriteError::SettingsWriteError(const std::wstring& path)
    : std::runtime_error(platform::WideToAnsi(path) + " cannot be written"),
      message_(path + L" に書き込めません") {}

namespace {
std::wstring_view TrimSpaces(std::wstring_view text) {
    while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == L' ') text.remove_suffix(1);
    return text;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
}  // namespace

std::optional<int32_t> ParseDecimalInteger(std::wstring_view text) {
    text = TrimSpaces(text);
    bool negative = false;
    if (!text.empty() && (text.front() == L'+' || text.front() == L'-')) {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (wchar_t c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseIniInteger(std::wstring_view text) {
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        return ParseHex(text.substr(2));
    }
    return ParseDecimalInteger(text);
}

namespace {
// The largest doubles, written with 15 significant digits, round to 1.79769313486232E308, just
// past the largest double: such a value reads as the largest double of its sign. Anything
// further out stays out of range.
std::optional<double> LargestWritten(const std::string& ascii) {
    static_assert(std::numeric_limits<long double>::max_exponent >
                  std::numeric_limits<double>::max_exponent);
    // strtold rather than from_chars: the Windows runtime's from_chars for long double does not
    // read such values. The text is plain ASCII with a '.' separator, as the C locale reads it.
    char* end = nullptr;
    const long double wide = std::strtold(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size()) return std::nullopt;
    const double max = std::numeric_limits<double>::max();
    if (std::fabs(wide) <= 1.79769313486232e308L && std::fabs(wide) > max) {
        return wide < 0 ? -max : max;
    }
    return std::nullopt;
}
}  // namespace

std::optional<double> ParseDecimal(std::wstring_view text, wchar_t separator) {
    text = TrimSpaces(text);
    std::string ascii;
    size_t i = 0;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        if (text[i] == L'-') ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ascii += static_cast<char>(text[i++]);
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == separator) {
        ascii += '.';
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ascii += static_cast<char>(text[i++]);
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        ascii += 'e';
        ++i;
        if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
            ascii += static_cast<char>(text[i++]);
        }
        int exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            ascii += static_cast<char>(text[i++]);
            ++exponentDigits;
        }
        if (exponentDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec == std::errc::result_out_of_range) return LargestWritten(ascii);
    if (ec != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
    return value;
}

namespace {
std::wstring Localise(std::string_view ascii, wchar_t separator) {
    std::wstring out;
    for (char c : ascii) out += c == '.' ? separator : static_cast<wchar_t>(c);
    return out;
}
}  // namespace

std::wstring FormatGeneral(double value, wchar_t separator) {
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc()) return L"0";
    std::string text(buffer, end);
    // The exponent as the settings file has always had it: "1E20", "1.5E-7".
    if (size_t e = text.find('e'); e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.erase(0, 1);
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        text = mantissa + "E" + (negative ? "-" : "") + exponent;
    }
    return Localise(text, separator);
}

std::wstring FormatFixed4(double value, wchar_t separator) {
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    if (ec != std::errc()) return L"0" + std::wstring(1, separator) + L"0000";
    return Localise(std::string_view(buffer, static_cast<size_t>(end - buffer)), separator);
}

bool IsAutoScaleText(std::wstring_view text) {
    while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == L' ') text.remove_suffix(1);
    if (text.size() != kAutoScaleText.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i] >= L'A' && text[i] <= L'Z' ? text[i] - L'A' + L'a' : text[i];
        if (c != kAutoScaleText[i]) return false;
    }
    return true;
}

std::optional<std::wstring> CaptureGeometryProblem(const CaptureSettings& s, wchar_t separator) {
    const std::wstring scale = FormatFixed4(s.Scale, separator);
    if (!std::isfinite(s.Scale)) return L"全体の尺度 " + scale + L" is not a finite number.";
    const long double width = static_cast<long double>(s.captW) * s.Scale;
    const long double height = static_cast<long double>(s.captH) * s.Scale;
    const struct {
        const wchar_t* caption;
        int32_t value;
        long double scaled;
    } values[] = {
        {L"CaptW", s.captW, width},
        {L"CaptH", s.captH, height},
        {L"CaptL", s.captL, static_cast<long double>(s.captL) * s.Scale},
        {L"PickX", s.pickXOff, static_cast<long double>(s.pickXOff) * s.Scale},
        {L"PickY", s.pickYOff, static_cast<long double>(s.pickYOff) * s.Scale},
    };
    const std::wstring side = std::to_wstring(kLargestScreenSide);
    for (const auto& v : values) {
        if (std::fabs(v.scaled) <= kLargestScreenSide) continue;
        return std::wstring(v.caption) + L" " + std::to_wstring(v.value) + L" at scale " + scale +
               L" is " + FormatGeneral(static_cast<double>(v.scaled), separator) +
               L" pixels; no screen is larger than " + side + L".";
    }
    if (width > 0 && height > 0 && width * height > kLargestScreenArea) {
        return L"CaptW " + std::to_wstring(s.captW) + L" by CaptH " + std::to_wstring(s.captH) +
               L" at scale " + scale + L" is more than a screen of 7680 x 4320 pixels holds.";
    }
    return std::nullopt;
}

std::wstring WithIniExtension(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
        return path.substr(0, dot) + L".ini";
    }
    return path + L".ini";
}

int32_t IniFile::ReadInteger(const std::wstring& section, const std::wstring& key,
                             int32_t def) const {
    std::optional<std::wstring> text = ReadString(section, key);
    if (!text) return def;
    return ParseIniInteger(*text).value_or(def);
}

void IniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int32_t value) {
    WriteString(section, key, std::to_wstring(value));
}

double IniFile::ReadFloat(const std::wstring& section, const std::wstring& key, double def,
                          wchar_t separator) const {
    std::optional<std::wstring> text = ReadString(section, key);
    if (!text) return def;
    return ParseDecimal(*text, separator).value_or(def);
}

void IniFile::WriteFloat(const std::wstring& section, const std::wstring& key, double value,
                         wchar_t separator) {
    WriteString(section, key, FormatGeneral(value, separator));
}
