// A pseudo-terminal pair for tests and benchmarks on the host: the test holds the controlling
// side and a program under test opens the other side by its path, as it would a serial device.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>

#include "serial/device/posix_fd.h"

namespace testsupport {

class PtyPair {
  public:
    PtyPair() {
        Controller.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!Controller || grantpt(Controller.get()) != 0 || unlockpt(Controller.get()) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (ptsname_r(Controller.get(), name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal name");
        FarPath = name;
        fcntl(Controller.get(), F_SETFL, fcntl(Controller.get(), F_GETFL) | O_NONBLOCK);
    }

    // Writes all of Bytes (waiting for room); false when the line has gone.
    bool Write(const std::string& Bytes) const {
        size_t done = 0;
        while (done < Bytes.size()) {
            ssize_t n = write(Controller.get(), Bytes.data() + done, Bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{Controller.get(), POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }
    // Reads until Count bytes have come or LimitMs has passed; what came.
    std::string Read(size_t Count, int LimitMs = 10000) const {
        std::string got;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
        char buf[4096];
        while (got.size() < Count && std::chrono::steady_clock::now() < giveUp) {
            pollfd p{Controller.get(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            ssize_t n = read(Controller.get(), buf, std::min(sizeof buf, Count - got.size()));
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    // What has arrived so far, without waiting.
    std::string ReadAvailable() const {
        std::string got;
        char buf[4096];
        for (ssize_t n; (n = read(Controller.get(), buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<size_t>(n));
        return got;
    }

    TUniqueFd Controller;
    std::string FarPath;  // /dev/pts/N
};

}  // namespace testsupport
