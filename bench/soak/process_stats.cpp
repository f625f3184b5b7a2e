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

ProcessLayout ReadProcessLayout(pid_t pid) {
    ProcessLayout layout;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream smaps(dir + "/smaps");
    std::string line, mapping;
    while (std::getline(smaps, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "Rss:") {
            int64_t kb = 0;
            fields >> kb;
            layout.residentKbByMapping[mapping] += kb;
        } else if (first.find('-') != std::string::npos && first.back() != ':') {
            // "start-end perms offset dev inode [path]"
            std::string perms, offset, device, inode, path;
            fields >> perms >> offset >> device >> inode;
            std::getline(fields, path);
            mapping = first + " " + perms + path;
        }
    }
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        const auto target = std::filesystem::read_symlink(it->path(), linkError);
        layout.descriptorTargets[it->path().filename().string()] =
            linkError ? "?" : target.string();
    }
    return layout;
}

std::vector<std::string> LayoutChanges(const ProcessLayout& before, const ProcessLayout& after) {
    std::vector<std::string> lines;
    auto kbIn = [](const std::map<std::string, int64_t>& m, const std::string& k) {
        auto it = m.find(k);
        return it == m.end() ? int64_t{0} : it->second;
    };
    std::map<std::string, int64_t> all = before.residentKbByMapping;
    all.insert(after.residentKbByMapping.begin(), after.residentKbByMapping.end());
    for (const auto& [mapping, unused] : all) {
        const int64_t change =
            kbIn(after.residentKbByMapping, mapping) - kbIn(before.residentKbByMapping, mapping);
        if (change != 0)
            lines.push_back((change > 0 ? "+" : "") + std::to_string(change) + " KB  " + mapping);
    }
    for (const auto& [fd, target] : after.descriptorTargets)
        if (!before.descriptorTargets.count(fd)) lines.push_back("opened fd " + fd + " " + target);
    for (const auto& [fd, target] : before.descriptorTargets)
        if (!after.descriptorTargets.count(fd)) lines.push_back("closed fd " + fd + " " + target);
    return lines;
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
