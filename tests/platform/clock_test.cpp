// The replaceable clock.
#include "platform/clock.h"

#include <gtest/gtest.h>

TEST(Clock, OverrideReplacesAndRestoresTheClock) {
    platform::SetClockForTest([] { return 0xFFFFFFF0u; });
    EXPECT_EQ(platform::NowMs(), 0xFFFFFFF0u);
    platform::SetClockForTest(nullptr);
    uint32_t a = platform::NowMs();
    uint32_t b = platform::NowMs();
    EXPECT_LE(b - a, 1000u);  // the real clock moves forward, modulo 2^32
}
