// A packet manager on a scripted link, with helpers that feed received bytes and fire timers the
// way the dispatcher thread would, and record what the packets deliver.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/exception_display.h"
#include "platform/message_window.h"
#include "serial/dispatch/notify.h"
#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager.h"
#include "serial/packet/packet_manager_list.h"
#include "tests/serial/packet/scripted_link.h"

class PacketFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetExceptionDisplay([this](const std::string& m) { Shown.push_back(m); });
        Manager = TSioDataPacketManager::Create(std::make_unique<ScriptedLink>(Link));
    }
    void TearDown() override {
        Packets.clear();
        PumpAll();
        platform::SetExceptionDisplay(nullptr);
    }

    // A fresh port: the packets leave (which frees the manager) and a new manager starts.
    void Restart() {
        Packets.clear();
        PumpAll();
        Link = ScriptedLinkState{};
        Got.clear();
        Senders.clear();
        Timeouts.clear();
        Manager = TSioDataPacketManager::Create(std::make_unique<ScriptedLink>(Link));
    }

    static void PumpAll() {
        while (platform::PumpOneMessage()) {
        }
    }

    // A packet bound to the manager whose deliveries land in Got (and time-outs in Timeouts).
    TSioDataPacket& AddPacket(const std::string& Name = "Packet1") {
        Packets.push_back(std::make_unique<TSioDataPacket>(nullptr));
        TSioDataPacket& p = *Packets.back();
        p.SetName(Name);
        Manager->Insert(&p);
        p.SetOnStringPacket([this](TComponent* Sender, const std::string& Data) {
            Got.push_back(Data);
            Senders.push_back(Sender);
        });
        p.SetOnTimeout([this](TComponent* Sender) {
            std::string data;
            static_cast<TSioDataPacket*>(Sender)->GetCollectedString(data);
            Timeouts.push_back(data);
        });
        return p;
    }

    // The program's own configuration: any data up to CR LF, 500 ticks.
    TSioDataPacket& LinePacket(const std::string& Name = "Packet1") {
        TSioDataPacket& p = AddPacket(Name);
        p.SetStartCond(TPacketStartCond::scAnyData);
        p.SetEndCond({TPacketEndCond::ecString});
        p.SetEndString("\r\n");
        p.SetTimeOut(500);
        p.SetEnabled(true);
        return p;
    }

    // One data-available notification per read, as the dispatcher sends them (at most 8192).
    void Feed(const std::string& Bytes) {
        for (size_t at = 0; at < Bytes.size(); at += 8192) {
            const std::string chunk = Bytes.substr(at, 8192);
            Link.Incoming = chunk;
            Manager->DispatcherEventHandler(TriggerAvailMsg, static_cast<uint32_t>(chunk.size()),
                                            0);
            EXPECT_TRUE(Link.Incoming.empty()) << "the manager takes every byte offered";
        }
    }

    void FireTimer(uint32_t Handle) {
        Link.ActiveTimers.erase(Handle);
        Manager->DispatcherEventHandler(TriggerTimerMsg, Handle, 0);
    }

    // The manager's capture timer is the first trigger it takes.
    static constexpr uint32_t CaptureTimer = 8;

    ScriptedLinkState Link;
    TSioDataPacketManager* Manager = nullptr;  // owned by PacketManagers
    std::vector<std::unique_ptr<TSioDataPacket>> Packets;
    std::vector<std::string> Got;
    std::vector<TComponent*> Senders;
    std::vector<std::string> Timeouts;
    std::vector<std::string> Shown;
};
