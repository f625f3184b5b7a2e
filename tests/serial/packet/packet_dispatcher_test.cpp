// Packets on a real dispatcher with its dispatcher thread, over each device layer (the in-memory
// one, and on the host the termios one on a pseudo-terminal pair): the
// events run on the main thread through Sync while the dispatcher thread waits, replies go out
// from inside them, and the time-out counts the dispatcher's ticks.
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
#include "serial/packet/data_packet.h"
#include "serial/packet/dispatcher_packet_link.h"
#include "serial/packet/packet_manager.h"
#include "serial/packet/packet_manager_list.h"
#include "tests/serial/packet/memory_link.h"
#include "tests/support/device_line.h"
#include "tests/support/pump_until.h"
#include "tests/support/skippable_clock.h"

namespace {

using testsupport::PumpFor;
using testsupport::PumpUntil;

class OnDispatcher : public ::testing::TestWithParam<testsupport::LineKind> {
  protected:
    void SetUp() override {
        platform::BindMainThread();
        testsupport::UseRealClockPlus(now);
        platform::SetExceptionDisplay([this](const std::string& m) { Shown.push_back(m); });
        Line = std::make_unique<testsupport::DeviceLine>(GetParam(), std::vector<uint32_t>{kPort});
        d = Line->Make();
        ASSERT_EQ(
            0, d->InitPort(L"\\\\.\\COM" + std::to_wstring(kPort), 9600, 0, 8, 1, 4096, 4096, 3));
        d->ChangeLengthTrigger(1);
        Manager = TSioDataPacketManager::Create(std::make_unique<MemoryLink>(d.get()));
    }
    void TearDown() override {
        Packets.clear();
        PumpFor(std::chrono::milliseconds(20));
        d.reset();
        Line.reset();
        platform::SetExceptionDisplay(nullptr);
        platform::SetClockForTest(nullptr);
        platform::UnbindMainThread();
    }

    TSioDataPacket& LinePacket() {
        Packets.push_back(std::make_unique<TSioDataPacket>(nullptr));
        TSioDataPacket& p = *Packets.back();
        p.SetName("SioDataPacket1");
        Manager->Insert(&p);
        p.SetStartCond(TPacketStartCond::scAnyData);
        p.SetEndCond({TPacketEndCond::ecString});
        p.SetEndString("\r\n");
        p.SetTimeOut(500);
        p.SetOnStringPacket([this](TComponent*, const std::string& Data) {
            Threads.push_back(std::this_thread::get_id());
            Got.push_back(Data);
        });
        p.SetEnabled(true);
        return p;
    }

    std::atomic<uint32_t> now{0};
    static constexpr uint32_t kPort = 7;
    std::unique_ptr<testsupport::DeviceLine> Line;
    std::unique_ptr<TSioBaseDispatcher> d;
    TSioDataPacketManager* Manager = nullptr;
    std::vector<std::unique_ptr<TSioDataPacket>> Packets;
    // Written by the events, which run on the main thread (this test's thread).
    std::vector<std::string> Got;
    std::vector<std::thread::id> Threads;
    std::vector<std::string> Shown;
};

INSTANTIATE_TEST_SUITE_P(Devices, OnDispatcher, testsupport::AllLineKinds(),
                         testsupport::LineKindName);

}  // namespace

TEST_P(OnDispatcher, LinesArriveOnTheMainThreadInOrderAndRepliesGoOut) {
    TSioDataPacket& p = LinePacket();
    p.SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Threads.push_back(std::this_thread::get_id());
        Got.push_back(Data);
        EXPECT_GE(d->PutString("OK " + Data), 0);
    });
    Line->Receive("CPU\r\nREAD\r\n");
    Line->Receive("BT");
    Line->Receive("RV X0\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 3; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"CPU\r\n", "READ\r\n", "BTRV X0\r\n"}));
    for (auto id : Threads) EXPECT_EQ(id, std::this_thread::get_id());
    const std::string replies = "OK CPU\r\nOK READ\r\nOK BTRV X0\r\n";
    EXPECT_EQ(Line->Transmitted(replies.size()), replies);
}

TEST_P(OnDispatcher, ALineLongerThanTheDispatchBufferArrivesWhole) {
    LinePacket();
    std::string line;
    for (int i = 0; i < 20000; ++i) line += static_cast<char>('A' + i % 26);
    line += "\r\n";
    // In pieces the dispatcher takes one at a time: its own 8192-byte ring is not what this
    // test is about.
    for (size_t at = 0; at < line.size(); at += 4000) {
        const std::string piece = line.substr(at, 4000);
        Line->Receive(piece);
        const int32_t held = static_cast<int32_t>(std::min(line.size(), at + 4000));
        ASSERT_TRUE(PumpUntil([&] { return Manager->BufferedBytes() == held || !Got.empty(); }));
    }
    Line->Receive("READ\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got[0], line);
    EXPECT_EQ(Got[1], "READ\r\n");
}

TEST_P(OnDispatcher, SilenceTimesThePacketOutAndLaterLinesAreDropped) {
    TSioDataPacket& p = LinePacket();
    int timeouts = 0;
    std::string partial;
    p.SetOnTimeout([&](TComponent*) {
        ++timeouts;
        p.GetCollectedString(partial);
    });
    Line->Receive("REA");
    // The dispatcher has taken the bytes once they are out of its buffer.
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 0 && Manager->BufferedBytes() == 3; }));
    now += 501 * 55;
    ASSERT_TRUE(PumpUntil([&] { return timeouts == 1; }));
    EXPECT_EQ(partial, "REA");
    EXPECT_FALSE(p.Enabled());
    Line->Receive("D\r\nCPU\r\n");
    ASSERT_TRUE(PumpUntil([&] { return d->InBuffUsed() == 0; }));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(Got.empty());

    p.SetEnabled(true);
    Line->Receive("READ\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Got.size() == 1; }));
    EXPECT_EQ(Got[0], "READ\r\n");
}

TEST_P(OnDispatcher, TheMainThreadChangesPacketsWhileLinesStream) {
    TSioDataPacket& p = LinePacket();
    std::atomic<bool> stop{false};
    // The far end keeps sending while the main thread toggles the packet and its end string.
    std::thread remote([&] {
        for (int i = 0; i < 400 && !stop.load(); ++i) {
            Line->Receive("LINE" + std::to_string(i) + "\r\n");
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 200; ++i) {
        p.SetEnabled(i % 3 != 0);
        p.SetEndString(i % 2 ? "\r\n" : "\n");
        platform::PumpOneMessage();
    }
    stop = true;
    remote.join();
    p.SetEndString("\r\n");
    p.SetEnabled(true);
    Line->Receive("LAST\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !Got.empty() && Got.back() == "LAST\r\n"; }));
    for (const std::string& line : Got) {
        EXPECT_EQ(line.back(), '\n') << line;
        EXPECT_LE(line.size(), 16u) << "no line is glued to another";
    }
}

TEST_P(OnDispatcher, AManagerWhoseLastPacketLeavesDuringAnEventIsFreedAfterIt) {
    const size_t before = PacketManagers().Count();
    TSioDataPacket& p = LinePacket();
    p.SetOnStringPacket([&](TComponent*, const std::string& Data) {
        Got.push_back(Data);
        Packets.clear();
    });
    Line->Receive("A\r\nB\r\n");
    ASSERT_TRUE(PumpUntil([&] { return PacketManagers().Count() == before - 1; }));
    EXPECT_EQ(Got, std::vector<std::string>{"A\r\n"});
    Line->Receive("C\r\n");
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(Got.size(), 1u) << "no handler is left on the dispatcher";
}
