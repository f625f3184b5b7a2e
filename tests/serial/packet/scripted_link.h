// A scripted port link for the packet tests: serves received bytes to GetBlock, records the
// timers, handlers and log entries the manager asks for, and runs Sync calls on the calling
// thread (counting them).
#pragma once
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "serial/packet/packet_port_link.h"

struct ScriptedLinkState {
    std::string Incoming;  // what the next GetBlock hands out
    std::vector<TSioNotifyEvent> Handlers;
    int32_t NextHandle = 8;
    std::map<uint32_t, int32_t> ActiveTimers;  // handle -> ticks of the last activation
    std::vector<uint32_t> RemovedTriggers;
    // What stopping a timer answers (a dispatcher that no longer knows the handle: -5003).
    int32_t StopTimerResult = 0;
    bool LoggingOn = false;
    struct Entry {
        TDispatchSubType SubType;
        std::string Bytes;
    };
    std::vector<Entry> Log;
    bool HasDispatcherThread = false;
    int SyncCalls = 0;
    // Runs on the "main thread" as a Sync call arrives, before the event it carries.
    std::function<void()> BeforeSync;
    bool Watching = false;
    std::function<void(TPacketPortEvent)> Changed;
};

class ScriptedLink : public TPacketPortLink {
  public:
    explicit ScriptedLink(ScriptedLinkState& S) : s(S) {}

    TSioCustomComPort* Port() const override { return nullptr; }
    bool PortOpen() const override { return true; }
    bool PortLoading() const override { return false; }
    bool PortDesigning() const override { return false; }
    void WatchPort(std::function<void(TPacketPortEvent)> Changed) override {
        s.Watching = true;
        s.Changed = std::move(Changed);
    }
    void UnwatchPort() override {
        s.Watching = false;
        s.Changed = nullptr;
    }
    bool HasDispatcher() const override { return true; }
    bool DispatcherStopped() const override { return false; }
    void RegisterEventTriggerHandler(TSioNotifyEvent H) override { s.Handlers.push_back(H); }
    void DeregisterEventTriggerHandler(TSioNotifyEvent H) override {
        for (auto it = s.Handlers.begin(); it != s.Handlers.end(); ++it)
            if (it->Code == H.Code) {
                s.Handlers.erase(it);
                return;
            }
    }
    int32_t AddTimerTrigger() override { return NewHandle(); }
    int32_t RemoveTrigger(uint32_t Handle) override {
        s.RemovedTriggers.push_back(Handle);
        s.ActiveTimers.erase(Handle);
        return 0;
    }
    int32_t SetTimerTrigger(uint32_t Handle, int32_t Ticks, bool Activate) override {
        if (Activate) {
            s.ActiveTimers[Handle] = Ticks;
            return 0;
        }
        s.ActiveTimers.erase(Handle);
        return s.StopTimerResult;
    }
    int32_t GetBlock(void* Buffer, uint32_t Count) override {
        const uint32_t n = std::min<uint32_t>(Count, static_cast<uint32_t>(s.Incoming.size()));
        std::memcpy(Buffer, s.Incoming.data(), n);
        s.Incoming.erase(0, n);
        return static_cast<int32_t>(n);
    }
    TSyncCall EventSync() const override {
        if (!s.HasDispatcherThread) return {};
        return [this](const std::function<void()>& Method) {
            ++s.SyncCalls;
            if (s.BeforeSync) std::exchange(s.BeforeSync, nullptr)();
            Method();
        };
    }
    bool LoggingOn() const override { return s.LoggingOn; }
    void AddDispatchEntry(TDispatchType, TDispatchSubType DST, uint32_t, const void* Buffer,
                          uint32_t Length) override {
        s.Log.push_back({DST, std::string(static_cast<const char*>(Buffer), Length)});
    }
    uint16_t PortAddTimerTrigger() override { return static_cast<uint16_t>(NewHandle()); }
    void PortSetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate) override {
        SetTimerTrigger(Handle, Ticks, Activate);
    }

  private:
    int32_t NewHandle() {
        const int32_t h = s.NextHandle;
        s.NextHandle += 8;
        return h;
    }
    ScriptedLinkState& s;
};
