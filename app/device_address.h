// Device numbers and their texts: octal for FX controllers, hexadecimal otherwise. A device text
// is the device letter followed by the number, such as X000 or Y1F.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// base multiplied by itself exponent times; 1 when the exponent is 0 or less. Wraps at 32 bits.
int32_t IntPower(int32_t base, int32_t exponent);
// The text as an octal number; the empty text is 0; any character other than 0 to 7 gives def.
int32_t OctToInt(std::wstring_view text, int32_t def);
// Octal digits with "0" in front up to minWidth characters (negative values as 32-bit unsigned).
std::wstring IntToOct(int32_t value, int32_t minWidth);
// The text as a hexadecimal number (either case); the empty text, any other character, or a
// value beyond 32 bits gives def. Eight digits read as a 32-bit pattern (FFFFFFFF is -1).
int32_t HexToInt(std::wstring_view text, int32_t def);
// The same, with nothing for a text that does not parse.
std::optional<int32_t> ParseHex(std::wstring_view text);
// Upper-case hexadecimal with leading zeros up to minWidth (negative values as 32-bit unsigned).
std::wstring IntToHex(int32_t value, int32_t minWidth);

// The number of a device text (from its 2nd character) in the base of the mode.
int32_t DeviceNumber(std::wstring_view deviceText, bool fxMode, int32_t def);
// The number in the base of the mode with at least minWidth digits.
std::wstring DeviceNumberText(int32_t value, bool fxMode, int32_t minWidth);
// The first character of a device text (empty for an empty text).
std::wstring DeviceLetter(std::wstring_view deviceText);
// Whether two device texts start with the same device letter, ASCII letters in either case.
bool SameDeviceLetter(std::wstring_view a, std::wstring_view b);

// The largest device number a monitor shows: 6 hexadecimal or 8 octal digits, beyond the bit
// devices of every controller the monitor serves. A first device past it leaves the grid's rows
// nameless (their numbers would not fit), and a target past it names no cell.
constexpr int32_t kLastDeviceNumber = 0xFFFFFF;
// The longest number text of a device name: the 8 octal digits of kLastDeviceNumber, or 6
// hexadecimal ones with two leading zeros.
constexpr size_t kLongestDeviceNumber = 8;

// The number of a device text as DeviceNumber reads it (def when it does not parse), or nothing
// when the text names a device past what a monitor shows: a number text longer than the longest,
// which is refused before any digit is read, or a value past kLastDeviceNumber.
std::optional<int32_t> DeviceNumberInView(std::wstring_view deviceText, bool fxMode, int32_t def);

// The number of sampled devices: 80 in FX mode (10 rows of 8), 160 otherwise.
int32_t SampledDeviceCount(bool fxMode);
// The BitStates entry of the device at offset d from the first device, or -1 when d lies
// outside the sampled devices.
int32_t BitStateIndex(int32_t offset, bool fxMode);
