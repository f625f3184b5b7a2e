// TSioDataPacketManager: the shared collection buffer, scanning, delivery, time-outs, removal of
// delivered bytes, the capture, events and re-entry, and the port's open and close. The design of
// its threads and its lock is at the top of packet_manager.h.
#include "serial/packet/packet_manager.h"

#include <algorithm>
#include <cstring>

#include "platform/exception_display.h"
#include "serial/errors/check_result_code.h"
#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager_list.h"

namespace {

constexpr int32_t kBufferStep = 8192;
constexpr uint32_t kQueryEndSession = 0x0011;

// An exception from an event handler goes to the application's display, never to the matching.
template <typename Fn>
void Guarded(Fn&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        platform::ShowException(e);
    } catch (...) {
        platform::ShowExceptionMessage("Unknown exception in a packet event");
    }
}

}  // namespace

// ---- life cycle ----

TSioDataPacketManager* TSioDataPacketManager::Create(std::unique_ptr<TPacketPortLink> Link) {
    std::unique_ptr<TSioDataPacketManager> manager(new TSioDataPacketManager(std::move(Link)));
    TSioDataPacketManager* raw = manager.get();
    PacketManagers().Insert(std::move(manager));
    return raw;
}

TSioDataPacketManager::TSioDataPacketManager(std::unique_ptr<TPacketPortLink> Link)
    : Gate(std::make_shared<TGate>()), FLink(std::move(Link)) {
    Gate->Manager = this;
    FComPort = FLink->Port();
    FLink->WatchPort([this](TPacketPortEvent Event) {
        if (Event == TPacketPortEvent::Gone)
            PortGone();
        else
            PortStateChanged(Event == TPacketPortEvent::Opened);
    });
    const bool open = FLink->PortOpen();
    {
        std::lock_guard<std::mutex> lock(Gate->Lock);
        SetEnabledLocked(open && !FLink->PortLoading() && !FLink->PortDesigning());
        EnablePending = open && !FEnabled && !FLink->PortDesigning();
    }
    FWindow = std::make_unique<platform::MessageWindow>(
        [this](uint32_t Msg, uintptr_t wParam, intptr_t lParam) {
            return WindowProc(Msg, wParam, lParam);
        });
}

TSioDataPacketManager::~TSioDataPacketManager() {
    {
        std::lock_guard<std::mutex> lock(Gate->Lock);
        FKeepAlive = true;
        SetEnabledLocked(false);
        for (TSioDataPacket* p : PacketList) {
            p->FManager = nullptr;
            p->ForgetCollected();
            p->HaveCapture = false;
            p->WillCollect = false;
            p->fMode = TPacketMode::dpIdle;
            p->FEnableTimer = 0;
        }
        PacketList.clear();
        fCapture = nullptr;
        std::vector<uint8_t>().swap(FDataBuffer);
        std::vector<uint8_t>().swap(RetiredBuffer);
        BufferPtr = 0;
        Gate->Manager = nullptr;
    }
    if (FLink) FLink->UnwatchPort();
    FLink.reset();
    FWindow.reset();
    PacketManagers().Retire(Gate);
}

void TSioDataPacketManager::ForgetPortNow() {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    // The port may be gone: nothing may reach it any more, not even to withdraw a registration.
    HandlerInstalled = false;
    Timer = 0;
    FComPort = nullptr;
    Forgotten = true;
    FLink.reset();
}

// The last packet has left (main thread): withdraw from the dispatcher and from the port now,
// while the port surely exists (a notification must never reach a manager on its way out), stop
// being found for the port, and have the main thread free the manager once no event is running.
// The link object itself stays until then: a Sync call of the event in progress may be in it.
void TSioDataPacketManager::ForgetPort() {
    Disable();
    FEnabled = false;
    FComPort = nullptr;
    Forgotten = true;
    if (FLink) FLink->UnwatchPort();
    if (!FreeRequested && FWindow) {
        FreeRequested = true;
        platform::PostMessageTo(FWindow->Handle(), DeferredFreeMsg, 0, 0);
    }
}

intptr_t TSioDataPacketManager::WindowProc(uint32_t Msg, uintptr_t, intptr_t) {
    if (Msg == kQueryEndSession) return 1;
    if (Msg != DeferredFreeMsg) return 0;
    {
        std::lock_guard<std::mutex> lock(Gate->Lock);
        if (fInEvent) {
            platform::PostMessageTo(FWindow->Handle(), DeferredFreeMsg, 0, 0);
            return 0;
        }
        Gate->Manager = nullptr;  // a notification still on its way finds nobody
    }
    // Let go of the port now; the port may be freed before the manager's memory is.
    if (FLink) FLink->UnwatchPort();
    FLink.reset();
    // This window's procedure is running: the list keeps the inert manager until the next one
    // is freed (or the process ends), which then destroys this window from outside it.
    PacketManagers().Bury(PacketManagers().Remove(this));
    return 0;
}

// ---- packets ----

void TSioDataPacketManager::Insert(TSioDataPacket* Packet) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    PacketList.push_back(Packet);
    Packet->FManager = this;
}

void TSioDataPacketManager::Remove(TSioDataPacket* Packet) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    auto it = std::find(PacketList.begin(), PacketList.end(), Packet);
    if (it != PacketList.end()) PacketList.erase(it);
    if (fCapture == Packet) fCapture = nullptr;
    Packet->HaveCapture = false;
    // The packet leaves at once, also during an event (it may be freed next): the delivery in
    // progress looks it up again before touching it. Only the free waits for the event's end.
    Packet->FManager = nullptr;
    Packet->ForgetCollected();
    if (PacketList.empty() && !FKeepAlive && !Forgotten) ForgetPort();
}

bool TSioDataPacketManager::Contains(const TSioDataPacket* Packet) const {
    return std::find(PacketList.begin(), PacketList.end(), Packet) != PacketList.end();
}

size_t TSioDataPacketManager::PacketCount() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return PacketList.size();
}

bool TSioDataPacketManager::KeepAlive() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return FKeepAlive;
}

void TSioDataPacketManager::SetKeepAlive(bool Value) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    FKeepAlive = Value;
}

TSioCustomComPort* TSioDataPacketManager::ComPort() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return FComPort;
}

// ---- enabled: the handler and the capture timer ----

bool TSioDataPacketManager::Enabled() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return FEnabled;
}

void TSioDataPacketManager::SetEnabled(bool Value) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    SetEnabledLocked(Value);
}

void TSioDataPacketManager::SetEnabledLocked(bool Value) {
    if (Value == FEnabled) return;
    if (Value)
        Enable();
    else
        Disable();
    FEnabled = Value;
}

void TSioDataPacketManager::Enable() {
    if (HandlerInstalled || !LinkUsable()) return;
    FLink->RegisterEventTriggerHandler(TSioNotifyEvent{&GateHandler, Gate.get()});
    HandlerInstalled = true;
    const int32_t handle = FLink->AddTimerTrigger();
    Timer = handle > 0 ? handle : 0;
}

void TSioDataPacketManager::Disable() {
    if (!HandlerInstalled) return;
    if (LinkUsable()) {
        if (Timer != 0) (void)FLink->RemoveTrigger(static_cast<uint32_t>(Timer));
        FLink->DeregisterEventTriggerHandler(TSioNotifyEvent{&GateHandler, Gate.get()});
    }
    Timer = 0;
    HandlerInstalled = false;
    DiscardBuffer();
}

void TSioDataPacketManager::EnableIfPending() {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    if (!EnablePending) return;
    SetEnabledLocked(true);
    EnablePending = false;
}

void TSioDataPacketManager::PortStateChanged(bool Opened) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    if (Forgotten) return;  // waiting to be freed
    if (Opened) {
        SetEnabledLocked(true);
        for (size_t i = 0; i < PacketList.size(); ++i)
            if (PacketList[i]->FEnabled) PacketList[i]->ArmPacket();
    } else {
        for (size_t i = 0; i < PacketList.size(); ++i) PacketList[i]->DisarmPacket();
        SetEnabledLocked(false);
    }
}

void TSioDataPacketManager::PortGone() {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    if (Forgotten) return;
    // The port is being destroyed: every packet comes loose from it (keeping Enabled), and the
    // manager is freed later.
    for (TSioDataPacket* p : PacketList) {
        p->DisarmPacket();
        p->FManager = nullptr;
        p->ForgetCollected();
        p->FComPort = nullptr;
        p->HaveCapture = false;
    }
    PacketList.clear();
    fCapture = nullptr;
    ForgetPort();
}

// ---- the capture ----

void TSioDataPacketManager::SetCapture(TSioDataPacket* Packet, int32_t TimeOut) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    SetCaptureLocked(Packet, TimeOut);
}

void TSioDataPacketManager::ReleaseCapture(TSioDataPacket* Packet) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    ReleaseCaptureLocked(Packet);
}

void TSioDataPacketManager::SetCaptureLocked(TSioDataPacket* Packet, int32_t TimeOut) {
    fCapture = Packet;
    if (TimeOut != 0 && Timer != 0 && LinkUsable())
        (void)FLink->SetTimerTrigger(static_cast<uint32_t>(Timer), TimeOut, true);
    Packet->HaveCapture = true;
    // Only one packet collects: every other one starts over (an scAnyData one is held).
    for (size_t i = 0; i < PacketList.size(); ++i)
        if (PacketList[i] != Packet) PacketList[i]->RearmPacket();
}

void TSioDataPacketManager::ReleaseCaptureLocked(TSioDataPacket* Packet) {
    fCapture = nullptr;
    Packet->HaveCapture = false;
    if (Timer != 0 && LinkUsable())
        CheckResultCode(Packet, FLink->SetTimerTrigger(static_cast<uint32_t>(Timer), 0, false));
}

// ---- events and re-entry ----

bool TSioDataPacketManager::InEvent() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return fInEvent;
}

void TSioDataPacketManager::SetInEvent(bool Value) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    SetInEventLocked(Value);
}

void TSioDataPacketManager::SetInEventLocked(bool Value) {
    if (Value == fInEvent) return;
    fInEvent = Value;
    if (Value) {
        for (size_t i = 0; i < PacketList.size(); ++i)
            if (PacketList[i]->FEnabled) PacketList[i]->DisarmPacket();
        return;
    }
    std::vector<uint8_t>().swap(RetiredBuffer);
    ArmEnabledPackets();
    if (NotifyPending) {
        NotifyPending = false;
        if (!FDataBuffer.empty()) ScanBuffer(NotifyStart);
    }
}

// At the end of an event every enabled packet starts afresh, in list order, so the first
// scAnyData packet takes the capture. One whose configuration was made unusable meanwhile (its
// arming was deferred, so nobody could be told then) is disabled and reported.
void TSioDataPacketManager::ArmEnabledPackets() {
    for (size_t i = 0; i < PacketList.size(); ++i) {
        TSioDataPacket* p = PacketList[i];
        if (!p->FEnabled) continue;
        try {
            p->ArmPacket();
        } catch (const std::exception& e) {
            p->FEnabled = false;
            platform::ShowException(e);
        }
    }
}

void TSioDataPacketManager::RunEvent(TSioDataPacket* Packet, const std::function<void()>& Fn) {
    TPacketPortLink::TSyncCall sync;
    if (Packet->FSyncEvents && FLink) sync = FLink->EventSync();
    auto stillBound = [this, Packet] {
        std::lock_guard<std::mutex> lock(Gate->Lock);
        return Contains(Packet);
    };
    Gate->Lock.unlock();
    Guarded([&] {
        if (!sync) {
            Fn();
            return;
        }
        sync([&] {
            if (stillBound()) Fn();
        });
    });
    Gate->Lock.lock();
}

void TSioDataPacketManager::InEventDo(const std::function<void()>& Body) {
    try {
        SetInEventLocked(true);
        Body();
    } catch (...) {
        // InEvent is set before anything can raise: the event ends here like any other.
        SetInEventLocked(false);
        throw;
    }
    SetInEventLocked(false);
}

// ---- receiving and scanning ----

void TSioDataPacketManager::GateHandler(void* G, uint32_t Msg, uint32_t wParam, int32_t lParam) {
    auto* gate = static_cast<TGate*>(G);
    // Nothing may escape into the dispatcher thread.
    Guarded([&] {
        std::unique_lock<std::mutex> lock(gate->Lock);
        if (!gate->Manager) return;
        TSioDataPacketManager* self = gate->Manager;
        if (!self->HandlerInstalled) return;
        if (Msg == TriggerAvailMsg) {
            const int32_t count = static_cast<int32_t>(wParam);
            const int32_t start = self->BufferPtr;
            // One step makes room for any count the dispatcher offers (at most its 8192-byte
            // buffer); a larger one would take more.
            int32_t capacity = static_cast<int32_t>(self->FDataBuffer.size());
            if (self->BufferPtr + count >= capacity) capacity += kBufferStep;
            while (self->BufferPtr + count > capacity) capacity += kBufferStep;
            if (capacity != static_cast<int32_t>(self->FDataBuffer.size()))
                self->FDataBuffer.resize(static_cast<size_t>(capacity));
            const int32_t got = self->FLink->GetBlock(self->Buffer() + self->BufferPtr,
                                                      static_cast<uint32_t>(count));
            if (got > 0) self->BufferPtr += got;
            self->ScanBuffer(start);
        } else if (Msg == TriggerTimerMsg) {
            if (self->Timer != 0 && wParam == static_cast<uint32_t>(self->Timer) &&
                self->fCapture) {
                self->HandleTimeout(self->fCapture);
                return;
            }
            for (size_t i = 0; i < self->PacketList.size(); ++i) {
                TSioDataPacket* p = self->PacketList[i];
                if (p->FEnableTimer != 0 && wParam == static_cast<uint32_t>(p->FEnableTimer) &&
                    p->fMode != TPacketMode::dpIdle) {
                    self->HandleTimeout(p);
                    return;
                }
            }
        }
        (void)lParam;
    });
}

void TSioDataPacketManager::DispatcherEventHandler(uint32_t Msg, uint32_t wParam, int32_t lParam) {
    GateHandler(Gate.get(), Msg, wParam, lParam);
}

void TSioDataPacketManager::ScanBuffer(int32_t Start) {
    if (fInEvent) {
        NotifyPending = true;
        NotifyStart = Start;
        return;
    }
    fCurBfrOffset = Start;
    while (fCurBfrOffset < BufferPtr) {
        if (fCapture) {
            fCapture->MatchByte(fCurBfrOffset);
        } else {
            for (size_t i = 0; i < PacketList.size(); ++i) {
                PacketList[i]->MatchByte(fCurBfrOffset);
                if (fCapture || fCurBfrOffset < 0) break;
            }
        }
        if (FDataBuffer.empty()) return;
        ++fCurBfrOffset;
    }
    if (fCapture) return;
    for (const TSioDataPacket* p : PacketList)
        if (p->MatchInProgress()) return;
    DiscardBuffer();
}

void TSioDataPacketManager::DiscardBuffer() {
    // During an event the event's data may still point into the buffer (a handler that closes
    // the port discards it): keep the memory until the event ends.
    if (fInEvent && !FDataBuffer.empty()) RetiredBuffer = std::move(FDataBuffer);
    std::vector<uint8_t>().swap(FDataBuffer);
    BufferPtr = 0;
}

void TSioDataPacketManager::RemoveData(int32_t Start, int32_t Size) {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    RemoveDataLocked(Start, Size);
}

void TSioDataPacketManager::RemoveDataLocked(int32_t Start, int32_t Size) {
    // Never more than is held: the buffer may have been discarded while the event ran.
    const int32_t n = std::clamp(Start + Size, 0, BufferPtr);
    BufferPtr -= n;
    fCurBfrOffset -= n;
    if (fCurBfrOffset < 0) fCurBfrOffset = -1;
    if (BufferPtr > 0)
        std::memmove(Buffer(), Buffer() + n, static_cast<size_t>(BufferPtr));
    else
        DiscardBuffer();
    for (size_t i = 0; i < PacketList.size(); ++i) {
        TSioDataPacket* p = PacketList[i];
        if (!p->MatchInProgress()) continue;
        if (p->fBeginMatch < n) {
            p->RearmPacket();
        } else {
            p->fBeginMatch -= n;
            p->EndMatchStart -= n;
        }
    }
}

int32_t TSioDataPacketManager::BufferedBytes() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return BufferPtr;
}

int32_t TSioDataPacketManager::BufferCapacity() const {
    std::lock_guard<std::mutex> lock(Gate->Lock);
    return static_cast<int32_t>(FDataBuffer.size());
}

// ---- delivery and time-out ----

void TSioDataPacketManager::DeliverPacket(TSioDataPacket* Packet, bool BySize) {
    InEventDo([&] {
        TSioDataPacket* p = Packet;
        p->SetEnabledLocked(false);
        const int32_t size = p->fDataSize;
        const int32_t begin = p->fBeginMatch;
        int32_t offset = begin;
        int32_t dataSize = size;
        if (p->fStartCond == TPacketStartCond::scString && !p->fIncludeStrings) {
            offset += p->StartPattern.Length();
            dataSize -= p->StartPattern.Length();
        }
        if (!p->fIncludeStrings && !BySize) dataSize -= p->EndPattern.Length();
        dataSize = std::max(dataSize, 0);
        p->PacketBuffer = Buffer() + offset;
        p->fDataSize = dataSize;
        p->LogPacketEvent(TDispatchSubType::dstStringPacket);
        p->LogPacketEvent(
            BySize ? TDispatchSubType::dstSizePacket : TDispatchSubType::dstStringPacket,
            p->PacketBuffer, static_cast<uint32_t>(dataSize));
        if (p->Waiting)
            p->WaitData.assign(reinterpret_cast<const char*>(p->PacketBuffer),
                               static_cast<size_t>(dataSize));
        p->FDataMatch = true;

        // What the events need, taken while the lock is held.
        TComponent* sender = p;
        const uint8_t* data = p->PacketBuffer;
        TPacketNotifyEvent onPacket = p->fOnPacket;
        TStringPacketNotifyEvent onString = p->fOnStringPacket;
        RunEvent(p, [&] {
            // The string is copied first: OnPacket may close the port.
            std::string text;
            if (onString) text.assign(reinterpret_cast<const char*>(data), size_t(dataSize));
            if (onPacket) onPacket(sender, data, dataSize);
            if (onString) onString(sender, text);
        });

        if (!Contains(p)) p = nullptr;  // it left (or was freed) during the event
        if (p) p->ForgetCollected();
        RemoveDataLocked(begin, size);
        if (p && p->fAutoEnable) p->SetEnabledLocked(true);
    });
}

void TSioDataPacketManager::HandleTimeout(TSioDataPacket* Packet) {
    InEventDo([&] {
        TSioDataPacket* p = Packet;
        p->LogPacketEvent(TDispatchSubType::dstPacketTimeout);
        p->SetEnabledLocked(false);
        p->FTimedOut = true;
        const int32_t begin = p->fBeginMatch;
        if (begin == -1) {
            p->PacketBuffer = nullptr;
            p->fDataSize = 0;
        } else {
            int32_t from = begin;
            if (p->fStartCond == TPacketStartCond::scString) from += p->StartPattern.Length();
            from = std::min(from, BufferPtr);
            p->PacketBuffer = Buffer() + from;
            p->fDataSize = BufferPtr - from;
        }
        const bool flush = p->FFlushOnTimeout;
        TComponent* sender = p;
        TPacketTimeoutEvent onTimeout = p->fOnTimeOut;
        RunEvent(p, [&] {
            if (onTimeout) onTimeout(sender);
        });
        if (Contains(p)) p->ForgetCollected();
        if (flush) RemoveDataLocked(begin, BufferPtr - begin);
    });
}
