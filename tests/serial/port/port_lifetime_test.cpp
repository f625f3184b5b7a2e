// A port closed or freed by what its own operations let run: the messages a yielding break or a
// close handles, a close whose trace or log cannot be written, and the deferred close waiting for
// the dispatcher's threads while an event handler goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/message_window.h"
#include "serial/dispatch/notify.h"
#include "serial/errors/sio_exception.h"
#include "serial/port/port_orphans.h"

#include "port_fixture.h"
#include "tests/support/pump_until.h"

namespace {

using testsupport::PumpFor;
using testsupport::PumpUntil;

class Lifetimes : public PortTest {
  protected:
    uint16_t Number() const override { return 41; }
    // A new port on the fixture's number, with the dispatcher's threads running or not.
    void NewPort(bool threads) {
        port = std::make_unique<TSioComPort>(nullptr);
        port->SetComNumber(Number());
        if (threads)
            UseRunningMemoryDevice(*port);
        else
            UseMemoryDevice(*port);
    }
    void UseRunningMemoryDevice(TSioCustomComPort& p) {
        p.SetCustomDispatcher([this](TComponent* owner) {
            auto d = std::make_unique<TSioMemoryDispatcher>(owner);
            device = d.get();
            ++created;
            return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
        });
    }
    // The port's number can be opened again: nothing of an earlier port holds the device.
    void ExpectNumberFree() {
        TSioComPort again(nullptr);
        again.SetComNumber(Number());
        UseMemoryDevice(again);
        EXPECT_NO_THROW(again.SetOpen(true));
        EXPECT_TRUE(again.Open());
    }
};

// A break that handles messages while the line is held low: what runs meanwhile may close the
// port, close and reopen it, or free it. The break then touches nothing of the dispatcher it began
// on (freed with the close) and answers as for a port that is not open.
TEST_F(Lifetimes, ABreakWhosePortGoesDuringItsWaitAnswersNotOpen) {
    bool breakDuringWait = false;
    const struct {
        const char* name;
        std::function<void()> meanwhile;
        bool notOpen;
    } cases[] = {
        {"nothing happens", [&] { breakDuringWait = device->BreakOn(); }, false},
        {"closed", [&] { port->SetOpen(false); }, true},
        {"closed and reopened",
         [&] {
             port->SetOpen(false);
             port->SetOpen(true);
         },
         true},
        {"freed", [&] { port.reset(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!port) NewPort(false);
        if (!port->Open()) port->SetOpen(true);
        const int before = created;
        platform::MessageWindow meanwhile([&](uint32_t, uintptr_t, intptr_t) -> intptr_t {
            c.meanwhile();
            return 0;
        });
        platform::PostMessageTo(meanwhile.Handle(), 1, 0, 0);
        TSioComPort* const breaking = port.get();
        try {
            breaking->SendBreak(2, true);
            EXPECT_FALSE(c.notOpen) << "no exception";
        } catch (const ECommNotOpen& e) {
            EXPECT_TRUE(c.notOpen) << "raised on a port that stayed open";
            EXPECT_EQ(e.ErrorCode(), -2007);
        }
        if (!c.notOpen) {
            EXPECT_TRUE(breakDuringWait);
            EXPECT_FALSE(device->BreakOn()) << "the break did not end";
        }
        if (port && port->Open() && created > before) {
            EXPECT_FALSE(device->BreakOn()) << "the break reached the new opening's device";
        }
    }
}

// A close handles messages in two places: its own wait for the deferred close while delivery is
// held, and the dispatcher's wait for its thread while a handler runs there. A message handled
// there may free the port (an owner that frees it on a notice of its own); the close then stops
// without touching it, and what the port leaves is freed once its threads have ended.
TEST_F(Lifetimes, APortFreedByAMessageItsOwnCloseHandlesIsNotTouchedAfterwards) {
    const struct {
        const char* name;
        bool threads;
    } cases[] = {
        {"delivery held by a prepared wait", false},
        {"a handler running on the dispatcher thread", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t orphansBefore = OrphanedPortParts();
        NewPort(c.threads);
        port->SetOpen(true);
        Pump();  // what earlier tests left in the queue: the close's own pump takes one message

        std::atomic<bool> inHandler{false};
        std::atomic<bool> release{false};
        struct Blocking {
            std::atomic<bool>* inHandler;
            std::atomic<bool>* release;
            void Notify(uint32_t Msg, uint32_t, int32_t) {
                if (Msg != TriggerAvailMsg) return;
                inHandler->store(true);
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!release->load() && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } blocking{&inHandler, &release};
        if (c.threads) {
            port->Dispatcher()->RegisterEventTriggerHandler(
                MakeNotifyEvent<&Blocking::Notify>(&blocking));
            device->Receive("x");
            ASSERT_TRUE(PumpUntil([&] { return inHandler.load(); }, std::chrono::seconds(10)));
        } else {
            port->PrepareWait();
        }

        bool freed = false;
        platform::MessageWindow owner([&](uint32_t, uintptr_t, intptr_t) -> intptr_t {
            port.reset();
            freed = true;
            release.store(true);
            return 0;
        });
        platform::PostMessageTo(owner.Handle(), 1, 0, 0);
        TSioComPort* const closing = port.get();
        closing->SetOpen(false);
        EXPECT_TRUE(freed);
        release.store(true);
        EXPECT_TRUE(PumpUntil([&] { return OrphanedPortParts() == orphansBefore; },
                              std::chrono::seconds(10)))
            << "what the port left was not freed";
        ExpectNumberFree();
    }
}

// Freeing a port always ends its threads and closes its device, and closing it always closes,
// even when the trace or the dispatch log cannot be written at that moment: the failure is shown
// (or raised by the close) once, and the unwritten trace or log is dropped.
TEST_F(Lifetimes, AnUnwritableTraceOrLogIsReportedOnceAndThePortStillCloses) {
    const std::string nowhere = "/nonexistent-pelkan-folder/sub/SIO.OUT";
    const struct {
        const char* name;
        bool log;
    } files[] = {{"trace", false}, {"dispatch log", true}};
    const struct {
        const char* name;
        bool free;
    } ways[] = {{"closed", false}, {"freed", true}};
    for (const auto& f : files) {
        for (const auto& w : ways) {
            SCOPED_TRACE(std::string(f.name) + ", " + w.name);
            shown.clear();
            const size_t orphansBefore = OrphanedPortParts();
            NewPort(true);
            if (f.log) {
                port->SetLogName(nowhere);
                port->SetLogging(TTraceLogState::tlOn);
            } else {
                port->SetTraceName(nowhere);
                port->SetTracing(TTraceLogState::tlOn);
            }
            port->SetOpen(true);
            port->PutString(std::string("AB"));
            port->AddStringToLog("entry");
            if (w.free) {
                port.reset();
                EXPECT_EQ(shown.size(), 1u);
            } else {
                EXPECT_ANY_THROW(port->SetOpen(false));
                EXPECT_FALSE(port->Open());
                EXPECT_NO_THROW(port->SetOpen(false));
                port.reset();
                EXPECT_TRUE(shown.empty()) << shown.front();
            }
            EXPECT_TRUE(PumpUntil([&] { return OrphanedPortParts() == orphansBefore; },
                                  std::chrono::seconds(5)))
                << "the port's threads still run";
            ExpectNumberFree();
        }
    }
}

// A close from inside an event handler finishes once the dispatcher's thread has left that event.
// The handler may run on for seconds (a dialog it shows, say); the main thread meanwhile only
// handles what it is given: the deferred close waits for the threads' end without re-posting
// itself through the message queue.
TEST_F(Lifetimes, ADeferredCloseWaitsForTheThreadsQuietly) {
    NewPort(true);
    port->SetOpen(true);
    port->AddDataTrigger("OK", false);
    int handled = -1;
    port->SetOnTriggerData([&](TSioCustomComPort* p, uint16_t) {
        p->SetOpen(false);
        // As a dialog shown by the handler would, for a while.
        handled = testsupport::PumpCounting(std::chrono::milliseconds(300));
    });
    Pump();  // what earlier tests left in the queue
    device->Receive("OK");
    ASSERT_TRUE(PumpUntil([&] { return handled >= 0; }, std::chrono::seconds(10)));
    EXPECT_LE(handled, 2) << "messages handled while the event went on";
    EXPECT_TRUE(PumpUntil([&] { return !port->Open(); }, std::chrono::seconds(10)))
        << "the close never finished";
    port.reset();
    ExpectNumberFree();
}

}  // namespace
