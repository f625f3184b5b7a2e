// Events: auto and manual reset, time-outs, and a wake-up from another thread.
#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

using platform::Event;
using platform::WaitResult;

TEST(Event, StartsUnsignalledAndTimesOut) {
    Event e;
    EXPECT_EQ(e.Wait(10), WaitResult::TimedOut);
}

TEST(Event, AutoResetWakesOneWait) {
    Event e(Event::Reset::Auto);
    e.Set();
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    Event e(Event::Reset::Manual);
    e.Set();
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    e.ResetEvent();
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut);
}

TEST(Event, SetFromAnotherThreadEndsAnInfiniteWait) {
    Event e;
    std::thread t([&] { e.Set(); });
    EXPECT_EQ(e.Wait(platform::kInfinite), WaitResult::Signaled);
    t.join();
}
