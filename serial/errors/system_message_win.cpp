// The system's text for an error number: FormatMessageW, in the ANSI code page.
#include <windows.h>

#include <string>

#include "platform/text.h"
#include "serial/errors/error_messages.h"

std::string SystemErrorMessage(uint32_t Number) {
    wchar_t buffer[1024];
    DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               Number, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    while (len > 0 &&
           (buffer[len - 1] == L'\r' || buffer[len - 1] == L'\n' || buffer[len - 1] == L' '))
        --len;
    if (len == 0) return "System error " + std::to_string(Number) + ".";
    return platform::WideToAnsi(std::wstring(buffer, len));
}
