// Events, the system object and the in-process one under the same rules: auto and manual reset,
// time-outs, and a wake-up from another thread.
#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/local_event.h"

using platform::Event;
using platform::WaitResult;

template <typename E>
class EventRules : public ::testing::Test {};
using EventKinds = ::testing::Types<Event, platform::LocalEvent>;
TYPED_TEST_SUITE(EventRules, EventKinds);

TYPED_TEST(EventRules, StartsUnsignalledAndTimesOut) {
    TypeParam e(Event::Reset::Auto);
    EXPECT_EQ(e.Wait(10), WaitResult::TimedOut);
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut);
}

TYPED_TEST(EventRules, AutoResetWakesOneWait) {
    TypeParam e(Event::Reset::Auto);
    e.Set();
    e.Set();  // a second set before the wait is not counted
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut);
}

TYPED_TEST(EventRules, ManualResetStaysSignalledUntilReset) {
    TypeParam e(Event::Reset::Manual);
    e.Set();
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    EXPECT_EQ(e.Wait(0), WaitResult::Signaled);
    e.ResetEvent();
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut);
}

TYPED_TEST(EventRules, SetFromAnotherThreadEndsAnInfiniteWait) {
    TypeParam e(Event::Reset::Auto);
    std::thread t([&] { e.Set(); });
    EXPECT_EQ(e.Wait(platform::kInfinite), WaitResult::Signaled);
    t.join();
}

TYPED_TEST(EventRules, SetFromAnotherThreadEndsATimedWaitEarly) {
    TypeParam e(Event::Reset::Auto);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.Set();
    });
    // Only the set can end this wait with Signaled: the time-out is far beyond any test run.
    EXPECT_EQ(e.Wait(10 * 60 * 1000), WaitResult::Signaled);
    t.join();
    EXPECT_EQ(e.Wait(0), WaitResult::TimedOut) << "the wait took the signal";
}

// One set of a manual-reset event ends every wait on it, not only the first. The waiters are
// given time to be asleep first so that the set has to wake them. A waiter left asleep would
// see the event set only when its 20 s time-out ran out, so each wait must end far sooner.
TYPED_TEST(EventRules, ManualResetSetEndsEveryWait) {
    using Clock = std::chrono::steady_clock;
    TypeParam e(Event::Reset::Manual);
    constexpr int kWaiters = 3;
    std::atomic<int> woken{0};
    Clock::time_point setAt{};
    std::mutex setLock;
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            const bool signaled = e.Wait(20000) == WaitResult::Signaled;
            const auto ended = Clock::now();
            std::lock_guard lock(setLock);
            if (signaled && ended - setAt < std::chrono::seconds(10)) ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::lock_guard lock(setLock);
        setAt = Clock::now();
    }
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), kWaiters);
}

// Many sets and waits across two threads: every wake-up handed over is taken, none is lost.
TYPED_TEST(EventRules, PingPongLosesNoWakeUp) {
    TypeParam ping(Event::Reset::Auto), pong(Event::Reset::Auto);
    constexpr int kRounds = 2000;
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (ping.Wait(10 * 60 * 1000) != WaitResult::Signaled) return;
            pong.Set();
        }
    });
    int answered = 0;
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (pong.Wait(10 * 60 * 1000) == WaitResult::Signaled) ++answered;
    }
    other.join();
    EXPECT_EQ(answered, kRounds);
}
