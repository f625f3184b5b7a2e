// pelkan-vline: runs a command with a virtual serial line beside it. It makes the line (a pty
// pair behind the Wine prefix's COMn), starts the command with PELKAN_VLINE_COM=<n> and
// PELKAN_VLINE_CONTROL=127.0.0.1:<port> in its environment, plays the remote party as the
// command asks over that loopback control connection (protocol in vline_client.h), and exits
// with the command's exit code.
//
//   pelkan-vline [--com N] [--prefix DIR] -- command args...
//
// DIR defaults to $WINEPREFIX, N to 5. Threads: the main thread waits for the command; one
// thread accepts control connections and serves them one at a time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/virtual_line/virtual_line.h"

namespace {

using std::chrono::milliseconds;

bool ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (true) {
        ssize_t n = ::recv(fd, &c, 1, 0);
        if (n <= 0) return false;
        if (c == '\n') return true;
        line += c;
    }
}

bool ReadExact(int fd, std::string& out, size_t n) {
    out.resize(n);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::recv(fd, out.data() + done, n - done, 0);
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// One request, one answer; see vline_client.h for the commands.
bool Serve(vline::VirtualLine& line, int fd) {
    std::string request;
    if (!ReadLine(fd, request)) return false;
    std::istringstream in(request);
    std::string cmd;
    in >> cmd;
    if (cmd == "SEND") {
        size_t n = 0;
        in >> n;
        std::string bytes;
        if (!ReadExact(fd, bytes, n)) return false;
        line.Send(bytes);
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "GEN") {
        uint64_t n = 0;
        uint32_t seed = 0;
        in >> n >> seed;
        line.Generate(n, seed);
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "WAITSENT") {
        long tmo = 0;
        in >> tmo;
        return WriteAll(fd, line.WaitSent(milliseconds(tmo)) ? "OK\n" : "TIMEOUT\n");
    }
    if (cmd == "RECV") {
        size_t n = 0;
        long tmo = 0;
        in >> n >> tmo;
        std::string bytes = line.Receive(n, milliseconds(tmo));
        return WriteAll(fd, "DATA " + std::to_string(bytes.size()) + "\n" + bytes);
    }
    if (cmd == "CHECK") {
        uint64_t n = 0;
        uint32_t seed = 0;
        long tmo = 0;
        in >> n >> seed >> tmo;
        return WriteAll(fd,
                        "CHECK " + std::to_string(line.Check(n, seed, milliseconds(tmo))) + "\n");
    }
    if (cmd == "COUNT")
        return WriteAll(fd, "COUNT " + std::to_string(line.Pending()) + " " +
                                std::to_string(line.TotalReceived()) + "\n");
    if (cmd == "CLEAR") {
        line.ClearReceived();
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "HOLD") {
        std::string on;
        in >> on;
        line.Hold(on == "on");
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "HANGUP") {
        line.Hangup();
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "RESET") {
        line.Reset();
        return WriteAll(fd, "OK\n");
    }
    if (cmd == "RTT") {
        int count = 0;
        long tmo = 0;
        size_t n = 0;
        in >> count >> tmo >> n;
        std::string text;
        if (!ReadExact(fd, text, n)) return false;
        std::string answer = "RTT";
        for (int64_t us : line.RoundTrips(text, count, milliseconds(tmo)))
            answer += " " + std::to_string(us);
        return WriteAll(fd, answer + "\n");
    }
    return WriteAll(fd, "ERROR unknown command\n");
}

int Usage() {
    std::fprintf(stderr, "usage: pelkan-vline [--com N] [--prefix DIR] -- command args...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int com = 5;
    std::string prefix = std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "";
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--com" && i + 1 < argc)
            com = std::atoi(argv[++i]);
        else if (a == "--prefix" && i + 1 < argc)
            prefix = argv[++i];
        else if (a == "--") {
            ++i;
            break;
        } else
            return Usage();
    }
    if (i >= argc || prefix.empty() || com <= 0) return Usage();

    try {
        vline::VirtualLine line(prefix, com);

        int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(server, 4) != 0 ||
            ::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            std::perror("pelkan-vline: control socket");
            return 2;
        }
        std::string control = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

        pid_t child = ::fork();
        if (child == 0) {
            ::setenv("PELKAN_VLINE_COM", std::to_string(com).c_str(), 1);
            ::setenv("PELKAN_VLINE_CONTROL", control.c_str(), 1);
            ::execvp(argv[i], argv + i);
            std::perror("pelkan-vline: exec");
            _exit(127);
        }

        std::atomic<bool> serverDone{false};
        std::thread serving([&line, &serverDone, server] {
            while (true) {
                int fd = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) break;
                int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                while (Serve(line, fd)) {
                }
                ::close(fd);
            }
            serverDone.store(true);
        });

        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int code = WIFEXITED(status) ? WEXITSTATUS(status)
                                     : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        // The command is gone, so its control connection ends; stop accepting and let the
        // serving thread finish before the line is taken down. Should a connection outlive the
        // command (a grandchild holding it), leave without waiting for it.
        ::shutdown(server, SHUT_RDWR);
        for (int wait = 0; wait < 200 && !serverDone.load(); ++wait) ::usleep(10000);
        if (!serverDone.load()) {
            ::unlink((prefix + "/dosdevices/com" + std::to_string(com)).c_str());
            _exit(code);
        }
        serving.join();
        ::close(server);
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelkan-vline: %s\n", e.what());
        return 2;
    }
}
