// The reader's hold at the input queue's bound: the rules one thread sees, and no wake-up lost
// between a reader and a consumer that race.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/event.h"
#include "serial/device/reader_hold.h"
#include "serial/dispatch/io_queue.h"

namespace {

void PushBlock(TIOQueue& Queue, int32_t Bytes) {
    auto block = std::make_unique<TDataBuffer>(kReadBlockSize);
    block->SetBytesUsed(Bytes);
    Queue.Push(std::move(block));
}

TEST(ReaderHold, TheBoundIsTheDriversInputSizeAndAtLeastFourReads) {
    EXPECT_EQ(TReaderHold::BoundFor(0), 16 * 1024);
    EXPECT_EQ(TReaderHold::BoundFor(4096), 16 * 1024);
    EXPECT_EQ(TReaderHold::BoundFor(64 * 1024), 64 * 1024);
}

TEST(ReaderHold, HeldAtTheBoundAndReleasedOnceWhenThereIsRoomAgain) {
    constexpr int32_t kBound = 1024;
    TIOQueue q;
    TReaderHold hold;
    EXPECT_TRUE(hold.Room(q, kBound));
    EXPECT_FALSE(hold.Held());
    EXPECT_FALSE(hold.Release(q, kBound)) << "a reader that is not held is not woken";

    for (int i = 0; i < 4; ++i) PushBlock(q, 256);
    EXPECT_FALSE(hold.Room(q, kBound)) << "at the bound";
    EXPECT_TRUE(hold.Held());

    uint8_t buf[kBound];
    ASSERT_EQ(256, q.TakeBytes(buf, 256));
    EXPECT_FALSE(hold.Release(q, 512)) << "768 bytes still queued, above the level asked for";
    EXPECT_TRUE(hold.Held());
    ASSERT_EQ(256, q.TakeBytes(buf, 256));
    EXPECT_TRUE(hold.Release(q, 512));
    EXPECT_FALSE(hold.Held());
    EXPECT_FALSE(hold.Release(q, 512)) << "one wake-up for one hold";
    EXPECT_EQ(1u, hold.Releases());

    // After a take, the reader is woken at half the bound, not as soon as a block has left.
    PushBlock(q, 256);
    PushBlock(q, 256);
    EXPECT_FALSE(hold.Room(q, kBound));
    ASSERT_EQ(256, q.TakeBytes(buf, 256));
    EXPECT_FALSE(hold.ReleaseAfterTake(q, kBound)) << "768 bytes queued, above half the bound";
    ASSERT_EQ(256, q.TakeBytes(buf, 256));
    EXPECT_TRUE(hold.ReleaseAfterTake(q, kBound));
    EXPECT_EQ(2u, hold.Releases());
    EXPECT_TRUE(hold.Room(q, kBound));
}

// The consumer empties the queue and releases the reader just after the reader has seen it full
// and before it decides to wait. The reader must find its wake-up waiting; with the hold marked
// after the look it was not held yet, the consumer woke nobody, and the reader would wait for
// ever with the queue empty.
TEST(ReaderHold, ACallerThatMakesRoomJustAfterTheReadersLookStillWakesIt) {
    constexpr int32_t kBound = 512;
    TIOQueue q;
    TReaderHold hold;
    bool woken = false;
    PushBlock(q, 256);
    PushBlock(q, 256);
    hold.AfterLookHook = [&] {
        uint8_t buf[kBound];
        ASSERT_EQ(kBound, q.TakeBytes(buf, kBound));
        woken = hold.Release(q, kBound - 1);
    };
    EXPECT_FALSE(hold.Room(q, kBound)) << "the reader saw the queue full";
    EXPECT_TRUE(woken) << "the consumer that made room found the reader held";
}

// A reader that fills the queue to its bound and then waits for its wake-up without a time-out
// of its own, against a consumer that takes bytes and releases it. A lost wake-up leaves the
// reader waiting with the queue empty: the wait below runs out and the test fails.
TEST(ReaderHold, AReaderAndAConsumerThatRaceLoseNoWakeUp) {
    constexpr int32_t kBound = 2 * 256;
    constexpr int32_t kTotal = 4 << 20;
    TIOQueue q;
    TReaderHold hold;
    platform::Event wake(platform::Event::Reset::Auto);
    std::atomic<int32_t> taken{0};
    std::atomic<bool> lost{false};

    std::thread consumer([&] {
        uint8_t buf[kBound];
        uint32_t seed = 99;
        while (taken.load() < kTotal && !lost.load()) {
            seed = seed * 1103515245u + 12345u;
            const int32_t n = q.TakeBytes(buf, 1 + static_cast<int32_t>((seed >> 8) % kBound));
            taken += n;
            if (hold.Release(q, kBound - 1)) wake.Set();
            if (n == 0) std::this_thread::yield();
        }
    });

    int32_t pushed = 0;
    int waits = 0;
    while (pushed < kTotal) {
        if (!hold.Room(q, kBound)) {
            ++waits;
            if (wake.Wait(5000) != platform::WaitResult::Signaled) {
                lost.store(true);
                break;
            }
            continue;
        }
        PushBlock(q, 256);
        pushed += 256;
    }
    consumer.join();
    EXPECT_FALSE(lost.load()) << "the reader waited 5 s with " << q.BytesQueued()
                              << " bytes queued after " << waits << " waits";
    EXPECT_EQ(kTotal, taken.load());
    EXPECT_GT(waits, 0) << "the reader never reached the bound: the race was not run";
}

}  // namespace
