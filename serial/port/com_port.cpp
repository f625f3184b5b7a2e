// The port component's life cycle: construction and destruction, Open, InitPort and its
// rollback, DonePort and the deferred close, the automatic open, Assign and Loaded.
#include "serial/port/com_port.h"

#include <exception>
#include <memory>
#include <string>

#include "platform/exception_display.h"
#include "serial/errors/check_result_code.h"
#include "serial/errors/sio_exception.h"
#include "serial/port/device_factory.h"
#include "serial/port/port_orphans.h"

namespace {
constexpr int32_t kNoPortSelected = -2011;
constexpr int32_t kNullApi = -3001;
constexpr int32_t kCommNotOpen = -2007;
constexpr int32_t kBadId = -2001;
constexpr int32_t kAlreadyOpen = -2008;
}  // namespace

TSioCustomComPort::TSioCustomComPort(TComponent* AOwner) : TSioBaseComponent(AOwner) {}

TSioCustomComPort::~TSioCustomComPort() {
    Destroying();
    if (IsOpen()) {
        try {
            DonePort();
        } catch (const std::exception& e) {
            // A destructor must not throw: a failure to write the trace or a user's complaint
            // about the close goes to the exception display.
            platform::ShowException(e);
        }
    }
    try {
        NotifyPortGone();
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }
    ReleaseDispatcherAndWindows();
    for (size_t i = UserList.size(); i-- > 0;) UserList.pop_back();
    ClearSaveBuffers(SaveTriggerBuffer);
}

void TSioCustomComPort::ReleaseDispatcherAndWindows() {
    if (FDispatcher && FComWindowObj) FDispatcher->DeregisterWndTriggerHandler(FComWindow);
    // The dispatcher's thread may still be inside one of this port's events, waiting for this
    // very thread (the port is freed from inside the event): waiting for it here would never end.
    // A window may not be destroyed from inside its own procedure, nor the dispatcher while its
    // own close runs further up this thread (a message that close handled frees the port). What
    // cannot go now goes once the event or the close has returned, without this object.
    ForgetThreadsEndWait(this);
    const bool threadsRun = FDispatcher && FDispatcher->DispActive.load();
    if (!threadsRun && !TPortInUseScope::Running()) {
        // A close still completing (deferred) is finished here: the dispatcher joins its threads.
        FDispatcher.reset();
        FComWindowObj.reset();
        FRetiredWindow.reset();
        return;
    }
    if (FDispatcher) {
        std::lock_guard lock(DispatcherListLock);
        FDispatcher->FOwner.store(nullptr);  // its messages find no port any more
    }
    std::vector<std::unique_ptr<platform::MessageWindow>> windows;
    if (FComWindowObj) windows.push_back(std::move(FComWindowObj));
    if (FRetiredWindow) windows.push_back(std::move(FRetiredWindow));
    AdoptOrphanedPortParts(std::move(FDispatcher), std::move(windows));
}

bool TSioCustomComPort::Loading() const {
    return ComponentState().Contains(TComponentStateFlag::csLoading);
}

bool TSioCustomComPort::Designing() const {
    return ComponentState().Contains(TComponentStateFlag::csDesigning);
}

int32_t TSioCustomComPort::Check(int32_t rc) { return CheckResultCode(this, rc); }

// ---- Open ----

void TSioCustomComPort::SetOpen(bool Value) {
    // While a deferred close completes, Open still reads true; comparing with it would make a
    // reopen requested meanwhile impossible, so the request is recorded (or withdrawn) instead.
    if (ShuttingDown() && !Loading() && !Designing()) {
        OpenPending = Value;
        return;
    }
    if (Value == FOpen) return;
    if (Loading() || Designing()) {
        FOpen = Value;
        if (Value) ForceOpen = true;
        return;
    }
    if (!Value) {
        DonePort();
    } else if (FPortState != TPortState::psClosed) {
        OpenPending = true;
    } else {
        InitPort();
    }
}

void TSioCustomComPort::ForcePortOpen() {
    if (FAutoOpen) ForceOpen = true;
}

void TSioCustomComPort::EnsureComNumber() {
    if (FComNumber != 0) return;
    if (!FPromptForPort || !FPortPrompt) throw ENoPortSelected(kNoPortSelected);
    const std::optional<uint16_t> chosen = FPortPrompt();
    if (!chosen) throw ENoPortSelected(kNoPortSelected);
    FComNumber = *chosen;
}

std::unique_ptr<TSioBaseDispatcher> TSioCustomComPort::CreateDeviceDispatcher() {
    if (FCustomDispatcher) return FCustomDispatcher(this);
    // Telephony (tmOn) is not part of this program: the port opens through its device layer.
    if (FDeviceLayer != TDeviceLayer::dlWin32) throw ENullApi(kNullApi);
    return CreateSystemDispatcher(this);
}

int32_t TSioCustomComPort::OpenDevice() {
    uint32_t options = 0;
    if (FDTR) options |= 1;
    if (FRTS) options |= 2;
    if (FHWFlowOptions.Contains(THWFlowOptions::hwfUseDTR)) options |= 16;
    if (FHWFlowOptions.Contains(THWFlowOptions::hwfUseRTS)) options |= 32;
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(FComNumber);
    return FDispatcher->InitPort(name, FBaud, static_cast<uint32_t>(FParity),
                                 static_cast<TDatabits>(FDataBits),
                                 static_cast<TStopbits>(FStopBits), FInSize, FOutSize, options);
}

void TSioCustomComPort::InitPort() {
    if (FTapiMode != TTapiMode::tmOn) EnsureComNumber();
    std::unique_ptr<TSioBaseDispatcher> created = CreateDeviceDispatcher();
    if (!created) throw ENullApi(kNullApi);
    FreeRetiredWindow();
    FDispatcher = std::move(created);
    FDispatcher->DeviceName = "\\\\.\\COM" + std::to_string(FComNumber);
    try {
        int32_t rc = OpenDevice();
        if (rc == -5) rc = kAlreadyOpen;
        if (rc == -2 || rc == -3) rc = kBadId;
        if (rc != 0) Check(rc);
        FPortState = TPortState::psOpen;
        RefreshHandlerFlags();

        FForce = true;
        SetTracing(FTracing);
        SetLogging(FLogging);
        SetHWFlowOptions(FHWFlowOptions);
        SetSWFlowOptions(FSWFlowOptions);
        SetXOnChar(FXOnChar);
        SetXOffChar(FXOffChar);
        SetTriggerLength(FTriggerLength);
        SetDTR(FDTR);
        SetRTS(FRTS);
        SetUseEventWord(FUseEventWord);
        SetRS485Mode(FRS485Mode);
        SetThreadBoost(FThreadBoost);
        FForce = false;

        FOpen = true;
        ++FOpenings;
        SetComWindowActive(true);
        if (CopyTriggers) {
            CopyTriggers = false;
            FDispatcher->RestoreTriggers(SaveTriggerBuffer);
        }
        NotifyPortOpened();
    } catch (...) {
        FForce = false;
        FOpen = false;
        FPortState = TPortState::psClosed;
        if (FComWindowObj) {
            FDispatcher->DeregisterWndTriggerHandler(FComWindow);
            FComWindowObj.reset();
        }
        FDispatcher.reset();
        throw;
    }
}

void TSioCustomComPort::DonePort() {
    if (!IsOpen()) return;
    const std::exception_ptr unwritten = WriteTraceAndLogForClose();
    CloseOpenPort();
    // Raised once the port has closed (perhaps freed: nothing of it is touched here).
    if (unwritten) std::rethrow_exception(unwritten);
}

std::exception_ptr TSioCustomComPort::WriteTraceAndLogForClose() {
    // A trace or log that cannot be written is dropped: keeping it would fail this close and
    // every later one the same way, and a port freed meanwhile would keep its threads and device.
    std::exception_ptr first;
    for (const bool log : {false, true}) {
        try {
            SetTraceLogState(log, TTraceLogState::tlDump);
        } catch (...) {
            if (!first) first = std::current_exception();
            SetTraceLogState(log, TTraceLogState::tlOff);
        }
    }
    return first;
}

void TSioCustomComPort::CloseOpenPort() {
    FPortState = TPortState::psShuttingDown;
    // The hold PrepareWait took goes with this opening's dispatcher.
    WaitPrepped = false;
    BusyBeforeWait = false;
    NotifyPortClosing();
    FDispatcher->SaveTriggers(SaveTriggerBuffer);
    CopyTriggers = true;
    // Both waits below handle messages, and a message's handler may free this port (an owner
    // that frees it on a notice of its own): the close then stops without touching it.
    const std::weak_ptr<int> life = FLife;
    {
        // The dispatcher waits for its thread here: until it returns, a port freed meanwhile
        // leaves its dispatcher to the orphans instead of freeing it under this call.
        TPortInUseScope closing;
        FDispatcher->DonePort();
    }
    if (life.expired()) return;
    if (FDispatcher->EventBusy() && FComWindowObj) {
        // An event is being delivered (or delivery is held by a wait): the dispatcher may not be
        // freed under it. The hidden window finishes the close once the threads have ended.
        platform::PostMessageTo(FComWindow, PortClosingMsg, 0,
                                static_cast<intptr_t>(FDispatcher->Handle()) << 16);
        platform::PumpOneMessage();
        if (life.expired()) return;
    } else {
        FinishClose();
    }
    NotifyPortClosed();
}

void TSioCustomComPort::FinishClose() {
    ForgetThreadsEndWait(this);
    SetComWindowActive(false);
    FDispatcher.reset();
    FPortState = TPortState::psClosed;
    FOpen = false;
}

// ---- the automatic open ----

TSioBaseDispatcher* TSioCustomComPort::Dispatcher() {
    if (!FDispatcher && !Loading() && !Designing() && !IsOpen() && FAutoOpen) SetOpen(true);
    return FDispatcher.get();
}

TSioBaseDispatcher* TSioCustomComPort::ValidDispatcher() {
    TSioBaseDispatcher* d = Dispatcher();
    if (!d) throw ECommNotOpen(kCommNotOpen);
    return d;
}

TSioBaseDispatcher* TSioCustomComPort::ForwardDispatcher() {
    if (ShuttingDown()) return nullptr;
    return ValidDispatcher();
}

// ---- Loaded, Assign ----

void TSioCustomComPort::Loaded() {
    TSioBaseComponent::Loaded();
    if (Designing()) return;
    if (ForceOpen) FOpen = true;
    if (FOpen) {
        ForceOpen = false;
        try {
            InitPort();
        } catch (const std::exception& e) {
            FOpen = false;
            platform::ShowException(e);
        }
    }
}

void TSioCustomComPort::Assign(const TComponent* Source) {
    auto* src = dynamic_cast<const TSioCustomComPort*>(Source);
    if (!src || src == this) return;
    // An open target is closed first, while its triggers are still its own; the close saves its
    // triggers, which the source's then replace. Registrations are not settings: the source's
    // users registered with the source and withdraw from it alone, and the target's own users
    // stay registered with the target.
    SetOpen(false);
    if (src->IsOpen()) {
        src->FDispatcher->SaveTriggers(SaveTriggerBuffer);
        CopyTriggers = true;
    }
    FForce = src->FForce;
    FDeviceLayer = src->FDeviceLayer;
    FComNumber = src->FComNumber;
    FBaud = src->FBaud;
    FParity = src->FParity;
    FDataBits = src->FDataBits;
    FStopBits = src->FStopBits;
    FInSize = src->FInSize;
    FOutSize = src->FOutSize;
    FAutoOpen = src->FAutoOpen;
    FPromptForPort = src->FPromptForPort;
    FRS485Mode = src->FRS485Mode;
    FThreadBoost = src->FThreadBoost;
    FDTR = src->FDTR;
    FRTS = src->FRTS;
    FBufferFull = src->FBufferFull;
    FBufferResume = src->FBufferResume;
    FHWFlowOptions = src->FHWFlowOptions;
    FSWFlowOptions = src->FSWFlowOptions;
    FXOnChar = src->FXOnChar;
    FXOffChar = src->FXOffChar;
    FTracing = src->FTracing;
    FTraceSize = src->FTraceSize;
    FTraceName = src->FTraceName;
    FTraceHex = src->FTraceHex;
    FTraceAllHex = src->FTraceAllHex;
    FLogging = src->FLogging;
    FLogSize = src->FLogSize;
    FLogName = src->FLogName;
    FLogHex = src->FLogHex;
    FLogAllHex = src->FLogAllHex;
    FTriggerLength = src->FTriggerLength;
    FOnPortOpen = src->FOnPortOpen;
    FOnPortClose = src->FOnPortClose;
    FTapiMode = src->FTapiMode;
    FOpen = false;
    SetOnTrigger(src->FOnTrigger);
    SetOnTriggerAvail(src->FOnTriggerAvail);
    SetOnTriggerData(src->FOnTriggerData);
    SetOnTriggerStatus(src->FOnTriggerStatus);
    SetOnTriggerTimer(src->FOnTriggerTimer);
}
