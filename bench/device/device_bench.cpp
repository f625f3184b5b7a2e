// Benchmark of the Windows comm device layer on the virtual serial line: throughput from the
// peer through the reader, FQueue, the dispatch buffer and a handler's GetBlock, and the round
// trip of a short line echoed by a handler; each against a raw overlapped ReadFile/WriteFile
// loop on the same line in the same run. Prints the figures and their ratios.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception_display.h"
#include "serial/device/win32_dispatcher.h"
#include "serial/dispatch/io_queue.h"
#include "tests/support/virtual_line/vline_client.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kBytes = 4u << 20;  // per throughput run
constexpr int kRoundTrips = 300;
const std::string kLine = "READ 0123456789\r\n";

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<int64_t> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return static_cast<double>(v[v.size() / 2]) / 1000.0;  // ms
}

// ---- raw overlapped loop ----

struct RawPort {
    HANDLE h = INVALID_HANDLE_VALUE;
    HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    explicit RawPort(const std::wstring& name) {
        h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(h, &dcb);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        SetCommState(h, &dcb);
        COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(h, &t);
    }
    ~RawPort() {
        CloseHandle(h);
        CloseHandle(readEvent);
        CloseHandle(writeEvent);
    }
    // One overlapped read; returns when something arrived (or after timeoutMs with 0).
    DWORD Read(uint8_t* buf, DWORD size, DWORD timeoutMs) {
        OVERLAPPED o{};
        o.hEvent = readEvent;
        DWORD n = 0;
        if (ReadFile(h, buf, size, &n, &o)) return n;
        if (GetLastError() != ERROR_IO_PENDING) return 0;
        if (WaitForSingleObject(readEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIoEx(h, &o);
        }
        GetOverlappedResult(h, &o, &n, TRUE);
        return n;
    }
    void Write(const uint8_t* buf, DWORD size) {
        OVERLAPPED o{};
        o.hEvent = writeEvent;
        DWORD n = 0;
        if (!WriteFile(h, buf, size, &n, &o) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(h, &o, &n, TRUE);
    }
};

double RawThroughput(vline::VirtualLinePeer& peer, const std::wstring& name) {
    RawPort port(name);
    std::vector<uint8_t> buf(4096);
    auto start = Clock::now();
    peer.Generate(kBytes, 1);
    uint32_t got = 0;
    while (got < kBytes) {
        DWORD n = port.Read(buf.data(), static_cast<DWORD>(buf.size()), 5000);
        if (n == 0) break;
        got += n;
    }
    double s = Seconds(Clock::now() - start);
    return got == kBytes ? kBytes / s / 1e6 : 0;
}

std::vector<int64_t> RawEcho(vline::VirtualLinePeer& peer, const std::wstring& name) {
    RawPort port(name);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        uint8_t buf[256];
        while (!stop.load()) {
            DWORD n = port.Read(buf, sizeof buf, 50);
            if (n > 0) port.Write(buf, n);
        }
    });
    std::vector<int64_t> times = peer.RoundTrips(kLine, kRoundTrips, 5000);
    stop.store(true);
    echo.join();
    return times;
}

// ---- through the device layer ----

struct LayerRun {
    TSioWin32Dispatcher* d = nullptr;
    bool echo = false;
    std::atomic<uint32_t> got{0};
    std::atomic<uint32_t> notifications{0};
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~LayerRun() { CloseHandle(done); }

    // Called on the dispatcher thread for each data-available notification.
    void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
        if (Msg != TriggerAvailMsg) return;
        uint8_t buf[8192];
        uint32_t want = std::min<uint32_t>(wParam, sizeof buf);
        int32_t n = d->GetBlock(buf, want);
        if (n <= 0) return;
        // An echo the ring refuses shows as bytes missing at the far end, which the run counts.
        if (echo) (void)d->PutBlock(buf, static_cast<uint32_t>(n));
        if (got.fetch_add(static_cast<uint32_t>(n)) + static_cast<uint32_t>(n) >= kBytes)
            SetEvent(done);
        ++notifications;
    }
};

bool OpenLayer(TSioWin32Dispatcher& d, LayerRun& run, const std::wstring& name) {
    if (d.InitPort(name, 9600, 0, 8, 1, 4096, 4096, 3) != 0) return false;
    run.d = &d;
    d.ChangeLengthTrigger(1);
    d.RegisterEventTriggerHandler(MakeNotifyEvent<&LayerRun::Notify>(&run));
    return true;
}

double LayerThroughput(vline::VirtualLinePeer& peer, const std::wstring& name) {
    TSioWin32Dispatcher d(nullptr);
    LayerRun run;
    if (!OpenLayer(d, run, name)) return 0;
    auto start = Clock::now();
    peer.Generate(kBytes, 2);
    int32_t maxQueued = 0;
    bool ok = false;
    for (int i = 0; i < 60000 && !ok; i += 5) {
        ok = WaitForSingleObject(run.done, 5) == WAIT_OBJECT_0;
        maxQueued = std::max(maxQueued, d.FQueue->Count());
    }
    std::fprintf(stderr, "most blocks waiting in the queue: %d\n", maxQueued);
    if (!ok)
        std::fprintf(stderr,
                     "stalled: handler got %u in %u notifications, dispatch buffer %d, "
                     "queue %d\n",
                     run.got.load(), run.notifications.load(), d.InBuffUsed(), d.FQueue->Count());
    double s = Seconds(Clock::now() - start);
    d.DonePort();
    return ok ? kBytes / s / 1e6 : 0;
}

std::vector<int64_t> LayerEcho(vline::VirtualLinePeer& peer, const std::wstring& name) {
    TSioWin32Dispatcher d(nullptr);
    LayerRun run;
    run.echo = true;
    if (!OpenLayer(d, run, name)) return {};
    std::vector<int64_t> times = peer.RoundTrips(kLine, kRoundTrips, 5000);
    d.DonePort();
    return times;
}

}  // namespace

int main() {
    if (!vline::VirtualLinePeer::Available()) {
        std::fprintf(stderr, "run under pelkan-vline (see bench/device/CMakeLists.txt)\n");
        return 2;
    }
    platform::SetExceptionDisplay(
        [](const std::string& m) { std::fprintf(stderr, "exception: %s\n", m.c_str()); });
    vline::VirtualLinePeer peer;
    std::wstring name = vline::VirtualLinePeer::DeviceName();

    // Alternate raw and layer runs so that both see the same conditions; keep the best of each.
    double rawMBs = 0, layerMBs = 0;
    std::vector<int64_t> rawRtt, layerRtt;
    for (int round = 0; round < 3; ++round) {
        peer.Reset();
        rawMBs = std::max(rawMBs, RawThroughput(peer, name));
        peer.Reset();
        layerMBs = std::max(layerMBs, LayerThroughput(peer, name));
        peer.Reset();
        auto r = RawEcho(peer, name);
        rawRtt.insert(rawRtt.end(), r.begin(), r.end());
        peer.Reset();
        auto l = LayerEcho(peer, name);
        layerRtt.insert(layerRtt.end(), l.begin(), l.end());
    }
    double rawMed = Median(rawRtt), layerMed = Median(layerRtt);
    std::printf(
        "throughput peer->handler (%u MB): raw %.2f MB/s, device layer %.2f MB/s, "
        "ratio %.2f (target >= 0.50)\n",
        kBytes >> 20, rawMBs, layerMBs, rawMBs > 0 ? layerMBs / rawMBs : 0.0);
    std::printf(
        "echo round trip of %zu bytes, median of %zu/%zu: raw %.3f ms, device layer "
        "%.3f ms, difference %+.3f ms (target <= +2 ms)\n",
        kLine.size(), rawRtt.size(), layerRtt.size(), rawMed, layerMed, layerMed - rawMed);
    return 0;
}
