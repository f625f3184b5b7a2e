// The settings file through the Windows profile API, the user's decimal separator and the
// executable's path.
#include <windows.h>

#include <vector>

#include "app/settings.h"

std::optional<std::wstring> IniFile::ReadString(const std::wstring& section,
                                                const std::wstring& key) const {
    // A default that no value in the file can be tells "missing" from "empty".
    static constexpr wchar_t kMissing[] = L"\x1F\x1Fmissing\x1F\x1F";
    std::vector<wchar_t> buffer(2048);
    for (;;) {
        DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), kMissing, buffer.data(),
                                           static_cast<DWORD>(buffer.size()), path_.c_str());
        if (n + 1 < buffer.size() || buffer.size() >= 1 << 20) {
            std::wstring value(buffer.data(), n);
            if (value == kMissing) return std::nullopt;
            return value;
        }
        buffer.resize(buffer.size() * 4);
    }
}

void IniFile::WriteString(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value) {
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path_.c_str())) {
        throw SettingsWriteError(path_);
    }
}

wchar_t LocaleDecimalSeparator() {
    wchar_t buffer[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 1) return buffer[0];
    return L'.';
}

std::wstring ExecutableSettingsPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return L"pelkan.ini";
        if (n < buffer.size()) return WithIniExtension(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}
