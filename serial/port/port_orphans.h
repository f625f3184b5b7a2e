// What a port freed while its dispatcher's thread still runs leaves behind (the dispatcher, whose
// thread may be inside one of the port's events and waiting for the main thread), and the hidden
// windows of ports freed from inside a window procedure. They are freed on the main thread once
// that thread has ended and no port window procedure is running: the port itself is gone by then.
//
// Main thread only.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/message_window.h"

class TSioBaseDispatcher;

// Takes what the port leaves: the dispatcher (may be null) must no longer name its owner.
void AdoptOrphanedPortParts(std::unique_ptr<TSioBaseDispatcher> Dispatcher,
                            std::vector<std::unique_ptr<platform::MessageWindow>> Windows);
// How many ports' leftovers are still waiting to be freed.
size_t OrphanedPortParts();

// Counts the port window procedures running on the main thread (they may nest): a window is not
// destroyed while one of them may be its own.
class TPortWindowProcScope {
  public:
    TPortWindowProcScope();
    ~TPortWindowProcScope();
    TPortWindowProcScope(const TPortWindowProcScope&) = delete;
    TPortWindowProcScope& operator=(const TPortWindowProcScope&) = delete;
    static bool Running();
};
