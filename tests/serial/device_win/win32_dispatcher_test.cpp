// TSioWin32Dispatcher on a virtual serial line under Wine: opening and configuring the port,
// bytes both ways (blocks, a long transfer checked byte for byte), purging, closing while
// operations are pending, a missing port, a line that disappears, probing and restarting.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception_display.h"
#include "serial/device/win32_dispatcher.h"
#include "serial/device/win32_dispatcher_threads.h"
#include "serial/dispatch/io_queue.h"
#include "serial/dispatch/tick_timer.h"
#include "tests/support/virtual_line/vline_client.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the application's exception display was given.
class ShownMessages {
  public:
    ShownMessages() {
        platform::SetExceptionDisplay([this](const std::string& m) {
            std::lock_guard lock(mutex_);
            messages_.push_back(m);
        });
    }
    ~ShownMessages() { platform::SetExceptionDisplay(nullptr); }
    std::vector<std::string> Get() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

// Polls `done` (handling this thread's messages) for up to `limit`; true when it came true.
template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        ::PumpOneMessage();
        Sleep(2);
    }
    return true;
}

class Win32DispatcherTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (vline::VirtualLinePeer::Available()) peer_ = new vline::VirtualLinePeer();
    }
    static void TearDownTestSuite() {
        delete peer_;
        peer_ = nullptr;
    }
    void SetUp() override {
        if (!peer_) GTEST_SKIP() << "not started by pelkan-vline";
        peer_->Reset();
        name_ = vline::VirtualLinePeer::DeviceName();
    }
    int32_t Open(TSioWin32Dispatcher& d, uint32_t outSize = 4096) {
        d.DeviceName = platform_name();
        return d.InitPort(name_, 9600, 0, 8, 1, 4096, outSize, 3);
    }
    std::string platform_name() const { return std::string(name_.begin(), name_.end()); }
    // Takes n bytes from the dispatch buffer, waiting for them.
    std::string Take(TSioWin32Dispatcher& d, size_t n) {
        std::string got;
        WaitFor([&] {
            char buf[512];
            int32_t r =
                d.GetBlock(buf, static_cast<uint32_t>(std::min(sizeof buf, n - got.size())));
            if (r > 0) got.append(buf, static_cast<size_t>(r));
            return got.size() >= n;
        });
        return got;
    }

    // Takes the peer's pattern `seed` as it arrives, up to size bytes, giving up after 10 s
    // without progress: the count taken; wrong counts the bytes that differ from the pattern.
    // Takes size bytes of the peer's pattern, at most chunk at a time; the count taken.
    uint32_t TakePattern(TSioWin32Dispatcher& d, uint32_t size, uint32_t seed, uint32_t& wrong,
                         uint32_t chunk = 4096) {
        uint32_t got = 0;
        auto lastProgress = Clock::now();
        while (got < size && Clock::now() - lastProgress < std::chrono::seconds(10)) {
            uint8_t buf[4096];
            const uint32_t most = std::min<uint32_t>(sizeof buf, chunk);
            int32_t r = d.GetBlock(buf, std::min<uint32_t>(most, d.InBuffUsed()));
            if (r <= 0) {
                Sleep(1);
                continue;
            }
            for (int32_t i = 0; i < r; ++i)
                if (buf[i] != vline::PatternByte(seed, got + static_cast<uint32_t>(i))) ++wrong;
            got += static_cast<uint32_t>(r);
            lastProgress = Clock::now();
        }
        return got;
    }

    static vline::VirtualLinePeer* peer_;
    std::wstring name_;
    ShownMessages shown_;
};
vline::VirtualLinePeer* Win32DispatcherTest::peer_ = nullptr;

TEST_F(Win32DispatcherTest, OpensConfiguresAndMovesBytesBothWays) {
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    EXPECT_GE(d.CidEx.load(), 0);
    EXPECT_TRUE(d.DispActive.load());
    EXPECT_EQ(d.ActiveThreads.load(), 4);

    struct Line {
        int32_t baud;
        uint32_t parity;
        TDatabits bits;
        TStopbits stop;
    };
    // A pseudo-terminal keeps baud rate and stop bits but always runs 8 data bits without
    // parity, so other word formats are applied (SetLine succeeds) but read back as 8N.
    for (Line l :
         {Line{19200, 0, 8, 2}, Line{115200, 0, 8, 1}, Line{4800, 2, 7, 1}, Line{9600, 0, 8, 1}}) {
        ASSERT_EQ(d.SetLine(l.baud, l.parity, l.bits, l.stop), 0) << l.baud;
        int32_t baud = 0;
        uint16_t parity = 9;
        TDatabits bits = 0;
        TStopbits stop = 0;
        d.GetLine(baud, parity, bits, stop);
        EXPECT_EQ(baud, l.baud);
        EXPECT_EQ(stop, l.stop) << l.baud;
        if (l.bits == 8) {
            EXPECT_EQ(parity, l.parity) << l.baud;
            EXPECT_EQ(bits, l.bits) << l.baud;
        }
    }

    ASSERT_EQ(d.PutString("hello\r\n"), 0);
    EXPECT_EQ(peer_->Receive(7, 5000), "hello\r\n");
    peer_->Send(std::string("wor\0ld\r\n", 8));
    EXPECT_EQ(Take(d, 8), std::string("wor\0ld\r\n", 8));
    d.DonePort();
    EXPECT_EQ(d.CidEx.load(), -1);
    EXPECT_TRUE(shown_.Get().empty());
}

TEST_F(Win32DispatcherTest, ThreeHundredBytesArriveAsBlocksOf256And44) {
    TSioWin32Dispatcher d(nullptr);
    ASSERT_GE(d.OpenCom(name_, 4096, 4096), 0);
    d.CidEx.store(1);
    // The reader alone, so that its blocks stay on the queue to be looked at.
    d.ComThread = std::make_unique<TReadThread>(&d);
    d.ComThread->Start();
    ASSERT_TRUE(WaitFor([&] { return d.ActiveThreads.load() == 1; }));
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
    peer_->Send(bytes);
    ASSERT_TRUE(WaitFor([&] { return d.FQueue->Count() == 2; })) << d.FQueue->Count();
    auto* first = dynamic_cast<TDataBuffer*>(d.FQueue->Peek());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->BytesUsed(), 256);
    first->SetInUse(false);
    EXPECT_EQ(d.InputAvailable(), 256);

    uint8_t buf[300];
    ASSERT_EQ(d.ReadCom(buf, 100), 100);
    auto* head = dynamic_cast<TDataBuffer*>(d.FQueue->Peek());
    ASSERT_EQ(head, first);
    EXPECT_EQ(head->BytesRead(), 100);
    head->SetInUse(false);
    ASSERT_EQ(d.ReadCom(buf + 100, 300), 200);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 300), bytes);
    EXPECT_EQ(d.FQueue->Count(), 0);

    d.KillThreads.store(true);
    d.ComThread->Join();
    EXPECT_EQ(d.ActiveThreads.load(), 0);
    EXPECT_EQ(d.CloseCom(), 0);
}

TEST_F(Win32DispatcherTest, MegabyteEachWayArrivesIntact) {
    constexpr uint32_t kSize = 1 << 20;
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);

    // Peer to program, checked as it arrives.
    peer_->Generate(kSize, 7);
    uint32_t wrong = 0;
    EXPECT_EQ(TakePattern(d, kSize, 7, wrong), kSize);
    EXPECT_EQ(wrong, 0u);

    // Program to peer, through the 4096-byte output ring.
    std::vector<uint8_t> out(kSize);
    vline::FillPattern(9, 0, out.data(), out.size());
    uint32_t sent = 0;
    auto lastProgress = Clock::now();
    while (sent < kSize && Clock::now() - lastProgress < std::chrono::seconds(10)) {
        uint32_t n = std::min<uint32_t>(kSize - sent, static_cast<uint32_t>(d.OutBuffFree()));
        if (n == 0) {
            Sleep(1);
            continue;
        }
        ASSERT_EQ(d.PutBlock(out.data() + sent, n), 0);
        sent += n;
        lastProgress = Clock::now();
    }
    EXPECT_EQ(sent, kSize);
    EXPECT_EQ(peer_->Check(kSize, 9, 30000), kSize);
    d.DonePort();
    EXPECT_TRUE(shown_.Get().empty());
}

// Nobody takes what arrives: the ring fills, and the reader stops taking from the driver once the
// queue behind the ring holds its bound (four reads' worth here, plus the read that reached it),
// so that the driver's flow control can act. Taken afterwards, every byte is there, in order.
TEST_F(Win32DispatcherTest, BytesNobodyTakesStayInTheDriverBeyondTheQueuesBound) {
    constexpr uint32_t kSize = 64 * 1024;
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    ASSERT_EQ(d.InputBound(), 16 * 1024);
    peer_->Generate(kSize, 11);
    ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == 8192; }));
    int32_t most = 0;
    for (int i = 0; i < 50; ++i) {
        most = std::max(most, d.FQueue->BytesQueued());
        Sleep(10);
    }
    EXPECT_LE(most, d.InputBound() + 4096) << "bytes queued behind the full ring";

    uint32_t wrong = 0;
    EXPECT_EQ(TakePattern(d, kSize, 11, wrong), kSize);
    EXPECT_EQ(wrong, 0u);
    d.DonePort();
    EXPECT_TRUE(shown_.Get().empty());
}

// A reader held at the queue's bound is woken once the queue has drained to half of it, and then
// reads many blocks. Woken as soon as one block had left, it read about that much, filled the
// queue again and waited again: with a consumer that takes a block at a time, a wake-up per block
// or two, and a third of the layer's throughput gone to hand-overs.
TEST_F(Win32DispatcherTest, AHeldReaderIsWokenForManyBlocksNotForEachOne) {
    constexpr uint32_t kSize = 1 << 20;
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    peer_->Generate(kSize, 5);
    uint32_t wrong = 0;
    EXPECT_EQ(TakePattern(d, kSize, 5, wrong, kReadBlockSize), kSize);
    EXPECT_EQ(wrong, 0u);
    // Held at the bound and woken at half of it, the reader takes at least half the least bound
    // between two wake-ups.
    constexpr uint32_t kLeastPerWakeUp = TReaderHold::kLeastBound / 2;
    EXPECT_LE(d.ReaderWakeUps(), kSize / kLeastPerWakeUp + 1)
        << "wake-ups of the held reader for a megabyte";
    d.DonePort();
    EXPECT_TRUE(shown_.Get().empty());
}

// Under Wine every line-event wait on this line ends within milliseconds, aborted, and each
// starts a thread whose record Wine keeps for good: a port open for weeks must not keep waiting.
// Once a few waits in a row have brought nothing, the line is sampled instead, and bytes still
// arrive as before.
TEST_F(Win32DispatcherTest, ALineWhoseEventWaitsEndAtOnceIsSampledNotWaitedOnAgain) {
    std::atomic<int> waits{0};
    TStatusThread::EventWaitHook = [&] { ++waits; };
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    std::string sent, got;
    auto exchangeFor = [&](std::chrono::milliseconds span) {
        for (auto end = Clock::now() + span; Clock::now() < end;) {
            const std::string line = "line " + std::to_string(sent.size()) + "\r\n";
            peer_->Send(line);
            sent += line;
            got += Take(d, line.size());
        }
    };
    exchangeFor(std::chrono::milliseconds(2000));
    const int waitsAfterTwoSeconds = waits.load();
    exchangeFor(std::chrono::milliseconds(5000));
    EXPECT_GE(waitsAfterTwoSeconds, 1);
    EXPECT_EQ(waits.load(), waitsAfterTwoSeconds) << "line-event waits went on";
    EXPECT_EQ(got, sent);
    d.DonePort();
    TStatusThread::EventWaitHook = nullptr;
    EXPECT_TRUE(shown_.Get().empty());
}

TEST_F(Win32DispatcherTest, PurgeDuringALongWriteDropsTheRest) {
    constexpr uint32_t kRing = 256 * 1024;
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d, kRing), 0);
    // The far end stops reading, so the writer's write stays pending in a full line.
    peer_->Hold(true);
    std::string block(200 * 1024, 'p');
    ASSERT_EQ(d.PutBlock(block.data(), static_cast<uint32_t>(block.size())), 0);
    ASSERT_TRUE(WaitFor([&] { return d.OutputPending() == 0; }));  // the writer has taken it
    Sleep(200);
    EXPECT_GE(d.PurgeQueue(0), 0);
    EXPECT_EQ(d.OutputPending(), 0);
    EXPECT_EQ(d.OutBuffUsed(), 0);
    peer_->Hold(false);
    ASSERT_EQ(d.PutString("after purge\r\n"), 0);
    std::string tail = "after purge\r\n";
    std::string all;
    WaitFor([&] {
        all += peer_->Receive(1 << 20, 50);
        return all.size() >= tail.size() &&
               all.compare(all.size() - tail.size(), tail.size(), tail) == 0;
    });
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
    EXPECT_LT(all.size(), block.size() + tail.size()) << "nothing of the purged block was dropped";
    EXPECT_EQ(all.find_first_not_of('p'), all.size() - tail.size());
    d.DonePort();
    EXPECT_TRUE(shown_.Get().empty());
}

// The reader has read bytes and not queued them yet when the input is purged: those bytes came
// before the purge and must not reach the dispatch buffer after it; bytes sent after the purge
// arrive.
TEST_F(Win32DispatcherTest, BytesReadBeforeAnInputPurgeAreNotDeliveredAfterIt) {
    struct ClearHook {  // declared first: the reader has ended when it runs
        ~ClearHook() { TReadThread::ReadCompletedHook = nullptr; }
    } clearHook;
    TSioWin32Dispatcher d(nullptr);
    std::atomic<bool> purged{false};
    TReadThread::ReadCompletedHook = [&] {
        bool first = false;
        if (purged.compare_exchange_strong(first, true)) d.PurgeQueue(1);
    };
    ASSERT_EQ(Open(d), 0);
    peer_->Send("before purge\r\n");
    ASSERT_TRUE(WaitFor([&] { return purged.load(); }));
    peer_->Send("after\r\n");
    const std::string after = "after\r\n";
    std::string got;
    WaitFor([&] {
        char buf[64];
        int32_t r = d.GetBlock(buf, std::min<uint32_t>(sizeof buf, d.InBuffUsed()));
        if (r > 0) got.append(buf, static_cast<size_t>(r));
        return got.size() >= after.size() &&
               got.compare(got.size() - after.size(), after.size(), after) == 0;
    });
    EXPECT_EQ(got, after);
    d.DonePort();
    EXPECT_TRUE(shown_.Get().empty());
}

TEST_F(Win32DispatcherTest, CloseWithPendingOperationsEndsEverythingAndLeaksNothing) {
    DWORD handlesBefore = 0, handlesAfter = 0;
    {
        // A first open and close, so that lazily made system objects exist before counting.
        TSioWin32Dispatcher warm(nullptr);
        ASSERT_EQ(Open(warm), 0);
    }
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
    for (int round = 0; round < 3; ++round) {
        TSioWin32Dispatcher d(nullptr);
        ASSERT_EQ(Open(d), 0);
        // The reader and the status thread now wait in pending operations; the peer holds the
        // line so that a write is pending too.
        peer_->Hold(true);
        std::string block(100 * 1024, 'c');
        std::vector<char> chunk(4096, 'c');
        for (int i = 0; i < 16; ++i)
            if (d.OutBuffFree() >= 4096) {
                EXPECT_GE(d.PutBlock(chunk.data(), 4096), 0);
            }
        Sleep(100);
        d.DonePort();
        EXPECT_EQ(d.CidEx.load(), -1);
        EXPECT_TRUE(WaitFor([&] { return d.ActiveThreads.load() == 0; }));
        EXPECT_FALSE(d.DispActive.load());
        peer_->Hold(false);
    }
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
    EXPECT_EQ(handlesAfter, handlesBefore);
    EXPECT_TRUE(shown_.Get().empty());
}

TEST_F(Win32DispatcherTest, MissingPortFailsWithFileNotFound) {
    TSioWin32Dispatcher d(nullptr);
    EXPECT_EQ(d.InitPort(L"\\\\.\\COM98", 9600, 0, 8, 1, 4096, 4096, 3), -2);
    EXPECT_LT(d.CidEx.load(), 0);
    EXPECT_EQ(d.ActiveThreads.load(), 0);
    EXPECT_FALSE(d.DispActive.load());
    EXPECT_EQ(d.InBuffUsed(), -2007);
}

TEST_F(Win32DispatcherTest, VanishingLineEndsTheThreadsWithDeviceReadError) {
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    peer_->Send("before\r\n");
    EXPECT_EQ(Take(d, 8), "before\r\n");
    peer_->Hangup();
    ASSERT_TRUE(WaitFor([&] { return d.ActiveThreads.load() == 0; }));
    EXPECT_FALSE(d.DispActive.load());
    std::vector<std::string> shown = shown_.Get();
    // Reader and event wait both fail on the vanished line; the user is told once.
    EXPECT_EQ(shown, std::vector<std::string>{"Device read error"});
    EXPECT_NE(d.LastWinError.load(), 0);
    // The dispatcher thread released the port as it ended; reads are refused, not crashed.
    EXPECT_EQ(d.InBuffUsed(), -2007);
    d.DonePort();
}

// What the device threads of one run show when they fail: the first error, and an error that
// differs from it, but not the first error again; a new run starts afresh.
TEST_F(Win32DispatcherTest, AFailureRepeatedByAnotherThreadIsShownOnce) {
    TSioWin32Dispatcher d(nullptr);
    EXPECT_FALSE(d.RepeatsShownFailure(ecDeviceReadError));
    EXPECT_TRUE(d.RepeatsShownFailure(ecDeviceReadError));
    EXPECT_FALSE(d.RepeatsShownFailure(ecDeviceWriteError));
    ASSERT_EQ(Open(d), 0);  // a new run
    EXPECT_FALSE(d.RepeatsShownFailure(ecDeviceReadError));
    d.DonePort();
}

// Wine answers the probe for COM1..COM9 only, so the line for this test is one of those.
TEST_F(Win32DispatcherTest, CheckPortWithAndWithoutDevicePrefix) {
    TSioWin32Dispatcher d(nullptr);
    std::wstring bare = L"COM" + std::to_wstring(vline::VirtualLinePeer::ComNumber());
    EXPECT_TRUE(d.CheckPort(name_));
    EXPECT_TRUE(d.CheckPort(bare));
    std::wstring lower = L"\\\\.\\com" + std::to_wstring(vline::VirtualLinePeer::ComNumber());
    EXPECT_TRUE(d.CheckPort(lower));
}

TEST_F(Win32DispatcherTest, LaunchThreadsTwiceIsRefused) {
    TSioWin32Dispatcher d(nullptr);
    ASSERT_EQ(Open(d), 0);
    try {
        d.LaunchThreads();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Dispatcher already started.");
    }
    EXPECT_EQ(d.ActiveThreads.load(), 4);
    peer_->Send("still\r\n");
    EXPECT_EQ(Take(d, 7), "still\r\n");
    d.DonePort();
}

}  // namespace
