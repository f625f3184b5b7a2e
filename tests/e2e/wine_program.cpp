// Starting and ending Windows programs under Wine from a native test.
#include "tests/e2e/wine_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {
namespace {
std::string Env(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}
}  // namespace

const Paths& Paths::Get() {
    static const Paths paths = [] {
        Paths p;
        p.root = Env("PELKAN_ROOT", PELKAN_SOURCE_DIR);
        std::string build = Env("PELKAN_BUILD", p.root + "/build");
        p.winBuild = Env("PELKAN_WIN_BUILD", build + "/win");
        p.prefix = Env("WINEPREFIX", build + "/wineprefix");
        p.output = Env("PELKAN_E2E_OUTPUT", build + "/e2e-output");
        std::system(("mkdir -p '" + p.output + "'").c_str());
        return p;
    }();
    return paths;
}

std::string WindowsPath(const std::string& path) {
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

WineProgram::WineProgram(const std::string& exe, const std::vector<std::string>& args, bool pipes,
                         const std::string& logFile) {
    std::vector<std::string> argv{Paths::Get().root + "/scripts/wine-run", exe};
    argv.insert(argv.end(), args.begin(), args.end());
    int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (pipes) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
        pid_ = Spawn(argv, toChild[0], fromChild[1], log);
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        fcntl(in_, F_SETFD, FD_CLOEXEC);
        fcntl(out_, F_SETFD, FD_CLOEXEC);
    } else {
        int null = open("/dev/null", O_RDONLY);
        pid_ = Spawn(argv, null, log, log);
        close(null);
    }
    close(log);
}

WineProgram::~WineProgram() {
    Kill();
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
}

bool WineProgram::Running() {
    if (pid_ < 0) return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return false;
    }
    return true;
}

int WineProgram::Wait(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

void WineProgram::Kill() {
    if (!Running()) return;
    kill(pid_, SIGTERM);
    if (Wait(std::chrono::seconds(5)) < 0) {
        kill(pid_, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
}

bool WineProgram::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, lf + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || out_ < 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[4096];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

void WineProgram::WriteLine(const std::string& line) {
    std::string text = line + "\n";
    if (in_ < 0 || write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("the program's input is closed");
}

int Winctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{Paths::Get().root + "/scripts/wine-run",
                                  Paths::Get().winBuild + "/tools/winctl/winctl.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    int null = open("/dev/null", O_RDWR);
    pid_t pid = Spawn(argv, null, null, null);
    close(null);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Screenshot(const std::string& pngPath) {
    std::string cmd = "import -window root '" + pngPath + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace e2e
