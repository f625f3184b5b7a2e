// A pipe whose read end a thread puts into poll() beside its device, so that another thread can
// end that wait at once. It stays readable from Signal until Drain.
#pragma once
#include "serial/device/posix_fd.h"

class TPosixWakePipe {
  public:
    // Throws std::system_error when the system has no pipe to give.
    TPosixWakePipe();
    TPosixWakePipe(const TPosixWakePipe&) = delete;
    TPosixWakePipe& operator=(const TPosixWakePipe&) = delete;

    // Any thread; never blocks (a full pipe is readable already).
    void Signal();
    // Empties the pipe: the next poll waits again.
    void Drain();
    int Fd() const { return FRead.get(); }

  private:
    TUniqueFd FRead;
    TUniqueFd FWrite;
};
