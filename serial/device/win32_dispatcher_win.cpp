// TSioWin32Dispatcher's device operations, opening and closing, and the start of its threads.
#include "serial/device/win32_dispatcher.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "serial/device/device_queue_io.h"
#include "serial/device/win32_dispatcher_threads.h"
#include "serial/dispatch/io_queue.h"
#include "serial/dispatch/tick_timer.h"

namespace {
constexpr DWORD kPurgeWaitMs = 5000;
constexpr uint32_t kModemRetryMs = 1000;
constexpr uint32_t kDispatcherWaitMs = 36 * 55;  // 36 ticks

// The settings record's bit fields sit in one 32-bit word right after BaudRate; our Flags word
// uses the same bit positions.
uint32_t DcbFlags(const DCB& d) {
    uint32_t flags;
    std::memcpy(&flags, reinterpret_cast<const uint8_t*>(&d.BaudRate) + sizeof d.BaudRate,
                sizeof flags);
    return flags;
}
void SetDcbFlags(DCB& d, uint32_t flags) {
    std::memcpy(reinterpret_cast<uint8_t*>(&d.BaudRate) + sizeof d.BaudRate, &flags, sizeof flags);
}
}  // namespace

TSioWin32Dispatcher::TSioWin32Dispatcher(TComponent* Owner) : TSioBaseDispatcher(Owner) {}

TSioWin32Dispatcher::~TSioWin32Dispatcher() { Destroy(); }

int32_t TSioWin32Dispatcher::LineControl(int32_t Func) {
    // Devices without modem lines refuse this; the requested level is kept by the dispatcher.
    EscapeCommFunction(Device(), static_cast<DWORD>(Func));
    return 0;
}

int32_t TSioWin32Dispatcher::PurgeQueue(int32_t Queue) {
    HANDLE dev = Device();
    if (Queue == 0) {
        TSioDispatcherThread* writer = OutThread.get();
        if (!writer || writer->Finished() || !OutFlushEvent || !GeneralEvent) return 0;
        {
            std::lock_guard lock(OutputSection);
            OBufFull = false;
            OBufHead = OBufTail = 0;
        }
        BOOL ok = PurgeComm(dev, PURGE_TXABORT | PURGE_TXCLEAR);
        OutFlushEvent->Set();
        // The writer acknowledges on GeneralEvent; a writer that ends meanwhile never will.
        for (DWORD waited = 0; waited < kPurgeWaitMs && !writer->Finished(); waited += 100)
            if (GeneralEvent->Wait(100) == platform::WaitResult::Signaled) break;
        return ok ? 1 : 0;
    }
    if (Queue == 1) {
        BOOL ok = PurgeComm(dev, PURGE_RXABORT | PURGE_RXCLEAR);
        FQueue->Clear();
        // A reader held at the bound would otherwise look again only after its wait's time-out.
        if (FReaderHold.ReleaseAfterPurge(*FQueue)) FSerialEvent.Set();
        return ok ? 1 : 0;
    }
    return 0;
}

int32_t TSioWin32Dispatcher::ReadErrors(TSioComStat& Stat) {
    DWORD errors = 0;
    COMSTAT cs{};
    BOOL ok = ClearCommError(Device(), &errors, &cs);
    if (ok) {
        std::memcpy(&Stat.Flags, &cs, sizeof Stat.Flags);  // fCtsHold.. as bits 1, 2, 4, 8, 16
        Stat.Flags &= 0x7F;
        Stat.cbInQue = cs.cbInQue;
    }
    Stat.cbOutQue = static_cast<uint32_t>(OutputPending());
    const uint32_t sampled = FSampledErrors.exchange(0);
    return static_cast<int32_t>((ok ? errors : 0) | sampled);
}

uint32_t TSioWin32Dispatcher::SampleLineErrors() {
    DWORD errors = 0;
    COMSTAT cs{};
    if (!ClearCommError(Device(), &errors, &cs)) return 0;
    FSampledErrors.fetch_or(errors);
    return errors;
}

int32_t TSioWin32Dispatcher::ReadErrorHook(int32_t) { return 0; }

int32_t TSioWin32Dispatcher::ReadDeviceState(TSioDCB& Out) {
    ::DCB d{};
    d.DCBlength = sizeof d;
    if (!GetCommState(Device(), &d)) return -1;
    Out.BaudRate = d.BaudRate;
    Out.Flags = DcbFlags(d);
    Out.XonLim = d.XonLim;
    Out.XoffLim = d.XoffLim;
    Out.ByteSize = d.ByteSize;
    Out.Parity = d.Parity;
    Out.StopBits = d.StopBits;
    Out.XonChar = d.XonChar;
    Out.XoffChar = d.XoffChar;
    Out.ErrorChar = d.ErrorChar;
    Out.EofChar = d.EofChar;
    Out.EvtChar = d.EvtChar;
    return 0;
}

int32_t TSioWin32Dispatcher::WriteDeviceState(TSioDCB& In) {
    // Start from the device's record so that fields this layer does not model keep their
    // values; every field the dispatcher relies on is then set, whatever the device reported.
    ::DCB d{};
    d.DCBlength = sizeof d;
    GetCommState(Device(), &d);
    d.DCBlength = sizeof d;
    d.BaudRate = In.BaudRate;
    SetDcbFlags(d, (DcbFlags(d) & ~0x3FFFu) | (In.Flags & 0x3FFFu));
    d.XonLim = In.XonLim;
    d.XoffLim = In.XoffLim;
    d.ByteSize = In.ByteSize;
    d.Parity = In.Parity;
    d.StopBits = In.StopBits;
    d.XonChar = In.XonChar;
    d.XoffChar = In.XoffChar;
    d.ErrorChar = In.ErrorChar;
    d.EofChar = In.EofChar;
    d.EvtChar = In.EvtChar;
    if (!SetCommState(Device(), &d)) return -static_cast<int32_t>(GetLastError());
    return 0;
}

int32_t TSioWin32Dispatcher::ReadCom(uint8_t* Buf, int32_t Size) {
    int32_t copied = FQueue->TakeBytes(Buf, Size);
    // The held reader is woken once the queue has drained to half its bound: woken as soon as
    // there was room, it read one block, filled the queue again and waited again, block by block.
    if (copied > 0 && FReaderHold.ReleaseAfterTake(*FQueue, InputBound())) FSerialEvent.Set();
    return copied;
}

int32_t TSioWin32Dispatcher::InputBound() const {
    return TReaderHold::BoundFor(InQue);
}

bool TSioWin32Dispatcher::InputQueueHasRoom() { return FReaderHold.Room(*FQueue, InputBound()); }

int32_t TSioWin32Dispatcher::WriteCom(const uint8_t* Buf, int32_t Size) {
    if (AppendToOutputRing(*this, Buf, Size) == 0) return 0;
    OutputEvent->Set();
    return Size;
}

bool TSioWin32Dispatcher::WaitDeviceEvent(int32_t& Mask) {
    Mask = 0;
    return true;
}

bool TSioWin32Dispatcher::SetupQueues(int32_t InSize, int32_t OutSize) {
    if (SetupComm(Device(), static_cast<DWORD>(InSize), static_cast<DWORD>(OutSize))) return true;
    RecordOsError(GetLastError());
    return false;
}

void TSioWin32Dispatcher::LaunchThreads() {
    LaunchDeviceThreads(
        [this] {
            FStopEvent.ResetEvent();
            FReaderDrained.ResetEvent();
        },
        [this] { return std::make_unique<TReadThread>(this); },
        [this] { return std::make_unique<TWriteThread>(this); },
        [this] { return std::make_unique<TStatusThread>(this); });
}

void TSioWin32Dispatcher::HaltThreads() { HaltDeviceThreads(); }

int32_t TSioWin32Dispatcher::OutputPending() { return OutputRingUsed(*this); }

int32_t TSioWin32Dispatcher::InputAvailable() { return HeadBlockBytes(*FQueue); }

int32_t TSioWin32Dispatcher::OpenCom(const std::wstring& ComName, uint32_t, uint32_t) {
    HANDLE h = CreateFileW(ComName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        RecordOsError(err);
        SetLastError(err);
        return -1;
    }
    FDevice.reset(h);
    FDeviceHandle.store(h);
    FModemUnreadable.store(false);  // a new device is asked at once
    FSampledErrors.store(0);
    // Kernel handle values fit in 32 bits on every Windows.
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(h));
}

void TSioWin32Dispatcher::AwaitThreadEnd(TSioDispatcherThread* Thread) {
    if (!Thread || Thread->IsCurrentThread()) return;
    // The thread may be waiting for this thread's messages (a call synchronised with it).
    while (!Thread->Finished()) {
        ::PumpOneMessage();
        Sleep(1);
    }
    Thread->Join();
}

int32_t TSioWin32Dispatcher::CloseCom() {
    {
        std::lock_guard lock(DataSection);
        bool idle = false;
        if (!CloseComActive.compare_exchange_strong(idle, true)) return 0;  // a close runs
    }
    struct ClearActive {
        std::atomic<bool>& flag;
        ~ClearActive() { flag.store(false); }
    } clearActive{CloseComActive};

    if (DispActive.load()) {
        StopThreads();
        HANDLE dev = Device();
        if (StatusThread && !StatusThread->Finished()) {
            SetCommMask(dev, 0);  // ends the pending event wait
            if (ReadyEvent) ReadyEvent->Set();
            AwaitThreadEnd(StatusThread.get());
        }
        if (OutThread && !OutThread->Finished()) {
            if (OutFlushEvent) OutFlushEvent->Set();
            AwaitThreadEnd(OutThread.get());
        }
        if (ComThread && !ComThread->Finished()) {
            FSerialEvent.Set();
            if (GeneralEvent) GeneralEvent->ResetEvent();
            AwaitThreadEnd(ComThread.get());
        }
        // The dispatcher's timers are polled tick timers: there is no system timer to kill.
        if (FDispThread && !FDispThread->IsCurrentThread() && !FDispThread->Finished()) {
            if (!EndDispatcherThread(kDispatcherWaitMs)) {
                if (ComEvent) ComEvent->Set();
                if (!EndDispatcherThread(kDispatcherWaitMs)) {
                    // Still inside a handler: it is told to stop and is joined exactly once,
                    // by the dispatcher's destruction or by the next LaunchThreads.
                    FDispThread->Terminate();
                }
            }
        }
    }
    if (!FDevice) return 0;
    // Every device thread has ended, so no operation is pending on the handle.
    FDeviceHandle.store(INVALID_HANDLE_VALUE);
    HANDLE h = FDevice.release();
    if (!CloseHandle(h)) return -1;
    CidEx.store(-1);
    return 0;
}

bool TSioWin32Dispatcher::CheckPort(const std::wstring& ComName) {
    std::wstring name = ComName;
    if (name.size() >= 4 && _wcsnicmp(name.c_str(), L"\\\\.\\", 4) == 0) name.erase(0, 4);
    constexpr DWORD kRecordSize = 52;
    std::vector<uint8_t> block(kRecordSize, 0);
    auto ask = [&](DWORD blockSize) {
        std::fill(block.begin(), block.begin() + kRecordSize, 0);
        DWORD recordSize = kRecordSize;
        std::memcpy(block.data(), &recordSize, sizeof recordSize);  // dwSize
        DWORD size = blockSize;
        BOOL ok =
            GetDefaultCommConfigW(name.c_str(), reinterpret_cast<COMMCONFIG*>(block.data()), &size);
        return std::pair{ok != FALSE, size};
    };
    auto [ok, needed] = ask(kRecordSize);
    if (ok) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= kRecordSize) return false;
    block.assign(needed, 0);
    return ask(needed).first;
}

int32_t TSioWin32Dispatcher::ProcessCommunications() {
    Sleep(0);
    return 0;
}

void TSioWin32Dispatcher::SetDeviceBreak(bool On) {
    if (On)
        SetCommBreak(Device());
    else
        ClearCommBreak(Device());
}

uint32_t TSioWin32Dispatcher::ReadModemLines() {
    // A device without modem lines (or one that cannot report them) shows all lines low. It is
    // asked again only a second after a failed read: the dispatcher reads the lines on every
    // pass, once per received block, and on such devices (a pseudo-terminal under Wine) every
    // failed read still costs a round trip to the system.
    const uint32_t now = GetTickCount();
    if (FModemUnreadable.load() && static_cast<int32_t>(now - FModemRetryAt.load()) < 0) return 0;
    DWORD lines = 0;
    if (!GetCommModemStatus(Device(), &lines)) {
        FModemRetryAt.store(now + kModemRetryMs);
        FModemUnreadable.store(true);
        return 0;
    }
    FModemUnreadable.store(false);
    return lines & 0xF0;
}

int32_t TSioWin32Dispatcher::OsLastError() { return static_cast<int32_t>(FOsError.load()); }
