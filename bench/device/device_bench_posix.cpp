// Benchmark of the termios device layer on a pseudo-terminal pair: throughput from the far end
// through the reader, FQueue, the dispatch buffer and a handler's GetBlock, and the round trip
// of a short line echoed by a handler; each against a raw poll/read/write loop on the same kind
// of line in the same run. Prints the figures and their ratios.
//
// Placement: on a machine with two or more processors the far end (the thread writing the
// stream, or timing the echoes) runs on a processor of its own and the side under test on the
// others, the same for both sides. A real line's far end is another machine; left to the
// scheduler, the far end shares a processor with the reader in some runs and not in others, and
// the side with more threads (the layer's reader, dispatcher thread and the rest) lands there
// more often, so the figures measured where the threads fell rather than what each side costs.
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/device/posix_dispatcher.h"
#include "serial/device/posix_ports.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kBytes = 16u << 20;  // per throughput run
constexpr int kRoundTrips = 500;
constexpr uint32_t kPort = 90;
const std::string kLine = "READ 0123456789\r\n";

// The processors the far end and the side under test run on (see the top of this file).
struct Placement {
    bool split = false;  // false on a single processor: nothing is pinned
    cpu_set_t farEnd{};
    cpu_set_t underTest{};
};

Placement ChoosePlacement() {
    Placement p;
    cpu_set_t all;
    CPU_ZERO(&all);
    if (sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < 2) return p;
    CPU_ZERO(&p.farEnd);
    p.underTest = all;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &all)) continue;
        CPU_SET(cpu, &p.farEnd);
        CPU_CLR(cpu, &p.underTest);
        break;
    }
    p.split = true;
    return p;
}

const Placement& Places() {
    static const Placement p = ChoosePlacement();
    return p;
}

std::string Processors(const cpu_set_t& set) {
    std::string list;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set)) list += (list.empty() ? "" : ",") + std::to_string(cpu);
    return list;
}

void PrintPlacement() {
    if (Places().split)
        std::printf("placement: far end on processor %s, side under test on %s\n",
                    Processors(Places().farEnd).c_str(), Processors(Places().underTest).c_str());
    else
        std::printf("placement: one processor, shared by the far end and the side under test\n");
}

// Moves the calling thread onto the far end's processor; threads it starts inherit it.
void RunAsFarEnd() {
    if (Places().split) pthread_setaffinity_np(pthread_self(), sizeof(cpu_set_t), &Places().farEnd);
}

// Moves the calling thread onto the side under test's processors; threads it starts (the
// layer's, at InitPort) inherit them.
void RunAsSideUnderTest() {
    if (Places().split)
        pthread_setaffinity_np(pthread_self(), sizeof(cpu_set_t), &Places().underTest);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The far end: sends kBytes in the background.
std::thread Generate(const testsupport::PtyPair& line) {
    return std::thread([&line] {
        RunAsFarEnd();
        std::string chunk(65536, '\0');
        for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7);
        for (uint32_t sent = 0; sent < kBytes; sent += chunk.size()) line.Write(chunk);
    });
}

// The far end: kRoundTrips lines, each timed until its echo is back (ms). Runs on the calling
// thread, moved onto the far end's processor.
std::vector<double> RoundTrips(const testsupport::PtyPair& line) {
    RunAsFarEnd();
    std::vector<double> times;
    for (int i = 0; i < kRoundTrips; ++i) {
        auto start = Clock::now();
        line.Write(kLine);
        if (line.Read(kLine.size(), 5000).size() != kLine.size()) break;
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return times;
}

// ---- raw loop ----

TUniqueFd OpenRaw(const std::string& path) {
    TUniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios tio{};
    tcgetattr(fd.get(), &tio);
    cfmakeraw(&tio);
    tcsetattr(fd.get(), TCSANOW, &tio);
    return fd;
}

// Waits for bytes and reads them; 0 after timeoutMs.
ssize_t RawRead(int fd, uint8_t* buf, size_t size, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return 0;
    return std::max<ssize_t>(read(fd, buf, size), 0);
}

double RawThroughput() {
    RunAsSideUnderTest();
    testsupport::PtyPair line;
    TUniqueFd fd = OpenRaw(line.FarPath);
    std::vector<uint8_t> buf(4096);
    auto start = Clock::now();
    std::thread far = Generate(line);
    uint32_t got = 0;
    while (got < kBytes) {
        ssize_t n = RawRead(fd.get(), buf.data(), buf.size(), 5000);
        if (n == 0) break;
        got += static_cast<uint32_t>(n);
    }
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    far.join();
    return got == kBytes ? kBytes / s / 1e6 : 0;
}

std::vector<double> RawEcho() {
    RunAsSideUnderTest();
    testsupport::PtyPair line;
    TUniqueFd fd = OpenRaw(line.FarPath);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        uint8_t buf[256];
        while (!stop.load()) {
            ssize_t n = RawRead(fd.get(), buf, sizeof buf, 50);
            if (n > 0) (void)!write(fd.get(), buf, static_cast<size_t>(n));
        }
    });
    std::vector<double> times = RoundTrips(line);
    stop.store(true);
    echo.join();
    return times;
}

// ---- through the device layer ----

struct LayerRun {
    TSioPosixDispatcher* d = nullptr;
    bool echo = false;
    std::atomic<uint32_t> got{0};
    // Set once kBytes have been taken: the timing thread sleeps until then, as the raw loop's
    // reader is the only thread awake on its side.
    std::mutex doneLock;
    std::condition_variable done;

    // Called on the dispatcher thread for each data-available notification.
    void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
        if (Msg != TriggerAvailMsg) return;
        uint8_t buf[8192];
        uint32_t want = std::min<uint32_t>(wParam, sizeof buf);
        int32_t n = d->GetBlock(buf, want);
        if (n <= 0) return;
        // A refused echo (a full output ring) shows as a missing reply in the echo figures.
        if (echo) (void)d->PutBlock(buf, static_cast<uint32_t>(n));
        const uint32_t before = got.fetch_add(static_cast<uint32_t>(n));
        if (before < kBytes && before + static_cast<uint32_t>(n) >= kBytes) {
            std::lock_guard lock(doneLock);
            done.notify_all();
        }
    }
};

bool OpenLayer(TSioPosixDispatcher& d, LayerRun& run, const testsupport::PtyPair& line) {
    RunAsSideUnderTest();  // the layer's threads, started here, inherit it
    posix_ports::SetDevicePath(kPort, line.FarPath);
    if (d.InitPort(L"\\\\.\\COM" + std::to_wstring(kPort), 9600, 0, 8, 1, 4096, 4096, 3) != 0)
        return false;
    run.d = &d;
    d.ChangeLengthTrigger(1);
    d.RegisterEventTriggerHandler(MakeNotifyEvent<&LayerRun::Notify>(&run));
    return true;
}

double LayerThroughput() {
    testsupport::PtyPair line;
    TSioPosixDispatcher d(nullptr);
    LayerRun run;
    if (!OpenLayer(d, run, line)) return 0;
    auto start = Clock::now();
    std::thread far = Generate(line);
    {
        std::unique_lock lock(run.doneLock);
        run.done.wait_until(lock, start + std::chrono::seconds(60),
                            [&] { return run.got.load() >= kBytes; });
    }
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    far.join();
    const bool ok = run.got.load() >= kBytes;
    d.DonePort();
    return ok ? kBytes / s / 1e6 : 0;
}

std::vector<double> LayerEcho() {
    testsupport::PtyPair line;
    TSioPosixDispatcher d(nullptr);
    LayerRun run;
    run.echo = true;
    if (!OpenLayer(d, run, line)) return {};
    std::vector<double> times = RoundTrips(line);
    d.DonePort();
    return times;
}

}  // namespace

// With an argument ("raw" or "layer") only that side's throughput runs, once: for profiling.
int main(int argc, char** argv) {
    platform::BindMainThread();
    platform::SetExceptionDisplay(
        [](const std::string& m) { std::fprintf(stderr, "exception: %s\n", m.c_str()); });
    if (argc > 1) {
        const std::string side = argv[1];
        const double mbs = side == "raw" ? RawThroughput() : LayerThroughput();
        std::printf("%s throughput: %.1f MB/s\n", side.c_str(), mbs);
        platform::UnbindMainThread();
        return 0;
    }
    PrintPlacement();
    // Alternate raw and layer runs so that both see the same conditions; keep the best of each.
    double rawMBs = 0, layerMBs = 0;
    std::vector<double> rawRtt, layerRtt;
    for (int round = 0; round < 3; ++round) {
        rawMBs = std::max(rawMBs, RawThroughput());
        layerMBs = std::max(layerMBs, LayerThroughput());
        auto r = RawEcho();
        rawRtt.insert(rawRtt.end(), r.begin(), r.end());
        auto l = LayerEcho();
        layerRtt.insert(layerRtt.end(), l.begin(), l.end());
    }
    double rawMed = Median(rawRtt), layerMed = Median(layerRtt);
    std::printf(
        "throughput far end->handler (%u MB): raw %.1f MB/s, device layer %.1f MB/s, "
        "ratio %.2f (target >= 0.90)\n",
        kBytes >> 20, rawMBs, layerMBs, rawMBs > 0 ? layerMBs / rawMBs : 0.0);
    std::printf(
        "echo round trip of %zu bytes, median of %zu/%zu: raw %.3f ms, device layer "
        "%.3f ms, difference %+.3f ms (target <= +0.2 ms)\n",
        kLine.size(), rawRtt.size(), layerRtt.size(), rawMed, layerMed, layerMed - rawMed);
    platform::UnbindMainThread();
    return 0;
}
