// TSioBaseDispatcher's life cycle: creation and the list of live dispatchers, opening and
// closing the port, the final release, and the threads' start and end.
#include "serial/dispatch/base_dispatcher.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/clock.h"
#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/dispatch/dispatch_codes.h"
#include "serial/dispatch/io_queue.h"
#include "serial/errors/check_result_code.h"

std::vector<TSioBaseDispatcher*> DispatcherList;
TSioRecursiveSection DispatcherListLock;

namespace {
std::atomic<TSioBaseDispatcher::ThreadsEndedHook> gThreadsEnded{nullptr};
}  // namespace

TSioBaseDispatcher::TSioBaseDispatcher(TComponent* Owner)
    : FOwner(Owner),
      FQueue(std::make_unique<TIOQueue>()),
      DLoggingQueue(std::make_unique<TIOQueue>()) {
    std::lock_guard lock(DispatcherListLock);
    for (size_t i = 0; i < DispatcherList.size(); ++i) {
        if (!DispatcherList[i]) {
            DispatcherList[i] = this;
            FHandle = static_cast<int32_t>(i);
            return;
        }
    }
    DispatcherList.push_back(this);
    FHandle = static_cast<int32_t>(DispatcherList.size() - 1);
}

TSioBaseDispatcher::~TSioBaseDispatcher() {
    if (!FDestroyed) {
        // The device layer did not call Destroy: the device operations are gone, so the threads
        // can only be told to end and be waited for.
        KillThreads.store(true);
        JoinThreadsAndUnlist();
    }
}

void TSioBaseDispatcher::JoinThreadsAndUnlist() {
    for (auto* t : {ComThread.get(), OutThread.get(), StatusThread.get(),
                    static_cast<TSioDispatcherThread*>(FDispThread.get())})
        if (t) t->Join();
    std::lock_guard lock(DispatcherListLock);
    if (FHandle >= 0 && static_cast<size_t>(FHandle) < DispatcherList.size())
        DispatcherList[FHandle] = nullptr;
    while (!DispatcherList.empty() && !DispatcherList.back()) DispatcherList.pop_back();
}

void TSioBaseDispatcher::Destroy() {
    if (FDestroyed) return;
    FDestroyed = true;
    if (ClosePending.load())
        DonePortPrim();
    else
        DonePort();
    // The threads may be inside a call onto this (main) thread: keep its messages flowing.
    while (ActiveThreads.load() > 0) {
        ::PumpOneMessage();
        std::this_thread::yield();
    }
    JoinThreadsAndUnlist();
    std::lock_guard lock(DataSection);
    TimerTriggers.clear();
    DataTriggers.clear();
    DataScanStale = true;
    StatusTriggers.clear();
    WndTriggerHandlers.clear();
    ProcTriggerHandlers.clear();
    EventTriggerHandlers.clear();
}

int32_t TSioBaseDispatcher::InitPort(const std::wstring& AComName, int32_t Baud, uint32_t Parity,
                                     TDatabits DataBits, TStopbits StopBits, uint32_t InSize,
                                     uint32_t OutSize, uint32_t FlowOpts) {
    {
        std::lock_guard lock(DataSection);
        RingFlag = false;
        FEventBusy.store(false);
        FEventHolds.store(0);
        DeletePending = false;
    }
    {
        std::lock_guard disp(DispSection);
        std::lock_guard output(OutputSection);
        DBuffer.reset();
        OBuffer.reset();
    }
    using platform::Event;
    ComEvent = std::make_unique<Event>(Event::Reset::Auto);
    ReadyEvent = std::make_unique<Event>(Event::Reset::Auto);
    ReadySignalled = false;
    GeneralEvent = std::make_unique<Event>(Event::Reset::Auto);
    OutputEvent = std::make_unique<Event>(Event::Reset::Auto);
    SentEvent = std::make_unique<Event>(Event::Reset::Manual);
    OutFlushEvent = std::make_unique<Event>(Event::Reset::Auto);

    auto failure = [this](int32_t code) {
        DonePort();
        return code;
    };
    int32_t r = OpenCom(AComName, InSize, OutSize);
    CidEx.store(r);
    if (r < 0) return failure(r == ecOutOfMemory ? ecOutOfMemory : -OsLastError());
    r = SetCommBuffers(static_cast<int32_t>(InSize), static_cast<int32_t>(OutSize));
    if (r != 0) return failure(r);

    {
        std::lock_guard disp(DispSection);
        std::lock_guard data(DataSection);
        std::lock_guard output(OutputSection);
        DBuffer = std::make_unique<uint8_t[]>(DispatchBufferSize);
        OBuffer = std::make_unique<uint8_t[]>(OutSize);
        OBufHead = OBufTail = 0;
        OBufFull = false;
        InQue = InSize;
        OutQue = OutSize;
        LastError = 0;
        OutSentPending = false;
        ClosePending.store(false);
        DispatchFull = false;
        GetCount = 0;
        RS485Mode = false;
        BaseAddress = 0;
        // The settings the device opened with, the base of the line and flow changes that
        // follow; a device whose state cannot be read refuses those changes' writes too, and
        // they report it.
        (void)ReadDeviceState(DCB);
    }
    // DTR and RTS: left to the flow control (options 16 and 32), or raised or lowered as the
    // options 1 and 2 say.
    auto initLine = [this](bool automatic, bool& autoFlag, bool raise,
                           int32_t (TSioBaseDispatcher::*set)(bool)) {
        {
            std::lock_guard lock(DataSection);
            autoFlag = automatic;
        }
        if (!automatic) (this->*set)(raise);
    };
    initLine((FlowOpts & 16) != 0, DTRAuto, (FlowOpts & 1) != 0, &TSioBaseDispatcher::SetDtr);
    initLine((FlowOpts & 32) != 0, RTSAuto, (FlowOpts & 2) != 0, &TSioBaseDispatcher::SetRts);
    RemoveAllTriggers();
    {
        std::lock_guard disp(DispSection);
        std::lock_guard data(DataSection);
        LastTailData = 0;
        DBufHead = DBufTail = NotifyTail = 0;
        FilledSinceNotify = false;
        FilledSinceScan = false;
        InAvailMessage = false;
        ModemStatus = 0;
    }
    ClearStatusHits();
    ReadModemStatus(0xF0);
    {
        std::lock_guard lock(DataSection);
        LastBaud = 115200;
    }
    r = SetLine(Baud, Parity, DataBits, StopBits);
    if (r != 0) return failure(r);

    RefreshLineErrors();
    AbortTracing();
    TimeBase = platform::NowMs();
    DLoggingOn.store(false);
    DLoggingMax.store(0);
    LaunchThreads();
    return 0;
}

void TSioBaseDispatcher::DonePort() {
    if (CidEx.load() >= 0) {
        // The port closes whatever these answer, and nobody is left to tell: the device's
        // handle goes with CloseCom, and a failing device was reported when it failed.
        (void)FlushOutBuffer();
        (void)FlushInBuffer();
        (void)CloseCom();
    }
    if (EventBusy())
        ClosePending.store(true);
    else
        DonePortPrim();
}

void TSioBaseDispatcher::DonePortPrim() {
    DoDonePortPrim.store(false);
    if (DispActive.load()) HaltThreads();
    // All three sections: a reader or writer on another thread checks for the buffers under its
    // own section and finds them gone rather than freed under its feet.
    std::lock_guard disp(DispSection);
    std::lock_guard data(DataSection);
    std::lock_guard output(OutputSection);
    OBuffer.reset();
    DBuffer.reset();
}

int32_t TSioBaseDispatcher::SetCommBuffers(int32_t InSize, int32_t OutSize) {
    if (!SetupQueues(InSize, OutSize)) return -OsLastError();
    return 0;
}

void TSioBaseDispatcher::BufferSizes(uint32_t& InSize, uint32_t& OutSize) const {
    InSize = InQue;
    OutSize = OutQue;
}

int32_t TSioBaseDispatcher::InputAvailable() { return 0; }

void TSioBaseDispatcher::ThreadStarted() {
    ActiveThreads.fetch_add(1);
    if (GeneralEvent) GeneralEvent->Set();
}

void TSioBaseDispatcher::ThreadFinished(TSioDispatcherThread* Thread) {
    try {
        CheckResultCode(FOwner.load(), Thread->ReturnValue());
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }
    if (Thread->IsDispatcherThread() && DoDonePortPrim.load()) {
        DonePortPrim();
        DoDonePortPrim.store(false);
    }
    Thread->MarkFinished();
    if (ActiveThreads.fetch_sub(1) != 1) return;
    DispActive.store(false);
    // From here on the dispatcher may be gone: nothing of it is touched.
    if (const ThreadsEndedHook ended = gThreadsEnded.load()) ended();
}

void TSioBaseDispatcher::SetThreadsEndedHook(ThreadsEndedHook Hook) { gThreadsEnded.store(Hook); }

void TSioBaseDispatcher::ThreadDied(TSioDispatcherThread* Thread) {
    StopThreads();
    if (Thread->IsDispatcherThread()) DoDonePortPrim.store(true);
    ThreadFinished(Thread);
}

void TSioBaseDispatcher::StopThreads() {
    KillThreads.store(true);
    FQueue->Wake();
}

bool TSioBaseDispatcher::DispatchBufferFull() {
    std::lock_guard lock(DispSection);
    return DBuffer && DispatchFull;
}

void TSioBaseDispatcher::StartDispatcherThread() {
    if (FDispThread) FDispThread->Join();
    FDispThread = std::make_unique<TDispThread>(this);
    FDispThread->Start();
}

void TSioBaseDispatcher::LaunchDeviceThreads(const std::function<void()>& ResetSignals,
                                             const TDeviceThreadMaker& Reader,
                                             const TDeviceThreadMaker& Writer,
                                             const TDeviceThreadMaker& Status) {
    constexpr uint32_t kStartWaitMs = 3000;
    std::lock_guard lock(DataSection);
    if (DispActive.load()) throw std::runtime_error("Dispatcher already started.");
    DispActive.store(true);
    KillThreads.store(false);
    FFirstFailureShown.store(0);
    ResetSignals();
    auto awaitStart = [this] { (void)GeneralEvent->Wait(kStartWaitMs); };
    ComThread = Reader();
    ComThread->Start();
    awaitStart();
    StartDispatcherThread();
    awaitStart();
    OutThread = Writer();
    OutThread->Start();
    awaitStart();
    StatusThread = Status();
    StatusThread->Start();
    awaitStart();
}

void TSioBaseDispatcher::DeviceThreadEnded(TSioDispatcherThread* Thread, int32_t ExitCode) {
    if (ExitCode < 0 && !RepeatsShownFailure(ExitCode)) {
        try {
            CheckResultCode(Owner(), ExitCode);
        } catch (const std::exception& e) {
            platform::ShowException(e);
        }
    }
    ThreadFinished(Thread);
}

void TSioBaseDispatcher::HaltDeviceThreads() {
    // A failed close has been reported by the close itself; the threads end either way.
    if (DispActive.load()) (void)CloseCom();
    if (CloseComActive.load() || ActiveThreads.load() != 0) return;
    ComEvent.reset();
    ReadyEvent.reset();
    GeneralEvent.reset();
    OutputEvent.reset();
    SentEvent.reset();
    OutFlushEvent.reset();
}

bool TSioBaseDispatcher::EndDispatcherThread(uint32_t timeoutMs) {
    TDispThread* t = FDispThread.get();
    if (!t || !t->Joinable()) return true;
    if (t->IsCurrentThread()) return false;
    // The thread waits for this one, inside a call onto it that may be the very caller of this
    // close: waiting would stall for the whole time-out. It ends itself once that call returns
    // (the close is then finished later, as after any close during an event).
    if (t->InCallOntoMainThread() && platform::IsMainThread()) return false;
    uint32_t start = platform::NowMs();
    while (!t->Finished() && platform::NowMs() - start < timeoutMs) {
        ::PumpOneMessage();
        std::this_thread::yield();
    }
    if (!t->Finished()) return false;
    t->Join();
    return true;
}

void TSioBaseDispatcher::SetThreadBoost(uint8_t Boost) {
    std::lock_guard lock(DataSection);
    if (Boost == ThreadBoost) return;
    ThreadBoost = Boost;
    auto priority = [](int steps) {
        int p = static_cast<int>(platform::TThreadPriority::tpNormal) + steps;
        if (p > static_cast<int>(platform::TThreadPriority::tpTimeCritical))
            p = static_cast<int>(platform::TThreadPriority::tpTimeCritical);
        return static_cast<platform::TThreadPriority>(p);
    };
    for (auto* t : {ComThread.get(), StatusThread.get(),
                    static_cast<TSioDispatcherThread*>(FDispThread.get())})
        if (t && !t->Finished()) t->SetPriority(priority(Boost));
    if (OutThread && !OutThread->Finished())
        OutThread->SetPriority(priority(Boost + (RS485Mode ? 1 : 0)));
}

void TSioBaseDispatcher::SetRS485Mode(bool OnOff) {
    std::lock_guard lock(DataSection);
    RS485Mode = OnOff;
    if (OutThread && !OutThread->Finished()) {
        int p =
            static_cast<int>(platform::TThreadPriority::tpNormal) + ThreadBoost + (OnOff ? 1 : 0);
        OutThread->SetPriority(static_cast<platform::TThreadPriority>(p));
    }
}
