// The stand-in's bit devices and their names: a letter, then the number in octal (FX mode) or
// upper-case hexadecimal, as the monitor shows and accepts them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Devices per letter. Numbers are the same in both modes; only their writing changes.
constexpr int kDevicesPerLetter = 0x2000;

struct Device {
    wchar_t letter = L'X';  // upper case, one of kLetters
    int number = 0;         // 0 .. kDevicesPerLetter - 1
    bool operator==(const Device&) const = default;
};

inline constexpr std::wstring_view kLetters = L"XYM";

// A device name as typed into the monitor: a known letter (either case) and at least one digit
// of the mode's base, nothing else, within the memory. Anything else is rejected.
std::optional<Device> ParseDevice(std::wstring_view text, bool fx);

// The monitor's own writing: the letter and at least three digits.
std::wstring FormatDevice(Device device, bool fx);

// The number at `offset` devices after `first`, or nothing when it leaves the memory.
std::optional<Device> DeviceAt(Device first, int offset);

class DeviceMemory {
  public:
    DeviceMemory();
    bool Get(Device d) const;
    void Set(Device d, bool on);
    void Clear();

  private:
    std::array<std::vector<uint8_t>, kLetters.size()> bits_;
};

}  // namespace standin
