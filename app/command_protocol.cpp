// The serial command protocol.
#include "app/command_protocol.h"

#include <cstdio>

#include "platform/text.h"

namespace {

const std::string kEnd = "\r\n";

std::string Hex4(uint16_t word) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(word));
    return text;
}

// The argument of "BTRV" and "DEVN": the line from its 6th character on, whatever the 5th is.
std::wstring Argument(const std::wstring& line) { return line.size() > 5 ? line.substr(5) : L""; }

void SendReadReply(CommandContext& c) {
    const auto words = PackBitStates(c.BitStates);
    std::copy(words.begin(), words.end(), c.CurWords.begin());
    std::string current;
    std::string previous;
    for (size_t i = 0; i < kWordCount; ++i) {
        current += Hex4(words[i]);
        previous += Hex4(c.PrevWords[i]);
    }
    // The name of the device the words were sampled from, not the first device the latest tick
    // read: a tick that reads a new one but finds the grid covered samples nothing.
    std::string device =
        platform::WideToAnsi((c.SampledDevice + L"      ").substr(0, 6));
    std::string reply = (c.view.FxMode() ? "FX" : "QR") + device + current + previous + kEnd;
    c.reply(reply);
    std::copy(words.begin(), words.end(), c.PrevWords.begin());
}

}  // namespace

std::array<uint16_t, kWordCount> PackBitStates(std::span<const int8_t, kBitCount> BitStates) {
    std::array<uint16_t, kWordCount> words{};
    for (size_t i = 0; i < kWordCount; ++i)
        for (size_t j = 0; j < 16; ++j)
            if (BitStates[i * 16 + j] == 1) words[i] |= static_cast<uint16_t>(1u << j);
    return words;
}

void HandleCommandPacket(CommandContext& c, const std::string& Data) {
    const std::wstring line = TrimControls(platform::AnsiToWide(Data));
    if (line == L"CPU") {
        c.reply((c.view.FxMode() ? "FX" : "QL") + kEnd);
    } else if (line == L"READ") {
        SendReadReply(c);
    } else if (line.starts_with(L"BTRV")) {
        c.view.SetFieldText(BridgeView::Field::ToggleTarget, Argument(line));
        c.toggleDevice();
        c.reply("OK" + kEnd);
    } else if (line.starts_with(L"DEVN")) {
        c.view.SetFieldText(BridgeView::Field::RequestedFirst, Argument(line));
        c.changeFirstDevice();
        c.reply("OK" + kEnd);
    } else {
        c.reply("??" + kEnd);
    }
}
