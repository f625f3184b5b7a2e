// TSioDataPacket: cuts the bytes received on a port into packets by a start condition (a start
// string, or any data) and end conditions (an end string, a size, or both), and reports each
// packet, or a time-out, to the application.
//
// Threads. The properties, the bind to a port and the waits belong to the main thread; matching
// and delivery run on the port's dispatcher thread inside the manager (packet_manager.h). While
// the packet is bound, every field below that the matching reads or writes is guarded by the
// manager's lock; the setters take it. Unbound, only the main thread touches the packet.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/component/sio_base_component.h"
#include "serial/dispatch/dispatch_types.h"
#include "serial/packet/packet_pattern.h"
#include "serial/packet/packet_types.h"

class TSioCustomComPort;
class TSioDataPacketManager;

class TSioDataPacket : public TSioBaseComponent {
  public:
    explicit TSioDataPacket(TComponent* AOwner);
    ~TSioDataPacket() override;

    // Arms the packet when true (raising EInvalidProperty for an unusable configuration, which
    // leaves it false), disarms it when false; a partial packet is not delivered.
    bool Enabled() const;
    void SetEnabled(bool Value);
    // Re-enable after every delivery (not after a time-out).
    bool AutoEnable() const;
    void SetAutoEnable(bool Value);
    // These take effect at the next arming.
    TPacketStartCond StartCond() const;
    void SetStartCond(TPacketStartCond Value);
    std::string StartString() const;
    void SetStartString(const std::string& Value);
    bool IgnoreCase() const;
    void SetIgnoreCase(bool Value);
    int32_t PacketSize() const;
    void SetPacketSize(int32_t Value);
    bool IncludeStrings() const;
    void SetIncludeStrings(bool Value);
    // Ticks of 55 ms from the start of collecting; 0 = none.
    int32_t TimeOut() const;
    void SetTimeOut(int32_t Value);
    // These re-arm an enabled packet at once with the new value.
    TPacketEndSet EndCond() const;
    void SetEndCond(TPacketEndSet Value);
    std::string EndString() const;
    void SetEndString(const std::string& Value);

    TSioCustomComPort* ComPort() const { return FComPort; }  // not owned
    void SetComPort(TSioCustomComPort* Value);

    TSioDataPacketManager* InternalManager() const { return FManager; }  // not owned
    // Ticks from arming after which the packet times out whatever it is doing; 0 = none.
    int32_t EnableTimeout() const;
    void SetEnableTimeout(int32_t Value);
    bool FlushOnTimeout() const;
    void SetFlushOnTimeout(bool Value);
    // Run the events on the main thread (the default).
    bool SyncEvents() const;
    void SetSyncEvents(bool Value);
    TPacketMode PacketMode() const;

    void SetOnPacket(TPacketNotifyEvent Value);
    void SetOnStringPacket(TStringPacketNotifyEvent Value);
    void SetOnTimeout(TPacketTimeoutEvent Value);

    // Arms what was enabled while the stored form was being read.
    void Loaded() override;

    // The delivered (or timed-out) bytes inside the packet's events; outside them nothing (the
    // bytes lay in the manager's buffer, which is not kept for them).
    void GetCollectedString(std::string& Data) const;
    void GetCollectedData(const uint8_t*& Data, int32_t& Size) const;

    // Enables the packet without AutoEnable and handles the calling thread's messages until it
    // delivers (true, Data holds the bytes) or times out (false). Main thread. Raises at once
    // when nothing could end it: EPortNotAssigned unbound, ECommNotOpen on a closed port,
    // EBadArgument inside an event (of any packet of the port); and ends with ECommNotOpen as
    // soon as nothing can end it any more: the port closed, or its device failed, meanwhile.
    bool WaitForString(std::string& Data);
    // As WaitForString; Data points at the packet's own copy of the bytes, valid until the next
    // wait.
    bool WaitForPacket(const uint8_t*& Data, int32_t& Size);

  private:
    friend class TSioDataPacketManager;

    // Locks the manager of a bound packet; an unbound packet belongs to the main thread alone.
    static std::unique_lock<std::mutex> LockOf(TSioDataPacketManager* Manager);

    // Disarms the packet and takes it out of its manager's list. Main thread.
    void LeaveManager();

    // All of these run with the manager's lock held (or unbound, on the main thread).
    void SetEnabledLocked(bool Value);
    void ArmPacket();
    void ArmChecks();
    void DisarmPacket();
    void RearmPacket();
    void ChangeMode(TPacketMode New);
    void MatchByte(int32_t I);
    void MatchStart(int32_t I, uint8_t B);
    void MatchEnd(int32_t I, uint8_t B);
    void LogPacketEvent(TDispatchSubType SubType, const void* Data = nullptr, uint32_t Length = 0);
    bool MatchInProgress() const;
    // The event is over (or the packet left its manager): its data no longer exists.
    void ForgetCollected();
    bool Designing() const;
    bool Loading() const;
    bool WaitFor();
    // The port behind the wait closed, or its device failed: nothing can deliver or time out.
    bool DeliveryStopped() const;

    TSioDataPacketManager* FManager = nullptr;  // not owned; nullptr when unbound
    TPacketStartCond FStartCond = TPacketStartCond::scString;
    TPacketEndSet FEndCond;
    std::string FStartString;
    std::string FEndString;
    TSioCustomComPort* FComPort = nullptr;  // not owned
    TPacketMode FMode = TPacketMode::dpIdle;
    int32_t FPacketSize = 0;
    TPacketNotifyEvent FOnPacket;
    TStringPacketNotifyEvent FOnStringPacket;
    TPacketTimeoutEvent FOnTimeOut;
    int32_t FTimeOut = 2184;
    int32_t FDataSize = 0;
    int32_t FBeginMatch = -1;
    bool FAutoEnable = true;
    bool FIgnoreCase = true;
    bool FEnabled = false;
    bool FIncludeStrings = true;
    const uint8_t* PacketBuffer = nullptr;  // into the manager's buffer, during an event
    int32_t StartMatchPos = 1;
    int32_t EndMatchPos = 1;
    int32_t EndMatchStart = 0;
    int32_t LocalPacketSize = 0;
    TPacketPattern StartPattern;  // InternalStartString and WildStartString
    TPacketPattern EndPattern;    // InternalEndString and WildEndString
    bool WillCollect = false;
    bool EnablePending = false;
    bool HaveCapture = false;
    bool FSyncEvents = true;
    // Set by the dispatcher thread under the lock, read by a waiting main thread.
    std::atomic<bool> FDataMatch{false};
    std::atomic<bool> FTimedOut{false};
    int32_t FEnableTimeout = 0;
    int32_t FEnableTimer = 0;
    bool FFlushOnTimeout = true;
    // A wait is running: delivery keeps a copy of the bytes in WaitData.
    bool Waiting = false;
    std::string WaitData;
};
