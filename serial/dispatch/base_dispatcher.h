// TSioBaseDispatcher: the per-port engine between the port component and a device layer. It owns
// the dispatch buffer, the line settings, the triggers, the handlers, the trace and the dispatch
// log; a device layer derives from it and implements the device operations.
//
// Threads. The main thread calls everything the component forwards. The dispatcher thread
// (TDispThread) moves received bytes from FQueue into the dispatch buffer, scans the triggers and
// calls the handlers, which may call back into any operation here. A device layer's own threads
// (reader, writer, status) push onto FQueue, drain the output ring and report their start and end.
//
// Locks. The three sections are recursive because the dispatcher re-enters them on purpose:
// PeekChar → PeekAt (DispSection), GetChar with tracing → trace entry (DataSection), OutBuffUsed →
// ReadErrors → OutputPending (OutputSection), NotifyHandlers → UpdateHandlerFlags (DataSection).
// Order: DispSection, then DataSection, then OutputSection, then the I/O queues' own locks; a
// thread holding a later lock never takes an earlier one. No dispatcher lock is held while a
// handler runs.
//
// Lists read by the dispatcher thread while other threads change them: every read of a trigger
// or handler list happens under DataSection, a record at a time; the dispatcher thread copies
// what it needs (a handler's target, a trigger's handle and length), releases the lock and only
// then notifies. Handler records removed during a notification are only marked and purged when it
// ends, so positions stay meaningful; every loop re-checks its index against the current count
// after each notification.
//
// Results. Every int32_t an operation returns is a result code: 0 or a count, a handle or a state
// on success, a negative code on failure (dispatch_codes.h and the error table). A system error
// number is positive; it reaches a caller only through OsLastError or negated (-5 for access
// denied) where a header says so.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/case_folding.h"
#include "platform/event.h"
#include "platform/message_window.h"
#include "platform/thread.h"
#include "serial/dispatch/data_trigger_scanner.h"
#include "serial/dispatch/dispatch_types.h"
#include "serial/dispatch/dispatcher_thread.h"
#include "serial/dispatch/notify.h"
#include "serial/dispatch/trace_file.h"
#include "serial/dispatch/tick_timer.h"
#include "serial/dispatch/triggers.h"

class TIOQueue;
class TComponent;

// The type of the three dispatcher locks and of DispatcherListLock: re-entry by the owning
// thread is part of the design (see the paths named above).
using TSioRecursiveSection = std::recursive_mutex;

using TDatabits = uint8_t;  // 5..9; 9 keeps the current value in SetLine
using TStopbits = uint8_t;  // 1..3; 3 keeps the current value in SetLine

enum class TSioThreadBoost : uint8_t { tbNone, tbPlusOne, tbPlusTwo };

// The ordinal of each state plus one is what HWFlowState and SWFlowState return.
enum class TFlowControlState {
    fcOff,
    fcOn,
    fcDsrHold,
    fcCtsHold,
    fcDcdHold,
    fcXOutHold,
    fcXInHold,
    fcXBothHold
};

// Device settings block: the fields of the system's settings record that the dispatcher uses.
// Flags holds the record's bit fields at their positions (below).
struct TSioDCB {
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

namespace dcb {
inline constexpr uint32_t fBinary = 0x1;
inline constexpr uint32_t fParity = 0x2;
inline constexpr uint32_t fOutxCtsFlow = 0x4;
inline constexpr uint32_t fOutxDsrFlow = 0x8;
inline constexpr uint32_t DtrControlMask = 0x30;
inline constexpr uint32_t DtrEnable = 0x10;
inline constexpr uint32_t DtrHandshake = 0x20;
inline constexpr uint32_t fDsrSensitivity = 0x40;
inline constexpr uint32_t fTXContinueOnXoff = 0x80;
inline constexpr uint32_t fOutX = 0x100;
inline constexpr uint32_t fInX = 0x200;
inline constexpr uint32_t fNull = 0x800;
inline constexpr uint32_t RtsControlMask = 0x3000;
inline constexpr uint32_t RtsEnable = 0x1000;
inline constexpr uint32_t RtsHandshake = 0x2000;
inline constexpr uint32_t RtsToggle = 0x3000;
}  // namespace dcb

// Device status record. Flags: 1 CTS hold, 2 DSR hold, 8 XOFF hold, 16 XOFF sent.
struct TSioComStat {
    uint32_t Flags = 0;
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

inline constexpr uint32_t DispatchBufferSize = 8192;

// Line functions given to LineControl.
inline constexpr int32_t lcSetRts = 3;
inline constexpr int32_t lcClrRts = 4;
inline constexpr int32_t lcSetDtr = 5;
inline constexpr int32_t lcClrDtr = 6;

class TSioBaseDispatcher;

// Live dispatchers; an entry's index is the dispatcher's FHandle, freed entries are nullptr.
// Guarded by DispatcherListLock (recursive: the component's window holds it while it may free a
// dispatcher, whose destruction takes it again).
extern std::vector<TSioBaseDispatcher*> DispatcherList;
extern TSioRecursiveSection DispatcherListLock;

class TSioBaseDispatcher {
  public:
    // Create: registers in DispatcherList, makes the locks, lists and queues.
    explicit TSioBaseDispatcher(TComponent* Owner);
    // A device layer must call Destroy() first thing in its own destructor: the base destructor
    // cannot reach the device operations any more. The base destructor only frees.
    virtual ~TSioBaseDispatcher();
    TSioBaseDispatcher(const TSioBaseDispatcher&) = delete;
    TSioBaseDispatcher& operator=(const TSioBaseDispatcher&) = delete;

    // Closes the port if still open, waits for the threads (handling the calling thread's
    // messages meanwhile) and leaves DispatcherList. Runs once; later calls do nothing.
    void Destroy();

    // ---- life cycle ----
    [[nodiscard]] int32_t InitPort(const std::wstring& AComName, int32_t Baud, uint32_t Parity,
                                   TDatabits DataBits, TStopbits StopBits, uint32_t InSize,
                                   uint32_t OutSize, uint32_t FlowOpts);
    void DonePort();
    [[nodiscard]] int32_t SetCommBuffers(int32_t InSize, int32_t OutSize);
    void BufferSizes(uint32_t& InSize, uint32_t& OutSize) const;

    // Called by every thread of this dispatcher as it starts and as it ends.
    void ThreadStarted();
    void ThreadFinished(TSioDispatcherThread* Thread);
    // Called, for every dispatcher, on the thread that ends its last thread once DispActive has
    // turned false: whoever waits for that may free the dispatcher at once, so the hook is told
    // nothing of it. One for the process (the port layer's reaper of orphaned dispatchers);
    // null for none. Read after DispActive is cleared, so a hook set before someone looks at
    // DispActive and finds it set is sure to be called.
    using ThreadsEndedHook = void (*)();
    static void SetThreadsEndedHook(ThreadsEndedHook Hook);
    // A device layer's thread ending with ExitCode: a failure (negative) is shown, then the thread
    // is reported finished. ThreadFinished reads the thread's return value, which is stored only
    // once Execute has returned, so the exit code is shown here instead.
    void DeviceThreadEnded(TSioDispatcherThread* Thread, int32_t ExitCode);
    // One failing device ends every thread, often several with the same error (a vanished line
    // fails the reader and the event wait alike): the user is told it once per run. True when
    // Code is the error a device thread of this run has already shown; otherwise Code becomes
    // the shown one if none was shown yet.
    bool RepeatsShownFailure(int32_t Code) {
        int32_t shown = 0;
        return !FFirstFailureShown.compare_exchange_strong(shown, Code) && shown == Code;
    }
    // A thread that raised (its exception has been shown): the port's threads are stopped as
    // for a failing device, the dispatcher thread releases the port as it ends, and the end is
    // reported.
    void ThreadDied(TSioDispatcherThread* Thread);
    // Tells every thread of this dispatcher to end: KillThreads, then whatever ends their waits
    // at once (a device layer adds its own).
    virtual void StopThreads();
    // The ring holds 8192 unread bytes (nothing more can be moved into it).
    bool DispatchBufferFull();

    // ---- line settings and modem control ----
    [[nodiscard]] int32_t SetLine(int32_t Baud, uint32_t Parity, TDatabits DataBits,
                                  TStopbits StopBits);
    void GetLine(int32_t& Baud, uint16_t& Parity, TDatabits& DataBits, TStopbits& StopBits);
    [[nodiscard]] int32_t ChangeBaud(int32_t NewBaud);
    [[nodiscard]] static int32_t BaudFromCode(int32_t V);
    [[nodiscard]] int32_t SetDtr(bool OnOff);
    [[nodiscard]] int32_t SetRts(bool OnOff);
    [[nodiscard]] int32_t SetModem(bool DTR, bool RTS);
    void SendBreak(uint32_t Ticks, bool Yield);
    void SetBreak(bool BreakOn);
    uint8_t GetModemStatus();
    bool CheckCTS();
    bool CheckDSR();
    bool CheckRI();
    bool CheckDCD();
    bool CheckDeltaCTS();
    bool CheckDeltaDSR();
    bool CheckDeltaRI();
    bool CheckDeltaDCD();
    [[nodiscard]] int32_t GetLineError();
    bool CheckLineBreak();
    [[nodiscard]] int32_t HWFlowOptions(uint32_t BufferFull, uint32_t BufferResume,
                                        uint32_t Options);
    [[nodiscard]] int32_t HWFlowState();
    [[nodiscard]] int32_t SWFlowEnable(uint32_t BufferFull, uint32_t BufferResume,
                                       uint32_t Options);
    [[nodiscard]] int32_t SWFlowDisable();
    [[nodiscard]] int32_t SWFlowState();
    [[nodiscard]] int32_t SWFlowChars(char OnChar, char OffChar);
    [[nodiscard]] int32_t GetFlowOptions(uint32_t& HWOpts, uint32_t& SWOpts, uint32_t& BufferFull,
                                         uint32_t& BufferResume, char& OnChar, char& OffChar);
    void OptionsOn(uint32_t Options);
    void OptionsOff(uint32_t Options);
    bool OptionsAreOn(uint32_t Options);
    [[nodiscard]] int32_t SetDataPointer(void* P, uint32_t Index);
    [[nodiscard]] int32_t GetDataPointer(void*& P, uint32_t Index);
    void SetRS485Mode(bool OnOff);
    void SetBaseAddress(uint16_t NewBaseAddress);
    uint16_t GetBaseAddress();

    // ---- dispatch buffer and output path ----
    // After a device thread ended the port on an error (buffers released while the component
    // still counts the port open), every read, write, count and flush returns -2007.
    bool CharReady();
    [[nodiscard]] int32_t PeekChar(char& C, uint32_t Count);
    [[nodiscard]] int32_t GetChar(char& C);
    [[nodiscard]] int32_t PeekBlock(void* Block, uint32_t Len);
    [[nodiscard]] int32_t GetBlock(void* Block, uint32_t Len);
    [[nodiscard]] int32_t InBuffUsed();
    [[nodiscard]] int32_t InBuffFree();
    [[nodiscard]] int32_t FlushInBuffer();
    [[nodiscard]] int32_t PutChar(char C);
    [[nodiscard]] int32_t PutString(const std::string& S);
    [[nodiscard]] int32_t PutBlock(const void* Block, uint32_t Len);
    [[nodiscard]] int32_t OutBuffUsed();
    [[nodiscard]] int32_t OutBuffFree();
    [[nodiscard]] int32_t FlushOutBuffer();
    // Dispatcher thread only: moves what the device layer has received into the ring.
    bool FillDispatchBuffer();

    // ---- notification handlers ----
    void RegisterWndTriggerHandler(platform::WindowHandle HW);
    void RegisterProcTriggerHandler(TSioNotifyProc NP);
    void RegisterEventTriggerHandler(TSioNotifyEvent NP);
    void RegisterSyncEventTriggerHandler(TSioNotifyEvent NP);
    void DeregisterWndTriggerHandler(platform::WindowHandle HW);
    void DeregisterProcTriggerHandler(TSioNotifyProc NP);
    void DeregisterEventTriggerHandler(TSioNotifyEvent NP);
    void SetEventBusy(bool& WasOn, bool SetOn);
    // Dispatcher thread: delivers one notification to every handler in order.
    bool NotifyHandlers(uint32_t Msg, uint32_t Trigger, uint32_t Data);

    // ---- triggers ----
    [[nodiscard]] int32_t AddDataTrigger(const char* Data, bool IgnoreCase);
    [[nodiscard]] int32_t AddDataTriggerLen(const void* Data, bool IgnoreCase, uint32_t Len);
    [[nodiscard]] int32_t AddTimerTrigger();
    [[nodiscard]] int32_t AddStatusTrigger(uint32_t SType);
    [[nodiscard]] int32_t RemoveTrigger(uint32_t TriggerHandle);
    void RemoveAllTriggers();
    [[nodiscard]] int32_t SetTimerTrigger(uint32_t TriggerHandle, int32_t Ticks, bool Activate);
    [[nodiscard]] int32_t ExtendTimer(uint32_t TriggerHandle, int32_t Ticks);
    [[nodiscard]] int32_t TimerTicksRemaining(uint32_t TriggerHandle, int32_t& TicksRemaining);
    [[nodiscard]] int32_t SetStatusTrigger(uint32_t TriggerHandle, uint32_t Value, bool Activate);
    // A status trigger's handle is its base handle (a multiple of 8) plus its kind.
    static StatusTriggerKind ClassifyStatusTrigger(uint32_t TriggerHandle) {
        return static_cast<StatusTriggerKind>(TriggerHandle & 7);
    }
    void ChangeLengthTrigger(uint32_t Length);
    void SaveTriggers(TTriggerSave& Save);
    void RestoreTriggers(TTriggerSave& Save);

    // ---- dispatcher thread passes ----
    void DispatchQueuedItem();
    void CheckIdleTriggers();
    bool ScanDataTriggers();
    bool TestStatusTriggers();
    bool TestTimerTriggers();
    void ClearStatusHits();

    // ---- trace ----
    [[nodiscard]] int32_t InitTracing(uint32_t NumEntries);
    void AddTraceEntry(char CurEntry, char CurCh);
    void StartTracing();
    void StopTracing();
    [[nodiscard]] int32_t ClearTracing();
    void AbortTracing();
    [[nodiscard]] int32_t DumpTrace(const std::string& FName, bool InHex, bool AllHex);
    [[nodiscard]] int32_t AppendTrace(const std::string& FName, bool InHex, bool AllHex);

    // ---- dispatch log ----
    void InitDispatchLogging(uint32_t QueueSize);
    void StartDispatchLogging();
    void StopDispatchLogging();
    void ClearDispatchLogging();
    void AbortDispatchLogging();
    void AddDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Data, const void* Buffer,
                          uint32_t BufferLen);
    void AddStringToLog(const std::string& S);
    [[nodiscard]] int32_t DumpDispatchLog(const std::string& FName, bool InHex, bool AllHex);
    [[nodiscard]] int32_t AppendDispatchLog(const std::string& FName, bool InHex, bool AllHex);

    // ---- device operations: the seam to a device layer ----
    // Raise or lower RTS/DTR (lcSetRts..lcClrDtr); negative = failure.
    [[nodiscard]] virtual int32_t LineControl(int32_t Func) = 0;
    // 0: discard pending output; 1: discard received input held by the device layer.
    [[nodiscard]] virtual int32_t PurgeQueue(int32_t Queue) = 0;
    // Line-error bits since the last call; fills Stat, whose cbOutQue must equal OutputPending.
    [[nodiscard]] virtual int32_t ReadErrors(TSioComStat& Stat) = 0;
    [[nodiscard]] virtual int32_t ReadErrorHook(int32_t Code) = 0;
    // 0 = success, -1 = failure.
    [[nodiscard]] virtual int32_t ReadDeviceState(TSioDCB& DCB) = 0;
    // Copies up to Size received bytes without waiting; the count.
    [[nodiscard]] virtual int32_t ReadCom(uint8_t* Buf, int32_t Size) = 0;
    // 0 = success, else the negated system error.
    [[nodiscard]] virtual int32_t WriteDeviceState(TSioDCB& DCB) = 0;
    // Appends to the output ring and wakes the writer; Size, or ≤ 0 whose magnitude was taken.
    [[nodiscard]] virtual int32_t WriteCom(const uint8_t* Buf, int32_t Size) = 0;
    virtual bool WaitDeviceEvent(int32_t& Mask) = 0;
    virtual bool SetupQueues(int32_t InSize, int32_t OutSize) = 0;
    // Final release of the port: ends the threads (HaltThreads) and frees the buffers.
    virtual void DonePortPrim();
    // Starts the device layer's threads and the dispatcher thread (StartDispatcherThread); sets
    // DispActive.
    virtual void LaunchThreads() = 0;
    // Ends the threads and closes the six events.
    virtual void HaltThreads() = 0;
    [[nodiscard]] virtual int32_t OutputPending() = 0;
    [[nodiscard]] virtual int32_t InputAvailable();
    // The device handle (≥ 0), -8 out of memory, other negative: see OsLastError.
    [[nodiscard]] virtual int32_t OpenCom(const std::wstring& ComName, uint32_t InQueue,
                                          uint32_t OutQueue) = 0;
    [[nodiscard]] virtual int32_t CloseCom() = 0;
    virtual bool CheckPort(const std::wstring& ComName) = 0;
    [[nodiscard]] virtual int32_t ProcessCommunications() = 0;
    virtual void SetThreadBoost(uint8_t Boost);
    virtual void UpdateHandlerFlags(TSioHandlerFlagUpdate FlagUpdate);
    // The device calls the base class makes directly: break condition on or off, and the four
    // modem line states (16 CTS, 32 DSR, 64 RI, 128 DCD).
    virtual void SetDeviceBreak(bool On) = 0;
    virtual uint32_t ReadModemLines() = 0;
    // The operating system's last error after a failed OpenCom or SetupQueues.
    [[nodiscard]] virtual int32_t OsLastError() = 0;
    // Lets the last characters of the old line settings leave the wire before new ones apply
    // (the time of 18 characters at the old speed). A device without a wire need not wait.
    virtual void PauseForLine(uint32_t Ms);

    // ---- read access for the component and device layers ----
    TComponent* Owner() const { return FOwner.load(); }
    int32_t Handle() const { return FHandle; }
    // Event delivery is held: a notification is in progress or a SetEventBusy hold is on.
    bool EventBusy() const { return FEventBusy.load() || FEventHolds.load() > 0; }

    // ---- state ----
    // Each field names who writes it and what guards it. Fields without a note are written by
    // InitPort / DonePortPrim on the thread that opens and closes the port, before the threads
    // start or after they have ended.

    // Identity and device
    // Not owned: the port component. Cleared (under DispatcherListLock) by a port that is freed
    // while this dispatcher's thread still runs; read by that thread as it ends.
    std::atomic<TComponent*> FOwner;
    int32_t FHandle = -1;                  // guarded by DispatcherListLock
    std::string DeviceName;                // set by the component before InitPort
    std::atomic<int32_t> CidEx{-1};        // device layer: OpenCom sets, CloseCom sets -1
    std::atomic<int32_t> LastWinError{0};  // device threads
    uint32_t InQue = 0;
    uint32_t OutQue = 0;
    uint32_t LastError = 0;      // DataSection
    TSioComStat ComStatus;       // DataSection
    TSioDCB DCB;                 // DataSection
    int32_t LastBaud = 115200;   // DataSection
    uint32_t ModemStatus = 0;    // DataSection
    bool RingFlag = false;       // DataSection
    bool DTRState = false;       // DataSection
    bool RTSState = false;       // DataSection
    bool DTRAuto = false;        // DataSection
    bool RTSAuto = false;        // DataSection
    uint32_t Flags = 0;          // DataSection
    void* DataPointers[3] = {};  // DataSection; indexes 1..3
    bool RS485Mode = false;      // DataSection
    uint16_t BaseAddress = 0;    // DataSection

    // Dispatch buffer: DispSection. DBuffer is null before InitPort and after the release.
    std::unique_ptr<uint8_t[]> DBuffer;
    uint32_t DBufHead = 0;
    uint32_t DBufTail = 0;
    bool DispatchFull = false;
    bool InAvailMessage = false;
    uint32_t GetCount = 0;
    uint32_t MaxGetCount = 0;
    // During a data-available or data notification: the unread bytes a flush inside it dropped.
    // Each handler's reads start behind them (GetCount), so none reads a byte from before the
    // flush; the notification's end takes them with what the handlers read.
    uint32_t FlushedInNotification = 0;
    // The data-trigger scan's position: the next byte it looks at. Never behind the tail: a read or
    // flush that takes bytes the scan has not reached moves it along (ConsumeInput).
    uint32_t LastTailData = 0;
    uint32_t NotifyTail = 0;  // dispatcher thread
    // Dispatcher thread: bytes arrived since the last data-available notification. A fill that
    // makes the ring exactly full brings the head back onto NotifyTail, so the positions alone
    // cannot tell "nothing new" from "a whole ring new".
    bool FilledSinceNotify = false;
    // Bytes were added since the data-trigger scan last reached the head: with the head on the
    // scan's position this means a whole ring not yet scanned.
    bool FilledSinceScan = false;

    // Output ring: OutputSection. Filled by WriteCom, drained by the device layer's writer.
    std::unique_ptr<uint8_t[]> OBuffer;
    uint32_t OBufHead = 0;
    uint32_t OBufTail = 0;
    bool OBufFull = false;
    bool OutSentPending = false;

    // Threads, owned here; created by LaunchThreads, joined by HaltThreads or Destroy.
    std::unique_ptr<TSioDispatcherThread> ComThread;     // reader
    std::unique_ptr<TSioDispatcherThread> OutThread;     // writer
    std::unique_ptr<TSioDispatcherThread> StatusThread;  // status
    std::unique_ptr<TDispThread> FDispThread;
    uint8_t ThreadBoost = 0;  // DataSection
    std::atomic<int32_t> ActiveThreads{0};
    std::atomic<bool> DispActive{false};         // LaunchThreads sets; the last thread clears
    std::atomic<bool> KillThreads{false};        // any thread sets; all read
    std::atomic<bool> DoDonePortPrim{false};     // dispatcher thread as it ends
    std::atomic<bool> CloseComActive{false};     // device layer's CloseCom
    std::atomic<int32_t> FFirstFailureShown{0};  // reset by LaunchDeviceThreads
    uint32_t TimerID = 0;

    // The three locks (see the order at the top of this file).
    TSioRecursiveSection DataSection;
    TSioRecursiveSection OutputSection;
    TSioRecursiveSection DispSection;

    // Events created by InitPort, null when not created. GeneralEvent: start and flush
    // handshakes; OutputEvent: wakes the writer; OutFlushEvent: the writer drops its work;
    // ReadyEvent: set after every dispatcher pass; ComEvent, SentEvent: no further role.
    std::unique_ptr<platform::Event> GeneralEvent;
    std::unique_ptr<platform::Event> OutputEvent;
    std::unique_ptr<platform::Event> OutFlushEvent;
    std::unique_ptr<platform::Event> ReadyEvent;
    // Whether the dispatcher thread has set ReadyEvent since InitPort made it. No thread waits
    // on ReadyEvent, so once set it stays set, and setting it again after every pass would only
    // cost a system call per pass (one per received block). Dispatcher thread and InitPort.
    bool ReadySignalled = false;
    std::unique_ptr<platform::Event> ComEvent;
    std::unique_ptr<platform::Event> SentEvent;  // manual-reset

    // Received blocks and status words from the device layer's threads.
    std::unique_ptr<TIOQueue> FQueue;
    uint32_t CurrentEvent = 0;  // dispatcher thread

    // A notification is in progress: set and cleared by NotifyHandlers alone, under DataSection.
    std::atomic<bool> FEventBusy{false};
    // Holds taken with SetEventBusy and not yet given back (the component's string waits). Kept
    // apart from FEventBusy so that the end of a notification never ends a hold taken during it.
    // Written under DataSection, read anywhere.
    std::atomic<int32_t> FEventHolds{0};
    bool DeletePending = false;             // DataSection
    std::atomic<bool> ClosePending{false};  // written by DonePort, read anywhere

    // Triggers: lists guarded by DataSection.
    std::vector<TimerTriggerRec> TimerTriggers;
    std::vector<DataTriggerRec> DataTriggers;
    std::vector<StatusTriggerRec> StatusTriggers;
    // All data triggers as one matcher, with the partial matches in progress; rebuilt by the scan
    // when DataScanStale says the list changed. DataSection.
    TDataTriggerScanner DataScan;
    bool DataScanStale = true;
    // How IgnoreCase triggers fold: the system's code page. Set before triggers are added.
    platform::CaseFolding CaseFold = platform::SystemCaseFolding();
    uint32_t LenTrigger = 0;      // DataSection
    uint32_t TriggerCounter = 1;  // DataSection
    bool GlobalStatHit = false;   // dispatcher thread

    // Handlers: lists guarded by DataSection.
    std::vector<WndHandlerRec> WndTriggerHandlers;
    std::vector<ProcHandlerRec> ProcTriggerHandlers;
    std::vector<EventHandlerRec> EventTriggerHandlers;
    std::atomic<bool> HandlerServiceNeeded{false};  // written under DataSection
    bool PortHandlerInstalled = false;              // DataSection

    // Trace: DataSection.
    std::atomic<bool> TracingOn{false};
    std::vector<TTraceRecord> TraceQueue;  // empty: no queue
    bool TraceAllocated = false;
    uint32_t TraceIndex = 0;
    uint32_t TraceMax = 0;
    bool TraceWrapped = false;

    // Dispatch log: the queue has its own lock; the switches are read without a lock.
    std::atomic<bool> DLoggingOn{false};
    std::unique_ptr<TIOQueue> DLoggingQueue;
    std::atomic<uint32_t> DLoggingMax{0};
    uint32_t TimeBase = 0;

  protected:
    // For LaunchThreads: creates and starts the dispatcher thread into FDispThread.
    void StartDispatcherThread();
    // A device layer's LaunchThreads, the same on every layer with three threads: under
    // DataSection, marks the dispatcher active (throws when it already is), lets ResetSignals
    // clear the layer's own stop and wake signals, then starts the reader, the dispatcher thread,
    // the writer and the status thread in that order, each given up to three seconds to report
    // on GeneralEvent that it runs. Threads of an earlier run have ended; replacing their objects
    // joins them.
    using TDeviceThreadMaker = std::function<std::unique_ptr<TSioDispatcherThread>()>;
    void LaunchDeviceThreads(const std::function<void()>& ResetSignals,
                             const TDeviceThreadMaker& Reader, const TDeviceThreadMaker& Writer,
                             const TDeviceThreadMaker& Status);
    // A device layer's HaltThreads: closes the device if it is still open, then the six events,
    // but only once no thread of this dispatcher can still use them: not while another close is
    // under way, and not from the dispatcher thread, which runs this as it ends. Otherwise they
    // stay until the next InitPort replaces them or the dispatcher is destroyed.
    void HaltDeviceThreads();
    // For CloseCom / HaltThreads: waits up to timeoutMs for the dispatcher thread to end while the
    // calling thread handles its window messages (the thread may be inside a call synchronised
    // with the main thread); joins it when it has ended. True when it has ended (or none runs).
    bool EndDispatcherThread(uint32_t timeoutMs);

  private:
    // Joins every thread of this dispatcher that exists and takes it off the dispatcher list
    // (Destroy, and the destructor when Destroy was not called).
    void JoinThreadsAndUnlist();
    uint32_t NewTriggerHandle();
    [[nodiscard]] int32_t FindTrigger(uint32_t Handle, bool Delete, TriggerListKind& Kind,
                                      size_t& Index);
    // Forgets every partial match and every match not yet announced.
    void ResetDataMatches();
    // Takes Count unread bytes at the tail (DispSection held). Bytes the data-trigger scan has not
    // reached yet are not scanned afterwards: the scan goes on from the new tail.
    void ConsumeInput(uint32_t Count);
    // Unread bytes the data-trigger scan has not looked at yet (DispSection held).
    uint32_t UnscannedCount() const;
    void RefreshLineErrors();
    uint8_t ReadModemStatus(uint32_t KeepMask);
    void UpdateModemDeltas();
    bool ModemBit(uint32_t KeepMask, uint32_t Bit);
    // A port whose device thread ended it has no device while the component still counts it
    // open: the operations that would ask the device then answer -2007, as reads and writes do.
    bool HasDevice() const { return CidEx.load() >= 0; }
    [[nodiscard]] int32_t ApplyDeviceState(const TSioDCB& NewDCB);
    // DTR or RTS: raised or lowered through line control and remembered in State, unless Auto
    // (the flow control drives the line), which answers 1.
    [[nodiscard]] int32_t SetControlLine(bool OnOff, const bool& Auto, bool& State, int32_t SetFunc,
                                         int32_t ClearFunc);
    void DrainBeforeLineChange();
    [[nodiscard]] int32_t PeekAt(char& C, uint32_t N);
    [[nodiscard]] int32_t CopyFromBuffer(void* Block, uint32_t Offset, uint32_t& NewTail,
                                         uint32_t Len);
    uint32_t UnreadCount() const;
    // Under DispSection, where bytes have been taken: clears DispatchFull and wakes the
    // dispatcher thread if it was waiting on the full ring.
    void WakeIfFull();
    uint32_t CountThrough(uint32_t Pos) const;
    [[nodiscard]] int32_t WriteTraceFile(const std::string& FName, bool Append, bool InHex,
                                         bool AllHex);
    [[nodiscard]] int32_t WriteDispatchLog(const std::string& FName, bool Append, bool InHex,
                                           bool AllHex);
    uint32_t LogTime() const;
    void PurgeDeletedHandlers();
    bool StatusLoop();

    bool FDestroyed = false;
};
