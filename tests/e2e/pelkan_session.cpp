// The whole-program session: stand-in, pelkan.exe, virtual line, winctl.
#include "tests/e2e/pelkan_session.h"

#include <signal.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace e2e {

PelkanSession::PelkanSession(const std::string& name, int com,
                             const std::vector<std::string>& standinOptions,
                             const std::string& settings)
    : name_(name) {
    // A stand-in that ended must fail the test, not kill the test program on its next write.
    signal(SIGPIPE, SIG_IGN);
    const Paths& paths = Paths::Get();
    dir_ = paths.output + "/" + name;
    std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
    std::system(("cp '" + paths.winBuild + "/app/pelkan.exe' '" + dir_ + "/'").c_str());
    // Pelkan to the right of the stand-in, so that neither covers the other's grid.
    std::ofstream(dir_ + "/pelkan.ini") << "[Form]\r\nLeft=1000\r\nTop=20\r\n" << settings;

    line_ = std::make_unique<vline::VirtualLine>(paths.prefix, com);

    std::vector<std::string> options{"--pos", "0,0", "--size", "980,640"};
    options.insert(options.end(), standinOptions.begin(), standinOptions.end());
    standin_ = std::make_unique<WineProgram>(paths.winBuild + "/tools/standin/standin.exe",
                                             options, true, dir_ + "/standin.log");
    std::string ready;
    while (standin_->ReadLine(ready, std::chrono::seconds(20)) && ready != "ready") {
    }
    if (ready != "ready") throw std::runtime_error("the stand-in did not get ready");

    pelkan_ = std::make_unique<WineProgram>(dir_ + "/pelkan.exe", std::vector<std::string>{},
                                            false, dir_ + "/pelkan.log");
    if (Winctl({"wait", kPelkanTitle, "20000"}) != 0)
        throw std::runtime_error("pelkan.exe did not show its window");
    if (Winctl({"select", kPelkanTitle, "COM" + std::to_string(com) + "."}) != 0)
        throw std::runtime_error("COM" + std::to_string(com) + " is not in Pelkan's port list");
}

PelkanSession::~PelkanSession() {
    if (pelkan_ && pelkan_->Running()) {
        Winctl({"close", kPelkanTitle, "10000"});
        pelkan_->Wait(std::chrono::seconds(10));
    }
    pelkan_.reset();
    if (standin_ && standin_->Running()) {
        try {
            standin_->WriteLine("quit");
        } catch (const std::exception&) {
        }
        standin_->Wait(std::chrono::seconds(5));
    }
    standin_.reset();
}

bool PelkanSession::Press(const std::string& caption) {
    return Winctl({"click", kPelkanTitle, caption}) == 0;
}

std::string PelkanSession::Standin(const std::string& command) {
    standin_->WriteLine(command);
    std::string answer;
    if (!standin_->ReadLine(answer, std::chrono::seconds(10)))
        throw std::runtime_error("the stand-in did not answer " + command);
    return answer;
}

std::string PelkanSession::ReadReply(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    std::string reply;
    while (reply.size() < 2 || reply.compare(reply.size() - 2, 2, "\r\n") != 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        std::string got = line_->Receive(1, left);
        if (got.empty()) return {};
        reply += got;
    }
    return reply;
}

std::string PelkanSession::Exchange(const std::string& bytes, std::chrono::milliseconds timeout) {
    line_->Send(bytes);
    return ReadReply(timeout);
}

void PelkanSession::Screenshot(const std::string& what) {
    e2e::Screenshot(Paths::Get().output + "/" + name_ + "-" + what + ".png");
}

std::string ReadReply(bool fx, const std::string& firstDevice, const std::vector<uint16_t>& words,
                      const std::vector<uint16_t>& prev) {
    std::string reply = fx ? "FX" : "QR";
    reply += (firstDevice + "      ").substr(0, 6);
    char hex[8];
    for (size_t i = 0; i < 10; ++i) {
        std::snprintf(hex, sizeof hex, "%04X", i < words.size() ? words[i] : 0);
        reply += hex;
    }
    for (size_t i = 0; i < 10; ++i) {
        std::snprintf(hex, sizeof hex, "%04X", i < prev.size() ? prev[i] : 0);
        reply += hex;
    }
    return reply + "\r\n";
}

}  // namespace e2e
