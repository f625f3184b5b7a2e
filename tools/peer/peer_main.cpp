// pelkan-peer: the remote party's side of Pelkan's serial line. Sends commands, prints each reply
// and decodes READ replies into device states.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/peer/read_reply.h"
#include "tools/peer/peer_line.h"

namespace {

const char kUsage[] =
    "usage: pelkan-peer (--device DEV | --pty-link PATH) [options] [COMMAND ...]\n"
    "  --device DEV     the serial device: a port (COM3) or, on Linux, a path (/dev/ttyUSB0,\n"
    "                   /dev/serial/by-id/...); COMn opens /dev/ttyS<n-1> on Linux\n"
    "  --pty-link PATH  make a pseudo-terminal and link PATH to its far end (Linux), for a\n"
    "                   program under Wine: PATH is then WINEPREFIX/dosdevices/comN\n"
    "  --baud N         9600 unless given\n"
    "  --timeout MS     how long to wait for each reply, 3000 unless given\n"
    "  --raw            print replies only, without decoding READ\n"
    "Each COMMAND is sent as one line ending in CR LF and its reply is printed. A COMMAND of the\n"
    "form @sleep=MS waits MS milliseconds and sends nothing.\n"
    "Without COMMANDs, lines typed on standard input are sent one by one.\n"
    "Exit status: 0 when every command was answered, 1 when one was not, 2 on bad usage.\n";

std::string Visible(const std::string& reply) {
    std::string out;
    for (char c : reply) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// Sends one command and prints its reply; false when none came.
bool RunCommand(peer::PeerLine& line, const std::string& command, int timeoutMs, bool raw) {
    if (command.rfind("@sleep=", 0) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(command.c_str() + 7)));
        return true;
    }
    std::printf("> %s\n", command.c_str());
    std::fflush(stdout);
    if (!line.Write(command + "\r\n")) {
        std::printf("! the line is gone\n");
        return false;
    }
    std::string reply;
    if (!line.ReadLine(reply, timeoutMs)) {
        std::printf("! no reply within %d ms\n", timeoutMs);
        return false;
    }
    std::printf("< %s\n", Visible(reply).c_str());
    if (!raw) {
        if (auto read = peer::ParseReadReply(reply))
            std::printf("%s", peer::FormatDeviceTable(*read).c_str());
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device, ptyLink;
    int baud = 9600, timeoutMs = 3000;
    bool raw = false;
    std::vector<std::string> commands;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n%s", arg.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--device")
            device = value();
        else if (arg == "--pty-link")
            ptyLink = value();
        else if (arg == "--baud")
            baud = std::atoi(value().c_str());
        else if (arg == "--timeout")
            timeoutMs = std::atoi(value().c_str());
        else if (arg == "--raw")
            raw = true;
        else if (arg == "--help" || arg == "-h") {
            std::printf("%s", kUsage);
            return 0;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else
            commands.push_back(arg);
    }
    if (device.empty() == ptyLink.empty() || baud <= 0 || timeoutMs <= 0) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }

    std::unique_ptr<peer::PeerLine> line;
    try {
        line = std::make_unique<peer::PeerLine>(device, ptyLink, baud);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelkan-peer: %s\n", e.what());
        return 1;
    }
    if (!ptyLink.empty()) {
        std::printf("line ready: %s\n", ptyLink.c_str());
        std::fflush(stdout);
    }

    bool allAnswered = true;
    if (!commands.empty()) {
        for (const std::string& command : commands)
            allAnswered = RunCommand(*line, command, timeoutMs, raw) && allAnswered;
    } else {
        std::string command;
        while (std::getline(std::cin, command)) {
            if (!command.empty() && command.back() == '\r') command.pop_back();
            allAnswered = RunCommand(*line, command, timeoutMs, raw) && allAnswered;
        }
    }
    return allAnswered ? 0 : 1;
}
