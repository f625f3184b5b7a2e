// Trigger records: handles, adding, finding, removing, arming and saving triggers. Every list
// change runs under DataSection.
#include <algorithm>
#include <cstring>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/dispatch_codes.h"

namespace {}  // namespace

uint32_t TSioBaseDispatcher::NewTriggerHandle() {
    std::lock_guard lock(DataSection);
    if (TriggerCounter < TriggerCounterLimit) return TriggerCounter++ * 8;
    for (uint32_t h = 8; h <= TriggerCounterLimit; h += 8) {
        bool used = false;
        for (const auto& t : TimerTriggers) used = used || t.Handle == h;
        for (const auto& t : StatusTriggers) used = used || (t.Handle & ~7u) == h;
        for (const auto& t : DataTriggers) used = used || t.Handle == h;
        if (!used) return h;
    }
    return 0;
}

int32_t TSioBaseDispatcher::AddDataTrigger(const char* Data, bool IgnoreCase) {
    return AddDataTriggerLen(Data, IgnoreCase, static_cast<uint32_t>(std::strlen(Data)));
}

int32_t TSioBaseDispatcher::AddDataTriggerLen(const void* Data, bool IgnoreCase, uint32_t Len) {
    if (Len > MaxDataTriggerLen) return ecTriggerTooLong;
    std::lock_guard lock(DataSection);
    DataTriggerRec rec;
    rec.Handle = NewTriggerHandle();
    if (rec.Handle == 0) return ecNoMoreTriggers;
    rec.Len = Len;
    rec.IgnoreCase = IgnoreCase;
    if (Len > 0) std::memcpy(rec.Data, Data, Len);
    if (IgnoreCase) CaseFold.FoldText(rec.Data, Len);
    DataTriggers.push_back(rec);
    DataScanStale = true;
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtTriggerAlloc, TDispatchSubType::dstDataTrigger,
                         rec.Handle, rec.Data, Len);
    return static_cast<int32_t>(rec.Handle);
}

int32_t TSioBaseDispatcher::AddTimerTrigger() {
    std::lock_guard lock(DataSection);
    TimerTriggerRec rec;
    rec.Handle = NewTriggerHandle();
    if (rec.Handle == 0) return ecNoMoreTriggers;
    TimerTriggers.push_back(rec);
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtTriggerAlloc, TDispatchSubType::dstTimerTrigger,
                         rec.Handle, nullptr, 0);
    return static_cast<int32_t>(rec.Handle);
}

int32_t TSioBaseDispatcher::AddStatusTrigger(uint32_t SType) {
    if (SType > static_cast<uint32_t>(StatusTriggerKind::OutputSent)) return ecBadArgument;
    std::lock_guard lock(DataSection);
    uint32_t base = NewTriggerHandle();
    if (base == 0) return ecNoMoreTriggers;
    StatusTriggerRec rec;
    rec.Handle = base + SType;
    rec.Kind = ClassifyStatusTrigger(rec.Handle);
    StatusTriggers.push_back(rec);
    if (DLoggingOn.load()) {
        auto kind = static_cast<uint8_t>(SType);
        AddDispatchEntry(TDispatchType::dtTriggerAlloc, TDispatchSubType::dstStatusTrigger,
                         rec.Handle, &kind, 1);
    }
    return static_cast<int32_t>(rec.Handle);
}

int32_t TSioBaseDispatcher::FindTrigger(uint32_t Handle, bool Delete, TriggerListKind& Kind,
                                        size_t& Index) {
    std::lock_guard lock(DataSection);
    Kind = TriggerListKind::None;
    if (Handle == 0 || Handle == 1) return ecBadTriggerHandle;
    auto log = [this](TDispatchSubType dst, uint32_t h, const uint8_t* bytes, uint32_t len) {
        if (DLoggingOn.load())
            AddDispatchEntry(TDispatchType::dtTriggerDispose, dst, h, bytes, len);
    };
    for (size_t i = 0; i < TimerTriggers.size(); ++i) {
        if (TimerTriggers[i].Handle != Handle) continue;
        Kind = TriggerListKind::Timer;
        Index = i;
        if (Delete) {
            TimerTriggers.erase(TimerTriggers.begin() + static_cast<ptrdiff_t>(i));
            log(TDispatchSubType::dstTimer, Handle, nullptr, 0);
        }
        return 0;
    }
    for (size_t i = 0; i < StatusTriggers.size(); ++i) {
        if (StatusTriggers[i].Handle != Handle) continue;
        Kind = TriggerListKind::Status;
        Index = i;
        if (Delete) {
            StatusTriggers.erase(StatusTriggers.begin() + static_cast<ptrdiff_t>(i));
            auto kind = static_cast<uint8_t>(ClassifyStatusTrigger(Handle));
            log(TDispatchSubType::dstStatusTrigger, Handle, &kind, 1);
        }
        return 0;
    }
    for (size_t i = 0; i < DataTriggers.size(); ++i) {
        if ((DataTriggers[i].Handle & ~7u) != Handle) continue;
        Kind = TriggerListKind::Data;
        Index = i;
        if (Delete) {
            DataTriggers.erase(DataTriggers.begin() + static_cast<ptrdiff_t>(i));
            DataScanStale = true;
            log(TDispatchSubType::dstData, Handle, nullptr, 0);
        }
        return 0;
    }
    return ecBadTriggerHandle;
}

int32_t TSioBaseDispatcher::RemoveTrigger(uint32_t TriggerHandle) {
    std::lock_guard lock(DataSection);
    if (TriggerHandle == LengthTriggerHandle) {
        LenTrigger = 0;
        return 0;
    }
    TriggerListKind kind;
    size_t index;
    return FindTrigger(TriggerHandle, true, kind, index);
}

void TSioBaseDispatcher::RemoveAllTriggers() {
    std::lock_guard lock(DataSection);
    LenTrigger = 0;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    DataScanStale = true;
    TriggerCounter = 1;
}

int32_t TSioBaseDispatcher::SetTimerTrigger(uint32_t TriggerHandle, int32_t Ticks, bool Activate) {
    std::lock_guard lock(DataSection);
    TriggerListKind kind;
    size_t i;
    if (FindTrigger(TriggerHandle, false, kind, i) != 0 || kind != TriggerListKind::Timer)
        return ecBadTriggerHandle;
    auto& rec = TimerTriggers[i];
    if (Activate) {
        if (Ticks != 0) rec.Ticks = Ticks;
        StartTickTimer(rec.Timer, rec.Ticks);
    }
    if (DLoggingOn.load()) {
        if (Activate) {
            uint8_t bytes[4];
            std::memcpy(bytes, &Ticks, 4);
            AddDispatchEntry(TDispatchType::dtTriggerDataChange, TDispatchSubType::dstTimerTrigger,
                             TriggerHandle, bytes, 4);
        } else {
            AddDispatchEntry(TDispatchType::dtTriggerDataChange, TDispatchSubType::dstTimerTrigger,
                             TriggerHandle, "Deactivated", 11);
        }
    }
    rec.Active = Activate;
    return 0;
}

int32_t TSioBaseDispatcher::ExtendTimer(uint32_t TriggerHandle, int32_t Ticks) {
    std::lock_guard lock(DataSection);
    TriggerListKind kind;
    size_t i;
    if (FindTrigger(TriggerHandle, false, kind, i) != 0 || kind != TriggerListKind::Timer)
        return ecBadTriggerHandle;
    TimerTriggers[i].Timer.Expires += Ticks;
    if (DLoggingOn.load()) {
        uint8_t bytes[4];
        std::memcpy(bytes, &Ticks, 4);
        AddDispatchEntry(TDispatchType::dtTriggerDataChange, TDispatchSubType::dstTimerTrigger,
                         TriggerHandle, bytes, 4);
    }
    return 0;
}

int32_t TSioBaseDispatcher::TimerTicksRemaining(uint32_t TriggerHandle, int32_t& TicksRemaining) {
    std::lock_guard lock(DataSection);
    TicksRemaining = 0;
    TriggerListKind kind;
    size_t i;
    if (FindTrigger(TriggerHandle, false, kind, i) != 0 || kind != TriggerListKind::Timer)
        return ecBadTriggerHandle;
    TicksRemaining = TickTimerLeft(TimerTriggers[i].Timer);
    return 0;
}

int32_t TSioBaseDispatcher::SetStatusTrigger(uint32_t TriggerHandle, uint32_t Value,
                                             bool Activate) {
    std::lock_guard lock(DataSection);
    TriggerListKind kind;
    size_t i;
    if (FindTrigger(TriggerHandle, false, kind, i) != 0 || kind != TriggerListKind::Status)
        return ecBadTriggerHandle;
    auto& rec = StatusTriggers[i];
    if (Activate) {
        switch (rec.Kind) {
            case StatusTriggerKind::ModemChange:
                rec.Value =
                    static_cast<uint16_t>(((Value & 0xFF) << 8) | (Value & ModemStatus & 0xFF));
                break;
            case StatusTriggerKind::LineError:
                rec.Value = LineMaskToErrorBits(Value);
                break;
            case StatusTriggerKind::OutputFree:
            case StatusTriggerKind::OutputUsed:
                rec.Value = static_cast<uint16_t>(Value & 0xFFFF);
                break;
            default:
                break;
        }
        if (DLoggingOn.load()) {
            uint8_t bytes[4] = {static_cast<uint8_t>(rec.Value & 0xFF),
                                static_cast<uint8_t>(rec.Value >> 8),
                                static_cast<uint8_t>(rec.Active), static_cast<uint8_t>(rec.Hit)};
            AddDispatchEntry(TDispatchType::dtTriggerDataChange, TDispatchSubType::dstStatusTrigger,
                             TriggerHandle, bytes, 4);
        }
    }
    rec.Active = Activate;
    return 0;
}

void TSioBaseDispatcher::ChangeLengthTrigger(uint32_t Length) {
    std::lock_guard lock(DataSection);
    LenTrigger = Length;
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtTriggerDataChange, TDispatchSubType::dstAvailTrigger,
                         Length, nullptr, 0);
}

void TSioBaseDispatcher::ResetDataMatches() {
    std::lock_guard lock(DataSection);
    DataScan.Reset();
    for (auto& t : DataTriggers) t.Matched = false;
}

void TSioBaseDispatcher::SaveTriggers(TTriggerSave& Save) {
    std::lock_guard lock(DataSection);
    ClearSaveBuffers(Save);
    Save.tsLenTrigger = LenTrigger;
    Save.tsTimerTriggers = TimerTriggers;
    Save.tsDataTriggers = DataTriggers;
    Save.tsStatusTriggers = StatusTriggers;
    Save.Saved = true;
}

void TSioBaseDispatcher::RestoreTriggers(TTriggerSave& Save) {
    std::lock_guard lock(DataSection);
    LenTrigger = Save.tsLenTrigger;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    DataScanStale = true;
    if (!Save.Saved) return;
    TimerTriggers = Save.tsTimerTriggers;
    DataTriggers = Save.tsDataTriggers;
    StatusTriggers = Save.tsStatusTriggers;
    // Fresh handles continue above the restored ones: starting again from 8 would hand out a
    // handle that a restored trigger still has.
    uint32_t highest = 0;
    for (const auto& t : TimerTriggers) highest = std::max(highest, t.Handle);
    for (const auto& t : DataTriggers) highest = std::max(highest, t.Handle & ~7u);
    for (const auto& t : StatusTriggers) highest = std::max(highest, t.Handle & ~7u);
    TriggerCounter = std::max(TriggerCounter, highest / 8 + 1);
}
