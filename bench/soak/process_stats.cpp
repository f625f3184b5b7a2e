// Process figures from /proc and the memory slope.
#include "bench/soak/process_stats.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace soak {

ProcessStats ReadProcessStats(pid_t pid) {
    ProcessStats stats;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream status(dir + "/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "VmRSS:") fields >> stats.residentKb;
        if (key == "Threads:") fields >> stats.threads;
    }
    std::error_code ec;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator(dir + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    if (!ec) stats.descriptors = count;
    return stats;
}

double SlopeKbPerHour(const std::vector<Sample>& samples, double fromSeconds) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample& s : samples) {
        if (s.seconds < fromSeconds) continue;
        const double x = s.seconds / 3600.0;
        n += 1;
        sx += x;
        sy += s.residentKb;
        sxx += x * x;
        sxy += x * s.residentKb;
    }
    const double d = n * sxx - sx * sx;
    return n < 2 || d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

}  // namespace soak
