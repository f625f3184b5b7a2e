// What a port freed while its dispatcher's thread still runs leaves behind (the dispatcher, whose
// thread may be inside one of the port's events and waiting for the main thread), and the hidden
// windows of ports freed from inside a window procedure. They are freed on the main thread once
// that thread has ended and no port window procedure or close is running: the port itself is
// gone by then. The same look at ended threads wakes a port's deferred close that waits for its
// dispatcher's threads.
//
// Main thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/message_window.h"

class TSioBaseDispatcher;

// Takes what the port leaves: the dispatcher (may be null) must no longer name its owner.
void AdoptOrphanedPortParts(std::unique_ptr<TSioBaseDispatcher> Dispatcher,
                            std::vector<std::unique_ptr<platform::MessageWindow>> Windows);
// How many ports' leftovers are still waiting to be freed.
size_t OrphanedPortParts();

// A deferred close waiting for Dispatcher's threads to end. False when they have ended already;
// otherwise Msg (with LParam) is posted to Window once, after the next end of a dispatcher's
// threads (any dispatcher's: the close looks at its own and waits again if need be). A later
// call for the same Waiter replaces its wait.
bool AwaitThreadsEnd(const TSioBaseDispatcher& Dispatcher, const void* Waiter,
                     platform::WindowHandle Window, uint32_t Msg, intptr_t LParam);
// Withdraws Waiter's wait, if any (its close finished, or its port is being freed).
void ForgetThreadsEndWait(const void* Waiter);

// Counts the port window procedures running on the main thread, and the closes waiting there for
// a dispatcher's thread (they may nest): a window is not destroyed, and a dispatcher not freed,
// while one of them may be its own.
class TPortInUseScope {
  public:
    TPortInUseScope();
    ~TPortInUseScope();
    TPortInUseScope(const TPortInUseScope&) = delete;
    TPortInUseScope& operator=(const TPortInUseScope&) = delete;
    static bool Running();
};
