// The peer's serial line on Linux: termios devices and pseudo-terminals.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "tools/peer/serial_line.h"

namespace peer {
namespace {

speed_t BaudConstant(int baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return 0;
    }
}

bool MakeRaw(int fd, int baud) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    if (speed_t speed = BaudConstant(baud)) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

class FdLine : public SerialLine {
public:
    FdLine(int fd, int peerFd, std::string link) : fd_(fd), peerFd_(peerFd), link_(std::move(link)) {}
    ~FdLine() override {
        if (!link_.empty()) unlink(link_.c_str());
        if (peerFd_ >= 0) close(peerFd_);
        close(fd_);
    }

    bool Write(const std::string& bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 100);
                continue;
            }
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool ReadLine(std::string& line, int timeoutMs) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                line = pending_.substr(0, lf + 1);
                pending_.erase(0, lf + 1);
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) return false;
        }
    }

    std::string Drain(int timeoutMs) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) break;
        }
        return std::exchange(pending_, std::string());
    }

private:
    // Waits up to timeoutMs for bytes and appends them to pending_. False on time-out or when the
    // far end is gone.
    bool ReadSome(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, timeoutMs);
        if (ready <= 0) return false;
        char buf[4096];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) {
            // A pseudo-terminal's master reads EIO while nobody holds the far end open: that is
            // a quiet line, not an error, so wait a moment instead of spinning.
            if (n < 0 && errno == EIO) usleep(20000);
            return n < 0 && (errno == EAGAIN || errno == EINTR || errno == EIO);
        }
        pending_.append(buf, static_cast<size_t>(n));
        return true;
    }

    int fd_;
    int peerFd_;  // our own hold on a pseudo-terminal's far end, so it never hangs up on us
    std::string link_;
    std::string pending_;
};

}  // namespace

std::unique_ptr<SerialLine> OpenSerialDevice(const std::string& device, int baud,
                                             std::string& error) {
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = device + ": " + strerror(errno);
        return nullptr;
    }
    if (!MakeRaw(fd, baud)) {
        error = device + ": cannot set the line to " + std::to_string(baud) + " 8N1: " +
                strerror(errno);
        close(fd);
        return nullptr;
    }
    return std::make_unique<FdLine>(fd, -1, std::string());
}

std::unique_ptr<SerialLine> CreatePseudoTerminal(const std::string& linkPath, std::string& error) {
    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + strerror(errno);
        return nullptr;
    }
    MakeRaw(slave, 9600);
    MakeRaw(master, 9600);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    unlink(linkPath.c_str());
    if (symlink(name, linkPath.c_str()) != 0) {
        error = linkPath + ": " + strerror(errno);
        close(master);
        close(slave);
        return nullptr;
    }
    return std::make_unique<FdLine>(master, slave, linkPath);
}

}  // namespace peer
