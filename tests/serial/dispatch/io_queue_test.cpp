// TIOQueue: the consumer protocol, Clear with a lent item, the byte count, and waits that end by
// a push from another thread or by their time-out.
#include "serial/dispatch/io_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using platform::WaitResult;

// An item that counts its own destruction, to see which items the queue frees.
class Tracked : public TIOBuffer {
  public:
    Tracked(int32_t size, int* freed) : TIOBuffer(size), freed_(freed) {}
    ~Tracked() override { ++*freed_; }

  private:
    int* freed_;
};

std::unique_ptr<TLogBuffer> LogEntry(int32_t bytes) {
    std::vector<uint8_t> data(static_cast<size_t>(bytes), 0x55);
    return std::make_unique<TLogBuffer>(TDispatchType::dtDispatch, TDispatchSubType::dstReadCom, 0,
                                        0, data.data(), bytes);
}

TEST(TIOQueue, PeekLendsTheHeadOnceAndPopTakesItemsInOrder) {
    TIOQueue q;
    auto a = std::make_unique<TStatusBuffer>();
    auto b = std::make_unique<TStatusBuffer>();
    TIOBuffer* pa = a.get();
    TIOBuffer* pb = b.get();
    q.Push(std::move(a));
    q.Push(std::move(b));

    EXPECT_EQ(q.Peek(), pa);
    EXPECT_TRUE(pa->InUse());
    EXPECT_EQ(q.Peek(), nullptr);  // the head is lent; b is not reached past it
    pa->SetInUse(false);
    EXPECT_EQ(q.Peek(), pa);

    std::unique_ptr<TIOBuffer> first = q.Pop();  // taken even while in use
    EXPECT_EQ(first.get(), pa);
    EXPECT_EQ(q.Pop().get(), pb);
    EXPECT_EQ(q.Pop(), nullptr);
    EXPECT_EQ(q.Peek(), nullptr);
    EXPECT_EQ(q.Count(), 0);
}

TEST(TIOQueue, AConsumerTakesADataBlockInPartsBeforePoppingIt) {
    TIOQueue q;
    auto block = std::make_unique<TDataBuffer>(8);
    for (int i = 0; i < 5; ++i) block->Data()[i] = static_cast<uint8_t>('a' + i);
    block->SetBytesUsed(5);
    q.Push(std::move(block));
    q.Push(std::make_unique<TStatusBuffer>());

    std::string taken;
    auto take = [&](int most) {
        auto* d = dynamic_cast<TDataBuffer*>(q.Peek());
        ASSERT_NE(d, nullptr);
        int n = std::min(most, d->BytesUsed() - d->BytesRead());
        taken.append(reinterpret_cast<const char*>(d->Data()) + d->BytesRead(), n);
        d->SetBytesRead(d->BytesRead() + n);
        if (d->BytesRead() == d->BytesUsed())
            q.Pop();
        else
            d->SetInUse(false);
    };
    take(3);
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.BytesQueued(), 8);
    take(3);
    EXPECT_EQ(taken, "abcde");
    EXPECT_EQ(q.BytesQueued(), 0);
    EXPECT_NE(dynamic_cast<TStatusBuffer*>(q.Peek()), nullptr);
}

TEST(TIOQueue, ClearFreesAllButTheLentItem) {
    int freed = 0;
    TIOQueue q;
    q.Push(std::make_unique<Tracked>(10, &freed));
    q.Push(std::make_unique<Tracked>(20, &freed));
    q.Push(std::make_unique<Tracked>(30, &freed));
    TIOBuffer* head = q.Peek();
    ASSERT_NE(head, nullptr);

    q.Clear();
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(q.Count(), 1);
    EXPECT_EQ(q.BytesQueued(), 10);
    EXPECT_TRUE(head->InUse());

    head->SetInUse(false);
    q.Clear();
    EXPECT_EQ(freed, 3);
    EXPECT_EQ(q.BytesQueued(), 0);
    EXPECT_EQ(q.Count(), 0);
}

// A producer's data taken before a clear never lands after it; data taken after the clear does,
// and a push without the check is not affected.
TEST(TIOQueue, PushUnlessClearedSinceDropsWhatWasTakenBeforeAClear) {
    TIOQueue q;
    int freed = 0;
    const uint32_t before = q.Clears();
    ASSERT_TRUE(q.PushUnlessClearedSince(std::make_unique<Tracked>(4, &freed), before));
    EXPECT_EQ(q.Count(), 1);

    q.Clear();
    EXPECT_EQ(freed, 1);
    EXPECT_NE(q.Clears(), before);
    q.WaitForBuffer(0);  // takes the signal the first push left
    EXPECT_FALSE(q.PushUnlessClearedSince(std::make_unique<Tracked>(8, &freed), before));
    EXPECT_EQ(freed, 2) << "the stale item is freed";
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.BytesQueued(), 0);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::TimedOut) << "a dropped item wakes nobody";

    EXPECT_TRUE(q.PushUnlessClearedSince(std::make_unique<Tracked>(16, &freed), q.Clears()));
    q.Push(std::make_unique<Tracked>(2, &freed));
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.BytesQueued(), 18);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Signaled);
    EXPECT_THROW(q.PushUnlessClearedSince(nullptr, q.Clears()), std::invalid_argument);
}

// A reader's blocks of one read: pushed in their order with a wake-up, or, after a clear,
// handed back untouched; a silent push wakes nobody until the producer calls Wake.
TEST(TIOQueue, PushAllKeepsOrderAndHandsItemsBackAfterAClear) {
    TIOQueue q;
    int freed = 0;
    auto batch = [&](std::initializer_list<int32_t> sizes) {
        std::vector<std::unique_ptr<TIOBuffer>> items;
        for (int32_t size : sizes) items.push_back(std::make_unique<Tracked>(size, &freed));
        return items;
    };
    std::vector<std::unique_ptr<TIOBuffer>> items = batch({1, 2, 3});
    std::vector<TIOBuffer*> pushed;
    for (const auto& item : items) pushed.push_back(item.get());
    ASSERT_TRUE(q.PushAllUnlessClearedSince(items, q.Clears()));
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(q.Count(), 3);
    EXPECT_EQ(q.BytesQueued(), 6);
    for (TIOBuffer* expected : pushed) EXPECT_EQ(q.Pop().get(), expected);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Signaled) << "the batch woke the waiter";
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::TimedOut);

    const uint32_t before = q.Clears();
    q.Clear();
    items = batch({4, 5});
    EXPECT_FALSE(q.PushAllUnlessClearedSince(items, before));
    EXPECT_EQ(items.size(), 2u) << "the stale items stay with the caller";
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::TimedOut);

    ASSERT_TRUE(q.PushAllUnlessClearedSince(items, q.Clears(), false));
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Signaled) << "a queue with items ends a wait";
    q.Pop();
    q.Pop();
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::TimedOut) << "the silent push set nothing";

    items = batch({6});
    items.push_back(nullptr);
    EXPECT_THROW(q.PushAllUnlessClearedSince(items, q.Clears()), std::invalid_argument);
    EXPECT_EQ(q.Count(), 0) << "nothing of a batch with a null item is pushed";
}

// Read blocks taken to their end come back emptied for the next read, up to a bound; other
// blocks are freed, and a status word stops the take.
TEST(TIOQueue, ReadBlocksTakenToTheirEndAreKeptForReuseUpToABound) {
    TIOQueue q;
    auto block = [](uint32_t size, int32_t used) {
        auto b = std::make_unique<TDataBuffer>(size);
        for (int32_t i = 0; i < used; ++i) b->Data()[i] = static_cast<uint8_t>(i);
        b->SetBytesUsed(used);
        return b;
    };
    TDataBuffer* first = nullptr;
    for (size_t i = 0; i < TIOQueue::kMaxSpares + 3; ++i) {
        auto b = block(kReadBlockSize, 100);
        if (i == 0) first = b.get();
        q.Push(std::move(b));
    }
    q.Push(block(kReadBlockSize / 2, 10));  // not a read block
    q.Push(std::make_unique<TStatusBuffer>());
    q.Push(block(kReadBlockSize, 5));

    std::vector<uint8_t> buf(100 * (TIOQueue::kMaxSpares + 3) + 10 + 5);
    const int32_t expected = static_cast<int32_t>(buf.size()) - 5;
    EXPECT_EQ(q.TakeBytes(buf.data(), static_cast<int32_t>(buf.size())), expected);
    EXPECT_EQ(buf[99], 99);
    EXPECT_EQ(buf[100], 0);
    EXPECT_EQ(q.Count(), 2) << "the status word and the block behind it stay";
    EXPECT_EQ(q.BytesQueued(), static_cast<int32_t>(kReadBlockSize));

    std::vector<std::unique_ptr<TDataBuffer>> spares;
    q.TakeSpares(spares, 2);
    ASSERT_EQ(spares.size(), 2u);
    q.TakeSpares(spares, 1000);
    ASSERT_EQ(spares.size(), TIOQueue::kMaxSpares);
    bool firstBack = false;
    for (const auto& b : spares) {
        EXPECT_EQ(b->Size(), static_cast<int32_t>(kReadBlockSize));
        EXPECT_EQ(b->BytesUsed(), 0);
        EXPECT_EQ(b->BytesRead(), 0);
        EXPECT_FALSE(b->InUse());
        firstBack = firstBack || b.get() == first;
    }
    EXPECT_TRUE(firstBack);
    q.TakeSpares(spares, 1);
    EXPECT_EQ(spares.size(), TIOQueue::kMaxSpares) << "none left";

    // A block taken in part stays at the head and is not given out as a spare.
    q.Pop();  // the status word
    EXPECT_EQ(q.TakeBytes(buf.data(), 3), 3);
    q.TakeSpares(spares, 1);
    EXPECT_EQ(spares.size(), TIOQueue::kMaxSpares);
    EXPECT_EQ(q.TakeBytes(buf.data(), 100), 2);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(q.Count(), 0);
}

// The bytes a consumer can take in one go: the unread part of the data in front of the first
// status word, counted no further than the consumer can take.
TEST(TIOQueue, UnreadBytesBeforeStatusStopAtAStatusWordAndAtTheLimit) {
    TIOQueue q;
    EXPECT_EQ(q.UnreadBytesBeforeStatus(8192), 0);
    for (int32_t used : {256, 256, 40}) {
        auto b = std::make_unique<TDataBuffer>(kReadBlockSize);
        b->SetBytesUsed(used);
        q.Push(std::move(b));
    }
    q.Push(std::make_unique<TStatusBuffer>());
    auto after = std::make_unique<TDataBuffer>(kReadBlockSize);
    after->SetBytesUsed(256);
    q.Push(std::move(after));

    EXPECT_EQ(q.UnreadBytesBeforeStatus(8192), 552);
    EXPECT_EQ(q.UnreadBytesBeforeStatus(300), 300);
    auto* head = dynamic_cast<TDataBuffer*>(q.Peek());
    ASSERT_NE(head, nullptr);
    head->SetBytesRead(200);
    head->SetInUse(false);
    EXPECT_EQ(q.UnreadBytesBeforeStatus(8192), 352);
    q.Pop();
    q.Pop();
    q.Pop();
    EXPECT_EQ(q.UnreadBytesBeforeStatus(8192), 0) << "a status word at the head";
}

// Items that are neither received bytes nor status words (a log entry, any other item) are
// never taken for either: the byte paths stop at them and no status word is found in them.
TEST(TIOQueue, OtherItemsAreNeitherDataNorStatus) {
    int freed = 0;
    std::vector<uint8_t> buf(64);
    for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(kind == 0 ? "log entry" : "other item");
        TIOQueue q;
        if (kind == 0)
            q.Push(LogEntry(12));
        else
            q.Push(std::make_unique<Tracked>(12, &freed));
        auto b = std::make_unique<TDataBuffer>(kReadBlockSize);
        b->SetBytesUsed(8);
        q.Push(std::move(b));
        EXPECT_EQ(q.UnreadBytesBeforeStatus(8192), 0);
        EXPECT_EQ(q.TakeBytes(buf.data(), static_cast<int32_t>(buf.size())), 0);
        EXPECT_EQ(q.PopStatus(), nullptr);
        EXPECT_EQ(q.Count(), 2);
    }
}

TEST(TIOQueue, DestructionFreesEveryItemLentOrNot) {
    int freed = 0;
    {
        TIOQueue q;
        q.Push(std::make_unique<Tracked>(1, &freed));
        q.Push(std::make_unique<Tracked>(1, &freed));
        ASSERT_NE(q.Peek(), nullptr);
    }
    EXPECT_EQ(freed, 2);
}

TEST(TIOQueue, BytesQueuedIsTheSumOfTheItemSizes) {
    TIOQueue q;
    q.Push(LogEntry(10));
    q.Push(LogEntry(20));
    q.Push(std::make_unique<TStatusBuffer>());
    q.Push(LogEntry(30));
    EXPECT_EQ(q.BytesQueued(), 60);
    q.Pop();
    EXPECT_EQ(q.BytesQueued(), 50);
    q.Pop();
    q.Pop();
    EXPECT_EQ(q.BytesQueued(), 30);
}

TEST(TIOQueue, RefusesANullItem) {
    TIOQueue q;
    EXPECT_THROW(q.Push(nullptr), std::invalid_argument);
    EXPECT_EQ(q.Count(), 0);
}

TEST(TIOQueue, WaitOnAnEmptyQueueTimesOut) {
    TIOQueue q;
    EXPECT_EQ(q.WaitForBuffer(50), WaitResult::TimedOut);
}

TEST(TIOQueue, WaitOnAQueueWithAnItemIsSignalledAtOnce) {
    TIOQueue q;
    q.Push(std::make_unique<TStatusBuffer>());
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Signaled);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Signaled);  // still holds it
    q.Pop();
    // The push's signal may be left over once; after that the empty queue times out.
    q.WaitForBuffer(0);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::TimedOut);
}

TEST(TIOQueue, APushFromAnotherThreadEndsTheWait) {
    TIOQueue q;
    std::atomic<bool> waiting{false};
    std::thread producer([&] {
        while (!waiting.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the wait begin
        q.Push(std::make_unique<TStatusBuffer>());
    });
    waiting.store(true);
    // Only the push can end this wait with Signaled: the time-out is far beyond any test run.
    EXPECT_EQ(q.WaitForBuffer(10 * 60 * 1000), WaitResult::Signaled);
    producer.join();
    EXPECT_EQ(q.Count(), 1);
}

// A consumer that cannot take the data at the head (its ring is full): the status words behind
// it can be taken, the wait for them is not ended by the data, and a status word or Wake ends
// it.
TEST(TIOQueue, StatusWordsBehindDataAreWaitedForAndTakenPastIt) {
    TIOQueue q;
    q.Push(std::make_unique<TDataBuffer>(256));
    EXPECT_EQ(q.PopStatus(), nullptr);
    q.WaitForStatus(0);  // the first push's signal, left over once
    EXPECT_EQ(q.WaitForStatus(0), WaitResult::TimedOut) << "data alone does not end it";
    q.Wake();
    EXPECT_EQ(q.WaitForStatus(0), WaitResult::Signaled);

    auto status = std::make_unique<TStatusBuffer>();
    status->SetStatus(0x80);
    q.Push(std::move(status));
    q.Push(std::make_unique<TDataBuffer>(256));
    EXPECT_EQ(q.WaitForStatus(0), WaitResult::Signaled);
    std::unique_ptr<TStatusBuffer> taken = q.PopStatus();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->Status(), 0x80u);
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.BytesQueued(), 512);
    EXPECT_EQ(q.PopStatus(), nullptr);
    q.WaitForStatus(0);  // the status push's signal
    EXPECT_EQ(q.WaitForStatus(0), WaitResult::TimedOut);
    EXPECT_NE(dynamic_cast<TDataBuffer*>(q.Peek()), nullptr) << "the data stays at the head";
}

// Two producers (data blocks and status words) and the consumer protocol of the dispatcher
// thread running together: every byte and every word arrives once, each producer's in order.
TEST(TIOQueue, ProducersAndAPartialConsumerKeepOrderAcrossThreads) {
    constexpr int kBlocks = 2000, kWords = 2000;
    TIOQueue q;
    std::thread data([&] {
        for (int i = 0; i < kBlocks; ++i) {
            auto b = std::make_unique<TDataBuffer>(4);
            for (int k = 0; k < 4; ++k) b->Data()[k] = static_cast<uint8_t>((i * 4 + k) & 0xFF);
            b->SetBytesUsed(4);
            q.Push(std::move(b));
        }
    });
    std::thread status([&] {
        for (int i = 0; i < kWords; ++i) {
            auto s = std::make_unique<TStatusBuffer>();
            s->SetStatus(static_cast<uint32_t>(i));
            q.Push(std::move(s));
        }
    });

    int bytes = 0, words = 0, misordered = 0;
    while (bytes < kBlocks * 4 || words < kWords) {
        if (q.WaitForBuffer(10 * 60 * 1000) != WaitResult::Signaled) break;
        TIOBuffer* head = q.Peek();
        if (!head) continue;
        if (auto* s = dynamic_cast<TStatusBuffer*>(head)) {
            if (s->Status() != static_cast<uint32_t>(words)) ++misordered;
            ++words;
            q.Pop();
        } else if (auto* d = dynamic_cast<TDataBuffer*>(head)) {
            // Take one byte per look, as a slow reader would.
            if (d->Data()[d->BytesRead()] != static_cast<uint8_t>(bytes & 0xFF)) ++misordered;
            ++bytes;
            d->SetBytesRead(d->BytesRead() + 1);
            if (d->BytesRead() == d->BytesUsed())
                q.Pop();
            else
                d->SetInUse(false);
        }
    }
    data.join();
    status.join();
    EXPECT_EQ(bytes, kBlocks * 4);
    EXPECT_EQ(words, kWords);
    EXPECT_EQ(misordered, 0);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.BytesQueued(), 0);
}

}  // namespace
