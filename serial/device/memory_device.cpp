// The in-memory device layer.
#include "serial/device/memory_device.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include "serial/dispatch/io_queue.h"

namespace {
std::mutex& PortsLock() {
    static std::mutex lock;
    return lock;
}
std::set<std::wstring>& MissingPorts() {  // guarded by PortsLock
    static std::set<std::wstring> names;
    return names;
}
std::set<std::wstring>& OpenPorts() {  // guarded by PortsLock
    static std::set<std::wstring> names;
    return names;
}
constexpr int32_t kBlockSize = 256;
constexpr int32_t kFileNotFound = 2;
constexpr int32_t kAccessDenied = 5;
}  // namespace

// The device thread: stands for the reader, writer and status threads of a real device; it only
// waits until told to end, or to fail.
class TSioMemoryDispatcher::TDeviceThread : public TSioDispatcherThread {
  public:
    TDeviceThread(TSioMemoryDispatcher* Disp) : TSioDispatcherThread(Disp), FDevice(Disp) {}

  protected:
    int32_t Execute() override {
        H->ThreadStarted();
        int32_t code = 0;
        while (!Terminated() && !H->KillThreads.load()) {
            FDevice->FWake.Wait(50);
            if (FDevice->FThreadRaises.load()) {
                std::lock_guard lock(FDevice->DeviceLock);
                throw std::runtime_error(FDevice->FRaised);
            }
            code = FDevice->FThreadFailure.load();
            if (code != 0) {
                FDevice->StopThreads();
                break;
            }
        }
        SetReturnValue(code);
        H->ThreadFinished(this);
        return code;
    }

  private:
    TSioMemoryDispatcher* FDevice;  // not owned; the same object as H
};

TSioMemoryDispatcher::TSioMemoryDispatcher(TComponent* Owner) : TSioBaseDispatcher(Owner) {
    FDeviceDcb.BaudRate = 9600;
    FDeviceDcb.ByteSize = 8;
}

TSioMemoryDispatcher::~TSioMemoryDispatcher() { Destroy(); }

void TSioMemoryDispatcher::Receive(std::string_view bytes) {
    while (!bytes.empty()) {
        auto n = static_cast<int32_t>(std::min<size_t>(bytes.size(), kBlockSize));
        auto block = std::make_unique<TDataBuffer>(kBlockSize);
        std::copy_n(bytes.data(), n, block->Data());
        block->SetBytesUsed(n);
        FQueue->Push(std::move(block));
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void TSioMemoryDispatcher::SignalEvent(uint32_t mask) {
    auto status = std::make_unique<TStatusBuffer>();
    status->SetStatus(mask);
    FQueue->Push(std::move(status));
}

void TSioMemoryDispatcher::SetModemLines(uint32_t lines) {
    std::lock_guard lock(DeviceLock);
    FModemLines = lines & 0xF0;
}

void TSioMemoryDispatcher::AddLineErrors(uint32_t bits) {
    std::lock_guard lock(DeviceLock);
    FLineErrors |= bits;
}

void TSioMemoryDispatcher::SetHoldFlags(uint32_t flags) {
    std::lock_guard lock(DeviceLock);
    FHoldFlags = flags;
}

void TSioMemoryDispatcher::SendWaitingOutput() {
    std::lock_guard output(OutputSection);
    if (!OBuffer) return;
    std::string bytes;
    if (OBufFull || OBufHead != OBufTail) {
        if (OBufHead > OBufTail) {
            bytes.assign(reinterpret_cast<const char*>(&OBuffer[OBufTail]), OBufHead - OBufTail);
        } else {
            bytes.assign(reinterpret_cast<const char*>(&OBuffer[OBufTail]), OutQue - OBufTail);
            bytes.append(reinterpret_cast<const char*>(&OBuffer[0]), OBufHead);
        }
    }
    OBufHead = OBufTail = 0;
    OBufFull = false;
    std::lock_guard lock(DeviceLock);
    FSent += bytes;
}

std::string TSioMemoryDispatcher::Transmit() {
    SendWaitingOutput();
    std::lock_guard lock(DeviceLock);
    return std::exchange(FSent, std::string());
}

void TSioMemoryDispatcher::SetAutoTransmit(bool on) {
    std::lock_guard lock(DeviceLock);
    FAutoTransmit = on;
}

void TSioMemoryDispatcher::SetPortMissing(const std::wstring& name, bool missing) {
    std::lock_guard lock(PortsLock());
    if (missing)
        MissingPorts().insert(name);
    else
        MissingPorts().erase(name);
}

void TSioMemoryDispatcher::FailOpen(int32_t systemError) {
    std::lock_guard lock(DeviceLock);
    FOpenError = systemError;
}
void TSioMemoryDispatcher::FailSetupQueues(int32_t systemError) {
    std::lock_guard lock(DeviceLock);
    FSetupQueuesError = systemError;
}
void TSioMemoryDispatcher::FailWriteDeviceState(int32_t systemError) {
    std::lock_guard lock(DeviceLock);
    FWriteStateError = systemError;
}
void TSioMemoryDispatcher::FailReadDeviceState(bool fail) {
    std::lock_guard lock(DeviceLock);
    FReadStateFails = fail;
}
void TSioMemoryDispatcher::FailLineControl(bool fail) {
    std::lock_guard lock(DeviceLock);
    FLineControlFails = fail;
}
void TSioMemoryDispatcher::LimitWriteCom(int32_t accepted) {
    std::lock_guard lock(DeviceLock);
    FWriteComLimit = accepted;
}
void TSioMemoryDispatcher::EndDeviceThreadWithError(int32_t exitCode) {
    FThreadFailure.store(exitCode);
    FWake.Set();
}
void TSioMemoryDispatcher::RaiseInDeviceThread(const std::string& what) {
    {
        std::lock_guard lock(DeviceLock);
        FRaised = what;
    }
    FThreadRaises.store(true);
    FWake.Set();
}
void TSioMemoryDispatcher::RaiseInReadCom(const std::string& what) {
    std::lock_guard lock(DeviceLock);
    FReadComRaises = what;
}

TSioDCB TSioMemoryDispatcher::DeviceDCB() {
    std::lock_guard lock(DeviceLock);
    return FDeviceDcb;
}
int TSioMemoryDispatcher::WriteDeviceStateCalls() {
    std::lock_guard lock(DeviceLock);
    return FWriteStateCalls;
}
int TSioMemoryDispatcher::LineControlCalls() {
    std::lock_guard lock(DeviceLock);
    return FLineControlCalls;
}
bool TSioMemoryDispatcher::DtrLine() {
    std::lock_guard lock(DeviceLock);
    return FDtr;
}
bool TSioMemoryDispatcher::RtsLine() {
    std::lock_guard lock(DeviceLock);
    return FRts;
}
bool TSioMemoryDispatcher::BreakOn() {
    std::lock_guard lock(DeviceLock);
    return FBreak;
}
bool TSioMemoryDispatcher::DeviceOpen() {
    std::lock_guard lock(DeviceLock);
    return FOpen;
}

int32_t TSioMemoryDispatcher::LineControl(int32_t Func) {
    std::lock_guard lock(DeviceLock);
    ++FLineControlCalls;
    if (FLineControlFails) return -1;
    switch (Func) {
        case lcSetRts:
            FRts = true;
            break;
        case lcClrRts:
            FRts = false;
            break;
        case lcSetDtr:
            FDtr = true;
            break;
        case lcClrDtr:
            FDtr = false;
            break;
        default:
            return -1;
    }
    return 0;
}

int32_t TSioMemoryDispatcher::PurgeQueue(int32_t Queue) {
    if (Queue == 0) {
        std::lock_guard output(OutputSection);
        OBufHead = OBufTail = 0;
        OBufFull = false;
        return 1;
    }
    FQueue->Clear();
    return 1;
}

int32_t TSioMemoryDispatcher::ReadErrors(TSioComStat& Stat) {
    int32_t pending = OutputPending();
    int32_t queued = FQueue->BytesQueued();
    std::lock_guard lock(DeviceLock);
    uint32_t bits = FLineErrors;
    FLineErrors = 0;
    Stat.Flags = FHoldFlags;
    Stat.cbInQue = static_cast<uint32_t>(std::max(queued, 0));
    Stat.cbOutQue = static_cast<uint32_t>(std::max(pending, 0));
    return static_cast<int32_t>(bits);
}

int32_t TSioMemoryDispatcher::ReadErrorHook(int32_t) { return 0; }

int32_t TSioMemoryDispatcher::ReadDeviceState(TSioDCB& DCB) {
    std::lock_guard lock(DeviceLock);
    if (FReadStateFails) return -1;
    DCB = FDeviceDcb;
    return 0;
}

int32_t TSioMemoryDispatcher::ReadCom(uint8_t* Buf, int32_t Size) {
    {
        std::lock_guard lock(DeviceLock);
        if (!FReadComRaises.empty()) throw std::runtime_error(FReadComRaises);
    }
    int32_t copied = 0;
    while (copied < Size) {
        TIOBuffer* item = FQueue->Peek();
        if (!item) break;
        auto* data = ItemAs<TDataBuffer>(item);
        if (!data) {
            item->SetInUse(false);  // a status word: the dispatcher thread's to take
            break;
        }
        int32_t n = std::min(Size - copied, data->BytesUsed() - data->BytesRead());
        std::copy_n(data->Data() + data->BytesRead(), n, Buf + copied);
        copied += n;
        data->SetBytesRead(data->BytesRead() + n);
        if (data->BytesRead() == data->BytesUsed())
            FQueue->Pop();
        else
            data->SetInUse(false);
    }
    return copied;
}

int32_t TSioMemoryDispatcher::WriteDeviceState(TSioDCB& DCB) {
    std::lock_guard lock(DeviceLock);
    ++FWriteStateCalls;
    if (FWriteStateError != 0) return -FWriteStateError;
    FDeviceDcb = DCB;
    return 0;
}

int32_t TSioMemoryDispatcher::WriteCom(const uint8_t* Buf, int32_t Size) {
    std::lock_guard output(OutputSection);
    int32_t limit;
    bool autoTransmit;
    {
        std::lock_guard lock(DeviceLock);
        limit = FWriteComLimit;
        autoTransmit = FAutoTransmit;
    }
    if (!OBuffer) return 0;
    int32_t taken = limit >= 0 ? std::min(limit, Size) : Size;
    for (int32_t i = 0; i < taken; ++i) {
        OBuffer[OBufHead] = Buf[i];
        OBufHead = (OBufHead + 1) % OutQue;
    }
    if (taken < Size) OBufFull = taken > 0 && OBufHead == OBufTail;
    if (autoTransmit) SendWaitingOutput();
    return taken < Size ? -taken : Size;
}

bool TSioMemoryDispatcher::WaitDeviceEvent(int32_t& Mask) {
    Mask = 0;
    return true;
}

bool TSioMemoryDispatcher::SetupQueues(int32_t, int32_t) {
    std::lock_guard lock(DeviceLock);
    if (FSetupQueuesError == 0) return true;
    FLastOsError = FSetupQueuesError;
    return false;
}

void TSioMemoryDispatcher::SetRunThreads(bool run) { FRunThreads.store(run); }

void TSioMemoryDispatcher::RunPass() {
    DispatchQueuedItem();
    CheckIdleTriggers();
}

void TSioMemoryDispatcher::LaunchThreads() {
    std::lock_guard lock(DataSection);
    if (DispActive.load()) throw std::runtime_error("Dispatcher already started.");
    if (!FRunThreads.load()) return;
    DispActive.store(true);
    KillThreads.store(false);
    FThreadFailure.store(0);
    FThreadRaises.store(false);
    if (ComThread) ComThread->Join();
    ComThread = std::make_unique<TDeviceThread>(this);
    ComThread->Start();
    GeneralEvent->Wait(3000);
    StartDispatcherThread();
    GeneralEvent->Wait(3000);
}

void TSioMemoryDispatcher::HaltThreads() {
    // Stopping the threads: the device goes whatever the close answers.
    if (DispActive.load()) (void)CloseCom();
    // The events go only once no thread can signal them any more. A dispatcher thread that runs
    // this itself as it ends still counts as active, and a CloseCom already under way on another
    // thread may not have waited yet: then the events stay until the dispatcher is freed.
    if (ActiveThreads.load() != 0) return;
    GeneralEvent.reset();
    OutputEvent.reset();
    OutFlushEvent.reset();
    ReadyEvent.reset();
    ComEvent.reset();
    SentEvent.reset();
}

int32_t TSioMemoryDispatcher::OutputPending() {
    std::lock_guard output(OutputSection);
    if (OBufFull) return static_cast<int32_t>(OutQue);
    if (OBufTail <= OBufHead) return static_cast<int32_t>(OBufHead - OBufTail);
    return static_cast<int32_t>(OutQue - OBufTail + OBufHead);
}

int32_t TSioMemoryDispatcher::InputAvailable() {
    TIOBuffer* item = FQueue->Peek();
    if (!item) return 0;
    int32_t n = 0;
    if (auto* data = ItemAs<TDataBuffer>(item)) n = data->BytesUsed() - data->BytesRead();
    item->SetInUse(false);
    return n;
}

int32_t TSioMemoryDispatcher::OpenCom(const std::wstring& ComName, uint32_t, uint32_t) {
    std::lock_guard ports(PortsLock());
    std::lock_guard lock(DeviceLock);
    if (FOpenError == -8) return -8;
    if (FOpenError != 0) {
        FLastOsError = FOpenError;
        return -1;
    }
    if (MissingPorts().count(ComName)) {
        FLastOsError = kFileNotFound;
        return -1;
    }
    if (OpenPorts().count(ComName)) {
        FLastOsError = kAccessDenied;
        return -1;
    }
    OpenPorts().insert(ComName);
    FOpenName = ComName;
    FOpen = true;
    return 1;
}

int32_t TSioMemoryDispatcher::CloseCom() {
    if (CloseComActive.exchange(true)) return 0;
    StopThreads();
    if (ComThread) ComThread->Join();
    EndDispatcherThread(4000);
    {
        std::lock_guard ports(PortsLock());
        std::lock_guard lock(DeviceLock);
        if (FOpen) OpenPorts().erase(FOpenName);
        FOpen = false;
    }
    CidEx.store(-1);
    CloseComActive.store(false);
    return 0;
}

void TSioMemoryDispatcher::StopThreads() {
    TSioBaseDispatcher::StopThreads();
    FWake.Set();
}

bool TSioMemoryDispatcher::CheckPort(const std::wstring& ComName) {
    std::lock_guard ports(PortsLock());
    return MissingPorts().count(ComName) == 0;
}

int32_t TSioMemoryDispatcher::ProcessCommunications() {
    std::this_thread::yield();
    return 0;
}

void TSioMemoryDispatcher::SetDeviceBreak(bool On) {
    std::lock_guard lock(DeviceLock);
    FBreak = On;
}

uint32_t TSioMemoryDispatcher::ReadModemLines() {
    std::lock_guard lock(DeviceLock);
    return FModemLines;
}

int32_t TSioMemoryDispatcher::OsLastError() {
    std::lock_guard lock(DeviceLock);
    return FLastOsError;
}

void TSioMemoryDispatcher::PauseForLine(uint32_t) {}
