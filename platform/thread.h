// Thread priorities on the scale the serial layer speaks in. Windows: SetThreadPriority on the
// thread's handle; host: the request is recorded and reported back, the scheduler is not asked.
#pragma once
#include <thread>

namespace platform {

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// Sets the priority of a running std::thread; false when the system refused.
bool SetThreadPriority(std::thread& thread, TThreadPriority priority);

}  // namespace platform
