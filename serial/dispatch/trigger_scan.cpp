// The dispatcher thread's passes: taking an item off the I/O queue, testing status and timer
// triggers, and scanning received bytes against the data triggers and the length trigger.
//
// Every function here runs on the dispatcher thread. Trigger records are read and changed under
// DataSection (the ring under DispSection, taken first); each function decides under the locks,
// copies the handle and data word it will announce, and calls NotifyHandlers with no lock held.
#include <algorithm>
#include <span>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/io_queue.h"

namespace {
constexpr uint32_t kRing = DispatchBufferSize;
constexpr uint32_t kModemEvents = 0x8 | 0x10 | 0x20 | 0x100 | 0x2000;
constexpr uint32_t kRingEvents = 0x100 | 0x2000;
constexpr uint32_t kLineEvents = 0x40 | 0x80;
}  // namespace

void TSioBaseDispatcher::ClearStatusHits() {
    std::lock_guard lock(DataSection);
    for (auto& t : StatusTriggers) t.Hit = false;
    GlobalStatHit = false;
}

bool TSioBaseDispatcher::StatusLoop() {
    while (TestStatusTriggers())
        if (ClosePending.load()) return false;
    return !ClosePending.load();
}

void TSioBaseDispatcher::DispatchQueuedItem() {
    CurrentEvent = 0;
    if (TIOBuffer* item = FQueue->Peek()) {
        if (auto* status = ItemAs<TStatusBuffer>(item)) {
            CurrentEvent = status->Status();
            FQueue->Pop();  // frees it
        } else {
            item->SetInUse(false);  // data stays queued for ReadCom
            // Data the full ring cannot take must not hold up the line events behind it.
            if (DispatchBufferFull())
                if (auto status = FQueue->PopStatus()) CurrentEvent = status->Status();
        }
    }
    if (CurrentEvent & kRingEvents) {
        std::lock_guard lock(DataSection);
        RingFlag = true;
    }
    auto statusPass = [this] {
        if (EventBusy()) return true;
        if (!StatusLoop()) return false;
        bool hit;
        {
            std::lock_guard lock(DataSection);
            hit = GlobalStatHit;
        }
        if (hit) ClearStatusHits();
        return true;
    };
    if (CurrentEvent & kModemEvents) {
        UpdateModemDeltas();
        if (!statusPass()) return;
    }
    if (CurrentEvent & kLineEvents) {
        RefreshLineErrors();
        if (!statusPass()) return;
    }
    FillDispatchBuffer();
    if (!EventBusy()) {
        uint8_t fresh = GetModemStatus();
        {
            std::lock_guard lock(DataSection);
            ModemStatus = fresh;
        }
        if (!StatusLoop()) return;
        while (ScanDataTriggers())
            if (ClosePending.load()) return;
    }
    bool hit;
    {
        std::lock_guard lock(DataSection);
        hit = GlobalStatHit;
    }
    if (hit) ClearStatusHits();
    if (ReadyEvent && !ReadySignalled) {
        ReadyEvent->Set();
        ReadySignalled = true;
    }
}

void TSioBaseDispatcher::CheckIdleTriggers() {
    if (ClosePending.load() || EventBusy()) return;
    {
        std::lock_guard lock(DataSection);
        GlobalStatHit = false;
    }
    while ((TestStatusTriggers() || TestTimerTriggers()) && !ClosePending.load()) {
    }
    bool hit;
    {
        std::lock_guard lock(DataSection);
        hit = GlobalStatHit;
    }
    if (hit) ClearStatusHits();
}

bool TSioBaseDispatcher::TestStatusTriggers() {
    for (size_t i = 0;; ++i) {
        uint32_t handle = 0;
        uint32_t data = 0;
        {
            std::lock_guard lock(DataSection);
            if (i >= StatusTriggers.size()) return false;
            auto& t = StatusTriggers[i];
            if (!t.Active || t.Hit) continue;
            bool fire = false;
            switch (t.Kind) {
                case StatusTriggerKind::ModemChange: {
                    uint32_t mask = t.Value >> 8;
                    fire = ((ModemStatus & mask) & 0xFF) != (t.Value & 0xFF);
                    break;
                }
                case StatusTriggerKind::LineError:
                    fire = (LastError & t.Value) != 0;
                    if (fire) t.Value = static_cast<uint16_t>(LastError & 0xFFFF);
                    break;
                case StatusTriggerKind::OutputFree: {
                    int32_t free = OutBuffFree();
                    fire = free >= 0 && static_cast<uint32_t>(free) >= t.Value;
                    data = free >= 0 ? static_cast<uint32_t>(free) : 0;
                    break;
                }
                case StatusTriggerKind::OutputUsed: {
                    int32_t used = OutBuffUsed();
                    fire = used >= 0 && static_cast<uint32_t>(used) <= t.Value;
                    data = used >= 0 ? static_cast<uint32_t>(used) : 0;
                    break;
                }
                case StatusTriggerKind::OutputSent: {
                    std::lock_guard output(OutputSection);
                    fire = OutSentPending;
                    OutSentPending = false;
                    break;
                }
                case StatusTriggerKind::Inactive:
                    break;
            }
            if (!fire) continue;
            t.Active = false;
            t.Hit = true;
            GlobalStatHit = true;
            handle = t.Handle;
        }
        if (DLoggingOn.load())
            AddDispatchEntry(TDispatchType::dtTrigger, TDispatchSubType::dstStatus, handle, nullptr,
                             0);
        return NotifyHandlers(TriggerStatusMsg, handle, data);
    }
}

bool TSioBaseDispatcher::TestTimerTriggers() {
    uint32_t handle = 0;
    {
        std::lock_guard lock(DataSection);
        for (auto& t : TimerTriggers) {
            if (t.Active && TickTimerDone(t.Timer)) {
                t.Active = false;
                handle = t.Handle;
                break;
            }
        }
    }
    if (handle == 0) return false;
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtTrigger, TDispatchSubType::dstTimer, handle, nullptr, 0);
    return NotifyHandlers(TriggerTimerMsg, handle, 0);
}

bool TSioBaseDispatcher::ScanDataTriggers() {
    bool matchFound = false;
    uint32_t matchPos = 0;
    bool offerBefore = false;
    uint32_t before = 0;
    uint32_t head;
    uint32_t used = 0;
    uint32_t lenTrigger;
    {
        std::lock_guard disp(DispSection);
        std::lock_guard data(DataSection);
        if (!DBuffer) return false;
        head = DBufHead;
        lenTrigger = LenTrigger;
        if (DataScanStale) {
            DataScan.Build(DataTriggers, CaseFold);
            DataScanStale = false;
        }
        uint32_t unscanned = UnscannedCount();
        if (DataTriggers.empty()) {
            LastTailData = head;  // nothing to look for
            unscanned = 0;
        }
        for (; unscanned > 0; --unscanned) {
            std::span<const uint32_t> hits = DataScan.Feed(DBuffer[LastTailData]);
            if (hits.empty()) {
                LastTailData = (LastTailData + 1) % kRing;
                continue;
            }
            for (uint32_t i : hits) DataTriggers[i].Matched = true;
            uint32_t maxLen = 0;
            for (const auto& t : DataTriggers)
                if (t.Matched) maxLen = std::max(maxLen, t.Len);
            matchFound = true;
            matchPos = LastTailData;
            if (lenTrigger != 0 && NotifyTail != matchPos) {
                int64_t through = CountThrough(matchPos);
                if (through - static_cast<int64_t>(maxLen) >= static_cast<int64_t>(lenTrigger)) {
                    offerBefore = true;
                    before = CountThrough((matchPos + kRing - maxLen) % kRing);
                }
            }
            // The matching byte is scanned: the next scan starts after it, and a handler that
            // reads past it takes bytes not scanned yet.
            LastTailData = (matchPos + 1) % kRing;
            if (offerBefore) NotifyTail = matchPos;
            break;
        }
        if (LastTailData == head) FilledSinceScan = false;  // the scan has reached the head
        if (!matchFound) {
            uint32_t unread = UnreadCount();
            used = InAvailMessage ? unread - GetCount : unread;
        }
    }

    if (matchFound) {
        bool result = false;
        if (offerBefore) {
            if (DLoggingOn.load())
                AddDispatchEntry(TDispatchType::dtTrigger, TDispatchSubType::dstAvail, before,
                                 nullptr, 0);
            result = NotifyHandlers(TriggerAvailMsg, before, 0);
        }
        size_t count;
        {
            std::lock_guard lock(DataSection);
            count = DataTriggers.size();
        }
        for (size_t i = count; i-- > 0;) {
            uint32_t handle = 0;
            uint32_t len = 0;
            {
                std::lock_guard lock(DataSection);
                if (i >= DataTriggers.size()) break;
                auto& t = DataTriggers[i];
                if (!t.Matched) continue;
                t.Matched = false;
                handle = t.Handle;
                len = t.Len;
            }
            if (DLoggingOn.load())
                AddDispatchEntry(TDispatchType::dtTrigger, TDispatchSubType::dstData, handle,
                                 nullptr, 0);
            result = NotifyHandlers(TriggerDataMsg, handle, len);
        }
        return result;
    }

    if (lenTrigger != 0 && (NotifyTail != head || FilledSinceNotify) && used >= lenTrigger) {
        if (DLoggingOn.load())
            AddDispatchEntry(TDispatchType::dtTrigger, TDispatchSubType::dstAvail, used, nullptr,
                             0);
        FilledSinceNotify = false;
        bool result = NotifyHandlers(TriggerAvailMsg, used, 0);
        NotifyTail = head;
        return result;
    }
    return false;
}
