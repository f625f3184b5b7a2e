// Conversions between device numbers and their octal or hexadecimal texts.
#include "app/device_address.h"

namespace {
// Arithmetic wraps at 32 bits, as the device fields are 32-bit values that a user may overfill.
int32_t Wrap(uint32_t value) { return static_cast<int32_t>(value); }
}  // namespace

int32_t IntPower(int32_t base, int32_t exponent) {
    uint32_t result = 1;
    for (int32_t i = 0; i < exponent; ++i) result *= static_cast<uint32_t>(base);
    return Wrap(result);
}

int32_t OctToInt(std::wstring_view text, int32_t def) {
    // One pass, most significant digit first: the same sum of digit times its power of 8 (both
    // wrap at 32 bits), without raising 8 to a power for every digit, which made long texts cost
    // the square of their length.
    uint32_t result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'7') return def;
        result = result * 8 + static_cast<uint32_t>(c - L'0');
    }
    return Wrap(result);
}

namespace {
std::wstring Digits(uint32_t value, uint32_t base, int32_t minWidth) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring out;
    do {
        out.insert(out.begin(), kDigits[value % base]);
        value /= base;
    } while (value != 0);
    if (minWidth > 0 && out.size() < static_cast<size_t>(minWidth)) {
        out.insert(0, static_cast<size_t>(minWidth) - out.size(), L'0');
    }
    return out;
}
}  // namespace

std::wstring IntToOct(int32_t value, int32_t minWidth) {
    return Digits(static_cast<uint32_t>(value), 8, minWidth);
}

int32_t HexToInt(std::wstring_view text, int32_t def) { return ParseHex(text).value_or(def); }

std::optional<int32_t> ParseHex(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t result = 0;
    for (wchar_t c : text) {
        uint32_t digit;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<uint32_t>(c - L'0');
        } else if (c >= L'A' && c <= L'F') {
            digit = static_cast<uint32_t>(c - L'A' + 10);
        } else if (c >= L'a' && c <= L'f') {
            digit = static_cast<uint32_t>(c - L'a' + 10);
        } else {
            return std::nullopt;
        }
        result = result * 16 + digit;
        if (result > 0xFFFFFFFFu) return std::nullopt;
    }
    return Wrap(static_cast<uint32_t>(result));
}

std::wstring IntToHex(int32_t value, int32_t minWidth) {
    return Digits(static_cast<uint32_t>(value), 16, minWidth);
}

int32_t DeviceNumber(std::wstring_view deviceText, bool fxMode, int32_t def) {
    std::wstring_view number = deviceText.empty() ? deviceText : deviceText.substr(1);
    return fxMode ? OctToInt(number, def) : HexToInt(number, def);
}

std::wstring DeviceNumberText(int32_t value, bool fxMode, int32_t minWidth) {
    return fxMode ? IntToOct(value, minWidth) : IntToHex(value, minWidth);
}

bool SameDeviceLetter(std::wstring_view a, std::wstring_view b) {
    if (a.empty() || b.empty()) return false;
    auto upper = [](wchar_t ch) { return ch >= L'a' && ch <= L'z' ? ch - L'a' + L'A' : ch; };
    return upper(a[0]) == upper(b[0]);
}

std::wstring DeviceLetter(std::wstring_view deviceText) {
    return std::wstring(deviceText.substr(0, 1));
}

std::optional<int32_t> DeviceNumberInView(std::wstring_view deviceText, bool fxMode, int32_t def) {
    std::wstring_view number = deviceText.empty() ? deviceText : deviceText.substr(1);
    if (number.size() > kLongestDeviceNumber) return std::nullopt;
    const std::optional<int32_t> value =
        fxMode ? (number.find_first_not_of(L"01234567") == std::wstring_view::npos
                      ? std::optional<int32_t>(OctToInt(number, 0))
                      : std::nullopt)
               : ParseHex(number);
    if (!value) return def;
    if (static_cast<uint32_t>(*value) > static_cast<uint32_t>(kLastDeviceNumber))
        return std::nullopt;
    return *value;
}

int32_t SampledDeviceCount(bool fxMode) { return fxMode ? 80 : 160; }

int32_t BitStateIndex(int32_t offset, bool fxMode) {
    if (offset < 0 || offset >= SampledDeviceCount(fxMode)) return -1;
    const int32_t perRow = fxMode ? 8 : 16;
    return (offset / perRow) * 16 + offset % perRow;
}
