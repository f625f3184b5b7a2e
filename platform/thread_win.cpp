// Thread priorities on Windows: the std::thread's system handle (winpthreads) gets the priority.
#include <pthread.h>
#include <windows.h>

#include "platform/thread.h"

namespace platform {

bool SetThreadPriority(std::thread& thread, TThreadPriority priority) {
    if (!thread.joinable()) return false;
    static constexpr int kLevels[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                      THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                      THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                      THREAD_PRIORITY_TIME_CRITICAL};
    HANDLE handle = pthread_gethandle(thread.native_handle());
    return handle && ::SetThreadPriority(handle, kLevels[static_cast<int>(priority)]) != 0;
}

}  // namespace platform
