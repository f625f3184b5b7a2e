// Conversions between 8-bit text (serial data, trace, log) and the UTF-16 text of the user
// interface and the settings file. Windows uses the ANSI code page; the host treats 8-bit text
// as Latin-1 so that every byte survives a round trip.
#pragma once
#include <string>

namespace platform {

std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);

}  // namespace platform
