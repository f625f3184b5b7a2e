// The port component's event side: the hidden window through which the dispatcher's trigger
// messages reach the port's events on the main thread, the deferred close, and the users that
// are told when the port opens, is about to close and has closed.
#include <algorithm>
#include <exception>
#include <functional>
#include <memory>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/dispatch/notify.h"
#include "serial/port/com_port.h"
#include "serial/port/port_orphans.h"

// The procedure of every port window. The port is found through the dispatcher named in the
// message, under DispatcherListLock, so a message that arrives after its dispatcher is gone (or
// after its port is gone) finds nothing and is dropped. An event handler may free the port: the
// port is not touched once it is gone.
intptr_t PortWindowProc(uint32_t Msg, uintptr_t wParam, intptr_t lParam) {
    if (!((Msg >= TriggerAvailMsg && Msg <= TriggerStatusMsg) || Msg == PortClosingMsg)) return 0;
    std::lock_guard lock(DispatcherListLock);
    const auto index = static_cast<size_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF);
    if (index >= DispatcherList.size() || !DispatcherList[index]) return 0;
    auto* port = dynamic_cast<TSioCustomComPort*>(DispatcherList[index]->Owner());
    if (!port) return 0;
    TPortInUseScope scope;
    try {
        port->HandlePortMessage(Msg, wParam, lParam);
    } catch (const std::exception& e) {
        if (platform::IsMainThread()) platform::ShowException(e);
    } catch (...) {
        if (platform::IsMainThread()) platform::ShowExceptionMessage("Unknown exception");
    }
    return 0;
}

void TSioCustomComPort::HandlePortMessage(uint32_t Msg, uintptr_t wParam, intptr_t lParam) {
    const auto handle = static_cast<uint16_t>(wParam & 0xFFFF);
    const auto data = static_cast<uint16_t>(
        Msg == TriggerAvailMsg ? wParam & 0xFFFF : static_cast<uint32_t>(lParam) & 0xFFFF);
    const std::weak_ptr<int> life = FLife;
    DoTrigger(static_cast<uint16_t>(Msg), handle, data);
    if (life.expired()) return;  // OnTrigger freed the port
    switch (Msg) {
        case TriggerAvailMsg:
            DoTriggerAvail(handle);
            break;
        case TriggerDataMsg:
            DoTriggerData(handle);
            break;
        case TriggerTimerMsg:
            DoTriggerTimer(handle);
            break;
        case TriggerStatusMsg:
            DoTriggerStatus(handle);
            if (life.expired()) return;
            switch (TSioBaseDispatcher::ClassifyStatusTrigger(handle)) {
                case StatusTriggerKind::ModemChange:
                    DoTriggerModemStatus();
                    break;
                case StatusTriggerKind::LineError: {
                    const bool lineBreak = LineBreak();
                    DoTriggerLineError(LineError(), lineBreak);
                    break;
                }
                case StatusTriggerKind::OutputFree:
                    DoTriggerOutbuffFree();
                    break;
                case StatusTriggerKind::OutputUsed:
                    DoTriggerOutbuffUsed();
                    break;
                case StatusTriggerKind::OutputSent:
                    DoTriggerOutSent();
                    break;
                default:
                    break;
            }
            break;
        case PortClosingMsg:
            if (!FDispatcher || !ShuttingDown()) break;
            // Told again once a dispatcher's threads have ended; posting this again at once would
            // keep the main thread busy for as long as a handler runs on.
            if (AwaitThreadsEnd(*FDispatcher, this, FComWindow, PortClosingMsg, lParam)) break;
            FinishClose();
            if (OpenPending) {
                // Cleared first: a failed reopen must not leave a reopen pending for ever.
                OpenPending = false;
                InitPort();
            }
            break;
        default:
            break;
    }
}

void TSioCustomComPort::SetComWindowActive(bool Enabling) {
    if (Enabling) {
        FComWindowObj = std::make_unique<platform::MessageWindow>(&PortWindowProc);
        FComWindow = FComWindowObj->Handle();
        FDispatcher->RegisterWndTriggerHandler(FComWindow);
        return;
    }
    if (!FComWindowObj) return;
    if (FDispatcher) FDispatcher->DeregisterWndTriggerHandler(FComWindow);
    // Closed from inside a port window procedure (the deferred close, or a close in a trigger
    // event): kept until that has returned.
    if (TPortInUseScope::Running())
        FRetiredWindow = std::move(FComWindowObj);
    else
        FComWindowObj.reset();
}

void TSioCustomComPort::FreeRetiredWindow() {
    if (!TPortInUseScope::Running()) FRetiredWindow.reset();
}

void TSioCustomComPort::RefreshHandlerFlags() {
    if (!IsOpen()) return;
    const bool any = FOnTrigger || FOnTriggerAvail || FOnTriggerData || FOnTriggerStatus ||
                     FOnTriggerTimer || FOnTriggerLineError || FOnTriggerModemStatus ||
                     FOnTriggerOutbuffFree || FOnTriggerOutbuffUsed || FOnTriggerOutSent;
    FDispatcher->UpdateHandlerFlags(any ? TSioHandlerFlagUpdate::fuEnablePort
                                        : TSioHandlerFlagUpdate::fuDisablePort);
}

// ---- event setters ----

void TSioCustomComPort::SetOnTrigger(TTriggerEvent Value) {
    FOnTrigger = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent Value) {
    FOnTriggerAvail = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerData(TTriggerDataEvent Value) {
    FOnTriggerData = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent Value) {
    FOnTriggerStatus = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent Value) {
    FOnTriggerTimer = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent Value) {
    FOnTriggerLineError = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerModemStatus(TNotifyEvent Value) {
    FOnTriggerModemStatus = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent Value) {
    FOnTriggerOutbuffFree = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent Value) {
    FOnTriggerOutbuffUsed = std::move(Value);
    RefreshHandlerFlags();
}
void TSioCustomComPort::SetOnTriggerOutSent(TNotifyEvent Value) {
    FOnTriggerOutSent = std::move(Value);
    RefreshHandlerFlags();
}

// ---- the Do… operations ----

void TSioCustomComPort::DoTrigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data) {
    if (FOnTrigger) FOnTrigger(this, Msg, TriggerHandle, Data);
}
void TSioCustomComPort::DoTriggerAvail(uint16_t Count) {
    if (FOnTriggerAvail) FOnTriggerAvail(this, Count);
}
void TSioCustomComPort::DoTriggerData(uint16_t TriggerHandle) {
    if (FOnTriggerData) FOnTriggerData(this, TriggerHandle);
}
void TSioCustomComPort::DoTriggerStatus(uint16_t TriggerHandle) {
    if (FOnTriggerStatus) FOnTriggerStatus(this, TriggerHandle);
}
void TSioCustomComPort::DoTriggerTimer(uint16_t TriggerHandle) {
    if (FOnTriggerTimer) FOnTriggerTimer(this, TriggerHandle);
}
void TSioCustomComPort::DoTriggerLineError(uint16_t Error, bool LineBreak) {
    if (FOnTriggerLineError) FOnTriggerLineError(this, Error, LineBreak);
}
void TSioCustomComPort::DoTriggerModemStatus() {
    if (FOnTriggerModemStatus) FOnTriggerModemStatus(this);
}
void TSioCustomComPort::DoTriggerOutbuffFree() {
    if (FOnTriggerOutbuffFree) FOnTriggerOutbuffFree(this);
}
void TSioCustomComPort::DoTriggerOutbuffUsed() {
    if (FOnTriggerOutbuffUsed) FOnTriggerOutbuffUsed(this);
}
void TSioCustomComPort::DoTriggerOutSent() {
    if (FOnTriggerOutSent) FOnTriggerOutSent(this);
}
void TSioCustomComPort::DoWaitChar(char C) {
    if (FOnWaitChar) FOnWaitChar(this, C);
}

// ---- users ----

void TSioCustomComPort::RegisterUser(platform::WindowHandle H) {
    UserList.push_back(std::make_shared<PortUserEntry>(PortUserEntry{H, {}, {}, false}));
}
void TSioCustomComPort::RegisterUserEx(platform::WindowHandle H) {
    UserList.push_back(std::make_shared<PortUserEntry>(PortUserEntry{H, {}, {}, true}));
}
void TSioCustomComPort::RegisterUserCallback(TPortCallback CallBack) {
    UserList.push_back(
        std::make_shared<PortUserEntry>(PortUserEntry{nullptr, CallBack, {}, false}));
}
void TSioCustomComPort::RegisterUserCallbackEx(TPortCallbackEx CallBackEx) {
    UserList.push_back(
        std::make_shared<PortUserEntry>(PortUserEntry{nullptr, {}, CallBackEx, true}));
}

namespace {
template <typename Match>
void RemoveUsers(std::vector<std::shared_ptr<PortUserEntry>>& list, Match match) {
    for (size_t i = list.size(); i-- > 0;)
        if (match(*list[i])) list.erase(list.begin() + static_cast<ptrdiff_t>(i));
}
}  // namespace

void TSioCustomComPort::DeregisterUser(platform::WindowHandle H) {
    if (ComponentState().Contains(TComponentStateFlag::csDestroying)) return;
    RemoveUsers(UserList, [&](const PortUserEntry& e) { return e.Window == H; });
}
void TSioCustomComPort::DeregisterUserCallback(TPortCallback CallBack) {
    if (ComponentState().Contains(TComponentStateFlag::csDestroying)) return;
    RemoveUsers(UserList, [&](const PortUserEntry& e) { return e.CallBack == CallBack; });
}
void TSioCustomComPort::DeregisterUserCallbackEx(TPortCallbackEx CallBackEx) {
    if (ComponentState().Contains(TComponentStateFlag::csDestroying)) return;
    RemoveUsers(UserList, [&](const PortUserEntry& e) { return e.CallBackEx == CallBackEx; });
}

// The walks go from the newest entry to the oldest, over the entries registered when the walk
// began. A user may deregister itself or others from its callback: an entry no longer listed is
// skipped, and no entry is told twice.
void TSioCustomComPort::WalkUsers(const std::function<void(const PortUserEntry&)>& Tell) {
    const std::vector<std::shared_ptr<PortUserEntry>> snapshot = UserList;
    for (size_t i = snapshot.size(); i-- > 0;) {
        const std::shared_ptr<PortUserEntry>& e = snapshot[i];
        if (std::find(UserList.begin(), UserList.end(), e) == UserList.end()) continue;
        Tell(*e);
    }
}

void TSioCustomComPort::NotifyPortOpened() {
    WalkUsers([this](const PortUserEntry& e) {
        if (e.Window)
            platform::SendMessageWait(e.Window, PortOpenedMsg, 0, 0);
        else if (e.Extended) {
            if (e.CallBackEx) e.CallBackEx(this, TSioCallbackType::ctOpen);
        } else if (e.CallBack) {
            e.CallBack(this, true);
        }
    });
    if (FOnPortOpen) FOnPortOpen(this);
}

void TSioCustomComPort::NotifyPortClosing() {
    WalkUsers([this](const PortUserEntry& e) {
        if (!e.Extended) return;
        if (e.Window)
            platform::SendMessageWait(e.Window, PortClosingMsg, 0, 0);
        else if (e.CallBackEx)
            e.CallBackEx(this, TSioCallbackType::ctClosing);
    });
}

void TSioCustomComPort::NotifyPortClosed() {
    if (ComponentState().Contains(TComponentStateFlag::csDestroying)) FToldGone = true;
    WalkUsers([this](const PortUserEntry& e) {
        if (e.Window)
            platform::SendMessageWait(e.Window, PortClosedMsg, 0, 0);
        else if (e.Extended) {
            if (e.CallBackEx) e.CallBackEx(this, TSioCallbackType::ctClosed);
        } else if (e.CallBack) {
            e.CallBack(this, false);
        }
    });
    if (FOnPortClose) FOnPortClose(this);
}

// A port freed while closed (or while its close still completes) has nothing to close, but its
// extended callback users may still hold its address: each is told ctClosed once more, now while
// the port is being destroyed, which is how they learn that it is gone. Windows hold only a
// handle and are not told.
void TSioCustomComPort::NotifyPortGone() {
    if (FToldGone) return;
    FToldGone = true;
    WalkUsers([this](const PortUserEntry& e) {
        if (!e.Window && e.Extended && e.CallBackEx) e.CallBackEx(this, TSioCallbackType::ctClosed);
    });
}
