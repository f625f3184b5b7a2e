// ANSI code page conversions.
#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

#ifdef _WIN32
std::wstring AnsiToWide(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}
std::string WideToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}
#else
std::wstring AnsiToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text) out.push_back(static_cast<wchar_t>(c));
    return out;
}
std::string WideToAnsi(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out.push_back(c < 256 ? static_cast<char>(c) : '?');
    return out;
}
#endif

}  // namespace platform
