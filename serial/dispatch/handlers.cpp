// Notification handlers: registration, removal, and the delivery of one notification to every
// handler in order (event handlers, procedures, windows).
//
// The dispatcher thread reads a handler record under DataSection, copies it and calls it with no
// lock held. A record removed while a notification is being delivered is only marked Deleted, so
// positions do not shift under the walk; the marks are purged when the notification ends.
#include <algorithm>
#include <optional>
#include <type_traits>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/dispatch/base_dispatcher.h"

namespace {
void LogHandler(TSioBaseDispatcher& d, TDispatchType dt, TDispatchSubType dst, uint32_t data) {
    if (d.DLoggingOn.load()) d.AddDispatchEntry(dt, dst, data, nullptr, 0);
}

uint32_t WindowData(platform::WindowHandle HW) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HW));
}

// A handler's exception is the handler's business: it is shown and the notification goes on.
template <typename F>
void CallShown(F&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        platform::ShowException(e);
    } catch (...) {
        platform::ShowExceptionMessage("Unknown exception in a notification handler");
    }
}
}  // namespace

void TSioBaseDispatcher::RegisterWndTriggerHandler(platform::WindowHandle HW) {
    std::lock_guard lock(DataSection);
    WndTriggerHandlers.push_back(WndHandlerRec{HW, false});
    HandlerServiceNeeded.store(true);
    LogHandler(*this, TDispatchType::dtTriggerHandlerAlloc, TDispatchSubType::dstWndHandler,
               WindowData(HW));
}

void TSioBaseDispatcher::RegisterProcTriggerHandler(TSioNotifyProc NP) {
    std::lock_guard lock(DataSection);
    ProcTriggerHandlers.push_back(ProcHandlerRec{NP, false});
    HandlerServiceNeeded.store(true);
    LogHandler(*this, TDispatchType::dtTriggerHandlerAlloc, TDispatchSubType::dstProcHandler, 0);
}

void TSioBaseDispatcher::RegisterEventTriggerHandler(TSioNotifyEvent NP) {
    std::lock_guard lock(DataSection);
    EventTriggerHandlers.push_back(EventHandlerRec{NP, false, false});
    HandlerServiceNeeded.store(true);
    LogHandler(*this, TDispatchType::dtTriggerHandlerAlloc, TDispatchSubType::dstEventHandler, 0);
}

void TSioBaseDispatcher::RegisterSyncEventTriggerHandler(TSioNotifyEvent NP) {
    std::lock_guard lock(DataSection);
    EventTriggerHandlers.push_back(EventHandlerRec{NP, false, true});
    HandlerServiceNeeded.store(true);
    LogHandler(*this, TDispatchType::dtTriggerHandlerAlloc, TDispatchSubType::dstEventHandler, 1);
}

namespace {
// Removes the first live record that matches, or marks it while a notification is delivered.
template <typename List, typename Match>
bool RemoveHandler(List& list, bool busy, bool& deletePending, Match match) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& rec) { return !rec.Deleted && match(rec); });
    if (it == list.end()) return false;
    if (busy) {
        it->Deleted = true;
        deletePending = true;
    } else {
        list.erase(it);
    }
    return true;
}
}  // namespace

void TSioBaseDispatcher::DeregisterWndTriggerHandler(platform::WindowHandle HW) {
    std::lock_guard lock(DataSection);
    if (!RemoveHandler(WndTriggerHandlers, FEventBusy.load(), DeletePending,
                       [&](const WndHandlerRec& r) { return r.Wnd == HW; }))
        return;
    LogHandler(*this, TDispatchType::dtTriggerHandlerDispose, TDispatchSubType::dstWndHandler,
               WindowData(HW));
    UpdateHandlerFlags(TSioHandlerFlagUpdate::fuKeepPort);
}

void TSioBaseDispatcher::DeregisterProcTriggerHandler(TSioNotifyProc NP) {
    std::lock_guard lock(DataSection);
    if (!RemoveHandler(ProcTriggerHandlers, FEventBusy.load(), DeletePending,
                       [&](const ProcHandlerRec& r) { return r.Proc == NP; }))
        return;
    LogHandler(*this, TDispatchType::dtTriggerHandlerDispose, TDispatchSubType::dstProcHandler, 0);
    UpdateHandlerFlags(TSioHandlerFlagUpdate::fuKeepPort);
}

void TSioBaseDispatcher::DeregisterEventTriggerHandler(TSioNotifyEvent NP) {
    std::lock_guard lock(DataSection);
    if (!RemoveHandler(EventTriggerHandlers, FEventBusy.load(), DeletePending,
                       [&](const EventHandlerRec& r) { return r.Event.Code == NP.Code; }))
        return;
    LogHandler(*this, TDispatchType::dtTriggerHandlerDispose, TDispatchSubType::dstEventHandler, 0);
    UpdateHandlerFlags(TSioHandlerFlagUpdate::fuKeepPort);
}

void TSioBaseDispatcher::UpdateHandlerFlags(TSioHandlerFlagUpdate FlagUpdate) {
    std::lock_guard lock(DataSection);
    bool any = WndTriggerHandlers.size() > 1 || !ProcTriggerHandlers.empty() ||
               !EventTriggerHandlers.empty();
    switch (FlagUpdate) {
        case TSioHandlerFlagUpdate::fuKeepPort:
            HandlerServiceNeeded.store(any || PortHandlerInstalled);
            break;
        case TSioHandlerFlagUpdate::fuEnablePort:
            PortHandlerInstalled = true;
            HandlerServiceNeeded.store(true);
            break;
        case TSioHandlerFlagUpdate::fuDisablePort:
            PortHandlerInstalled = false;
            HandlerServiceNeeded.store(any);
            break;
    }
}

// Each call with SetOn takes one hold and each call without gives one back; WasOn tells whether
// delivery was held before (a notification or another hold).
void TSioBaseDispatcher::SetEventBusy(bool& WasOn, bool SetOn) {
    std::lock_guard lock(DataSection);
    WasOn = EventBusy();
    int32_t holds = FEventHolds.load();
    if (SetOn)
        FEventHolds.store(holds + 1);
    else if (holds > 0)
        FEventHolds.store(holds - 1);
}

void TSioBaseDispatcher::PurgeDeletedHandlers() {
    std::lock_guard lock(DataSection);
    auto purge = [](auto& list) {
        for (size_t i = list.size(); i-- > 0;)
            if (list[i].Deleted) list.erase(list.begin() + static_cast<ptrdiff_t>(i));
    };
    purge(EventTriggerHandlers);
    purge(ProcTriggerHandlers);
    purge(WndTriggerHandlers);
    DeletePending = false;
    UpdateHandlerFlags(TSioHandlerFlagUpdate::fuKeepPort);
}

bool TSioBaseDispatcher::NotifyHandlers(uint32_t Msg, uint32_t Trigger, uint32_t Data) {
    if (!HandlerServiceNeeded.load()) return true;
    {
        std::lock_guard lock(DataSection);
        FEventBusy.store(true);
    }
    bool availMessage = Msg == TriggerAvailMsg || Msg == TriggerDataMsg;
    {
        std::lock_guard lock(DispSection);
        MaxGetCount = 0;
        FlushedInNotification = 0;
        InAvailMessage = availMessage;
    }
    const auto lParam = static_cast<int32_t>((static_cast<uint32_t>(FHandle) << 16) + Data);
    bool result = true;
    bool stopped = false;

    auto startHandler = [this] {
        std::lock_guard lock(DispSection);
        GetCount = FlushedInNotification;
    };
    // After each handler: a close requested meanwhile ends the walk.
    auto endHandler = [this, &stopped] {
        if (ClosePending.load()) {
            stopped = true;
            return false;
        }
        std::lock_guard lock(DispSection);
        MaxGetCount = std::max(MaxGetCount, GetCount);
        return true;
    };
    auto walk = [&](auto& list, auto call) {
        size_t count;
        {
            std::lock_guard lock(DataSection);
            count = list.size();
        }
        for (size_t i = 0; i < count && !stopped; ++i) {
            startHandler();
            std::optional<std::remove_reference_t<decltype(list[0])>> rec;
            {
                std::lock_guard lock(DataSection);
                if (i < list.size() && !list[i].Deleted) rec = list[i];
            }
            if (rec) CallShown([&] { call(*rec); });
            if (!endHandler()) break;
        }
    };

    walk(EventTriggerHandlers, [&](const EventHandlerRec& rec) {
        if (!rec.Event) return;
        if (!rec.Sync)
            rec.Event(Msg, Trigger, lParam);
        else if (FDispThread && FDispThread->IsCurrentThread())
            FDispThread->SyncNotify(Msg, Trigger, lParam, rec.Event);
        else
            platform::RunOnMainThread([&] { rec.Event(Msg, Trigger, lParam); });
    });
    walk(ProcTriggerHandlers, [&](const ProcHandlerRec& rec) {
        if (rec.Proc) rec.Proc(Msg, Trigger, lParam);
    });
    bool windows;
    {
        std::lock_guard lock(DataSection);
        windows = WndTriggerHandlers.size() > 1 || PortHandlerInstalled;
    }
    if (windows) {
        walk(WndTriggerHandlers, [&](const WndHandlerRec& rec) {
            TSioDispatcherThread::OntoMainThread onto;
            platform::SendMessageWithTimeout(rec.Wnd, Msg, Trigger, lParam, 3000);
        });
    }

    if (availMessage) {
        std::lock_guard lock(DispSection);
        InAvailMessage = false;
        // Also after a close cut the walk short: the read mode must not outlive the notification.
        if (!stopped) {
            ConsumeInput(MaxGetCount);
            if (Msg == TriggerAvailMsg && MaxGetCount != Trigger) result = false;
        }
    }
    {
        std::lock_guard lock(DataSection);
        FEventBusy.store(false);
        if (DeletePending) PurgeDeletedHandlers();
    }
    if (stopped) return false;
    std::lock_guard lock(DispSection);
    GetCount = 0;
    return result;
}
