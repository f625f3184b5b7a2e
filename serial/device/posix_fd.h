// TUniqueFd: the move-only owner of a POSIX file descriptor (-1 when none).
#pragma once
#include <unistd.h>

#include <utility>

class TUniqueFd {
  public:
    TUniqueFd() = default;
    explicit TUniqueFd(int Fd) : FFd(Fd) {}
    ~TUniqueFd() { reset(); }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    TUniqueFd(TUniqueFd&& Other) noexcept : FFd(Other.release()) {}
    TUniqueFd& operator=(TUniqueFd&& Other) noexcept {
        if (this != &Other) reset(Other.release());
        return *this;
    }

    int get() const { return FFd; }
    explicit operator bool() const { return FFd >= 0; }
    int release() { return std::exchange(FFd, -1); }
    void reset(int Fd = -1) {
        int old = std::exchange(FFd, Fd);
        if (old >= 0) ::close(old);
    }

  private:
    int FFd = -1;
};
