// The control channel's commands: one line in, one line out ("ok ..." or "error <reason>").
// Device names are written as the monitor writes them in its current mode (octal in FX mode,
// hexadecimal otherwise). README.md lists the commands.
#include <cstdlib>
#include <sstream>

#include "tools/standin/monitor_app.h"

namespace standin {
namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The rest of the line after the first word, for texts that may hold spaces.
std::string Rest(const std::string& line) {
    size_t start = line.find_first_not_of(' ');
    size_t space = start == std::string::npos ? std::string::npos : line.find(' ', start);
    return space == std::string::npos ? std::string() : line.substr(space + 1);
}

bool ParseFlag(const std::string& word, bool* value) {
    if (word == "0" || word == "1") {
        *value = word == "1";
        return true;
    }
    return false;
}

}  // namespace

std::string MonitorApp::Execute(const std::string& line) {
    const auto words = Words(line);
    if (words.empty()) return "error empty line";
    const std::string& command = words[0];
    const size_t args = words.size() - 1;
    auto device = [this](const std::string& word) { return ParseDevice(FromUtf8(word), fx_); };

    if (command == "ping" && args == 0) return "ok";
    if (command == "state" && args == 0) return "ok " + StateLine();
    if (command == "events" && args == 0) {
        std::string answer = "ok";
        for (const auto& event : events_) answer += " " + event;
        events_.clear();
        return answer;
    }
    if (command == "fx" && args == 1) {
        bool fx;
        if (!ParseFlag(words[1], &fx)) return "error fx takes 0 or 1";
        SetFx(fx);
        return "ok";
    }
    if (command == "first" && args == 1) {
        auto first = device(words[1]);
        if (!first) return "error not a device: " + words[1];
        SetFirst(*first);
        return "ok";
    }
    if (command == "set" && args == 2) {
        auto d = device(words[1]);
        bool on;
        if (!d) return "error not a device: " + words[1];
        if (!ParseFlag(words[2], &on)) return "error set takes 0 or 1";
        memory_.Set(*d, on);
        grid_.Redraw();
        return "ok";
    }
    if (command == "fill" && args == 2) {
        // Consecutive devices from the one named, one character 0 or 1 each.
        auto d = device(words[1]);
        if (!d) return "error not a device: " + words[1];
        const std::string& bits = words[2];
        if (bits.find_first_not_of("01") != std::string::npos) return "error bits are 0 or 1";
        if (!DeviceAt(*d, static_cast<int>(bits.size()) - 1)) return "error past the last device";
        for (size_t i = 0; i < bits.size(); ++i)
            memory_.Set(*DeviceAt(*d, static_cast<int>(i)), bits[i] == '1');
        grid_.Redraw();
        return "ok";
    }
    if (command == "get" && (args == 1 || args == 2)) {
        auto d = device(words[1]);
        if (!d) return "error not a device: " + words[1];
        int count = 1;
        if (args == 2) {
            count = atoi(words[2].c_str());
            if (count < 1 || !DeviceAt(*d, count - 1)) return "error bad count";
        }
        std::string bits;
        for (int i = 0; i < count; ++i) bits += memory_.Get(*DeviceAt(*d, i)) ? '1' : '0';
        return "ok " + bits;
    }
    if (command == "clear" && args == 0) {
        memory_.Clear();
        grid_.Redraw();
        return "ok";
    }
    if (command == "reject-title" && args >= 1) {
        rejectTitle_ = FromUtf8(Rest(line));
        return "ok";
    }
    if (command == "dialog-next" && args <= 1) {
        bool on = true;
        if (args == 1 && !ParseFlag(words[1], &on)) return "error dialog-next takes 0 or 1";
        dialogOnNextToggle_ = on;
        return "ok";
    }
    if (command == "minimize" && args == 0) {
        ShowWindow(frame_, SW_MINIMIZE);
        return "ok";
    }
    if (command == "restore" && args == 0) {
        ShowWindow(frame_, SW_RESTORE);
        UpdateWindow(frame_);
        return "ok";
    }
    if (command == "cover" && (args == 0 || (args == 1 && words[1] == "topmost"))) {
        Cover(args == 1);
        return "ok";
    }
    if (command == "uncover" && args == 0) {
        Uncover();
        return "ok";
    }
    if (command == "hang" && args == 1) {
        // "hang N": answered first, then the windows take no message for N milliseconds, as
        // an application that stops pumping its messages.
        char* end = nullptr;
        const long ms = strtol(words[1].c_str(), &end, 10);
        if (*end != '\0' || ms < 1 || ms > 600000) return "error hang takes 1 to 600000 ms";
        hangAfterAnswer_ = static_cast<DWORD>(ms);
        return "ok";
    }
    if (command == "quit" && args == 0) return "ok";
    return "error unknown command: " + line;
}

}  // namespace standin
