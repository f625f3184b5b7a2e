// Device names and the stand-in's bit memory.
#include "tools/standin/device_memory.h"

namespace standin {
namespace {

int LetterIndex(wchar_t c) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    auto pos = kLetters.find(c);
    return pos == std::wstring_view::npos ? -1 : static_cast<int>(pos);
}

int DigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

}  // namespace

std::optional<Device> ParseDevice(std::wstring_view text, bool fx) {
    if (text.size() < 2) return std::nullopt;
    int letter = LetterIndex(text[0]);
    if (letter < 0) return std::nullopt;
    const int base = fx ? 8 : 16;
    int number = 0;
    for (wchar_t c : text.substr(1)) {
        int digit = DigitValue(c);
        if (digit < 0 || digit >= base) return std::nullopt;
        number = number * base + digit;
        // Checked per digit, so that a long run of digits cannot overflow.
        if (number >= kDevicesPerLetter) return std::nullopt;
    }
    return Device{kLetters[letter], number};
}

std::wstring FormatDevice(Device device, bool fx) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    const int base = fx ? 8 : 16;
    std::wstring digits;
    for (int n = device.number; n > 0; n /= base) digits.insert(digits.begin(), kDigits[n % base]);
    while (digits.size() < 3) digits.insert(digits.begin(), L'0');
    return std::wstring(1, device.letter) + digits;
}

std::optional<Device> DeviceAt(Device first, int offset) {
    int number = first.number + offset;
    if (offset < 0 || number >= kDevicesPerLetter) return std::nullopt;
    return Device{first.letter, number};
}

DeviceMemory::DeviceMemory() {
    for (auto& letter : bits_) letter.assign(kDevicesPerLetter, 0);
}

bool DeviceMemory::Get(Device d) const { return bits_[LetterIndex(d.letter)][d.number] != 0; }

void DeviceMemory::Set(Device d, bool on) { bits_[LetterIndex(d.letter)][d.number] = on ? 1 : 0; }

void DeviceMemory::Clear() {
    for (auto& letter : bits_) letter.assign(kDevicesPerLetter, 0);
}

}  // namespace standin
