// A waitable event, auto- or manual-reset. On Windows it is a real event object, so that the
// device layer can wait on it together with overlapped I/O; on the host it is a mutex and a
// condition variable with the same rules.
#pragma once
#include <cstdint>
#include <memory>

namespace platform {

enum class WaitResult { Signaled, TimedOut, Abandoned, Failed };

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
public:
    enum class Reset { Auto, Manual };
    // Created not signalled. Throws std::system_error when the system has no event to give.
    explicit Event(Reset mode = Reset::Auto);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void ResetEvent();
    // Waits up to timeoutMs (kInfinite: for ever). An auto-reset event is reset by the wait that
    // it ends.
    WaitResult Wait(uint32_t timeoutMs);

#ifdef _WIN32
    // The event's handle, owned by this object, for WaitForMultipleObjects and OVERLAPPED.
    void* NativeHandle() const;
#endif

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
