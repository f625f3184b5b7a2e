// What the soak watches of a running process, read from /proc: resident memory, threads and
// open handles (under Wine every Windows handle to a file, a device or a pipe is a descriptor of
// the Linux process, and every Windows thread a Linux thread).
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace soak {

struct ProcessStats {
    int64_t residentKb = -1;
    int threads = -1;
    int descriptors = -1;
};

ProcessStats ReadProcessStats(pid_t pid);

// Where a process's memory and descriptors are, to say where a change went: resident KB per
// mapping (keyed by address range and file) and the targets of the open descriptors.
struct ProcessLayout {
    std::map<std::string, int64_t> residentKbByMapping;
    std::map<std::string, std::string> descriptorTargets;  // descriptor number -> target
};
ProcessLayout ReadProcessLayout(pid_t pid);
// One line per mapping whose resident size changed and per descriptor opened or closed.
std::vector<std::string> LayoutChanges(const ProcessLayout& before, const ProcessLayout& after);

// A memory sample: seconds since the start, resident KB.
struct Sample {
    double seconds;
    double residentKb;
};

// The least-squares slope of resident memory in KB per hour over the samples taken at or after
// `fromSeconds`; 0 when fewer than two samples are there.
double SlopeKbPerHour(const std::vector<Sample>& samples, double fromSeconds);

}  // namespace soak
