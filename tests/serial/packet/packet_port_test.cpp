// A packet bound to a real port component over the in-memory device layer, with the port's
// dispatcher thread: binding, open and close, replies through the port, a close from inside the
// packet's own event, and a port destroyed under its packets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/device/memory_device.h"
#include "serial/errors/sio_exception.h"
#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager.h"
#include "serial/packet/packet_manager_list.h"
#include "serial/port/com_port.h"
#include "tests/support/pump_until.h"
#include "tests/support/skippable_clock.h"

namespace {

using testsupport::PumpFor;
using testsupport::PumpUntil;

class PacketOnPort : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        testsupport::UseRealClockPlus(now);
        platform::SetExceptionDisplay([this](const std::string& m) { Shown.push_back(m); });
        managersBefore = PacketManagers().Count();
        port = std::make_unique<TSioComPort>(nullptr);
        port->SetComNumber(5);
        port->SetCustomDispatcher([this](TComponent* owner) {
            auto d = std::make_unique<TSioMemoryDispatcher>(owner);
            device = d.get();
            return std::unique_ptr<TSioBaseDispatcher>(std::move(d));
        });
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
        EXPECT_EQ(PacketManagers().Count(), managersBefore) << "every manager was freed";
        platform::SetExceptionDisplay(nullptr);
        platform::SetClockForTest(nullptr);
        platform::UnbindMainThread();
    }

    std::atomic<uint32_t> now{0};
    size_t managersBefore = 0;
    std::unique_ptr<TSioComPort> port;
    TSioMemoryDispatcher* device = nullptr;  // owned by the port while it is open
    std::unique_ptr<TSioDataPacket> packet;
    bool Reply = true;
    std::vector<std::string> Got;
    std::vector<std::string> Shown;
};

}  // namespace

TEST_F(PacketOnPort, EnabledWhileClosedItAnswersOnceThePortOpens) {
    packet->SetEnabled(true);
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    TSioDataPacketManager* manager = packet->InternalManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->ComPort(), port.get());
    EXPECT_FALSE(manager->Enabled());

    port->SetOpen(true);
    EXPECT_TRUE(manager->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpCollecting);
    device->Receive("CPU\r\nREAD\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"CPU\r\n", "READ\r\n"}));
    EXPECT_EQ(device->Transmit(), "=CPU\r\n=READ\r\n");
}

TEST_F(PacketOnPort, ClosingIdlesThePacketAndReopeningArmsItOnTheNewDispatcher) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    device->Receive("RE");
    ASSERT_TRUE(PumpUntil([&] { return packet->InternalManager()->BufferedBytes() == 2; }));
    port->SetOpen(false);
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    EXPECT_EQ(packet->InternalManager()->BufferCapacity(), 0) << "the partial line is dropped";
    EXPECT_EQ(port->UserCount(), 1u);

    port->SetOpen(true);
    device->Receive("AD\r\nCPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"AD\r\n", "CPU\r\n"}));
}

TEST_F(PacketOnPort, TimesOutAfterItsTicksOfSilence) {
    int timeouts = 0;
    packet->SetOnTimeout([&](TComponent*) { ++timeouts; });
    packet->SetEnabled(true);
    port->SetOpen(true);
    now += 450 * 55;
    device->Receive("CPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    now += 450 * 55;  // counted from the re-arming after the line, not from the open
    device->Receive("X");
    ASSERT_TRUE(PumpUntil([&] { return packet->InternalManager()->BufferedBytes() == 1; }));
    EXPECT_EQ(timeouts, 0);
    now += 100 * 55;
    ASSERT_TRUE(PumpUntil([&] { return timeouts == 1; }));
    EXPECT_FALSE(packet->Enabled());
}

TEST_F(PacketOnPort, ThePortClosedFromInsideTheEventFinishesItsCloseAfterwards) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    Reply = false;
    packet->SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        if (Data == "STOP\r\n") port->SetOpen(false);
    });
    device->Receive("A\r\nSTOP\r\nB\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !port->Open(); }));
    EXPECT_EQ(Got, (std::vector<std::string>{"A\r\n", "STOP\r\n"}));
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);

    port->SetOpen(true);
    device->Receive("C\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 3; }));
    EXPECT_EQ(Got.back(), "C\r\n");
}

TEST_F(PacketOnPort, TwoPacketsShareTheManagerOfTheirPort) {
    TSioDataPacket second(nullptr);
    second.SetComPort(port.get());
    EXPECT_EQ(second.InternalManager(), packet->InternalManager());
    EXPECT_EQ(port->UserCount(), 1u) << "one manager, one user of the port";
    second.SetComPort(nullptr);
    EXPECT_EQ(second.InternalManager(), nullptr);
    EXPECT_EQ(packet->InternalManager()->PacketCount(), 1u);
}

TEST_F(PacketOnPort, BindingAnEnabledPacketToAnOpenPortArmsIt) {
    packet->SetComPort(nullptr);
    PumpFor(std::chrono::milliseconds(5));
    port->SetOpen(true);
    packet->SetEnabled(true);
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle) << "unbound";
    packet->SetComPort(port.get());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpCollecting);
    device->Receive("CPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
}

TEST_F(PacketOnPort, APortDestroyedWhileOpenLetsGoOfItsPackets) {
    packet->SetEnabled(true);
    port->SetOpen(true);
    port.reset();
    EXPECT_EQ(packet->ComPort(), nullptr);
    EXPECT_EQ(packet->InternalManager(), nullptr);
    EXPECT_TRUE(packet->Enabled());
    EXPECT_EQ(packet->PacketMode(), TPacketMode::dpIdle);
    ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == managersBefore; }));
}

TEST_F(PacketOnPort, EnablingWithAnEmptyStartStringRaisesAndStaysOff) {
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
    device->Receive("xxGOab!");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    EXPECT_EQ(Got[0], "GOab!");
}
