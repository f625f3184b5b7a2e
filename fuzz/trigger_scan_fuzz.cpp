// The data-trigger scan and the dispatch ring on the in-memory device: fuzzed triggers and
// streams, read as they are offered, or left unread in a burst that fills the ring exactly. Every
// firing is compared with a naive reference: a trigger fires at each byte that ends an occurrence
// of it (occurrences may overlap), comparing the code page's upper-case forms when it ignores case. Whatever is
// read must be the stream itself, each byte once.
#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/case_folding.h"
#include "serial/device/memory_device.h"
#include "serial/dispatch/notify.h"
#include "serial/dispatch/triggers.h"

namespace {

struct Trigger {
    std::string text;
    bool ignoreCase;
    uint32_t handle = 0;
};

// (stream index of the byte that ends the occurrence, handle), in stream order.
using Firings = std::vector<std::pair<uint64_t, uint32_t>>;

// Folds a copy of the text as the program's code page does (double-byte characters untouched).
std::string Folded(std::string text) {
    platform::SystemCaseFolding().FoldText(reinterpret_cast<uint8_t*>(text.data()), text.size());
    return text;
}

Firings Reference(const std::vector<Trigger>& triggers, const std::string& stream) {
    Firings fired;
    const std::string foldedStream = Folded(stream);
    for (const Trigger& t : triggers) {
        const std::string& in = t.ignoreCase ? foldedStream : stream;
        const std::string text = t.ignoreCase ? Folded(t.text) : t.text;
        const size_t n = text.size();
        if (n == 0) continue;
        for (size_t end = n - 1; end < in.size(); ++end)
            if (in.compare(end + 1 - n, n, text) == 0) fired.push_back({end, t.handle});
    }
    std::sort(fired.begin(), fired.end());
    return fired;
}

std::string Printable(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out + "\"";
}

struct Reader {
    Reader(TSioMemoryDispatcher* d, bool r) : device(d), reads(r) {}
    TSioMemoryDispatcher* device;  // not owned
    bool reads;
    std::string read;
    uint64_t readCount = 0;
    Firings fired;

    void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
        if (Msg == TriggerDataMsg) {
            // The byte that completed the match is unread, in the ring between what was read and
            // the head, just before the scan's position (the scan goes on after it): its ring
            // index gives its place in the stream.
            const uint64_t ring = (device->LastTailData + DispatchBufferSize - 1) % DispatchBufferSize;
            uint64_t at = readCount - readCount % DispatchBufferSize + ring;
            if (at < readCount) at += DispatchBufferSize;
            fired.push_back({at, wParam});
        } else if (Msg == TriggerAvailMsg && reads) {
            std::string bytes(wParam, '\0');
            const int32_t got = device->GetBlock(bytes.data(), wParam);
            FuzzCheck(got == static_cast<int32_t>(wParam), "an offered block could not be read");
            read += bytes;
            readCount += wParam;
        }
    }
    TSioNotifyEvent Event() { return MakeNotifyEvent<&Reader::Notify>(this); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool reads = in.ConsumeBool();
    const bool fillRing = !reads && in.ConsumeBool();
    std::vector<Trigger> triggers(in.ConsumeIntegralInRange<size_t>(1, 3));
    for (Trigger& t : triggers) {
        t.text = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, MaxDataTriggerLen));
        t.ignoreCase = in.ConsumeBool();
    }
    const char filler = in.ConsumeIntegral<char>();

    auto device = std::make_unique<TSioMemoryDispatcher>();
    device->SetRunThreads(false);
    if (device->InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3) != 0) return 0;
    // Offered blocks are read only when this run reads; unread, the ring fills and the stream is
    // cut to what it holds.
    device->ChangeLengthTrigger(reads ? 1 : 0);
    for (Trigger& t : triggers) {
        const int32_t h = device->AddDataTriggerLen(t.text.data(), t.ignoreCase,
                                                    static_cast<uint32_t>(t.text.size()));
        FuzzCheck(h > 0, "a data trigger of at most 21 bytes was refused");
        t.handle = static_cast<uint32_t>(h);
    }
    Reader reader(device.get(), reads);
    device->RegisterEventTriggerHandler(reader.Event());

    std::vector<std::string> chunks;
    std::string stream;
    while (in.remaining_bytes() > 0) {
        chunks.push_back(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 700)));
        stream += chunks.back();
    }
    if (!reads) {
        const size_t ring = DispatchBufferSize;
        if (fillRing && stream.size() < ring)
            chunks.push_back(std::string(ring - stream.size(), filler));
        stream.clear();
        for (std::string& c : chunks) {
            c = c.substr(0, ring - stream.size());
            stream += c;
        }
    }
    for (const std::string& c : chunks) {
        if (c.empty()) continue;
        device->Receive(c);
        for (size_t pass = 0; pass < c.size() / 256 + 3; ++pass) device->RunPass();
    }
    // A pass ends early after a notification nobody acted on: enough passes for every firing.
    for (size_t pass = 0; pass < reader.fired.size() + stream.size() / 256 + 8; ++pass)
        device->RunPass();

    if (reads) FuzzCheck(reader.read == stream, "what was read is not the stream, each byte once");
    Firings got = reader.fired;
    std::sort(got.begin(), got.end());
    const Firings expected = Reference(triggers, stream);
    if (got != expected) {
        std::string where = "firings differ: got";
        for (auto& [at, h] : got) where += " " + std::to_string(at) + "/" + std::to_string(h);
        where += "; reference";
        for (auto& [at, h] : expected) where += " " + std::to_string(at) + "/" + std::to_string(h);
        where += "; triggers";
        for (const Trigger& t : triggers)
            where += " " + std::to_string(t.handle) + (t.ignoreCase ? "(any case)" : "") + "=" +
                     Printable(t.text);
        where += "; stream " + Printable(stream.substr(0, 64));
        FuzzCheck(false, where);
    }
    device->DeregisterEventTriggerHandler(reader.Event());
    return 0;
}
