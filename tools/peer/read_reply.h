// Decoding of Pelkan's replies for the command-line peer: a READ reply becomes the first device,
// the controller kind and the states of the 160 devices it covers, named as the monitor names
// them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace peer {

struct ReadReply {
    bool fx = false;                  // "FX" (octal numbers, 8 devices a row) or "QR"
    std::string firstDevice;          // the 6-character field, trailing spaces removed
    std::array<uint16_t, 10> words{};  // the words packed by this READ
    std::array<uint16_t, 10> prev{};   // the words of the previous READ
};

// Parses one reply line (with or without its CR LF). Nothing when the line is not a READ reply.
std::optional<ReadReply> ParseReadReply(const std::string& line);

struct DeviceState {
    std::string name;  // "X007", "Y1F"
    bool on = false;
    bool changed = false;  // differs from the previous READ
};

// The devices a reply covers, row by row: 16 a row outside FX mode, 8 in FX mode (the upper
// eight bits of an FX row are not devices). Empty when the first device's name has no number.
std::vector<DeviceState> DecodeDevices(const ReadReply& reply);

// Splits a device name into its letters and its number in the given base ("X1F", 16 -> X, 31).
bool SplitDeviceName(const std::string& name, int base, std::string& letters, uint32_t& number);

// The device `offset` places after `first`, written with as many digits as `first` has at least.
std::string DeviceNameAt(const std::string& first, int base, uint32_t offset);

// A table for people: one line per grid row with the row's first device and its states
// ('1' ON, '0' OFF, '*' after a state that changed since the previous READ).
std::string FormatDeviceTable(const ReadReply& reply);

}  // namespace peer
