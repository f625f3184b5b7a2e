// Pelkan's round trip and idle cost, under Wine on a virtual serial line: 1000 READs answered by
// pelkan.exe beside the stand-in, against a raw echo of the same bytes by a minimal Windows program
// on the same kind of line in the same run; then the CPU share of an idle, running pelkan.exe's
// own process over 60 seconds. Prints medians, 99th percentiles and their differences.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

#include "tests/e2e/pelkan_session.h"
#include "tests/e2e/wine_program.h"
#include "tests/support/virtual_line/virtual_line.h"

using namespace std::chrono;

namespace {

constexpr int kCom = 8;
int Rounds() {
    const char* v = std::getenv("PELKAN_BENCH_ROUNDS");
    return v && std::atoi(v) > 0 ? std::atoi(v) : 1000;
}
const int kRounds = Rounds();
int IdleSeconds() {
    const char* v = std::getenv("PELKAN_BENCH_IDLE_SECONDS");
    return v && std::atoi(v) > 0 ? std::atoi(v) : 60;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// User plus system time, in seconds, from a /proc stat file (a process's or one thread's).
double CpuSecondsOf(const std::string& statPath, std::string* name = nullptr) {
    std::ifstream stat(statPath);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t open = text.find('(');
    size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return -1;
    if (name) *name = text.substr(open + 1, close - open - 1);
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stod(f);
        if (i == 15) stime = std::stod(f);
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double CpuSeconds(pid_t pid) { return CpuSecondsOf("/proc/" + std::to_string(pid) + "/stat"); }

// CPU seconds of every thread of a process, by thread id, with the thread's name.
struct ThreadCpu {
    std::string name;
    double seconds = 0;
};
std::map<std::string, ThreadCpu> ThreadsCpu(pid_t pid) {
    std::map<std::string, ThreadCpu> threads;
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(task, ec)) {
        ThreadCpu t;
        t.seconds = CpuSecondsOf(entry.path().string() + "/stat", &t.name);
        if (t.seconds >= 0) threads[entry.path().filename().string()] = t;
    }
    return threads;
}

std::vector<double> RawEcho() {
    const e2e::Paths& paths = e2e::Paths::Get();
    vline::VirtualLine line(paths.prefix, kCom);
    e2e::WineProgram echo(paths.winBuild + "/bench/e2e/raw_echo.exe", {std::to_string(kCom)},
                          true);
    std::string ready;
    if (!echo.ReadLine(ready, seconds(20)) || ready != "ready") return {};
    std::vector<int64_t> us = line.RoundTrips("READ\r\n", kRounds, seconds(5));
    return std::vector<double>(us.begin(), us.end());
}

}  // namespace

int main() {
    std::vector<double> raw = RawEcho();
    std::fprintf(stderr, "raw echo: %zu rounds\n", raw.size());

    std::vector<double> pelkan;
    double idleShare = -1;
    std::vector<std::string> idleThreads;
    {
        e2e::PelkanSession s("bench", kCom, {"--fx", "--first", "X000", "--on", "X001,X012"});
        s.Press("START");
        std::this_thread::sleep_for(1s);
        for (int i = 0; i < kRounds; ++i) {
            auto t0 = steady_clock::now();
            std::string reply = s.Command("READ");
            if (reply.size() != 90) break;
            pelkan.push_back(static_cast<double>(
                duration_cast<microseconds>(steady_clock::now() - t0).count()));
        }
        pid_t pid = s.PelkanPid();
        double before = CpuSeconds(pid);
        std::map<std::string, ThreadCpu> threadsBefore = ThreadsCpu(pid);
        auto t0 = steady_clock::now();
        std::this_thread::sleep_for(seconds(IdleSeconds()));
        double wall = duration<double>(steady_clock::now() - t0).count();
        double after = CpuSeconds(pid);
        if (before >= 0 && after >= 0) idleShare = (after - before) / wall * 100.0;
        // Where the idle time goes: every thread that used a measurable share.
        for (const auto& [tid, t] : ThreadsCpu(pid)) {
            auto was = threadsBefore.find(tid);
            double used = t.seconds - (was == threadsBefore.end() ? 0.0 : was->second.seconds);
            if (used > 0) idleThreads.push_back(tid + " " + t.name + ": " +
                                                std::to_string(used / wall * 100.0) + " %");
        }
    }

    auto ms = [](double us) { return us / 1000.0; };
    std::printf("READ round trip, %d rounds (pelkan.exe with the stand-in, Wine, virtual line)\n",
                kRounds);
    std::printf("  raw echo:  %zu answered, median %.3f ms, p99 %.3f ms\n", raw.size(),
                ms(Percentile(raw, 0.5)), ms(Percentile(raw, 0.99)));
    std::printf("  pelkan:    %zu answered, median %.3f ms, p99 %.3f ms\n", pelkan.size(),
                ms(Percentile(pelkan, 0.5)), ms(Percentile(pelkan, 0.99)));
    std::printf("  difference: median %+.3f ms (target <= +3), p99 %+.3f ms (target <= +15)\n",
                ms(Percentile(pelkan, 0.5) - Percentile(raw, 0.5)),
                ms(Percentile(pelkan, 0.99) - Percentile(raw, 0.99)));
    std::printf("idle pelkan.exe over %d s: %.2f %% of one core (target <= 2)\n", IdleSeconds(),
                idleShare);
    for (const std::string& t : idleThreads) std::printf("  thread %s\n", t.c_str());
    const size_t rounds = static_cast<size_t>(kRounds);
    return raw.size() == rounds && pelkan.size() == rounds ? 0 : 1;
}
