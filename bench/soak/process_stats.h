// What the soak watches of a running process, read from /proc: resident memory, threads and
// open handles (under Wine every Windows handle to a file, a device or a pipe is a descriptor of
// the Linux process, and every Windows thread a Linux thread).
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace soak {

struct ProcessStats {
    int64_t residentKb = -1;
    int threads = -1;
    int descriptors = -1;
};

ProcessStats ReadProcessStats(pid_t pid);

// A memory sample: seconds since the start, resident KB.
struct Sample {
    double seconds;
    double residentKb;
};

// The least-squares slope of resident memory in KB per hour over the samples taken at or after
// `fromSeconds`; 0 when fewer than two samples are there.
double SlopeKbPerHour(const std::vector<Sample>& samples, double fromSeconds);

}  // namespace soak
