// The serial command protocol: one reply line for each command line the packet delivers
// ("CPU", "READ", "BTRV <device>", "DEVN <device>", "??" for anything else).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/grid_capture.h"

constexpr size_t kWordCount = 10;

// What a command reads and runs. The two actions are the main window's "反転" and "先頭変更".
struct CommandContext {
    BridgeView& view;
    std::span<const int8_t, kBitCount> BitStates;
    const std::wstring& SampledDevice;          // the first device BitStates were sampled from
    std::span<uint16_t, kWordCount> CurWords;   // the words of the latest READ
    std::span<uint16_t, kWordCount> PrevWords;  // the words of the previous READ reply
    std::function<void(const std::string& line)> reply;  // puts a reply line out on the port
    std::function<void()> toggleDevice;       // "反転"
    std::function<void()> changeFirstDevice;  // "先頭変更"
};

// Answers one command line through the context's reply.
void HandleCommandPacket(CommandContext& context, const std::string& Data);

// READ's packing: bit j of word i is set when entry i * 16 + j is ON.
std::array<uint16_t, kWordCount> PackBitStates(std::span<const int8_t, kBitCount> BitStates);
