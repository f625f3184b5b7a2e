// The dispatcher half of a packet manager's link.
#include "serial/packet/dispatcher_packet_link.h"

#include "serial/dispatch/base_dispatcher.h"
#include "serial/errors/check_result_code.h"
#include "serial/errors/sio_exception.h"

namespace {
constexpr int32_t ecCommNotOpen = -2007;
}

bool TDispatcherPacketLink::HasDispatcher() const { return Dispatcher() != nullptr; }

bool TDispatcherPacketLink::DispatcherStopped() const {
    const TSioBaseDispatcher* d = Dispatcher();
    return !d || d->KillThreads.load();
}

void TDispatcherPacketLink::RegisterEventTriggerHandler(TSioNotifyEvent Handler) {
    if (TSioBaseDispatcher* d = Dispatcher()) d->RegisterEventTriggerHandler(Handler);
}

void TDispatcherPacketLink::DeregisterEventTriggerHandler(TSioNotifyEvent Handler) {
    if (TSioBaseDispatcher* d = Dispatcher()) d->DeregisterEventTriggerHandler(Handler);
}

int32_t TDispatcherPacketLink::AddTimerTrigger() {
    TSioBaseDispatcher* d = Dispatcher();
    return d ? d->AddTimerTrigger() : ecCommNotOpen;
}

int32_t TDispatcherPacketLink::RemoveTrigger(uint32_t Handle) {
    TSioBaseDispatcher* d = Dispatcher();
    return d ? d->RemoveTrigger(Handle) : ecCommNotOpen;
}

int32_t TDispatcherPacketLink::SetTimerTrigger(uint32_t Handle, int32_t Ticks, bool Activate) {
    TSioBaseDispatcher* d = Dispatcher();
    return d ? d->SetTimerTrigger(Handle, Ticks, Activate) : ecCommNotOpen;
}

int32_t TDispatcherPacketLink::GetBlock(void* Buffer, uint32_t Count) {
    TSioBaseDispatcher* d = Dispatcher();
    return d ? d->GetBlock(Buffer, Count) : ecCommNotOpen;
}

TPacketPortLink::TSyncCall TDispatcherPacketLink::EventSync() const {
    TSioBaseDispatcher* d = Dispatcher();
    if (!d || !d->FDispThread) return {};
    // The thread object lives as long as the dispatcher, which outlives its own thread: asked
    // on that thread, it is still there when the call is made.
    TDispThread* thread = d->FDispThread.get();
    return [thread](const std::function<void()>& Method) { thread->Sync(Method); };
}

bool TDispatcherPacketLink::LoggingOn() const {
    TSioBaseDispatcher* d = Dispatcher();
    return d && d->DLoggingOn.load();
}

void TDispatcherPacketLink::AddDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Data,
                                             const void* Buffer, uint32_t Length) {
    if (TSioBaseDispatcher* d = Dispatcher()) d->AddDispatchEntry(DT, DST, Data, Buffer, Length);
}

uint16_t TDispatcherPacketLink::PortAddTimerTrigger() {
    return static_cast<uint16_t>(CheckResultCode(Sender(), AddTimerTrigger()));
}

void TDispatcherPacketLink::PortSetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate) {
    CheckResultCode(Sender(), SetTimerTrigger(Handle, Ticks, Activate));
}
