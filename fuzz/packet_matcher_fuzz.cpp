// The packet matcher on the in-memory device and the dispatcher: one or two packets with fuzzed
// start and end conditions, strings with wildcards and escapes, sizes, case folding and
// include-strings, fed a fuzzed byte stream in fuzzed chunk sizes. Checks that no byte is
// delivered twice, that no packet is longer than its size, and that each packet starts and ends
// as its settings say.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/message_window.h"
#include "serial/device/memory_device.h"
#include "serial/errors/sio_exception.h"
#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager.h"
#include "tests/serial/packet/memory_link.h"

namespace {

struct Config {
    TPacketStartCond start = TPacketStartCond::scAnyData;
    bool endByString = false;
    bool endBySize = false;
    std::string startString, endString;
    int32_t size = 0;
    bool ignoreCase = true;
    bool includeStrings = true;
};

// A pattern as the matcher compares it: a backslash makes the next byte literal, an unescaped
// "?" matches any byte; with ignoreCase a to z fold to A to Z on both sides.
struct Pattern {
    std::string bytes;
    std::vector<bool> any;
    bool ignoreCase = false;

    Pattern(const std::string& text, bool fold) : ignoreCase(fold) {
        bool escaped = false;
        for (char c : text) {
            if (!escaped && c == '\\') {
                escaped = true;
                continue;
            }
            bytes += c;
            any.push_back(!escaped && c == '?');
            escaped = false;
        }
    }
    static uint8_t Fold(uint8_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
    bool MatchesAt(const std::string& s, size_t at) const {
        if (at + bytes.size() > s.size()) return false;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (any[i]) continue;
            uint8_t a = static_cast<uint8_t>(s[at + i]), b = static_cast<uint8_t>(bytes[i]);
            if (ignoreCase) a = Fold(a), b = Fold(b);
            if (a != b) return false;
        }
        return true;
    }
};

Config ReadConfig(FuzzedDataProvider& in) {
    Config c;
    c.start = in.ConsumeBool() ? TPacketStartCond::scString : TPacketStartCond::scAnyData;
    c.endByString = in.ConsumeBool();
    c.endBySize = in.ConsumeBool();
    c.startString = FuzzBytes(in, 6);
    c.endString = FuzzBytes(in, 6);
    c.size = in.ConsumeIntegralInRange<int32_t>(0, 40);
    c.ignoreCase = in.ConsumeBool();
    c.includeStrings = in.ConsumeBool();
    return c;
}

struct Delivery {
    size_t packet;
    std::string bytes;
};

void CheckDelivery(const Config& c, const Delivery& d, const std::string& stream,
                   size_t& consumed) {
    const std::string& p = d.bytes;
    // The bytes are the stream's, in order, after everything delivered before.
    size_t at = stream.find(p, consumed);
    FuzzCheck(at != std::string::npos,
              "packet " + std::to_string(d.packet) + " delivered bytes that are not in the " +
                  "stream after the previous delivery (a byte twice, or one invented)");
    consumed = at + p.size();
    if (c.endBySize) FuzzCheck(p.size() <= static_cast<size_t>(c.size), "longer than its size");
    if (!c.includeStrings) return;
    const Pattern startPattern(c.startString, c.ignoreCase), endPattern(c.endString, c.ignoreCase);
    if (c.start == TPacketStartCond::scString) {
        FuzzCheck(startPattern.MatchesAt(p, 0), "does not begin with its start string");
        if (!c.endByString && !c.endBySize) {
            FuzzCheck(p.size() == startPattern.bytes.size(), "start string only, yet longer");
            return;
        }
    }
    const bool endsBySize = c.endBySize && p.size() == static_cast<size_t>(c.size);
    if (c.endByString && !endsBySize) {
        FuzzCheck(p.size() >= endPattern.bytes.size() &&
                      endPattern.MatchesAt(p, p.size() - endPattern.bytes.size()),
                  "does not end with its end string");
    }
    if (!c.endByString) FuzzCheck(endsBySize, "ended before its size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<Config> configs{ReadConfig(in)};
    if (in.ConsumeBool()) configs.push_back(ReadConfig(in));

    auto device = std::make_unique<TSioMemoryDispatcher>();
    device->SetRunThreads(false);
    if (device->InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3) != 0) return 0;
    device->ChangeLengthTrigger(1);
    TSioDataPacketManager* manager =
        TSioDataPacketManager::Create(std::make_unique<MemoryLink>(device.get()));

    std::vector<Delivery> deliveries;
    std::vector<std::unique_ptr<TSioDataPacket>> packets;
    for (size_t i = 0; i < configs.size(); ++i) {
        const Config& c = configs[i];
        packets.push_back(std::make_unique<TSioDataPacket>(nullptr));
        TSioDataPacket& p = *packets.back();
        manager->Insert(&p);
        p.SetStartCond(c.start);
        TPacketEndSet ends;
        if (c.endByString) ends.Include(TPacketEndCond::ecString);
        if (c.endBySize) ends.Include(TPacketEndCond::ecPacketSize);
        p.SetStartString(c.startString);
        p.SetEndString(c.endString);
        p.SetPacketSize(c.size);
        p.SetIgnoreCase(c.ignoreCase);
        p.SetIncludeStrings(c.includeStrings);
        p.SetTimeOut(0);
        p.SetEndCond(ends);
        p.SetOnPacket([&deliveries, i](TComponent*, const uint8_t* bytes, int32_t n) {
            deliveries.push_back(
                {i, std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n))});
        });
        try {
            p.SetEnabled(true);
        } catch (const EInvalidProperty&) {
            // An unusable configuration is refused, and the packet stays disabled.
            FuzzCheck(!p.Enabled(), "a refused packet is enabled");
        }
    }

    std::string stream;
    while (in.remaining_bytes() > 0) {
        const size_t chunk = in.ConsumeIntegralInRange<size_t>(1, 600);
        const std::string bytes = in.ConsumeBytesAsString(chunk);
        stream += bytes;
        device->Receive(bytes);
        for (size_t pass = 0; pass < bytes.size() / 256 + 3; ++pass) device->RunPass();
    }
    for (int pass = 0; pass < 4; ++pass) device->RunPass();

    size_t consumed = 0;
    for (const Delivery& d : deliveries) CheckDelivery(configs[d.packet], d, stream, consumed);

    // The packets leave, the last one frees the manager through its window, and the device goes.
    packets.clear();
    while (platform::PumpOneMessage()) {
    }
    device.reset();
    return 0;
}
