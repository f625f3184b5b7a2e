// A packet bound to a real port component over each device layer (the in-memory one, and on the
// host the termios one on a pseudo-terminal pair), with the port's dispatcher thread: binding, open
// and close, replies through the port, a close from inside the packet's own event, and a port
// destroyed under its packets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/errors/sio_exception.h"
#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager.h"
#include "serial/packet/packet_manager_list.h"
#include "serial/port/com_port.h"
#include "serial/port/port_orphans.h"
#include "tests/support/device_line.h"
#include "tests/support/pump_until.h"
#include "tests/support/skippable_clock.h"

namespace {

using testsupport::PumpFor;
using testsupport::PumpUntil;

class PacketOnPort : public ::testing::TestWithParam<testsupport::LineKind> {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        testsupport::UseRealClockPlus(now);
        platform::SetExceptionDisplay([this](const std::string& m) { Shown.push_back(m); });
        managersBefore = PacketManagers().Count();
        Line = std::make_unique<testsupport::DeviceLine>(GetParam(), std::vector<uint32_t>{5, 6});
        NewPort();
        packet = std::make_unique<TSioDataPacket>(nullptr);
        packet->SetName("SioDataPacket1");
        packet->SetStartCond(TPacketStartCond::scAnyData);
        packet->SetEndCond({TPacketEndCond::ecString});
        packet->SetEndString("\r\n");
        packet->SetTimeOut(500);
        packet->SetOnStringPacket([this](TComponent*, const std::string& Data) {
            Got.push_back(Data);
            if (Reply) port->PutString("=" + Data);
        });
        packet->SetComPort(port.get());
    }
    void TearDown() override {
        packet.reset();
        if (port && port->Open()) port->SetOpen(false);
        PumpUntil([&] { return !port || !port->Open(); });
        port.reset();
        PumpFor(std::chrono::milliseconds(20));
        Line.reset();
        EXPECT_EQ(PacketManagers().Count(), managersBefore) << "every manager was freed";
        platform::SetExceptionDisplay(nullptr);
        platform::SetClockForTest(nullptr);
        platform::UnbindMainThread();
    }

    // A port on COM5 over the line, with its threads.
    void NewPort() {
        port = std::make_unique<TSioComPort>(nullptr);
        port->SetComNumber(5);
        UseLine(*port);
    }
    void UseLine(TSioCustomComPort& p) {
        p.SetCustomDispatcher([this](TComponent* owner) { return Line->Make(owner); });
    }

    std::atomic<uint32_t> now{0};
    size_t managersBefore = 0;
    std::unique_ptr<TSioComPort> port;
    // Ports 5 and 6 open it.
    std::unique_ptr<testsupport::DeviceLine> Line;
    std::unique_ptr<TSioDataPacket> packet;
    bool Reply = true;
    std::vector<std::string> Got;
    std::vector<std::string> Shown;
};

INSTANTIATE_TEST_SUITE_P(Devices, PacketOnPort, testsupport::AllLineKinds(),
                         testsupport::LineKindName);

}  // namespace

TEST_P(PacketOnPort, EnabledWhileClosedItAnswersOnceThePortOpens) {
    packet->SetEnabled(true);
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    TSioDataPacketManager* manager = packet->InternalManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->ComPort(), port.get());
    EXPECT_FALSE(manager->Enabled());

    port->SetOpen(true);
    EXPECT_TRUE(manager->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpCollecting);
    Line->Receive("CPU\r\nREAD\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"CPU\r\n", "READ\r\n"}));
    const std::string replies = "=CPU\r\n=READ\r\n";
    EXPECT_EQ(Line->Transmitted(replies.size()), replies);
}

TEST_P(PacketOnPort, ClosingIdlesThePacketAndReopeningArmsItOnTheNewDispatcher) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    Line->Receive("RE");
    ASSERT_TRUE(PumpUntil([&] { return packet->InternalManager()->BufferedBytes() == 2; }));
    port->SetOpen(false);
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    EXPECT_EQ(packet->InternalManager()->BufferCapacity(), 0) << "the partial line is dropped";
    EXPECT_EQ(port->UserCount(), 1u);

    port->SetOpen(true);
    Line->Receive("AD\r\nCPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"AD\r\n", "CPU\r\n"}));
}

TEST_P(PacketOnPort, TimesOutAfterItsTicksOfSilence) {
    int timeouts = 0;
    packet->SetOnTimeout([&](TComponent*) { ++timeouts; });
    packet->SetEnabled(true);
    port->SetOpen(true);
    now += 450 * 55;
    Line->Receive("CPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    now += 450 * 55;  // counted from the re-arming after the line, not from the open
    Line->Receive("X");
    ASSERT_TRUE(PumpUntil([&] { return packet->InternalManager()->BufferedBytes() == 1; }));
    EXPECT_EQ(timeouts, 0);
    now += 100 * 55;
    ASSERT_TRUE(PumpUntil([&] { return timeouts == 1; }));
    EXPECT_FALSE(packet->Enabled());
}

TEST_P(PacketOnPort, ThePortClosedFromInsideTheEventFinishesItsCloseAfterwards) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    Reply = false;
    std::chrono::milliseconds closeTook{-1};
    packet->SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        if (Data != "STOP\r\n") return;
        const auto start = std::chrono::steady_clock::now();
        port->SetOpen(false);
        closeTook = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    });
    Line->Receive("A\r\nSTOP\r\nB\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !port->Open(); }));
    // The dispatcher thread is blocked in this very call: a close that waited for it would stall
    // for the whole of its wait (4 s) and only then go on.
    EXPECT_GE(closeTook.count(), 0);
    EXPECT_LT(closeTook.count(), 1000) << "the close waited for the thread that waits for it";
    EXPECT_EQ(Got, (std::vector<std::string>{"A\r\n", "STOP\r\n"}));
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);

    port->SetOpen(true);
    Line->Receive("C\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 3; }));
    EXPECT_EQ(Got.back(), "C\r\n");
}

TEST_P(PacketOnPort, AReopenRequestedAndWithdrawnInsideTheEventLeavesThePortClosed) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    Reply = false;
    TPortState during = TPortState::psOpen;
    packet->SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        port->SetOpen(false);
        during = port->PortState();
        port->SetOpen(true);   // recorded while the close completes
        port->SetOpen(false);  // and withdrawn
    });
    Line->Receive("STOP\r\n");
    ASSERT_TRUE(PumpUntil([&] { return port->PortState() == TPortState::psClosed; }));
    EXPECT_EQ(during, TPortState::psShuttingDown) << "the close was deferred";
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(Line->Created, 1) << "not reopened";
}

TEST_P(PacketOnPort, ChangingThePortNumberWhileOpenKeepsThePacketAnswering) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    Line->Receive("CPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    port->SetComNumber(6);
    ASSERT_TRUE(port->Open());
    // Reopened at once, or, when the dispatcher thread was still finishing the event just
    // delivered, as soon as that deferred close completes.
    ASSERT_TRUE(PumpUntil([&] { return Line->Created == 2; }));
    Line->Receive("READ\r\nBTRV X0\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 3; }, std::chrono::seconds(5)))
        << "the packet went deaf; held back: " << packet->InternalManager()->BufferedBytes();
    EXPECT_EQ(Got[2], "BTRV X0\r\n");
    EXPECT_TRUE(Shown.empty()) << Shown.front();
}

TEST_P(PacketOnPort, TwoPacketsShareTheManagerOfTheirPort) {
    TSioDataPacket second(nullptr);
    second.SetComPort(port.get());
    EXPECT_EQ(second.InternalManager(), packet->InternalManager());
    EXPECT_EQ(port->UserCount(), 1u) << "one manager, one user of the port";
    second.SetComPort(nullptr);
    EXPECT_EQ(second.InternalManager(), nullptr);
    EXPECT_EQ(packet->InternalManager()->PacketCount(), 1u);
}

TEST_P(PacketOnPort, BindingAnEnabledPacketToAnOpenPortArmsIt) {
    packet->SetComPort(nullptr);
    PumpFor(std::chrono::milliseconds(5));
    port->SetOpen(true);
    packet->SetEnabled(true);
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle) << "unbound";
    packet->SetComPort(port.get());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpCollecting);
    Line->Receive("CPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
}

TEST_P(PacketOnPort, APortDestroyedWhileOpenLetsGoOfItsPackets) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    port.reset();
    EXPECT_EQ(packet->ComPort(), nullptr);
    EXPECT_EQ(packet->InternalManager(), nullptr);
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == managersBefore; }));
}

TEST_P(PacketOnPort, APortDestroyedWhileClosedLetsGoOfItsPacketsToo) {
    // However the port came to be closed, its packets must not keep its address.
    const std::vector<std::string> ways = {"never opened", "opened and closed",
                                           "closed from inside the packet's event"};
    for (const std::string& way : ways) {
        SCOPED_TRACE(way);
        if (!port) {
            NewPort();
            packet->SetComPort(port.get());
        }
        packet->SetEnabled(true);
        if (way != "never opened") port->SetOpen(true);
        if (way == "opened and closed") port->SetOpen(false);
        if (way == "closed from inside the packet's event") {
            packet->SetOnStringPacket(
                [&](TComponent*, const std::string&) { port->SetOpen(false); });
            Line->Receive("STOP\r\n");
            ASSERT_TRUE(PumpUntil([&] { return !port->Open(); }));
        }
        ASSERT_FALSE(port->Open());
        port.reset();
        EXPECT_EQ(packet->ComPort(), nullptr);
        EXPECT_EQ(packet->InternalManager(), nullptr);
        EXPECT_TRUE(packet->Enabled());
        ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == managersBefore; }));
    }
    packet.reset();  // reads nothing of the ports
}

TEST_P(PacketOnPort, APortDestroyedFromInsideItsOwnEventsFinishesAfterThem) {
    const std::vector<std::string> events = {"a packet's event", "the port's trigger event"};
    for (const std::string& event : events) {
        SCOPED_TRACE(event);
        if (!port) {
            NewPort();
            packet->SetComPort(port.get());
        }
        bool destroyed = false;
        auto destroy = [&] {
            if (!port) return;
            port.reset();
            destroyed = true;
        };
        packet->SetOnStringPacket([&](TComponent*, const std::string&) {
            if (event == "a packet's event") destroy();
        });
        port->SetOnTriggerAvail([&](TSioCustomComPort*, uint16_t) {
            if (event == "the port's trigger event") destroy();
        });
        packet->SetEnabled(true);
        port->SetOpen(true);
        Line->Receive("GO\r\n");
        ASSERT_TRUE(PumpUntil([&] { return destroyed; }, std::chrono::seconds(10)));
        EXPECT_EQ(packet->ComPort(), nullptr);
        EXPECT_EQ(packet->InternalManager(), nullptr);
        // What the port left behind (its dispatcher, whose thread was inside the event, and its
        // window) is released once the event has returned.
        ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == managersBefore; }));
        ASSERT_TRUE(PumpUntil([&] { return OrphanedPortParts() == 0; }, std::chrono::seconds(10)));
        // The device was closed: another port can open it.
        TSioComPort again(nullptr);
        again.SetComNumber(5);
        UseLine(again);
        again.SetOpen(true);
        EXPECT_TRUE(again.Open());
    }
}

TEST_P(PacketOnPort, AssignCopiesNoRegistrations) {
    packet->SetEnabled(true);
    TSioComPort copy(nullptr);
    UseLine(copy);
    copy.Assign(port.get());
    EXPECT_EQ(copy.UserCount(), 0u) << "the packet's manager is the source's user, not the copy's";
    EXPECT_EQ(port->UserCount(), 1u);
    packet.reset();  // the manager goes
    ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == managersBefore; }));
    copy.SetOpen(true);  // tells its users: none of them is the freed manager
    EXPECT_TRUE(copy.Open());
    copy.SetOpen(false);
}

TEST_P(PacketOnPort, EventsWithoutSyncRunOnTheDispatcherThread) {
    std::atomic<int> lines{0};
    std::atomic<bool> onMain{false};
    packet->SetSyncEvents(false);
    packet->SetOnStringPacket([&](TComponent*, const std::string&) {
        if (platform::IsMainThread()) onMain = true;
        ++lines;
    });
    packet->SetEnabled(true);
    port->SetOpen(true);
    Line->Receive("CPU\r\nREAD\r\n");
    // Nothing is pumped: the events do not need the main thread.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (lines.load() < 2 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(lines.load(), 2);
    EXPECT_FALSE(onMain.load());
}

TEST_P(PacketOnPort, EnablingWithAnEmptyStartStringRaisesAndStaysOff) {
    port->SetOpen(true);
    packet->SetStartCond(TPacketStartCond::scString);
    try {
        packet->SetEnabled(true);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidProperty& e) {
        EXPECT_EQ(e.ErrorCode(), -5501);
        EXPECT_STREQ(e.what(), "Start string is empty");
    }
    EXPECT_FALSE(packet->Enabled());
    packet->SetStartString("GO");
    packet->SetEndString("!");
    packet->SetEnabled(true);
    Line->Receive("xxGOab!");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    EXPECT_EQ(Got[0], "GOab!");
}

// A wait that nothing can end any more ends at once: after its port closed, or after its device
// failed (the thread that would time it out has ended), with the port's not-open answer; with
// nothing failed its time-out ends it. A watchdog stands by for a wait that would run on for ever:
// it opens the port afresh and sends a line, which the packet (re-armed by the open) delivers.
TEST_P(PacketOnPort, AWaitEndsWhenItsPortClosesOrItsDeviceFailsMeanwhile) {
    const struct {
        const char* name;
        std::function<void()> meanwhile;
        bool notOpen;
    } cases[] = {
        {"closed meanwhile", [&] { port->SetOpen(false); }, true},
        {"device failed meanwhile", [&] { Line->Fail(); }, true},
        {"nothing failed: the time-out", [&] { now += 20 * 55; }, false},
    };
    packet->SetTimeOut(18);
    constexpr uint32_t kGo = 0x8001;  // an application's own message (1 is a system one on Windows)
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (port->Open()) port->SetOpen(false);
        port->SetOpen(true);
        platform::MessageWindow meanwhile([&](uint32_t, uintptr_t, intptr_t) -> intptr_t {
            c.meanwhile();
            return 0;
        });
        bool rescued = false;
        platform::MessageWindow rescue([&](uint32_t, uintptr_t, intptr_t) -> intptr_t {
            rescued = true;
            if (port->Open()) port->SetOpen(false);
            port->SetOpen(true);
            Line->Receive("late\r\n");
            return 0;
        });
        std::mutex lock;
        std::condition_variable waitEnded;
        bool ended = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> l(lock);
            if (!waitEnded.wait_for(l, std::chrono::seconds(8), [&] { return ended; }))
                platform::PostMessageTo(rescue.Handle(), kGo, 0, 0);
        });
        platform::PostMessageTo(meanwhile.Handle(), kGo, 0, 0);
        std::string data;
        std::optional<int32_t> error;
        bool got = false;
        try {
            got = packet->WaitForString(data);
        } catch (const ECommNotOpen& e) {
            error = e.ErrorCode();
        }
        {
            std::lock_guard<std::mutex> l(lock);
            ended = true;
        }
        waitEnded.notify_all();
        watchdog.join();
        EXPECT_FALSE(rescued) << "the wait ended only by the watchdog";
        EXPECT_FALSE(got);
        EXPECT_EQ(error, c.notOpen ? std::optional<int32_t>(-2007) : std::nullopt);
    }
}
