// What a packet manager needs from its port and the port's dispatcher, as one narrow interface:
// the real one forwards to the port component and its dispatcher (port_packet_link.h); tests of
// the matching give a scripted one.
#pragma once
#include <cstdint>
#include <functional>

#include "serial/dispatch/dispatch_types.h"
#include "serial/dispatch/notify.h"

class TSioCustomComPort;

enum class TPacketPortEvent { Opened, Closed, Gone };

class TPacketPortLink {
  public:
    virtual ~TPacketPortLink() = default;

    // ---- main thread ----
    // The component behind the link; nullptr when there is none (a scripted link).
    virtual TSioCustomComPort* Port() const = 0;
    virtual bool PortOpen() const = 0;
    virtual bool PortLoading() const = 0;
    virtual bool PortDesigning() const = 0;
    // Registers the manager as a user of the port: Opened once the port has opened, Closed when
    // it is about to close and again when it has closed, Gone when it is being destroyed (after
    // its last Closed). UnwatchPort withdraws; after it, or after Gone, the link never calls
    // Changed again, no longer touches the port and has no dispatcher.
    virtual void WatchPort(std::function<void(TPacketPortEvent)> Changed) = 0;
    virtual void UnwatchPort() = 0;

    // ---- while the port is open; main thread ----
    virtual bool HasDispatcher() const = 0;
    // The port's dispatcher has stopped for good: its threads were told to end (the port is
    // closing, or a failing device ended them), so it delivers nothing more and times nothing
    // out. True without a dispatcher.
    virtual bool DispatcherStopped() const = 0;
    virtual void RegisterEventTriggerHandler(TSioNotifyEvent Handler) = 0;
    virtual void DeregisterEventTriggerHandler(TSioNotifyEvent Handler) = 0;
    // Result codes of the dispatcher (a handle, or a negative error).
    virtual int32_t AddTimerTrigger() = 0;
    virtual int32_t RemoveTrigger(uint32_t Handle) = 0;

    // ---- while the port is open; either thread ----
    virtual int32_t SetTimerTrigger(uint32_t Handle, int32_t Ticks, bool Activate) = 0;
    virtual int32_t GetBlock(void* Buffer, uint32_t Count) = 0;
    // How to run a packet's event on the main thread while the dispatcher thread waits: the Sync
    // of the dispatcher's thread, decided now (the manager asks under its lock, on that very
    // thread) and used after the lock is released, when the port may have been let go of
    // meanwhile. Empty when the dispatcher has no thread: the event then runs where it is.
    using TSyncCall = std::function<void(const std::function<void()>& Method)>;
    virtual TSyncCall EventSync() const = 0;
    virtual bool LoggingOn() const = 0;
    virtual void AddDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Data,
                                  const void* Buffer, uint32_t Length) = 0;
    // The port's own timer operations, which raise a failure as an exception.
    virtual uint16_t PortAddTimerTrigger() = 0;
    virtual void PortSetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate) = 0;
};
