// The millisecond clock the serial layer counts ticks with: timeGetTime on Windows, a steady
// clock on the host. Tests replace it to step through the 32-bit wrap-around.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like timeGetTime.
uint32_t NowMs();

// Replaces the clock for the whole process until reset with an empty function. Only for tests;
// not to be called while other threads read the clock.
void SetClockForTest(std::function<uint32_t()> clock);

}  // namespace platform
