// The program's clock for tests with a running dispatcher thread: real milliseconds, which the
// dispatcher's own waits count, plus whatever the test has skipped ahead.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace testsupport {

// `skipped` must outlive the clock: reset it with platform::SetClockForTest(nullptr).
inline void UseRealClockPlus(const std::atomic<uint32_t>& skipped) {
    platform::SetClockForTest([&skipped] {
        const auto real = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(real).count()) +
               skipped.load();
    });
}

}  // namespace testsupport
