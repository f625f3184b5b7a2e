// Pelkan over a long run, under Wine on a virtual serial line: pelkan.exe beside the stand-in
// answers 10 READs a second, a BTRV every 10 s and a DEVN every 30 s for an hour (or what
// --minutes says; --reads-only leaves out BTRV and DEVN, --idle sends nothing, to tell which
// traffic a growth follows). Prints the commands answered and missed, resident memory, threads and
// open handles of pelkan.exe at start and end, and the slope of its resident memory per hour after
// a warm-up, beside the same slope of the stand-in (a Wine program of the same kind that paints its
// grid and takes typed input all the while): growth both share is Wine's, not ours.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak/process_stats.h"
#include "tests/e2e/pelkan_session.h"

using namespace std::chrono;

namespace {

constexpr int kCom = 9;  // the e2e tests and the round-trip benchmark use COM8
constexpr auto kReadPeriod = milliseconds(100);
constexpr int kReadsPerBtrv = 100;  // every 10 s
constexpr int kReadsPerDevn = 300;  // every 30 s
constexpr auto kSamplePeriod = seconds(10);

struct Count {
    const char* name;
    long sent = 0, answered = 0;
};

double Minutes(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--minutes") == 0) return std::atof(argv[i + 1]);
    return 60;
}

bool Flag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

void PrintStats(const char* when, const soak::ProcessStats& s) {
    std::printf("  %-6s resident %lld KB, threads %d, open handles %d\n", when,
                static_cast<long long>(s.residentKb), s.threads, s.descriptors);
}

}  // namespace

int main(int argc, char** argv) {
    const double runMinutes = Minutes(argc, argv);
    const bool idle = Flag(argc, argv, "--idle");
    const bool readsOnly = Flag(argc, argv, "--reads-only");
    if (runMinutes <= 0) {
        std::fprintf(stderr,
                     "usage: pelkan_soak [--minutes M] [--reads-only | --idle]   (default 60)\n");
        return 2;
    }
    const auto length = duration_cast<milliseconds>(duration<double, std::ratio<60>>(runMinutes));
    // The first five minutes settle caches and heaps; a short run leaves out its first third.
    const double warmUp = std::min(300.0, duration<double>(length).count() / 3);

    e2e::PelkanSession s("soak", kCom, {"--fx", "--first", "X000", "--on", "X001,X012"});
    if (!s.Press("START")) {
        std::fprintf(stderr, "START is not there\n");
        return 1;
    }
    std::this_thread::sleep_for(1s);
    const pid_t pelkan = s.PelkanPid(), standin = s.StandinPid();
    const soak::ProcessStats first = soak::ReadProcessStats(pelkan);

    Count read{"READ"}, btrv{"BTRV"}, devn{"DEVN"};
    std::vector<soak::Sample> pelkanMemory, standinMemory;
    const auto start = steady_clock::now();
    auto nextSample = start;
    auto nextReport = start + minutes(1);
    soak::ProcessLayout lastLayout = soak::ReadProcessLayout(pelkan);
    auto exchange = [&](Count& c, const std::string& line, bool (*good)(const std::string&)) {
        ++c.sent;
        if (good(s.Command(line))) {
            ++c.answered;
            return;
        }
        // A reply that comes late must not be taken for the next one's.
        std::this_thread::sleep_for(500ms);
        s.Line().ClearReceived();
    };
    auto readGood = [](const std::string& r) { return r.size() == 90 && r.rfind("FX", 0) == 0; };
    auto okGood = [](const std::string& r) { return r == "OK\r\n"; };

    for (long i = 0;; ++i) {
        const auto slot = start + i * kReadPeriod;
        const auto now = steady_clock::now();
        if (now - start >= length) break;
        if (now >= nextSample) {
            const double t = duration<double>(now - start).count();
            pelkanMemory.push_back({t, double(soak::ReadProcessStats(pelkan).residentKb)});
            standinMemory.push_back({t, double(soak::ReadProcessStats(standin).residentKb)});
            nextSample += kSamplePeriod;
        }
        if (now >= nextReport) {
            std::fprintf(stderr, "%4.0f min: READ %ld/%ld, resident %.0f KB\n",
                         duration<double, std::ratio<60>>(now - start).count(), read.answered,
                         read.sent, pelkanMemory.back().residentKb);
            // Where a change of the last minute went: the mappings and descriptors that changed.
            soak::ProcessLayout layout = soak::ReadProcessLayout(pelkan);
            for (const std::string& change : soak::LayoutChanges(lastLayout, layout))
                std::fprintf(stderr, "        %s\n", change.c_str());
            lastLayout = std::move(layout);
            nextReport += minutes(1);
        }
        std::this_thread::sleep_until(slot);
        if (idle) continue;
        exchange(read, "READ", readGood);
        if (readsOnly) continue;
        if (i % kReadsPerBtrv == kReadsPerBtrv - 1) exchange(btrv, "BTRV X003", okGood);
        if (i % kReadsPerDevn == kReadsPerDevn - 1)
            exchange(devn, (i / kReadsPerDevn) % 2 ? "DEVN X000" : "DEVN X020", okGood);
    }
    const double ran = duration<double>(steady_clock::now() - start).count();
    const soak::ProcessStats last = soak::ReadProcessStats(pelkan);
    if (!s.PelkanRunning()) std::printf("pelkan.exe is no longer running\n");

    const double slope = soak::SlopeKbPerHour(pelkanMemory, warmUp);
    const double baseline = soak::SlopeKbPerHour(standinMemory, warmUp);
    long missed = 0;
    std::printf("soak: %.1f minutes, pelkan.exe with the stand-in (Wine, virtual line)\n",
                ran / 60);
    for (const Count* c : {&read, &btrv, &devn}) {
        std::printf("  %s: %ld sent, %ld answered, %ld missed\n", c->name, c->sent, c->answered,
                    c->sent - c->answered);
        missed += c->sent - c->answered;
    }
    PrintStats("start:", first);
    PrintStats("end:", last);
    std::printf("resident memory slope after the first %.0f s:\n", warmUp);
    std::printf("  pelkan.exe  %+.0f KB/hour (target <= 100)\n", slope);
    std::printf("  stand-in    %+.0f KB/hour (baseline)\n", baseline);
    std::printf("  difference  %+.0f KB/hour\n", slope - baseline);
    return missed == 0 && slope <= 100 ? 0 : 1;
}
