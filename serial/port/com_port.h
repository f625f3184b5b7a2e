// TSioCustomComPort and TSioComPort: the component through which the program owns one serial
// port. It keeps every line, buffer, flow, trace and log setting as a property, opens the port
// through a dispatcher of the chosen device layer, pushes the settings into it, forwards input,
// output and triggers to it, and turns the dispatcher's events into its own events on the main
// thread through a hidden message window.
//
// Threads. The component belongs to the main thread: properties, Open, the forwarding
// operations, Assign and destruction run there, and so does the hidden window's procedure. The
// dispatcher thread sends trigger messages to that window and waits for each; the procedure holds
// DispatcherListLock while it runs them. The one call from another thread is Dispatcher(), which
// a packet manager reads inside its event handler while the dispatcher exists (it then only
// returns it; the automatic open runs on the main thread alone).
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_window.h"
#include "serial/component/sio_base_component.h"
#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/triggers.h"
#include "serial/port/port_types.h"

// One registered user of the port (a window, a plain callback or an extended callback).
struct PortUserEntry {
    platform::WindowHandle Window = nullptr;  // not owned; null for a callback user
    TPortCallback CallBack;
    TPortCallbackEx CallBackEx;
    bool Extended = false;
};

inline constexpr uint32_t MaxTraceSize = 4000000;
inline constexpr uint32_t MaxLogSize = 16000000;

class TSioCustomComPort : public TSioBaseComponent {
  public:
    explicit TSioCustomComPort(TComponent* AOwner);
    ~TSioCustomComPort() override;

    // ---- life cycle ----
    void Loaded() override;
    // Copies the settings (not the device) of another port; anything else changes nothing.
    virtual void Assign(const TComponent* Source);
    virtual void InitPort();
    virtual void DonePort();
    void ForcePortOpen();
    // The dispatcher after the automatic-open rule; raises ECommNotOpen (-2007) when none.
    TSioBaseDispatcher* ValidDispatcher();

    // ---- stored properties ----
    TDeviceLayer DeviceLayer() const { return FDeviceLayer; }
    void SetDeviceLayer(TDeviceLayer Value);
    uint16_t ComNumber() const { return FComNumber; }
    void SetComNumber(uint16_t Value);
    int32_t Baud() const { return FBaud; }
    void SetBaud(int32_t Value);
    bool PromptForPort() const { return FPromptForPort; }
    void SetPromptForPort(bool Value) { FPromptForPort = Value; }
    // What an open asks when the port has no number and PromptForPort is set: the port the user
    // chose, or none. The serial library shows no window of its own; the program installs its
    // "Select Port" dialog here. Without a prompt such an open fails as if none was chosen.
    const TPortPrompt& PortPrompt() const { return FPortPrompt; }
    void SetPortPrompt(TPortPrompt Value) { FPortPrompt = std::move(Value); }
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    uint16_t DataBits() const { return FDataBits; }
    void SetDataBits(uint16_t Value);
    uint16_t StopBits() const { return FStopBits; }
    void SetStopBits(uint16_t Value);
    uint16_t InSize() const { return FInSize; }
    void SetInSize(uint16_t Value);
    uint16_t OutSize() const { return FOutSize; }
    void SetOutSize(uint16_t Value);
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    bool Open() const { return FOpen; }
    void SetOpen(bool Value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool Value);
    bool RTS() const { return FRTS; }
    void SetRTS(bool Value);
    THWFlowOptionSet HWFlowOptions() const { return FHWFlowOptions; }
    void SetHWFlowOptions(THWFlowOptionSet Value);
    TSWFlowOptions SWFlowOptions() const { return FSWFlowOptions; }
    void SetSWFlowOptions(TSWFlowOptions Value);
    char XOnChar() const { return FXOnChar; }
    void SetXOnChar(char Value);
    char XOffChar() const { return FXOffChar; }
    void SetXOffChar(char Value);
    uint16_t BufferFull() const { return FBufferFull; }
    void SetBufferFull(uint16_t Value);
    uint16_t BufferResume() const { return FBufferResume; }
    void SetBufferResume(uint16_t Value);
    TTraceLogState Tracing() const { return FTracing; }
    void SetTracing(TTraceLogState Value);
    uint32_t TraceSize() const { return FTraceSize; }
    void SetTraceSize(uint32_t Value);
    const std::string& TraceName() const { return FTraceName; }
    void SetTraceName(const std::string& Value) { FTraceName = Value.substr(0, 255); }
    bool TraceHex() const { return FTraceHex; }
    void SetTraceHex(bool Value) { FTraceHex = Value; }
    bool TraceAllHex() const { return FTraceAllHex; }
    void SetTraceAllHex(bool Value) { FTraceAllHex = Value; }
    TTraceLogState Logging() const { return FLogging; }
    void SetLogging(TTraceLogState Value);
    uint32_t LogSize() const { return FLogSize; }
    void SetLogSize(uint32_t Value);
    const std::string& LogName() const { return FLogName; }
    void SetLogName(const std::string& Value) { FLogName = Value.substr(0, 255); }
    bool LogHex() const { return FLogHex; }
    void SetLogHex(bool Value) { FLogHex = Value; }
    bool LogAllHex() const { return FLogAllHex; }
    void SetLogAllHex(bool Value) { FLogAllHex = Value; }
    // Always true: this port has no modem-status shadow to switch off.
    bool UseMSRShadow() const { return true; }
    void SetUseMSRShadow(bool Value) { WriteUseMSRShadow(Value); }
    bool UseEventWord() const { return FUseEventWord; }
    void SetUseEventWord(bool Value);
    uint16_t CommNotificationLevel() const { return FCommNotificationLevel; }
    void SetCommNotificationLevel(uint16_t Value) { FCommNotificationLevel = Value; }
    // Telephony is not part of this program: the mode is kept and changes nothing.
    TTapiMode TapiMode() const { return FTapiMode; }
    void SetTapiMode(TTapiMode Value) { FTapiMode = Value; }
    bool RS485Mode() const { return FRS485Mode; }
    void SetRS485Mode(bool Value);

    // ---- events (com_port_events.cpp) ----
    void SetOnPortOpen(TNotifyEvent Value) { FOnPortOpen = std::move(Value); }
    void SetOnPortClose(TNotifyEvent Value) { FOnPortClose = std::move(Value); }
    void SetOnTrigger(TTriggerEvent Value);
    void SetOnTriggerAvail(TTriggerAvailEvent Value);
    void SetOnTriggerData(TTriggerDataEvent Value);
    void SetOnTriggerStatus(TTriggerStatusEvent Value);
    void SetOnTriggerTimer(TTriggerTimerEvent Value);
    void SetOnTriggerLineError(TTriggerLineErrorEvent Value);
    void SetOnTriggerModemStatus(TNotifyEvent Value);
    void SetOnTriggerOutbuffFree(TNotifyEvent Value);
    void SetOnTriggerOutbuffUsed(TNotifyEvent Value);
    void SetOnTriggerOutSent(TNotifyEvent Value);
    void SetOnWaitChar(TWaitCharEvent Value) { FOnWaitChar = std::move(Value); }

    // ---- properties that are not stored ----
    const TActivationProcedure& CustomDispatcher() const { return FCustomDispatcher; }
    void SetCustomDispatcher(TActivationProcedure Value) { FCustomDispatcher = std::move(Value); }
    // The hidden window (null when the port never opened; keeps its last value after a close).
    platform::WindowHandle ComWindow() const { return FComWindow; }
    uint16_t TapiCid() const { return FTapiCid; }
    void SetTapiCid(uint16_t Value) { FTapiCid = Value; }
    uint16_t BaseAddress();
    void SetBaseAddress(uint16_t Value);
    TSioThreadBoost ThreadBoost() const { return FThreadBoost; }
    void SetThreadBoost(TSioThreadBoost Value);
    void* MasterTerminal() const { return FMasterTerminal; }
    void SetMasterTerminal(void* Value) { FMasterTerminal = Value; }  // not owned, never used
    TFlowControlState FlowState();
    uint16_t TriggerLength() const { return FTriggerLength; }
    void SetTriggerLength(uint16_t Value);
    void SetOutput(const std::string& Value) { PutString(Value); }
    void SetOutputUni(const std::wstring& Value) { PutString(Value); }
    // The dispatcher, after the automatic-open rule (which may raise). Null when none.
    TSioBaseDispatcher* Dispatcher();
    uint8_t ModemStatus();
    bool DSR();
    bool CTS();
    bool RI();
    bool DCD();
    bool DeltaDSR();
    bool DeltaCTS();
    bool DeltaRI();
    bool DeltaDCD();
    uint16_t LineError();
    bool LineBreak();
    uint16_t InBuffUsed();
    uint16_t OutBuffUsed();
    uint16_t InBuffFree();
    uint16_t OutBuffFree();
    int32_t LastWinError() const;

    TPortState PortState() const { return FPortState; }
    bool Force() const { return FForce; }
    void SetForce(bool Value) { FForce = Value; }

    // ---- input and output (com_port_io.cpp) ----
    bool CharReady();
    char PeekChar(uint16_t Count);
    char GetChar();
    void PeekBlock(void* Block, uint16_t Len);
    void GetBlock(void* Block, uint16_t Len);
    void PutChar(char C);
    // Text in the system's ANSI code page.
    void PutString(const std::wstring& S);
    void PutString(const std::string& S);
    void PutString(const char* S) { PutString(std::string(S)); }
    int32_t PutBlock(const void* Block, uint16_t Len);
    void FlushInBuffer();
    void FlushOutBuffer();
    void SendBreak(uint16_t Ticks, bool Yield);
    void SetBreak(bool BreakOn);
    virtual void ProcessCommunications();
    void AddTraceEntry(char CurEntry, char CurCh);
    void AddStringToLog(const std::string& S);

    // ---- triggers (com_port_io.cpp) ----
    uint16_t AddDataTrigger(const std::string& Data, bool IgnoreCase);
    uint16_t AddTimerTrigger();
    uint16_t AddStatusTrigger(uint16_t SType);
    void RemoveTrigger(uint16_t Handle);
    void RemoveAllTriggers();
    void SetTimerTrigger(uint16_t Handle, int32_t Ticks, bool Activate);
    void SetStatusTrigger(uint16_t Handle, uint16_t Value, bool Activate);

    // ---- waits (com_port_waits.cpp); Timeout in ticks ----
    void PrepareWait();
    bool WaitForString(const std::string& S, int32_t Timeout, bool Yield, bool IgnoreCase);
    int32_t WaitForMultiString(const std::string& S, int32_t Timeout, bool Yield, bool IgnoreCase,
                               char SepChar);
    // One step of the string match for callers that read the characters themselves. Index is the
    // number of characters of S matched so far (start with 0, keep it between calls).
    bool CheckForString(uint8_t& Index, char C, const std::string& S, bool IgnoreCase);

    // ---- users (com_port_events.cpp) ----
    void RegisterUser(platform::WindowHandle H);
    void RegisterUserEx(platform::WindowHandle H);
    void RegisterUserCallback(TPortCallback CallBack);
    void RegisterUserCallbackEx(TPortCallbackEx CallBackEx);
    void DeregisterUser(platform::WindowHandle H);
    void DeregisterUserCallback(TPortCallback CallBack);
    void DeregisterUserCallbackEx(TPortCallbackEx CallBackEx);
    size_t UserCount() const { return UserList.size(); }

  protected:
    virtual std::unique_ptr<TSioBaseDispatcher> CreateDeviceDispatcher();
    virtual void AfterDeviceLayerChange() {}
    virtual int32_t OpenDevice();
    virtual void SetComWindowActive(bool Enabling);
    virtual void EnsureComNumber();
    virtual void WriteUseMSRShadow(bool /*Value*/) {}
    virtual void DoTrigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data);
    virtual void DoTriggerAvail(uint16_t Count);
    virtual void DoTriggerData(uint16_t TriggerHandle);
    virtual void DoTriggerStatus(uint16_t TriggerHandle);
    virtual void DoTriggerTimer(uint16_t TriggerHandle);
    virtual void RefreshHandlerFlags();
    virtual void DoTriggerLineError(uint16_t Error, bool LineBreak);
    virtual void DoTriggerModemStatus();
    virtual void DoTriggerOutbuffFree();
    virtual void DoTriggerOutbuffUsed();
    virtual void DoTriggerOutSent();
    virtual void DoWaitChar(char C);
    virtual void NotifyPortOpened();
    virtual void NotifyPortClosed();
    virtual void NotifyPortClosing();

  private:
    friend intptr_t PortWindowProc(uint32_t Msg, uintptr_t wParam, intptr_t lParam);

    bool Loading() const;
    bool Designing() const;
    bool IsOpen() const { return FPortState == TPortState::psOpen; }
    bool ShuttingDown() const { return FPortState == TPortState::psShuttingDown; }
    // The forwarding operations' rule: the dispatcher, or null while shutting down.
    TSioBaseDispatcher* ForwardDispatcher();
    int32_t Check(int32_t rc);
    // The string waits' read: the next received character, reported through DoWaitChar, or
    // nothing when none is waiting.
    std::optional<char> TakeWaitedChar();
    void ApplyLine();
    void SetTraceLogState(bool Log, TTraceLogState Value);
    void ReapplyFlow();
    // The close of an open port: writes the trace and the log (one that cannot be written is
    // dropped; the first failure is returned, to be raised once the port has closed).
    std::exception_ptr WriteTraceAndLogForClose();
    // Then closes the dispatcher and tells the users; returns at once, touching nothing, when a
    // message handled meanwhile freed the port.
    void CloseOpenPort();
    // Finishes a close: window gone, dispatcher freed, state closed.
    void FinishClose();
    // Handling of one message of the hidden window (the dispatcher was found, the lock held).
    void HandlePortMessage(uint32_t Msg, uintptr_t wParam, intptr_t lParam);
    void FreeRetiredWindow();
    // Destruction: every extended user that was not told of it by a close learns that the port
    // is gone (a ctClosed while the port is being destroyed).
    void NotifyPortGone();
    // Calls Tell for every user registered when the walk begins, newest first, skipping those
    // deregistered meanwhile.
    void WalkUsers(const std::function<void(const PortUserEntry&)>& Tell);
    // Destruction: frees the dispatcher and the windows now, or leaves them to be freed once the
    // dispatcher's threads have ended and no port window procedure runs.
    void ReleaseDispatcherAndWindows();
    // The wait (or yielding break) in progress may go on: its port is still open on the
    // dispatcher it began with. Raises ECommNotOpen once that port has closed (or begun to).
    void CheckWaitedPort(uint32_t Opening) const;
    void RestoreEventDelivery(uint32_t Opening);
    // Processes every pending window message of the calling thread; false once the application
    // is terminating (a quit message was seen).
    bool YieldMessages();

    // Settings.
    TDeviceLayer FDeviceLayer = TDeviceLayer::dlWin32;
    uint16_t FComNumber = 0;
    int32_t FBaud = 19200;
    bool FPromptForPort = true;
    TPortPrompt FPortPrompt;
    TParity FParity = TParity::pNone;
    uint16_t FDataBits = 8;
    uint16_t FStopBits = 1;
    uint16_t FInSize = 4096;
    uint16_t FOutSize = 4096;
    bool FAutoOpen = true;
    bool FOpen = false;
    bool FDTR = true;
    bool FRTS = true;
    THWFlowOptionSet FHWFlowOptions;
    TSWFlowOptions FSWFlowOptions = TSWFlowOptions::swfNone;
    char FXOnChar = 17;
    char FXOffChar = 19;
    uint16_t FBufferFull = 0;
    uint16_t FBufferResume = 0;
    TTraceLogState FTracing = TTraceLogState::tlOff;
    uint32_t FTraceSize = 10000;
    std::string FTraceName = "SIO.TRC";
    bool FTraceHex = true;
    bool FTraceAllHex = false;
    TTraceLogState FLogging = TTraceLogState::tlOff;
    uint32_t FLogSize = 10000;
    std::string FLogName = "SIO.LOG";
    bool FLogHex = true;
    bool FLogAllHex = false;
    bool FUseEventWord = true;
    uint16_t FCommNotificationLevel = 10;
    TTapiMode FTapiMode = TTapiMode::tmAuto;
    bool FRS485Mode = false;
    uint16_t FTapiCid = 0;
    TSioThreadBoost FThreadBoost = TSioThreadBoost::tbNone;
    void* FMasterTerminal = nullptr;  // not owned
    uint16_t FTriggerLength = 1;

    // Events.
    TNotifyEvent FOnPortOpen;
    TNotifyEvent FOnPortClose;
    TTriggerEvent FOnTrigger;
    TTriggerAvailEvent FOnTriggerAvail;
    TTriggerDataEvent FOnTriggerData;
    TTriggerStatusEvent FOnTriggerStatus;
    TTriggerTimerEvent FOnTriggerTimer;
    TTriggerLineErrorEvent FOnTriggerLineError;
    TNotifyEvent FOnTriggerModemStatus;
    TNotifyEvent FOnTriggerOutbuffFree;
    TNotifyEvent FOnTriggerOutbuffUsed;
    TNotifyEvent FOnTriggerOutSent;
    TWaitCharEvent FOnWaitChar;

    // State.
    bool FForce = false;
    TPortState FPortState = TPortState::psClosed;
    bool OpenPending = false;
    bool ForceOpen = false;
    // Shared with a notification walk in progress, which tells only the entries still listed.
    std::vector<std::shared_ptr<PortUserEntry>> UserList;
    bool CopyTriggers = false;
    TTriggerSave SaveTriggerBuffer;
    bool BusyBeforeWait = false;
    bool WaitPrepped = false;
    TActivationProcedure FCustomDispatcher;
    TDeviceLayers FDeviceLayers{TDeviceLayer::dlWin32};
    // Owned from the start of InitPort until the close completes. Dispatcher() reads it from the
    // dispatcher's event thread while it exists; it is only replaced on the main thread while no
    // event is being delivered.
    std::unique_ptr<TSioBaseDispatcher> FDispatcher;
    platform::WindowHandle FComWindow = nullptr;
    std::unique_ptr<platform::MessageWindow> FComWindowObj;
    // A window closed from inside a port window procedure is kept until no such procedure runs.
    std::unique_ptr<platform::MessageWindow> FRetiredWindow;
    // Counts the successful opens: a wait knows whether the port it reads is still the one it
    // began on.
    uint32_t FOpenings = 0;
    // Extended users were told of the destruction (by a close during it).
    bool FToldGone = false;
    // Weak copies of it tell a window procedure, a close and a yielding break whether the port
    // survived the handlers and messages they ran.
    std::shared_ptr<int> FLife = std::make_shared<int>(0);
};

// Makes the properties of a port stored properties of a form description; no behaviour of its
// own.
class TSioComPort : public TSioCustomComPort {
  public:
    using TSioCustomComPort::TSioCustomComPort;
};
