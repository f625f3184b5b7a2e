// READ reply parsing and device naming for the command-line peer.
#include "tools/peer/read_reply.h"

#include <cctype>
#include <cstdio>

namespace peer {
namespace {
bool ParseHexWord(const std::string& text, size_t at, uint16_t& out) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    out = static_cast<uint16_t>(value);
    return true;
}
}  // namespace

std::optional<ReadReply> ParseReadReply(const std::string& line) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.size() != 88) return std::nullopt;
    ReadReply reply;
    std::string kind = text.substr(0, 2);
    if (kind != "FX" && kind != "QR") return std::nullopt;
    reply.fx = kind == "FX";
    reply.firstDevice = text.substr(2, 6);
    while (!reply.firstDevice.empty() && reply.firstDevice.back() == ' ')
        reply.firstDevice.pop_back();
    for (size_t i = 0; i < 10; ++i) {
        if (!ParseHexWord(text, 8 + 4 * i, reply.words[i])) return std::nullopt;
        if (!ParseHexWord(text, 48 + 4 * i, reply.prev[i])) return std::nullopt;
    }
    return reply;
}

bool SplitDeviceName(const std::string& name, int base, std::string& letters, uint32_t& number) {
    // The device letter comes first. Outside FX mode the number is hexadecimal and may itself
    // start with a letter (XA0 is X, A0), so there the letter is the first character only.
    size_t i = 0;
    while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) ++i;
    if (base == 16 && i > 1) i = 1;
    if (i == 0 || i == name.size()) return false;
    letters = name.substr(0, i);
    number = 0;
    for (size_t k = i; k < name.size(); ++k) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[k])));
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        if (digit >= base) return false;
        number = number * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    return true;
}

std::string DeviceNameAt(const std::string& first, int base, uint32_t offset) {
    std::string letters;
    uint32_t number = 0;
    if (!SplitDeviceName(first, base, letters, number)) return {};
    char digits[16];
    std::snprintf(digits, sizeof digits, base == 8 ? "%0*o" : "%0*X",
                  static_cast<int>(first.size() - letters.size()), number + offset);
    return letters + digits;
}

std::vector<DeviceState> DecodeDevices(const ReadReply& reply) {
    std::vector<DeviceState> devices;
    int base = reply.fx ? 8 : 16;
    uint32_t perRow = reply.fx ? 8 : 16;
    std::string letters;
    uint32_t number = 0;
    if (!SplitDeviceName(reply.firstDevice, base, letters, number)) return devices;
    for (uint32_t row = 0; row < 10; ++row) {
        for (uint32_t bit = 0; bit < perRow; ++bit) {
            bool on = (reply.words[row] >> bit) & 1;
            bool was = (reply.prev[row] >> bit) & 1;
            devices.push_back({DeviceNameAt(reply.firstDevice, base, row * perRow + bit), on,
                               on != was});
        }
    }
    return devices;
}

std::string FormatDeviceTable(const ReadReply& reply) {
    std::vector<DeviceState> devices = DecodeDevices(reply);
    std::string out = std::string(reply.fx ? "FX" : "QR") + " controller, first device " +
                      (reply.firstDevice.empty() ? "(none)" : reply.firstDevice) + "\n";
    if (devices.empty()) return out + "  (the first device has no number: states not named)\n";
    size_t perRow = reply.fx ? 8 : 16;
    std::vector<std::string> on;
    for (size_t row = 0; row * perRow < devices.size(); ++row) {
        std::string line = "  " + devices[row * perRow].name;
        line.resize(10, ' ');
        for (size_t b = 0; b < perRow; ++b) {
            const DeviceState& d = devices[row * perRow + b];
            if (b % 4 == 0) line += ' ';
            line += d.on ? '1' : '0';
            line += d.changed ? '*' : ' ';
            if (d.on) on.push_back(d.name);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    out += "  ON:";
    if (on.empty()) out += " none";
    for (const std::string& name : on) out += " " + name;
    return out + "\n";
}

}  // namespace peer
