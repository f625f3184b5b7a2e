// The dispatcher half of a packet manager's link: handlers, timers, GetBlock, Sync and the
// dispatch log go straight to the port's dispatcher. Which dispatcher, and the port's own side
// (open state, user registration), are the derived link's.
#pragma once
#include "serial/packet/packet_port_link.h"

class TComponent;
class TSioBaseDispatcher;

class TDispatcherPacketLink : public TPacketPortLink {
  public:
    bool HasDispatcher() const override;
    bool DispatcherStopped() const override;
    void RegisterEventTriggerHandler(TSioNotifyEvent Handler) override;
    void DeregisterEventTriggerHandler(TSioNotifyEvent Handler) override;
    int32_t AddTimerTrigger() override;
    int32_t RemoveTrigger(uint32_t Handle) override;
    int32_t SetTimerTrigger(uint32_t Handle, int32_t Ticks, bool Activate) override;
    int32_t GetBlock(void* Buffer, uint32_t Count) override;
    TSyncCall EventSync() const override;
    bool LoggingOn() const override;
    void AddDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Data, const void* Buffer,
                          uint32_t Length) override;
    // Raise through CheckResultCode with the port as sender; raise ECommNotOpen without a
    // dispatcher.
    uint16_t PortAddTimerTrigger() override;
    void PortSetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate) override;

  protected:
    // The port's dispatcher while it is open, nullptr otherwise. Read on the dispatcher thread
    // too, while that dispatcher exists.
    virtual TSioBaseDispatcher* Dispatcher() const = 0;
    // The component errors are raised for (nullptr: none).
    virtual const TComponent* Sender() const = 0;
};
