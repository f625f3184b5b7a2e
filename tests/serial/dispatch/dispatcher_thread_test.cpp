// The dispatcher with its thread running: the road of one command line, calls onto the main
// thread, window handlers, a port ended by its device thread, closing from a handler, and lists
// changed from the main thread while the dispatcher thread walks them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/device/memory_device.h"
#include "serial/dispatch/io_queue.h"
#include "tests/support/device_line.h"
#include "tests/support/pump_until.h"

namespace {

using testsupport::PumpUntil;

class RunningPort : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        d = std::make_unique<TSioMemoryDispatcher>();
        ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM3", 9600, 0, 8, 1, 4096, 4096, 3));
        ASSERT_TRUE(d->DispActive.load());
        ASSERT_EQ(2, d->ActiveThreads.load());
    }
    void TearDown() override {
        d.reset();
        platform::UnbindMainThread();
        platform::SetExceptionDisplay(nullptr);
    }
    std::unique_ptr<TSioMemoryDispatcher> d;
};

// The same port over each device layer with real threads.
using testsupport::DeviceLine;
using testsupport::LineKind;

class RunningLine : public ::testing::TestWithParam<LineKind> {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        Line = std::make_unique<DeviceLine>(GetParam(), std::vector<uint32_t>{kPort});
        d = Line->Make();
        ASSERT_EQ(
            0, d->InitPort(L"\\\\.\\COM" + std::to_wstring(kPort), 9600, 0, 8, 1, 4096, 4096, 3));
        ASSERT_TRUE(d->DispActive.load());
    }
    void TearDown() override {
        d.reset();
        Line.reset();
        platform::UnbindMainThread();
        platform::SetExceptionDisplay(nullptr);
    }
    void Receive(const std::string& bytes) { Line->Receive(bytes); }
    std::string Transmit() { return Line->Transmit(); }
    // The in-memory device sends only when told to; a real one always does.
    void AutoTransmit() {
        if (Line->Memory) Line->Memory->SetAutoTransmit(true);
    }

    static constexpr uint32_t kPort = 64;
    std::unique_ptr<DeviceLine> Line;
    std::unique_ptr<TSioBaseDispatcher> d;
};

INSTANTIATE_TEST_SUITE_P(Devices, RunningLine, testsupport::AllLineKinds(),
                         testsupport::LineKindName);

// The bridge's use: length trigger 1, a handler that collects lines and answers each one.
struct LineAnswerer {
    TSioBaseDispatcher* d;
    std::string line;  // dispatcher thread only
    std::atomic<int> answered{0};
    void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
        if (Msg != TriggerAvailMsg) return;
        std::string bytes(wParam, '\0');
        if (d->GetBlock(bytes.data(), wParam) != static_cast<int32_t>(wParam)) return;
        line += bytes;
        for (size_t end; (end = line.find("\r\n")) != std::string::npos;) {
            EXPECT_GE(d->PutString("ANSWER " + line.substr(0, end) + "\r\n"), 0);
            line.erase(0, end + 2);
            ++answered;
        }
    }
};

TEST_P(RunningLine, OneCommandLineIsReadAndAnswered) {
    AutoTransmit();
    d->ChangeLengthTrigger(1);
    LineAnswerer a{d.get(), {}, {0}};
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&LineAnswerer::Notify>(&a));
    Receive("RE");
    Receive("AD\r");
    Receive("\nCPU\r\n");
    std::string sent;
    ASSERT_TRUE(PumpUntil([&] {
        sent += Transmit();
        return a.answered.load() == 2;
    }));
    // A real device's writer may still be on its way with the last answer.
    const std::string expected = "ANSWER READ\r\nANSWER CPU\r\n";
    PumpUntil(
        [&] {
            sent += Transmit();
            return sent.size() >= expected.size();
        },
        std::chrono::seconds(10));
    EXPECT_EQ(expected, sent);
    EXPECT_EQ(d->ReadyEvent->Wait(0), platform::WaitResult::Signaled) << "set by the passes";
    d.reset();  // the port and its threads end before the handler objects of this test go
}

TEST_P(RunningLine, SynchronisedHandlersRunOnTheMainThread) {
    d->ChangeLengthTrigger(1);
    struct OnMain {
        TSioBaseDispatcher* d;
        std::atomic<bool> onMain{false};
        std::atomic<int> calls{0};
        void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
            onMain = platform::IsMainThread();
            // Later in the test the timer trigger's notices reach this handler too.
            if (Msg == TriggerAvailMsg) {
                std::string bytes(wParam, '\0');
                EXPECT_EQ(d->GetBlock(bytes.data(), wParam), static_cast<int32_t>(wParam));
            }
            ++calls;
        }
    } h{d.get(), {false}, {0}};
    d->RegisterSyncEventTriggerHandler(MakeNotifyEvent<&OnMain::Notify>(&h));
    Receive("abc");
    ASSERT_TRUE(PumpUntil([&] { return h.calls.load() == 1; }));
    EXPECT_TRUE(h.onMain.load());
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 0; }));

    std::atomic<bool> syncOnMain{false};
    d->ChangeLengthTrigger(0);
    auto timer = static_cast<uint32_t>(d->AddTimerTrigger());
    struct Syncer {
        TSioBaseDispatcher* d;
        std::atomic<bool>* flag;
        void Notify(uint32_t Msg, uint32_t, int32_t) {
            if (Msg == TriggerTimerMsg)
                d->FDispThread->Sync([this] { *flag = platform::IsMainThread(); });
        }
    } s{d.get(), &syncOnMain};
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&Syncer::Notify>(&s));
    EXPECT_GE(d->SetTimerTrigger(timer, 1, true), 0);
    ASSERT_TRUE(PumpUntil([&] { return syncOnMain.load(); }));
    d.reset();  // the port and its threads end before the handler objects of this test go
}

TEST_P(RunningLine, WindowHandlersGetSentMessages) {
    std::atomic<int> calls{0};
    std::atomic<uint32_t> wParam{0};
    platform::MessageWindow w([&](uint32_t msg, uintptr_t wp, intptr_t) {
        if (msg == TriggerAvailMsg) {
            wParam = static_cast<uint32_t>(wp);
            ++calls;
        }
        return intptr_t{0};
    });
    d->RegisterWndTriggerHandler(w.Handle());
    d->UpdateHandlerFlags(TSioHandlerFlagUpdate::fuEnablePort);
    d->ChangeLengthTrigger(1);
    Receive("12345");
    ASSERT_TRUE(PumpUntil([&] { return calls.load() == 1; }));
    EXPECT_EQ(5u, wParam.load());
}

// A device thread that ends on an error ends the port: its exit code is shown, the threads end,
// the buffers are released, and every later operation answers -2007.
TEST_F(RunningPort, PortEndedByItsDeviceThreadAnswersNotOpen) {
    std::mutex lock;
    std::vector<std::string> shown;
    platform::SetExceptionDisplay([&](const std::string& m) {
        std::lock_guard g(lock);
        shown.push_back(m);
    });
    d->ChangeLengthTrigger(1);
    d->Receive("abc");
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 3; }));
    d->EndDeviceThreadWithError(-161);
    ASSERT_TRUE(PumpUntil([&] { return d->ActiveThreads.load() == 0; }));
    EXPECT_FALSE(d->DispActive.load());
    {
        std::lock_guard g(lock);
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("Device read error", shown[0]);
    }
    char buf[4];
    EXPECT_EQ(-2007, d->GetBlock(buf, 3));
    EXPECT_EQ(-2007, d->PutString("x"));
    EXPECT_EQ(-2007, d->InBuffUsed());
    EXPECT_EQ(-2007, d->OutBuffFree());
    EXPECT_EQ(-2007, d->FlushInBuffer());
    EXPECT_EQ(-2007, d->FlushOutBuffer());
    // The line settings too: the device is gone, whatever the operation would ask of it.
    EXPECT_EQ(-2007, d->SetLine(19200, 0, 8, 1));
    EXPECT_EQ(-2007, d->ChangeBaud(4800));
    EXPECT_EQ(-2007, d->SetDtr(false));
    EXPECT_EQ(-2007, d->SetRts(false));
    EXPECT_EQ(-2007, d->SetModem(true, true));
    EXPECT_EQ(-2007, d->HWFlowOptions(3000, 1000, 3));
    EXPECT_EQ(-2007, d->SWFlowEnable(3000, 1000, 3));
    EXPECT_EQ(-2007, d->SWFlowDisable());
    EXPECT_EQ(-2007, d->SWFlowChars('a', 'b'));
    d->DonePort();  // the component's close afterwards
}

// Bytes nobody takes fill the ring while more wait in the queue. The thread then waits rather
// than passing again and again: each pass while full logs one "Dispatch buffer full." entry,
// about 20 a second when it waits, tens of thousands when it spins. A line event queued behind
// the held bytes still reaches its trigger, and bytes taken from the ring let the rest in.
TEST_F(RunningPort, AFullRingThatNobodyEmptiesIsWaitedOnNotSpunOn) {
    struct StatusSeen {
        std::atomic<int> lineErrors{0};
        uint32_t handle = 0;
        void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
            if (Msg == TriggerStatusMsg && wParam == handle) ++lineErrors;
        }
    } seen;
    seen.handle = static_cast<uint32_t>(d->AddStatusTrigger(2));
    EXPECT_GE(d->SetStatusTrigger(seen.handle, 1, true), 0);  // overrun
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&StatusSeen::Notify>(&seen));
    d->ChangeLengthTrigger(0);
    std::string bytes;
    for (int i = 0; i < 8192 + 1000; ++i) bytes += static_cast<char>('a' + i % 23);
    d->Receive(bytes);
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 8192; }));

    d->InitDispatchLogging(0);
    testsupport::PumpFor(std::chrono::milliseconds(500));
    d->StopDispatchLogging();
    int fullPasses = 0;
    while (auto entry = d->DLoggingQueue->Pop()) {
        auto* log = dynamic_cast<TLogBuffer*>(entry.get());
        if (log && log->drSubType() == TDispatchSubType::dstStatus) ++fullPasses;
    }
    EXPECT_GT(fullPasses, 0) << "the thread still looks at the full ring";
    EXPECT_LT(fullPasses, 200) << "passes in half a second with a full ring";

    d->AddLineErrors(2);
    d->SignalEvent(0x80);
    ASSERT_TRUE(PumpUntil([&] { return seen.lineErrors.load() == 1; }, std::chrono::seconds(5)))
        << "a line event behind the held bytes";

    std::string first(8192, '\0');
    ASSERT_EQ(8192, d->GetBlock(first.data(), 8192));
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 1000; }, std::chrono::seconds(5)));
    std::string rest(1000, '\0');
    ASSERT_EQ(1000, d->GetBlock(rest.data(), 1000));
    EXPECT_EQ(bytes, first + rest);
    d.reset();  // the port and its threads end before the handler objects of this test go
}

// A thread that raises instead of returning an exit code: its exception is shown once, every
// thread of the port ends and reports it, the port answers -2007 afterwards, and the close that
// follows returns.
TEST(RunningPortLifecycle, AThreadThatRaisesEndsThePortAndEveryThread) {
    struct Case {
        const char* thread;
        const wchar_t* port;  // one each: a port whose close hangs stays open
        void (*raise)(TSioMemoryDispatcher&);
    };
    const Case cases[] = {
        {"device thread", L"\\\\.\\COM6",
         [](TSioMemoryDispatcher& d) { d.RaiseInDeviceThread("no block"); }},
        {"dispatcher thread", L"\\\\.\\COM7",
         [](TSioMemoryDispatcher& d) {
             d.RaiseInReadCom("no block");
             d.Receive("x");
         }},
    };
    platform::BindMainThread();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.thread);
        std::mutex lock;
        std::vector<std::string> shown;
        platform::SetExceptionDisplay([&](const std::string& m) {
            std::lock_guard g(lock);
            shown.push_back(m);
        });
        auto d = std::make_unique<TSioMemoryDispatcher>();
        ASSERT_EQ(0, d->InitPort(c.port, 9600, 0, 8, 1, 4096, 4096, 3));
        c.raise(*d);
        if (!PumpUntil([&] { return d->ActiveThreads.load() == 0; }, std::chrono::seconds(10))) {
            // Threads that never report their end cannot be waited for: the dispatcher is left
            // behind so that the other tests still run.
            ADD_FAILURE() << "threads still counted: " << d->ActiveThreads.load();
            (void)d.release();
            continue;
        }
        EXPECT_FALSE(d->DispActive.load());
        {
            std::lock_guard g(lock);
            EXPECT_EQ(std::vector<std::string>{"no block"}, shown);
        }
        char buf[1];
        EXPECT_EQ(-2007, d->GetBlock(buf, 1));
        EXPECT_EQ(-2007, d->PutString("x"));
        EXPECT_FALSE(d->DeviceOpen());
        d->DonePort();
        d.reset();
        platform::SetExceptionDisplay(nullptr);
    }
    platform::UnbindMainThread();
}

TEST_F(RunningPort, CloseRequestedFromAHandlerEndsThePortAfterTheNotification) {
    d->ChangeLengthTrigger(1);
    struct Closer {
        TSioBaseDispatcher* d;
        std::atomic<int> calls{0};
        void Notify(uint32_t, uint32_t, int32_t) {
            ++calls;
            d->DonePort();
        }
    } c{d.get(), {0}};
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&Closer::Notify>(&c));
    d->RegisterProcTriggerHandler([](uint32_t, uint32_t, int32_t) { FAIL() << "walk not cut"; });
    d->Receive("x");
    ASSERT_TRUE(PumpUntil([&] { return d->ActiveThreads.load() == 0; }));
    EXPECT_EQ(1, c.calls.load());
    EXPECT_TRUE(d->ClosePending.load());
    EXPECT_EQ(nullptr, d->DBuffer) << "released by the dispatcher thread as it ended";
    EXPECT_FALSE(d->DeviceOpen());
}

// The main thread adds and removes triggers and handlers while the dispatcher thread scans and
// notifies; ThreadSanitizer watches.
TEST_F(RunningPort, ListsChangeWhileTheDispatcherThreadWalksThem) {
    d->ChangeLengthTrigger(1);
    struct Taker {
        TSioBaseDispatcher* d;
        std::atomic<int> calls{0};
        void Notify(uint32_t Msg, uint32_t wParam, int32_t lParam) { Take(Msg, wParam, lParam); }
        // A second method: handlers are deregistered by method, so the churning one must differ.
        void NotifyToo(uint32_t Msg, uint32_t wParam, int32_t lParam) { Take(Msg, wParam, lParam); }
        void Take(uint32_t Msg, uint32_t wParam, int32_t lParam) {
            ++calls;
            uint32_t n = Msg == TriggerAvailMsg  ? wParam
                         : Msg == TriggerDataMsg ? lParam & 0xFFFF
                                                 : 0;
            std::string bytes(n, '\0');
            if (n) {
                EXPECT_GE(d->GetBlock(bytes.data(), n), 0);
            }
        }
    } keeper{d.get(), {0}}, churn{d.get(), {0}};
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&Taker::Notify>(&keeper));
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        for (int i = 0; i < 300 && !stop; ++i) {
            d->Receive("OK then AT, OK\r\n");
            d->SignalEvent(0x8);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 300; ++i) {
        int32_t data = d->AddDataTrigger("OK", i % 2 == 0);
        int32_t timer = d->AddTimerTrigger();
        int32_t status = d->AddStatusTrigger(1 + i % 5);
        EXPECT_GE(d->SetTimerTrigger(static_cast<uint32_t>(timer), 0, true), 0);
        EXPECT_GE(d->SetStatusTrigger(static_cast<uint32_t>(status), 0xFF, true), 0);
        d->RegisterEventTriggerHandler(MakeNotifyEvent<&Taker::NotifyToo>(&churn));
        EXPECT_GE(d->PutString("x"), 0);
        std::this_thread::yield();
        d->DeregisterEventTriggerHandler(MakeNotifyEvent<&Taker::NotifyToo>(&churn));
        EXPECT_GE(d->RemoveTrigger(static_cast<uint32_t>(data)), 0);
        EXPECT_GE(d->RemoveTrigger(static_cast<uint32_t>(timer)), 0);
        EXPECT_GE(d->RemoveTrigger(static_cast<uint32_t>(status)), 0);
        d->Transmit();
    }
    stop = true;
    feeder.join();
    d->Receive("OK\r\n");
    EXPECT_TRUE(PumpUntil([&] { return keeper.calls.load() > 0; }));
    EXPECT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 0; })) << "every byte offered was taken";
    d.reset();  // the port and its threads end before the handler objects of this test go
}

// The main thread holds event delivery (as a string wait does) while the dispatcher thread is
// inside a notification: the end of that notification must not end the hold.
TEST_P(RunningLine, AHoldTakenDuringANotificationOutlivesIt) {
    d->ChangeLengthTrigger(1);
    struct Blocking {
        std::atomic<bool> inside{false};
        std::atomic<bool> release{false};
        std::atomic<int> calls{0};
        std::atomic<uint32_t> lastOffer{0};
        void Notify(uint32_t Msg, uint32_t wParam, int32_t) {
            if (Msg != TriggerAvailMsg) return;
            lastOffer = wParam;
            if (++calls > 1) return;
            inside = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } h;
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&Blocking::Notify>(&h));
    Receive("ab");
    ASSERT_TRUE(PumpUntil([&] { return h.inside.load(); }));
    bool wasOn = false;
    d->SetEventBusy(wasOn, true);
    EXPECT_TRUE(wasOn) << "a notification is in progress";
    h.release = true;
    // Each pass fills the ring before it scans; once the second burst is in, the pass that ended
    // the notification is over, and once the third is in, the pass of the second is over too.
    Receive("cd");
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 4; }));
    EXPECT_TRUE(d->EventBusy()) << "the notification ended, the hold goes on";
    Receive("e");
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 5; }));
    EXPECT_EQ(1, h.calls.load()) << "nothing is delivered while the hold lasts";
    d->SetEventBusy(wasOn, false);
    ASSERT_TRUE(PumpUntil([&] { return h.calls.load() >= 2; }));
    EXPECT_EQ(2, h.calls.load());
    EXPECT_EQ(5u, h.lastOffer.load());
    EXPECT_FALSE(d->EventBusy());
    d.reset();
}

TEST(RunningPortLifecycle, DestroyWhileBytesFlowEndsEveryThread) {
    for (int i = 0; i < 5; ++i) {
        auto d = std::make_unique<TSioMemoryDispatcher>();
        ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM4", 9600, 0, 8, 1, 4096, 4096, 3));
        d->ChangeLengthTrigger(1);
        d->Receive(std::string(5000, 'z'));
        d->Destroy();
        EXPECT_EQ(0, d->ActiveThreads.load());
        EXPECT_FALSE(d->DispActive.load());
        for (TSioDispatcherThread* t :
             {d->ComThread.get(), static_cast<TSioDispatcherThread*>(d->FDispThread.get())}) {
            ASSERT_NE(nullptr, t);
            EXPECT_TRUE(t->Finished()) << "reported its end";
            EXPECT_FALSE(t->Joinable()) << "joined";
        }
        EXPECT_FALSE(d->DeviceOpen());
        d.reset();
    }
}

// A close asked for while another is under way returns at once (0) instead of ending the same
// threads a second time: here from a handler the first close is waiting for.
TEST(RunningPortLifecycle, ASecondCloseDuringTheFirstReturnsAtOnce) {
    platform::BindMainThread();
    auto d = std::make_unique<TSioMemoryDispatcher>();
    ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM9", 9600, 0, 8, 1, 4096, 4096, 3));
    d->ChangeLengthTrigger(1);
    struct SecondCloser {
        TSioBaseDispatcher* d;
        std::atomic<bool> inHandler{false};
        std::atomic<int32_t> result{1};
        std::atomic<bool> firstStillRuns{false};
        void Notify(uint32_t, uint32_t, int32_t) {
            if (inHandler.exchange(true)) return;
            while (!d->CloseComActive.load()) std::this_thread::yield();
            result = d->CloseCom();
            firstStillRuns = d->CloseComActive.load();
        }
    } h{d.get(), {false}, {1}, {false}};
    d->RegisterEventTriggerHandler(MakeNotifyEvent<&SecondCloser::Notify>(&h));
    d->Receive("x");
    ASSERT_TRUE(PumpUntil([&] { return h.inHandler.load(); }));
    EXPECT_EQ(0, d->CloseCom());
    EXPECT_EQ(0, h.result.load()) << "the second close";
    EXPECT_TRUE(h.firstStillRuns.load()) << "the second close returned while the first ran";
    EXPECT_EQ(0, d->ActiveThreads.load());
    EXPECT_FALSE(d->DeviceOpen());
    EXPECT_EQ(-1, d->CidEx.load());
    d.reset();
    platform::UnbindMainThread();
}

// A thread object's priority is set only while its thread runs: not before Start, and not once
// Join has taken the thread, even when Join runs while another thread keeps setting it.
TEST(DispatcherThreadObject, PriorityIsSetOnlyWhileTheThreadRuns) {
    struct Parked : TSioDispatcherThread {
        using TSioDispatcherThread::TSioDispatcherThread;
        std::atomic<bool> release{false};
        std::atomic<int> sawItselfCurrent{-1};
        int32_t Execute() override {
            sawItselfCurrent = IsCurrentThread() ? 1 : 0;
            while (!release.load()) std::this_thread::yield();
            return 0;
        }
    };
    using platform::TThreadPriority;
    for (int round = 0; round < 20; ++round) {
        Parked t(nullptr);
        EXPECT_FALSE(t.SetPriority(TThreadPriority::tpHigher)) << "not started";
        EXPECT_FALSE(t.Joinable());
        t.Start();
        EXPECT_TRUE(t.Joinable());
        EXPECT_FALSE(t.IsCurrentThread());
        EXPECT_TRUE(t.SetPriority(TThreadPriority::tpHigher)) << "running";

        std::atomic<bool> joined{false};
        std::atomic<int> accepted{0};
        std::thread setter([&] {
            for (int i = 0; !joined.load(); ++i)
                if (t.SetPriority(i % 2 ? TThreadPriority::tpHigher : TThreadPriority::tpNormal))
                    ++accepted;
        });
        while (accepted.load() == 0) std::this_thread::yield();
        t.release = true;
        t.Join();
        EXPECT_FALSE(t.SetPriority(TThreadPriority::tpHighest)) << "joined";
        joined = true;
        setter.join();
        EXPECT_FALSE(t.SetPriority(TThreadPriority::tpHighest));
        EXPECT_FALSE(t.Joinable());
        EXPECT_FALSE(t.IsCurrentThread());
        EXPECT_EQ(1, t.sawItselfCurrent.load());
        EXPECT_EQ(TThreadPriority::tpHighest, t.Priority()) << "the last request is remembered";
    }
}

// The port's thread boost changed from another thread while a close joins the threads whose
// priority it sets.
TEST(RunningPortLifecycle, ThreadBoostChangedWhileACloseJoinsTheThreads) {
    for (int round = 0; round < 10; ++round) {
        TSioMemoryDispatcher d;
        ASSERT_EQ(0, d.InitPort(L"\\\\.\\COM6", 9600, 0, 8, 1, 4096, 4096, 3));
        std::atomic<bool> closed{false};
        std::atomic<int> boosts{0};
        std::thread booster([&] {
            for (uint8_t b = 1; !closed.load(); b = static_cast<uint8_t>(b % 3 + 1)) {
                d.SetThreadBoost(b);
                ++boosts;
            }
        });
        while (boosts.load() < 10) std::this_thread::yield();
        EXPECT_EQ(0, d.CloseCom());
        closed = true;
        booster.join();
        EXPECT_FALSE(d.ComThread->Joinable());
        EXPECT_FALSE(d.FDispThread->Joinable());
    }
}

TEST(RunningPortLifecycle, LaunchingTwiceIsRefused) {
    TSioMemoryDispatcher d;
    ASSERT_EQ(0, d.InitPort(L"\\\\.\\COM5", 9600, 0, 8, 1, 4096, 4096, 3));
    EXPECT_THROW(d.LaunchThreads(), std::runtime_error);
}

}  // namespace
