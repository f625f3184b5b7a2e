// TSioDataPacket: properties, arming and disarming, mode changes and the byte-by-byte matching of
// start and end patterns. Delivery, time-outs and the shared buffer are the manager's.
#include "serial/packet/data_packet.h"

#include <chrono>
#include <exception>
#include <thread>

#include "platform/exception_display.h"
#include "serial/dispatch/tick_timer.h"
#include "serial/errors/sio_exception.h"
#include "serial/packet/packet_manager.h"

std::unique_lock<std::mutex> TSioDataPacket::LockOf(TSioDataPacketManager* Manager) {
    if (!Manager) return {};
    return std::unique_lock<std::mutex>(Manager->Gate->Lock);
}

namespace {

constexpr int32_t kQuitPumped = 0x0012;

}  // namespace

TSioDataPacket::TSioDataPacket(TComponent* AOwner) : TSioBaseComponent(AOwner) {}

TSioDataPacket::~TSioDataPacket() {
    try {
        LeaveManager();
    } catch (const std::exception& e) {
        // Stopping the capture timer may fail; a destructor must not throw.
        platform::ShowException(e);
    }
    FComPort = nullptr;
}

// ---- properties ----

bool TSioDataPacket::Enabled() const {
    auto lock = LockOf(FManager);
    return FEnabled;
}

void TSioDataPacket::SetEnabled(bool Value) {
    auto lock = LockOf(FManager);
    SetEnabledLocked(Value);
}

void TSioDataPacket::SetEnabledLocked(bool Value) {
    if (Value == FEnabled) return;
    if (Value)
        ArmPacket();
    else
        DisarmPacket();
    FEnabled = Value;
}

#define PACKET_FIELD(Type, Getter, Setter, Field) \
    Type TSioDataPacket::Getter() const {         \
        auto lock = LockOf(FManager);             \
        return Field;                             \
    }                                             \
    void TSioDataPacket::Setter(Type Value) {     \
        auto lock = LockOf(FManager);             \
        Field = Value;                            \
    }

PACKET_FIELD(bool, AutoEnable, SetAutoEnable, FAutoEnable)
PACKET_FIELD(TPacketStartCond, StartCond, SetStartCond, FStartCond)
PACKET_FIELD(bool, IgnoreCase, SetIgnoreCase, FIgnoreCase)
PACKET_FIELD(int32_t, PacketSize, SetPacketSize, FPacketSize)
PACKET_FIELD(bool, IncludeStrings, SetIncludeStrings, FIncludeStrings)
PACKET_FIELD(int32_t, TimeOut, SetTimeOut, FTimeOut)
PACKET_FIELD(int32_t, EnableTimeout, SetEnableTimeout, FEnableTimeout)
PACKET_FIELD(bool, FlushOnTimeout, SetFlushOnTimeout, FFlushOnTimeout)
PACKET_FIELD(bool, SyncEvents, SetSyncEvents, FSyncEvents)
#undef PACKET_FIELD

std::string TSioDataPacket::StartString() const {
    auto lock = LockOf(FManager);
    return FStartString;
}

void TSioDataPacket::SetStartString(const std::string& Value) {
    auto lock = LockOf(FManager);
    FStartString = Value;
}

TPacketEndSet TSioDataPacket::EndCond() const {
    auto lock = LockOf(FManager);
    return FEndCond;
}

void TSioDataPacket::SetEndCond(TPacketEndSet Value) {
    auto lock = LockOf(FManager);
    const bool was = FEnabled;
    SetEnabledLocked(false);
    FEndCond = Value;
    SetEnabledLocked(was);
}

std::string TSioDataPacket::EndString() const {
    auto lock = LockOf(FManager);
    return FEndString;
}

void TSioDataPacket::SetEndString(const std::string& Value) {
    auto lock = LockOf(FManager);
    const bool was = FEnabled;
    SetEnabledLocked(false);
    FEndString = Value;
    SetEnabledLocked(was);
}

TPacketMode TSioDataPacket::PacketMode() const {
    auto lock = LockOf(FManager);
    return FMode;
}

void TSioDataPacket::SetOnPacket(TPacketNotifyEvent Value) {
    auto lock = LockOf(FManager);
    FOnPacket = std::move(Value);
}

void TSioDataPacket::SetOnStringPacket(TStringPacketNotifyEvent Value) {
    auto lock = LockOf(FManager);
    FOnStringPacket = std::move(Value);
}

void TSioDataPacket::SetOnTimeout(TPacketTimeoutEvent Value) {
    auto lock = LockOf(FManager);
    FOnTimeOut = std::move(Value);
}

void TSioDataPacket::LeaveManager() {
    if (!FManager) return;
    // Let go of the capture and the enable timer first, so that the manager holds nothing of a
    // packet that may be freed next. The packet leaves even when that fails (a timer the
    // dispatcher no longer knows); the failure is raised afterwards.
    std::exception_ptr failure;
    {
        auto lock = LockOf(FManager);
        try {
            DisarmPacket();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    FManager->Remove(this);
    if (failure) std::rethrow_exception(failure);
}

void TSioDataPacket::Loaded() {
    TSioBaseComponent::Loaded();
    if (FManager) FManager->EnableIfPending();
    auto lock = LockOf(FManager);
    if (EnablePending) {
        ArmPacket();
        EnablePending = false;
    }
}

bool TSioDataPacket::Designing() const {
    return ComponentState().Contains(TComponentStateFlag::csDesigning);
}

bool TSioDataPacket::Loading() const {
    return ComponentState().Contains(TComponentStateFlag::csLoading);
}

// ---- arming ----

void TSioDataPacket::ArmPacket() {
    if (Designing()) return;
    if (Loading()) {
        EnablePending = true;
        return;
    }
    if (FManager && FManager->FEnabled) {
        if (FManager->FInEvent) {
            EnablePending = true;
            return;
        }
        EnablePending = false;
        LogPacketEvent(TDispatchSubType::dstEnable);
        try {
            TPacketPortLink* link = FManager->FLink.get();
            if (FEnableTimer == 0 && FEnableTimeout > 0 && link) {
                FEnableTimer = link->PortAddTimerTrigger();
                link->PortSetTimerTrigger(static_cast<uint16_t>(FEnableTimer), FEnableTimeout,
                                          true);
            }
            ArmChecks();
        } catch (...) {
            // A refused configuration leaves the packet idle, without the capture or a timer.
            WillCollect = false;
            if (FEnableTimer > 0 && FManager->LinkUsable())
                (void)FManager->FLink->RemoveTrigger(static_cast<uint32_t>(FEnableTimer));
            FEnableTimer = 0;
            ChangeMode(TPacketMode::dpIdle);
            throw;
        }
    }
    LocalPacketSize = FPacketSize;
    StartMatchPos = 1;
    FBeginMatch = -1;
    EndMatchPos = 1;
}

void TSioDataPacket::ArmChecks() {
    const bool bySize = FEndCond.Contains(TPacketEndCond::ecPacketSize);
    if (FStartCond == TPacketStartCond::scString) {
        LogPacketEvent(TDispatchSubType::dstStartStr, FStartString.data(),
                       static_cast<uint32_t>(FStartString.size()));
        // A string of a lone escape character compiles to nothing: it could never match, and is
        // refused as an empty one.
        StartPattern.Compile(FStartString, FIgnoreCase);
        if (StartPattern.Length() == 0) throw EInvalidProperty(-5501);
        if (bySize && static_cast<int64_t>(FStartString.size()) > FPacketSize)
            throw EInvalidProperty(-5502);
        ChangeMode(TPacketMode::dpWaitStart);
    } else {
        if (FEndCond.Empty()) throw EInvalidProperty(-5503);
        if (!FManager->FCapture)
            ChangeMode(TPacketMode::dpCollecting);
        else if (FManager->FCapture != this)
            WillCollect = true;
    }
    if (FEndCond.Contains(TPacketEndCond::ecString)) {
        EndPattern.Compile(FEndString, FIgnoreCase);
        if (EndPattern.Length() == 0) throw EInvalidProperty(-5504);
        LogPacketEvent(TDispatchSubType::dstEndStr, FEndString.data(),
                       static_cast<uint32_t>(FEndString.size()));
    }
    if (bySize && FPacketSize == 0) throw EInvalidProperty(-5505);
}

void TSioDataPacket::DisarmPacket() {
    if (!EnablePending && !WillCollect && FMode == TPacketMode::dpIdle) return;
    EnablePending = false;
    WillCollect = false;
    if (FEnableTimer > 0) {
        if (FManager && FManager->LinkUsable())
            (void)FManager->FLink->RemoveTrigger(static_cast<uint32_t>(FEnableTimer));
        FEnableTimer = 0;
    }
    if (FManager) {
        ChangeMode(TPacketMode::dpIdle);
        LogPacketEvent(TDispatchSubType::dstDisable);
    }
}

void TSioDataPacket::RearmPacket() {
    if (!FEnabled || !FManager) return;
    DisarmPacket();
    ArmPacket();
}

void TSioDataPacket::ChangeMode(TPacketMode New) {
    if (New == FMode) return;
    // The capture is released after the mode has changed: stopping its timer may raise, and the
    // packet must not be left collecting without the capture.
    const bool release = New != TPacketMode::dpCollecting && HaveCapture;
    if (New == TPacketMode::dpCollecting) FManager->SetCaptureLocked(this, FTimeOut);
    FMode = New;
    if (release) FManager->ReleaseCaptureLocked(this);
    switch (New) {
        case TPacketMode::dpIdle:
            LogPacketEvent(TDispatchSubType::dstIdle);
            break;
        case TPacketMode::dpWaitStart:
            LogPacketEvent(TDispatchSubType::dstWaiting);
            break;
        case TPacketMode::dpCollecting:
            LogPacketEvent(TDispatchSubType::dstCollecting);
            break;
    }
}

bool TSioDataPacket::MatchInProgress() const {
    return FEnabled && FMode != TPacketMode::dpIdle && FBeginMatch != -1;
}

// ---- matching ----

void TSioDataPacket::MatchByte(int32_t I) {
    if (!FEnabled || !FManager || I < 0 || I >= FManager->BufferPtr) return;
    const uint8_t b = FManager->Buffer()[I];
    if (FMode == TPacketMode::dpIdle && WillCollect) {
        ChangeMode(TPacketMode::dpCollecting);
        WillCollect = false;
    }
    switch (FMode) {
        case TPacketMode::dpIdle:
            return;
        case TPacketMode::dpWaitStart:
            MatchStart(I, b);
            return;
        case TPacketMode::dpCollecting:
            MatchEnd(I, b);
            return;
    }
}

// A delivery ends the call: the packet may have left its manager (or been freed) meanwhile.
void TSioDataPacket::MatchStart(int32_t I, uint8_t B) {
    if (StartPattern.Matches(B, StartMatchPos)) {
        if (FBeginMatch == -1) FBeginMatch = I;
        if (StartMatchPos == StartPattern.Length()) {
            if (FEndCond.Empty() || (FEndCond.Contains(TPacketEndCond::ecPacketSize) &&
                                     StartPattern.Length() == LocalPacketSize)) {
                FDataSize = I - FBeginMatch + 1;
                FManager->DeliverPacket(this, true);
                return;
            }
            ChangeMode(TPacketMode::dpCollecting);
        } else {
            ++StartMatchPos;
        }
    } else if (FBeginMatch != -1) {
        // Restart at the earliest later byte from which the bytes so far still fit the pattern,
        // so that AAB is found in AAAB.
        const int32_t s = StartPattern.Restart(FManager->Buffer(), FBeginMatch, I);
        if (s >= 0) {
            FBeginMatch = s;
            StartMatchPos = I - s + 2;
        } else {
            FBeginMatch = -1;
            StartMatchPos = 1;
        }
    }
}

void TSioDataPacket::MatchEnd(int32_t I, uint8_t B) {
    if (FBeginMatch == -1) FBeginMatch = I;
    if (FEndCond.Contains(TPacketEndCond::ecPacketSize) && I - FBeginMatch + 1 >= LocalPacketSize) {
        FDataSize = I - FBeginMatch + 1;
        FManager->DeliverPacket(this, true);
        return;
    }
    if (!FEndCond.Contains(TPacketEndCond::ecString)) return;
    if (EndPattern.Matches(B, EndMatchPos)) {
        if (EndMatchPos == EndPattern.Length()) {
            FDataSize = I - FBeginMatch + 1;
            FManager->DeliverPacket(this, false);
            return;
        }
        ++EndMatchPos;
    } else if (EndMatchPos > 1) {
        // A CR CR LF: the second CR fails the LF position and starts a new attempt itself.
        const int32_t s = EndPattern.Restart(FManager->Buffer(), I - EndMatchPos + 1, I);
        if (s >= 0) {
            EndMatchStart = s;
            EndMatchPos = I - s + 2;
        } else {
            EndMatchStart = I + 1;
            EndMatchPos = 1;
        }
    }
}

// ---- log, collected data, waits ----

void TSioDataPacket::LogPacketEvent(TDispatchSubType SubType, const void* Data, uint32_t Length) {
    if (!FManager || !FManager->LinkUsable() || !FManager->FLink->LoggingOn()) return;
    if (Data && Length) {
        FManager->FLink->AddDispatchEntry(TDispatchType::dtPacket, SubType, 0, Data, Length);
    } else {
        const std::string text = "Packet:" + Name();
        FManager->FLink->AddDispatchEntry(TDispatchType::dtPacket, SubType, 0, text.data(),
                                          static_cast<uint32_t>(text.size()));
    }
}

void TSioDataPacket::GetCollectedString(std::string& Data) const {
    auto lock = LockOf(FManager);
    if (PacketBuffer && FDataSize > 0)
        Data.assign(reinterpret_cast<const char*>(PacketBuffer), static_cast<size_t>(FDataSize));
    else
        Data.clear();
}

void TSioDataPacket::GetCollectedData(const uint8_t*& Data, int32_t& Size) const {
    auto lock = LockOf(FManager);
    Data = PacketBuffer;
    Size = FDataSize;
}

void TSioDataPacket::ForgetCollected() {
    PacketBuffer = nullptr;
    FDataSize = 0;
}

bool TSioDataPacket::WaitFor() {
    {
        auto lock = LockOf(FManager);
        // A wait that no delivery can ever end raises at once: no port to deliver from, a port
        // that is closed, or an event in progress (the next delivery comes only after it).
        if (!FManager) throw EPortNotAssigned(-1005);
        if (!FManager->FEnabled) throw ECommNotOpen(-2007);
        if (FManager->FInEvent) throw EBadArgument(-1002);
        // A wait starts afresh; the flags of an earlier delivery would end it at once.
        FDataMatch = false;
        FTimedOut = false;
        Waiting = true;
        WaitData.clear();
        FAutoEnable = false;
        SetEnabledLocked(true);
    }
    bool stopped = false;
    while (!FDataMatch.load() && !FTimedOut.load()) {
        // The messages handled below may close the port, and its device may fail: then nothing
        // can end the wait any more (no delivery, and no thread to run the time-out).
        stopped = DeliveryStopped();
        if (stopped) break;
        const int32_t pumped = PumpOneMessage();
        if (pumped == kQuitPumped) break;
        if (pumped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto lock = LockOf(FManager);
    Waiting = false;
    if (stopped && !FDataMatch.load() && !FTimedOut.load()) throw ECommNotOpen(-2007);
    return FDataMatch.load();
}

bool TSioDataPacket::DeliveryStopped() const {
    // FManager changes only on the main thread, which runs the waits.
    auto lock = LockOf(FManager);
    return !FManager || !FManager->FEnabled || !FManager->FLink ||
           FManager->FLink->DispatcherStopped();
}

bool TSioDataPacket::WaitForString(std::string& Data) {
    const bool matched = WaitFor();
    if (matched) Data = WaitData;
    return matched;
}

bool TSioDataPacket::WaitForPacket(const uint8_t*& Data, int32_t& Size) {
    const bool matched = WaitFor();
    if (matched) {
        Data = reinterpret_cast<const uint8_t*>(WaitData.data());
        Size = static_cast<int32_t>(WaitData.size());
    }
    return matched;
}
