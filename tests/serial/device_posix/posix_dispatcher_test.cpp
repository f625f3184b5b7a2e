// The POSIX device layer with its threads on real pseudo-terminal pairs: opening and refusing,
// exclusive use, line settings, bytes both ways in bulk, the far end going away, and a close in
// the middle of traffic.
#include "serial/device/posix_dispatcher.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/device/line_sample.h"
#include "serial/device/posix_dispatcher_threads.h"
#include "serial/device/posix_ports.h"
#include "serial/device/posix_termios.h"
#include "serial/dispatch/io_queue.h"
#include "tests/support/pty_pair.h"
#include "tests/support/pump_until.h"

namespace {

using testsupport::PtyPair;
using testsupport::PumpUntil;

std::wstring Com(uint32_t n) { return L"\\\\.\\COM" + std::to_wstring(n); }

class PosixPort : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        platform::SetExceptionDisplay([this](const std::string& m) {
            std::lock_guard lock(shownLock);
            shown.push_back(m);
        });
        posix_ports::SetDevicePath(kPort, pty.FarPath);
        d = std::make_unique<TSioPosixDispatcher>(nullptr);
    }
    void TearDown() override {
        d.reset();
        posix_ports::ClearEntry(kPort);
        platform::SetExceptionDisplay(nullptr);
        platform::UnbindMainThread();
    }
    int32_t Open(TSioPosixDispatcher& p, int32_t baud = 9600) {
        return p.InitPort(Com(kPort), baud, 0, 8, 1, 4096, 4096, 3);
    }
    std::vector<std::string> Shown() {
        std::lock_guard lock(shownLock);
        return shown;
    }
    // Takes what the port has received until Count bytes have come (or Limit has passed).
    std::string Receive(size_t Count, std::chrono::milliseconds Limit = std::chrono::seconds(60)) {
        std::string got;
        PumpUntil(
            [&] {
                int32_t n = d->InBuffUsed();
                if (n > 0) {
                    std::string part(static_cast<size_t>(n), '\0');
                    EXPECT_EQ(d->GetBlock(part.data(), static_cast<uint32_t>(n)), n);
                    got += part;
                }
                return got.size() >= Count;
            },
            Limit);
        return got;
    }
    // Sends all of Bytes, waiting for room in the output ring.
    void Send(const std::string& Bytes) {
        for (size_t done = 0; done < Bytes.size();) {
            int32_t free = d->OutBuffFree();
            if (free <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            size_t n = std::min(Bytes.size() - done, static_cast<size_t>(free));
            ASSERT_EQ(0, d->PutBlock(Bytes.data() + done, n));
            done += n;
        }
    }

    static constexpr uint32_t kPort = 61;
    PtyPair pty;
    std::unique_ptr<TSioPosixDispatcher> d;
    std::mutex shownLock;
    std::vector<std::string> shown;
};

std::string Pattern(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

TEST_F(PosixPort, OpensRunsItsThreadsAndClosesAgain) {
    ASSERT_EQ(0, Open(*d));
    EXPECT_GE(d->CidEx.load(), 0);
    EXPECT_EQ(4, d->ActiveThreads.load()) << "reader, writer, status and dispatcher";
    d->DonePort();
    EXPECT_EQ(0, d->ActiveThreads.load());
    EXPECT_LT(d->Device(), 0);
    ASSERT_EQ(0, Open(*d)) << "the device is free again";
    d->DonePort();
    EXPECT_TRUE(Shown().empty());
}

TEST_F(PosixPort, APortThatCannotBeOpenedGivesTheSystemErrorTheComponentMaps) {
    struct Case {
        const char* what;
        std::string path;
        int32_t result;
    } cases[] = {
        {"missing device", "/dev/pelkan-no-such-device", -2},
        {"path through a file", "/etc/hostname/ttyS0", -3},
        {"not a terminal", "/dev/null", -31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        posix_ports::SetDevicePath(kPort, c.path);
        TSioPosixDispatcher p(nullptr);
        EXPECT_EQ(c.result, Open(p));
        EXPECT_LT(p.CidEx.load(), 0);
    }
    TSioPosixDispatcher p(nullptr);
    EXPECT_EQ(-2, p.InitPort(L"NOTAPORT", 9600, 0, 8, 1, 4096, 4096, 3));
}

TEST_F(PosixPort, ASecondOpenIsRefusedAsInUseUntilTheFirstCloses) {
    ASSERT_EQ(0, Open(*d));
    TSioPosixDispatcher second(nullptr);
    EXPECT_EQ(-5, Open(second));
    EXPECT_EQ(5, second.OsLastError());
    EXPECT_TRUE(second.CheckPort(Com(kPort))) << "a port in use still exists";
    d->DonePort();
    EXPECT_EQ(0, Open(second));
    second.DonePort();
}

TEST_F(PosixPort, TheLineSettingsReadBackAsSetAndReachTheDevice) {
    ASSERT_EQ(0, Open(*d));
    struct Case {
        int32_t baud;
        uint32_t parity;
        TDatabits bits;
        TStopbits stop;
    } cases[] = {
        {19200, 2, 7, 1}, {115200, 1, 8, 2}, {1200, 3, 7, 1}, {4800, 4, 8, 1}, {9600, 0, 8, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(0, d->SetLine(c.baud, c.parity, c.bits, c.stop));
        int32_t baud;
        uint16_t parity;
        TDatabits bits;
        TStopbits stop;
        d->GetLine(baud, parity, bits, stop);
        EXPECT_EQ(c.baud, baud);
        EXPECT_EQ(c.parity, parity) << "held beside termios where the device keeps no parity";
        EXPECT_EQ(c.bits, bits);
        EXPECT_EQ(c.stop, stop);
        termios tio{};
        ASSERT_EQ(0, tcgetattr(pty.Controller.get(), &tio));
        EXPECT_EQ(c.baud, static_cast<int32_t>(posix_termios::BaudOf(cfgetospeed(&tio))));
        EXPECT_EQ(c.stop == 2, (tio.c_cflag & CSTOPB) != 0);
    }
    // Fields termios has no place for survive a write and a read.
    TSioDCB rec;
    ASSERT_EQ(0, d->ReadDeviceState(rec));
    rec.XonLim = 123;
    rec.XoffLim = 456;
    rec.EvtChar = 'E';
    rec.Flags |= dcb::fOutxDsrFlow | dcb::fOutX | dcb::fInX;
    rec.XonChar = 1;
    rec.XoffChar = 2;
    ASSERT_EQ(0, d->WriteDeviceState(rec));
    TSioDCB back;
    ASSERT_EQ(0, d->ReadDeviceState(back));
    EXPECT_EQ(123, back.XonLim);
    EXPECT_EQ(456, back.XoffLim);
    EXPECT_EQ('E', back.EvtChar);
    EXPECT_EQ(rec.Flags, back.Flags);
    termios tio{};
    ASSERT_EQ(0, tcgetattr(pty.Controller.get(), &tio));
    EXPECT_TRUE(tio.c_iflag & IXON);
    EXPECT_TRUE(tio.c_iflag & IXOFF);
    EXPECT_EQ(1, tio.c_cc[VSTART]);
    EXPECT_EQ(2, tio.c_cc[VSTOP]);
    // A change another program makes shows through.
    cfsetospeed(&tio, B38400);
    cfsetispeed(&tio, B38400);
    ASSERT_EQ(0, tcsetattr(pty.Controller.get(), TCSANOW, &tio));
    ASSERT_EQ(0, d->ReadDeviceState(back));
    EXPECT_EQ(38400u, back.BaudRate);
    EXPECT_EQ(123, back.XonLim) << "what termios cannot hold stays";
    // A rate termios has no constant for is refused as an invalid parameter.
    EXPECT_EQ(-87, d->SetLine(12345, 0, 8, 1));
    d->DonePort();
}

TEST_F(PosixPort, ADeviceWithoutModemLinesShowsThemAllLow) {
    ASSERT_EQ(0, Open(*d));
    EXPECT_EQ(0, d->GetModemStatus() & 0xF0);
    EXPECT_FALSE(d->CheckCTS());
    EXPECT_FALSE(d->CheckDCD());
    EXPECT_EQ(0, d->SetDtr(false));
    EXPECT_EQ(0, d->SetRts(true));
    EXPECT_EQ(0, d->GetLineError());
    d->DonePort();
}

TEST_F(PosixPort, BytesGoBothWays) {
    ASSERT_EQ(0, Open(*d));
    ASSERT_TRUE(pty.Write("READ\r\n"));
    EXPECT_EQ("READ\r\n", Receive(6));
    EXPECT_EQ(0, d->PutString("CPU\r\n"));
    EXPECT_EQ("CPU\r\n", pty.Read(5));
    d->DonePort();
}

TEST_F(PosixPort, AMegabyteEachWayArrivesByteForByte) {
    ASSERT_EQ(0, Open(*d));
    const size_t kSize = 1 << 20;
    const std::string in = Pattern(kSize, 1), out = Pattern(kSize, 2);
    std::string farGot;
    std::thread far([&] {
        std::thread reader([&] { farGot = pty.Read(kSize, 60000); });
        pty.Write(in);
        reader.join();
    });
    Send(out);
    std::string got = Receive(kSize);
    far.join();
    ASSERT_EQ(kSize, got.size());
    EXPECT_TRUE(got == in) << "received bytes differ";
    ASSERT_EQ(kSize, farGot.size());
    EXPECT_TRUE(farGot == out) << "sent bytes differ";
    EXPECT_TRUE(Shown().empty());
    d->DonePort();
}

// The reader pushes its blocks without waking the dispatcher thread and wakes it once it is
// about to wait for the device again. A few bytes that come alone must pass on then, not at
// the dispatcher thread's own look at the queue every 50 ms.
TEST_F(PosixPort, AFewBytesPassOnAsSoonAsTheReaderWaitsAgain) {
    ASSERT_EQ(0, Open(*d));
    std::vector<double> ms;
    for (int i = 0; i < 21; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(pty.Write("x"));
        ASSERT_EQ("x", Receive(1, std::chrono::seconds(5)));
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(ms.begin(), ms.begin() + 10, ms.end());
    // Left to the dispatcher thread's look, a byte would wait 25 ms on average; a hand-off here
    // takes well under a millisecond.
    EXPECT_LT(ms[10], 10.0) << "median of 21 single bytes, ms";
    d->DonePort();
}

TEST_F(PosixPort, AnInputFlushDropsWhatCameBeforeIt) {
    ASSERT_EQ(0, Open(*d));
    ASSERT_TRUE(pty.Write("stale"));
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 5; }));
    EXPECT_EQ(1, d->FlushInBuffer());
    EXPECT_EQ(0, d->InBuffUsed());
    ASSERT_TRUE(pty.Write("fresh"));
    EXPECT_EQ("fresh", Receive(5));
    d->DonePort();
}

// The reader has read bytes and not queued them yet when the input is flushed: those bytes came
// before the flush and must not reach the dispatch buffer after it; bytes sent after the flush
// arrive.
TEST_F(PosixPort, BytesReadBeforeAnInputFlushAreNotDeliveredAfterIt) {
    struct ClearHook {  // the reader has ended (DonePort) before this runs
        ~ClearHook() { TPosixReadThread::ReadReturnedHook = nullptr; }
    } clearHook;
    std::atomic<bool> flushed{false};
    TPosixReadThread::ReadReturnedHook = [&] {
        bool first = false;
        if (flushed.compare_exchange_strong(first, true)) {
            EXPECT_EQ(1, d->FlushInBuffer());
        }
    };
    ASSERT_EQ(0, Open(*d));
    ASSERT_TRUE(pty.Write("before flush\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return flushed.load(); }));
    ASSERT_TRUE(pty.Write("after\r\n"));
    EXPECT_EQ("after\r\n", Receive(7, std::chrono::seconds(5)));
    d->DonePort();
}

// An input flush that comes while the reader is about to read (its clear count taken) runs
// wholly before or wholly after that read, never between the two: bytes sent after the flush are
// delivered, and none from before it.
TEST_F(PosixPort, AnInputFlushAsTheReaderIsAboutToReadKeepsWhatCameAfterIt) {
    struct ClearHook {  // the reader has ended (DonePort) before this runs
        ~ClearHook() { TPosixReadThread::BeforeReadHook = nullptr; }
    } clearHook;
    std::atomic<bool> armed{false}, asked{false}, done{false};
    TPosixReadThread::BeforeReadHook = [&] {
        if (!armed.exchange(false)) return;
        asked.store(true);
        // Leaves the flush its time to run here, if it can.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (!done.load() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (done.load()) {
            pollfd p{d->Device(), POLLIN, 0};
            poll(&p, 1, 1000);  // the bytes sent after the flush are there to read
        }
    };
    ASSERT_EQ(0, Open(*d));
    armed.store(true);
    ASSERT_TRUE(pty.Write("before flush\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return asked.load(); }));
    EXPECT_EQ(1, d->FlushInBuffer());
    ASSERT_TRUE(pty.Write("after\r\n"));
    done.store(true);
    EXPECT_EQ("after\r\n", Receive(7, std::chrono::seconds(5)));
    d->DonePort();
}

// The reader stops taking bytes from the device once the input queue is at its bound (here:
// nobody reads, so the dispatch buffer fills and then the queue). An input flush empties the
// queue, and the reader must take up the line again without a read to wake it.
TEST_F(PosixPort, AnInputFlushWhileTheReaderIsHeldLetsItGoOn) {
    ASSERT_EQ(0, Open(*d));
    // The dispatch buffer's 8192 bytes, the queue's bound and some left in the device.
    const size_t bytes = 8192 + static_cast<size_t>(d->InputBound()) + 4096;
    std::thread far([&] { pty.Write(Pattern(bytes, 3)); });
    ASSERT_TRUE(PumpUntil([&] { return d->FQueue->BytesQueued() > 0 && d->ReaderHeld(); }));
    far.join();
    EXPECT_EQ(1, d->FlushInBuffer());
    EXPECT_EQ(0, d->InBuffUsed());
    ASSERT_TRUE(pty.Write("fresh"));
    EXPECT_EQ("fresh", Receive(5, std::chrono::seconds(5)));
    d->DonePort();
}

TEST_F(PosixPort, AFarEndThatGoesAwayIsReportedOnceAndEndsTheDeviceThreads) {
    ASSERT_EQ(0, Open(*d));
    pty.Controller.reset();
    ASSERT_TRUE(PumpUntil([&] {
        return d->ComThread->Finished() && d->OutThread->Finished() && d->StatusThread->Finished();
    }));
    // No device thread is left to spin on the hung-up device.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(1u, Shown().size());
    EXPECT_EQ("Device read error", Shown()[0]);
    d->DonePort();
    EXPECT_EQ(1u, Shown().size()) << "the close reports nothing more";
}

TEST_F(PosixPort, ACloseInTheMiddleOfTrafficReturnsAtOnce) {
    ASSERT_EQ(0, Open(*d));
    std::atomic<bool> flood{true}, floodEnded{false};
    std::thread far([&] {
        const std::string chunk(4096, 'x');
        while (flood.load()) pty.Write(chunk);
        floodEnded.store(true);
    });
    // Nobody reads the far end: the device fills up and the writer waits for room on it.
    const std::string block(1000, 'y');
    for (int i = 0; i < 1000; ++i) {
        if (d->OutBuffFree() >= 1000)
            ASSERT_EQ(0, d->PutBlock(block.data(), 1000));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GT(d->OutBuffUsed(), 0) << "the writer is held up by the device";
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() > 0; }));
    const auto start = std::chrono::steady_clock::now();
    d->DonePort();
    const auto took = std::chrono::steady_clock::now() - start;
    flood.store(false);
    // A far write may be waiting for room on the line the port has left: empty it until the
    // flood has ended.
    TUniqueFd drain(open(pty.FarPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    while (!floodEnded.load()) {
        tcflush(drain.get(), TCIFLUSH);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    far.join();
    // The waits end on the close itself; a wait that looked at a flag on a timer, or a writer
    // that finished its block first, would show as whole seconds here.
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_EQ(0, d->ActiveThreads.load());
    EXPECT_TRUE(Shown().empty());
}

TEST(PosixPorts, ANumberMapsToItsTablePathOrTheSerialDeviceBelowIt) {
    posix_ports::SetDevicePath(7, "/dev/ttyUSB0");
    EXPECT_EQ("/dev/ttyUSB0", posix_ports::Resolve(L"\\\\.\\COM7")->Path);
    EXPECT_EQ("/dev/ttyUSB0", posix_ports::Resolve(L"com7")->Path);
    posix_ports::ClearEntry(7);
    EXPECT_EQ("/dev/ttyS6", posix_ports::Resolve(L"\\\\.\\COM7")->Path);
    EXPECT_EQ("/dev/serial/by-id/usb-x", posix_ports::Resolve(L"/dev/serial/by-id/usb-x")->Path);
    EXPECT_FALSE(posix_ports::Resolve(L"\\\\.\\COM0"));
    EXPECT_FALSE(posix_ports::Resolve(L"COMX"));
    EXPECT_FALSE(posix_ports::Resolve(L"LPT1"));
}

TEST(PosixPorts, APseudoTerminalEntryMakesALineWhoseFarEndIsLinked) {
    platform::BindMainThread();
    const std::string link = ::testing::TempDir() + "pelkan-pty-link";
    posix_ports::SetPseudoTerminal(62, link);
    {
        TSioPosixDispatcher d(nullptr);
        ASSERT_EQ(0, d.InitPort(Com(62), 9600, 0, 8, 1, 4096, 4096, 3));
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(d.FarEndName(), target);
        TUniqueFd far(open(link.c_str(), O_RDWR | O_NOCTTY));
        ASSERT_TRUE(far);
        termios tio{};
        tcgetattr(far.get(), &tio);
        cfmakeraw(&tio);
        tcsetattr(far.get(), TCSANOW, &tio);
        ASSERT_EQ(2, write(far.get(), "hi", 2));
        EXPECT_TRUE(PumpUntil([&] { return d.InBuffUsed() == 2; }));
        d.DonePort();
        struct stat st {};
        EXPECT_NE(0, lstat(link.c_str(), &st)) << "the link goes with the port";
    }
    posix_ports::ClearEntry(62);
    platform::UnbindMainThread();
}

// One pseudo-terminal port number is one port, as a device path is: a second open is refused as
// in use and leaves the first port's line and link alone; a close removes the link only while
// it still names the line that port made.
TEST(PosixPorts, APseudoTerminalPortOpensOnceAndItsCloseRemovesOnlyItsOwnLink) {
    platform::BindMainThread();
    const std::string link = ::testing::TempDir() + "pelkan-pty-link-once";
    auto linked = [&] {
        char target[256] = {};
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
    };
    auto open = [](TSioPosixDispatcher& p) {
        return p.InitPort(Com(63), 9600, 0, 8, 1, 4096, 4096, 3);
    };
    posix_ports::SetPseudoTerminal(63, link);
    {
        TSioPosixDispatcher first(nullptr), second(nullptr);
        ASSERT_EQ(0, open(first));
        EXPECT_EQ(-5, open(second)) << "in use";
        EXPECT_EQ(5, second.OsLastError());
        EXPECT_EQ(first.FarEndName(), linked()) << "the link still names the first port's line";
        first.DonePort();
        EXPECT_EQ("", linked()) << "the link goes with the port that made it";
        second.DonePort();
        EXPECT_EQ(0, open(second)) << "free again once the first has closed";
        EXPECT_EQ(second.FarEndName(), linked());
        second.DonePort();
        EXPECT_EQ("", linked());
    }
    {
        // Another program has linked its own line there since: that link stays.
        PtyPair other;
        TSioPosixDispatcher port(nullptr);
        ASSERT_EQ(0, open(port));
        ASSERT_EQ(0, unlink(link.c_str()));
        ASSERT_EQ(0, symlink(other.FarPath.c_str(), link.c_str()));
        port.DonePort();
        EXPECT_EQ(other.FarPath, linked());
        unlink(link.c_str());
    }
    posix_ports::ClearEntry(63);
    platform::UnbindMainThread();
}

// Two looks at the line-error counters that overlap (the status thread's and an error read on the
// main thread): the older counts must not be applied after the newer ones, or one error on the
// line is reported again and the stored counts go back, to report it a third time.
TEST(PosixLineErrors, OneErrorIsReportedOnceWhenTwoLooksOverlap) {
    TSioPosixDispatcher p(nullptr);
    std::atomic<int> frameErrors{0};
    std::atomic<std::thread::id> stalled{};
    std::mutex m;
    std::condition_variable cv;
    bool firstRead = false, secondDone = false;
    TSioPosixDispatcher::ReadLineCountsHook = [&](TSioPosixDispatcher::TLineCounts& c) {
        c.Frame = frameErrors.load();
        if (std::this_thread::get_id() == stalled.load()) {
            // The look is held just after it read the counters, until the other look is done
            // (or a while, where the other look waits for this one).
            std::unique_lock lock(m);
            firstRead = true;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::milliseconds(300), [&] { return secondDone; });
        }
        return true;
    };
    ASSERT_EQ(p.CollectLineErrors(), 0u);  // the counts so far

    uint32_t older = 0;
    std::thread first([&] {
        stalled.store(std::this_thread::get_id());
        older = p.CollectLineErrors();
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return firstRead; });
    }
    frameErrors.store(1);  // one framing error on the line
    const uint32_t newer = p.CollectLineErrors();
    {
        std::lock_guard lock(m);
        secondDone = true;
    }
    cv.notify_all();
    first.join();
    const uint32_t later = p.CollectLineErrors();
    TSioPosixDispatcher::ReadLineCountsHook = nullptr;

    const int reports = ((older & line_sample::kCeFrame) ? 1 : 0) +
                        ((newer & line_sample::kCeFrame) ? 1 : 0) +
                        ((later & line_sample::kCeFrame) ? 1 : 0);
    EXPECT_EQ(reports, 1) << older << " " << newer << " " << later;
}

}  // namespace
