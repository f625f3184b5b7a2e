// The process-wide millisecond clock and its test override.
#include "platform/clock.h"

#ifdef _WIN32
#include <windows.h>
#include <timeapi.h>
#else
#include <chrono>
#endif

namespace platform {
namespace {
std::function<uint32_t()>& Override() {
    static std::function<uint32_t()> clock;
    return clock;
}
}  // namespace

uint32_t NowMs() {
    if (auto& clock = Override()) return clock();
#ifdef _WIN32
    return timeGetTime();
#else
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
#endif
}

void SetClockForTest(std::function<uint32_t()> clock) { Override() = std::move(clock); }

}  // namespace platform
