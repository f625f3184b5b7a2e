// TSioDataPacketManager: one per port. Collects the received bytes into a growing buffer, offers
// them to the port's packets in list order, delivers complete packets, removes their bytes and
// runs the time-outs; and follows the port as it opens and closes.
//
// Threads and the lock.
//  - The dispatcher thread calls DispatcherEventHandler (data available, timers) and runs all the
//    matching: ScanBuffer, MatchByte, delivery, time-out, RemoveData.
//  - The main thread changes packets (Enabled, EndString, ComPort, ...), hears the port open and
//    close, runs the waits and frees the manager (deferred, through its message window).
//  - One mutex, Gate->Lock, guards everything the two share: the buffer and its indices, the
//    packet list, the capture, InEvent and every bound packet's matching state. The dispatcher
//    thread holds it for the whole of a notification except while the packet's events run (on
//    the main thread through Sync, or directly): the lock is released around that call and taken
//    again afterwards, so the main thread's handler can change packets meanwhile, and no lock is
//    held across Sync. What the handler changes during the event is made safe by InEvent, which
//    is true from the start of a delivery or time-out to its end: arming is deferred to the end
//    of the event, a removed packet is forgotten at once (the delivery looks it up again before
//    touching it), a buffer discarded by a port close is kept alive until the event ends, and
//    the manager is freed only once no event runs.
//  - The dispatcher calls the handler through Gate, which outlives the manager: a notification
//    already on its way when the manager is freed finds Gate->Manager empty and does nothing.
//    Lock order: Gate->Lock, then the dispatcher's own locks; the dispatcher holds none of its
//    locks while it calls a handler.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/message_window.h"
#include "serial/packet/packet_port_link.h"
#include "serial/packet/packet_types.h"

class TSioDataPacket;
class TSioCustomComPort;

class TSioDataPacketManager {
  public:
    // Shared by the manager and the dispatcher's handler record; kept until process end.
    struct TGate {
        std::mutex Lock;
        TSioDataPacketManager* Manager = nullptr;  // guarded by Lock; nullptr once freed
    };

    // Creates the manager of the port behind Link, owned by PacketManagers. Main thread.
    static TSioDataPacketManager* Create(std::unique_ptr<TPacketPortLink> Link);
    // Removes itself from PacketManagers first when still listed (the list frees through this).
    ~TSioDataPacketManager();
    TSioDataPacketManager(const TSioDataPacketManager&) = delete;
    TSioDataPacketManager& operator=(const TSioDataPacketManager&) = delete;

    // ---- main thread ----
    void Insert(TSioDataPacket* Packet);
    // The packet leaves; the last one to leave frees the manager (deferred) unless KeepAlive.
    void Remove(TSioDataPacket* Packet);
    bool Enabled() const;
    void SetEnabled(bool Value);
    void EnableIfPending();
    bool KeepAlive() const;
    void SetKeepAlive(bool Value);
    // Tells the manager the port opened (true) or is closing / has closed (false).
    void PortStateChanged(bool Opened);
    TSioCustomComPort* ComPort() const;  // not owned; nullptr once forgotten
    // The port is being destroyed: the packets are unbound and the manager freed (deferred).
    void PortGone();
    // Forgets the port without touching it (the port is gone, or the process is ending).
    void ForgetPortNow();

    // ---- any thread; they take the lock ----
    bool InEvent() const;
    void SetInEvent(bool Value);
    void RemoveData(int32_t Start, int32_t Size);
    void SetCapture(TSioDataPacket* Packet, int32_t TimeOut);
    void ReleaseCapture(TSioDataPacket* Packet);
    // Bytes held and capacity, for tests and diagnostics.
    int32_t BufferedBytes() const;
    int32_t BufferCapacity() const;
    size_t PacketCount() const;

    // ---- dispatcher thread ----
    void DispatcherEventHandler(uint32_t Msg, uint32_t wParam, int32_t lParam);

    // The message that asks the manager to free itself, and the system's shutdown query.
    static constexpr uint32_t DeferredFreeMsg = 0xB021;

  private:
    friend class TSioDataPacket;
    friend class TSioDataPacketManagerList;

    explicit TSioDataPacketManager(std::unique_ptr<TPacketPortLink> Link);
    static void GateHandler(void* Gate, uint32_t Msg, uint32_t wParam, int32_t lParam);
    intptr_t WindowProc(uint32_t Msg, uintptr_t wParam, intptr_t lParam);

    // All of these run with Gate->Lock held.
    void SetEnabledLocked(bool Value);
    void Enable();
    void Disable();
    void SetInEventLocked(bool Value);
    void RemoveDataLocked(int32_t Start, int32_t Size);
    void SetCaptureLocked(TSioDataPacket* Packet, int32_t TimeOut);
    void ReleaseCaptureLocked(TSioDataPacket* Packet);
    void ScanBuffer(int32_t Start);
    void DiscardBuffer();
    void DeliverPacket(TSioDataPacket* Packet, bool BySize);
    void HandleTimeout(TSioDataPacket* Packet);
    // Runs Body as an event: InEvent from before it to after it, cleared on every way out (also
    // when starting the event raises), so that a failure never parks every later byte.
    void InEventDo(const std::function<void()>& Body);
    bool Contains(const TSioDataPacket* Packet) const;
    void ArmEnabledPackets();
    void ForgetPort();
    // Runs Fn (one of Packet's events) with the lock released: on the main thread through Sync
    // when the packet asks for it and the dispatcher thread exists, else on this thread. A
    // packet that has left the manager by the time its event would run is not called (on the
    // main thread, where packets leave, the check and the call are one step).
    void RunEvent(TSioDataPacket* Packet, const std::function<void()>& Fn);
    uint8_t* Buffer() { return FDataBuffer.data(); }
    bool LinkUsable() const { return FLink && FLink->HasDispatcher(); }

    std::shared_ptr<TGate> Gate;
    std::unique_ptr<TPacketPortLink> FLink;   // nullptr once the port is forgotten
    std::vector<TSioDataPacket*> PacketList;  // not owned; insertion order
    TSioCustomComPort* FComPort = nullptr;    // not owned
    bool HandlerInstalled = false;
    bool FEnabled = false;
    int32_t BufferPtr = 0;
    int32_t fCurBfrOffset = 0;
    std::vector<uint8_t> FDataBuffer;  // size() is the capacity; empty when discarded
    // A buffer discarded during an event: the event's data may still point into it.
    std::vector<uint8_t> RetiredBuffer;
    TSioDataPacket* fCapture = nullptr;  // not owned
    int32_t Timer = 0;
    bool fInEvent = false;
    bool NotifyPending = false;
    int32_t NotifyStart = 0;
    bool EnablePending = false;
    bool FKeepAlive = false;
    // The port is forgotten: the manager only waits to be freed.
    bool Forgotten = false;
    bool FreeRequested = false;
    std::unique_ptr<platform::MessageWindow> FWindow;  // main thread
};
