// Thread priorities on the host: the scheduler of a test machine is not asked; the request is
// accepted so that the serial layer behaves as on Windows.
#include "platform/thread.h"

namespace platform {

bool SetThreadPriority(std::thread& thread, TThreadPriority) { return thread.joinable(); }

}  // namespace platform
