// The wake pipe of the POSIX device layer's threads.
#include "serial/device/posix_wake_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

TPosixWakePipe::TPosixWakePipe() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    FRead.reset(fds[0]);
    FWrite.reset(fds[1]);
}

void TPosixWakePipe::Signal() {
    const char one = 1;
    while (write(FWrite.get(), &one, 1) < 0 && errno == EINTR) {
    }
}

void TPosixWakePipe::Drain() {
    char bytes[64];
    for (;;) {
        ssize_t n = read(FRead.get(), bytes, sizeof bytes);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}
