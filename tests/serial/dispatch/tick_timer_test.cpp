// Tick timers against the replaceable clock, across the 32-bit wrap, and the waits built on them.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/message_window.h"
#include "serial/dispatch/tick_timer.h"

#include <thread>

namespace {

class TickTimers : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetClockForTest([this] { return now; });
    }
    void TearDown() override { platform::SetClockForTest(nullptr); }
    uint32_t now = 0;
};

TEST_F(TickTimers, CountsFiftyFiveMillisecondTicks) {
    now = 55 * 10 + 54;
    EXPECT_EQ(10, CurrentTicks());
    TickTimer t;
    StartTickTimer(t, 3);
    EXPECT_EQ(3, TickTimerLeft(t));
    now += 55 * 3;
    EXPECT_FALSE(TickTimerDone(t));
    EXPECT_EQ(0, TickTimerLeft(t));
    now += 55;
    EXPECT_TRUE(TickTimerDone(t));
}

TEST_F(TickTimers, LongIntervalsAreCut) {
    TickTimer t;
    StartTickTimer(t, 0x7FFFFFFF);
    EXPECT_EQ(TickLimit, TickTimerLeft(t));
}

// A timer started shortly before the millisecond clock wraps neither fires at once after the
// wrap nor waits for ever.
TEST_F(TickTimers, RightAnswerAcrossTheClockWrap) {
    struct Case {
        uint32_t startMs;  // clock when started
        int32_t ticks;
    } cases[] = {{0xFFFFFFFFu - 55 * 3, 10}, {0xFFFFFFFFu, 5}, {0xFFFFFFFFu - 55 * 100, TickLimit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.startMs << " + " << c.ticks);
        now = c.startMs;
        TickTimer t;
        StartTickTimer(t, c.ticks);
        // Just after the wrap: the timer has barely run.
        now = 55 * 1;
        EXPECT_FALSE(TickTimerDone(t));
        EXPECT_GT(TickTimerLeft(t), 0);
        EXPECT_LE(TickTimerLeft(t), c.ticks);
        // Its whole interval later (from the start, across the wrap) it has run out.
        uint64_t endMs = static_cast<uint64_t>(c.startMs) + 55ull * (c.ticks + 2);
        now = static_cast<uint32_t>(endMs);  // wraps
        EXPECT_TRUE(TickTimerDone(t));
        EXPECT_EQ(0, TickTimerLeft(t));
        // One tick before its end it is still running.
        now = static_cast<uint32_t>(endMs - 55 * 3);
        EXPECT_FALSE(TickTimerDone(t));
        EXPECT_EQ(1, TickTimerLeft(t));
    }
}

TEST_F(TickTimers, WaitTicksPollsTheClock) {
    EXPECT_EQ(0, WaitTicks(0, true));
    EXPECT_EQ(0, WaitTicks(-5, false));
    int reads = 0;
    platform::SetClockForTest([&] { return static_cast<uint32_t>(++reads * 11); });
    EXPECT_EQ(0, WaitTicks(18, false));
    EXPECT_GE(reads * 11, 18 * 55);
}

// On a thread of its own: the quit message stays in the thread's queue (it is posted again on
// every pump so that the thread's message loop still ends).
TEST_F(TickTimers, WaitTicksEndsOnTheQuitMessage) {
    int32_t result = 0;
    uint32_t again = 0;
    uintptr_t code = 0;
    std::thread t([&] {
        platform::PostQuit(3);
        result = WaitTicks(18, true);
        auto quit = platform::PumpOneMessage();
        if (quit) {
            again = quit->msg;
            code = quit->wParam;
        }
    });
    t.join();
    EXPECT_EQ(0x12, result);
    EXPECT_EQ(platform::kQuitMessage, again);
    EXPECT_EQ(3u, code);
}

TEST(PumpOneMessage, ReturnsTheWindowAndMessage) {
    EXPECT_EQ(0, PumpOneMessage());
    uint32_t seen = 0;
    platform::MessageWindow w([&](uint32_t msg, uintptr_t, intptr_t) {
        seen = msg;
        return intptr_t{0};
    });
    ASSERT_TRUE(platform::PostMessageTo(w.Handle(), 0x7E0A, 1, 2));
    int32_t r = PumpOneMessage();
    EXPECT_EQ(0x7E0Au, seen);
    EXPECT_EQ(0x7E0A, r & 0xFFFF);
    EXPECT_EQ(static_cast<int32_t>(reinterpret_cast<uintptr_t>(w.Handle()) & 0xFFFF),
              (r >> 16) & 0xFFFF);
}

}  // namespace
