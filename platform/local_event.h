// An event for the threads of this process only: the rules of Event (auto- or manual-reset,
// timed waits, an auto-reset event reset by the wait it ends) without a system object behind
// it, so that setting and waiting make no call into the system's object manager (under Wine,
// no round trip to its server). It cannot be waited on together with I/O: Event does that.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/event.h"

namespace platform {

class LocalEvent {
  public:
    // Created not signalled.
    explicit LocalEvent(Event::Reset mode = Event::Reset::Auto);
    ~LocalEvent();
    LocalEvent(const LocalEvent&) = delete;
    LocalEvent& operator=(const LocalEvent&) = delete;

    void Set();
    void ResetEvent();
    // Waits up to timeoutMs (kInfinite: for ever); Signaled or TimedOut.
    WaitResult Wait(uint32_t timeoutMs);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
