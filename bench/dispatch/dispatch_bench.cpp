// Bytes per second from the in-memory device through FillDispatchBuffer, a data-available
// notification and one handler's GetBlock, against memcpy of the same bytes in the same run; and
// what the data-trigger scan costs per byte with 1, 8 and 32 triggers, and the cost of 32 triggers
// against the cost of one.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "serial/device/memory_device.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Taker {
    TSioBaseDispatcher* d;
    std::vector<char> buf = std::vector<char>(8192);
    void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
        // The run is timed, not checked: the memory device cannot refuse these calls.
        if (Msg == TriggerAvailMsg) (void)d->GetBlock(buf.data(), wParam);
    }
};

constexpr size_t kChunk = 4096;
constexpr int kRounds = 20000;

// Seconds to move kRounds chunks through the dispatcher with `triggers` data triggers that never
// match.
double RunPath(int triggers, bool handler) {
    TSioMemoryDispatcher d;
    d.SetRunThreads(false);
    if (d.InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3) != 0) return -1;
    d.ChangeLengthTrigger(handler ? 1 : 0);
    Taker t{&d};
    if (handler) d.RegisterEventTriggerHandler(MakeNotifyEvent<&Taker::Notify>(&t));
    for (int i = 0; i < triggers; ++i) {
        std::string text = "\x01\x02" + std::to_string(i);
        if (d.AddDataTrigger(text.c_str(), false) < 0) return -1;
    }
    std::string chunk(kChunk, 'x');
    for (size_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<char>('A' + i % 50);
    auto start = Clock::now();
    for (int r = 0; r < kRounds; ++r) {
        d.Receive(chunk);
        while (d.InBuffUsed() < static_cast<int32_t>(kChunk) && d.InputAvailable() > 0) d.RunPass();
        if (!handler)
            (void)d.FlushInBuffer();  // timed, not checked, as above
        else
            d.RunPass();
    }
    return Seconds(start);
}

double RunMemcpy() {
    std::vector<char> src(kChunk, 'x'), dst(kChunk);
    auto start = Clock::now();
    for (int r = 0; r < kRounds; ++r) {
        src[static_cast<size_t>(r) % kChunk] = static_cast<char>(r);
        std::memcpy(dst.data(), src.data(), kChunk);
        asm volatile("" : : "r"(dst.data()) : "memory");
    }
    return Seconds(start);
}

}  // namespace

int main() {
    const double bytes = static_cast<double>(kChunk) * kRounds;
    double mem = RunMemcpy();
    double path = RunPath(0, true);
    std::printf("byte path: %.1f MB/s (memcpy of the same bytes: %.1f MB/s, ratio %.1fx slower)\n",
                bytes / path / 1e6, bytes / mem / 1e6, path / mem);
    double base = RunPath(0, false);
    double one = 0, cost32 = 0;
    for (int n : {1, 8, 32}) {
        double cost = RunPath(n, false) - base;
        std::printf("data triggers %2d: %.2f ns per byte over no trigger (%.1fx memcpy per byte)\n",
                    n, cost / bytes * 1e9, cost / mem);
        (n == 1 ? one : cost32) = cost;
    }
    std::printf("scan cost of 32 data triggers: %.2fx the cost of one (target: at most 3x)\n",
                cost32 / one);
    return 0;
}
