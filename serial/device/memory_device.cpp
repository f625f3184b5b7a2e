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
    TDeviceThread(TSioMemoryDispatcher* Disp) : TSioDispatcherThread(Disp), device_(Disp) {}

  protected:
    int32_t Execute() override {
        H->ThreadStarted();
        int32_t code = 0;
        while (!Terminated() && !H->KillThreads.load()) {
            device_->wake_.Wait(50);
            if (device_->threadRaises_.load()) {
                std::lock_guard lock(device_->DeviceLock);
                throw std::runtime_error(device_->raised_);
            }
            code = device_->threadFailure_.load();
            if (code != 0) {
                device_->StopThreads();
                break;
            }
        }
        SetReturnValue(code);
        H->ThreadFinished(this);
        return code;
    }

  private:
    TSioMemoryDispatcher* device_;  // not owned; the same object as H
};

TSioMemoryDispatcher::TSioMemoryDispatcher(TComponent* Owner) : TSioBaseDispatcher(Owner) {
    deviceDcb_.BaudRate = 9600;
    deviceDcb_.ByteSize = 8;
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
    modemLines_ = lines & 0xF0;
}

void TSioMemoryDispatcher::AddLineErrors(uint32_t bits) {
    std::lock_guard lock(DeviceLock);
    lineErrors_ |= bits;
}

void TSioMemoryDispatcher::SetHoldFlags(uint32_t flags) {
    std::lock_guard lock(DeviceLock);
    holdFlags_ = flags;
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
    sent_ += bytes;
}

std::string TSioMemoryDispatcher::Transmit() {
    SendWaitingOutput();
    std::lock_guard lock(DeviceLock);
    return std::exchange(sent_, std::string());
}

void TSioMemoryDispatcher::SetAutoTransmit(bool on) {
    std::lock_guard lock(DeviceLock);
    autoTransmit_ = on;
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
    openError_ = systemError;
}
void TSioMemoryDispatcher::FailSetupQueues(int32_t systemError) {
    std::lock_guard lock(DeviceLock);
    setupQueuesError_ = systemError;
}
void TSioMemoryDispatcher::FailWriteDeviceState(int32_t systemError) {
    std::lock_guard lock(DeviceLock);
    writeStateError_ = systemError;
}
void TSioMemoryDispatcher::FailReadDeviceState(bool fail) {
    std::lock_guard lock(DeviceLock);
    readStateFails_ = fail;
}
void TSioMemoryDispatcher::FailLineControl(bool fail) {
    std::lock_guard lock(DeviceLock);
    lineControlFails_ = fail;
}
void TSioMemoryDispatcher::LimitWriteCom(int32_t accepted) {
    std::lock_guard lock(DeviceLock);
    writeComLimit_ = accepted;
}
void TSioMemoryDispatcher::EndDeviceThreadWithError(int32_t exitCode) {
    threadFailure_.store(exitCode);
    wake_.Set();
}
void TSioMemoryDispatcher::RaiseInDeviceThread(const std::string& what) {
    {
        std::lock_guard lock(DeviceLock);
        raised_ = what;
    }
    threadRaises_.store(true);
    wake_.Set();
}
void TSioMemoryDispatcher::RaiseInReadCom(const std::string& what) {
    std::lock_guard lock(DeviceLock);
    readComRaises_ = what;
}

TSioDCB TSioMemoryDispatcher::DeviceDCB() {
    std::lock_guard lock(DeviceLock);
    return deviceDcb_;
}
int TSioMemoryDispatcher::WriteDeviceStateCalls() {
    std::lock_guard lock(DeviceLock);
    return writeStateCalls_;
}
int TSioMemoryDispatcher::LineControlCalls() {
    std::lock_guard lock(DeviceLock);
    return lineControlCalls_;
}
bool TSioMemoryDispatcher::DtrLine() {
    std::lock_guard lock(DeviceLock);
    return dtr_;
}
bool TSioMemoryDispatcher::RtsLine() {
    std::lock_guard lock(DeviceLock);
    return rts_;
}
bool TSioMemoryDispatcher::BreakOn() {
    std::lock_guard lock(DeviceLock);
    return break_;
}
bool TSioMemoryDispatcher::DeviceOpen() {
    std::lock_guard lock(DeviceLock);
    return open_;
}

int32_t TSioMemoryDispatcher::LineControl(int32_t Func) {
    std::lock_guard lock(DeviceLock);
    ++lineControlCalls_;
    if (lineControlFails_) return -1;
    switch (Func) {
        case lcSetRts:
            rts_ = true;
            break;
        case lcClrRts:
            rts_ = false;
            break;
        case lcSetDtr:
            dtr_ = true;
            break;
        case lcClrDtr:
            dtr_ = false;
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
    uint32_t bits = lineErrors_;
    lineErrors_ = 0;
    Stat.Flags = holdFlags_;
    Stat.cbInQue = static_cast<uint32_t>(std::max(queued, 0));
    Stat.cbOutQue = static_cast<uint32_t>(std::max(pending, 0));
    return static_cast<int32_t>(bits);
}

int32_t TSioMemoryDispatcher::ReadErrorHook(int32_t) { return 0; }

int32_t TSioMemoryDispatcher::ReadDeviceState(TSioDCB& DCB) {
    std::lock_guard lock(DeviceLock);
    if (readStateFails_) return -1;
    DCB = deviceDcb_;
    return 0;
}

int32_t TSioMemoryDispatcher::ReadCom(uint8_t* Buf, int32_t Size) {
    {
        std::lock_guard lock(DeviceLock);
        if (!readComRaises_.empty()) throw std::runtime_error(readComRaises_);
    }
    int32_t copied = 0;
    while (copied < Size) {
        TIOBuffer* item = FQueue->Peek();
        if (!item) break;
        auto* data = dynamic_cast<TDataBuffer*>(item);
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
    ++writeStateCalls_;
    if (writeStateError_ != 0) return -writeStateError_;
    deviceDcb_ = DCB;
    return 0;
}

int32_t TSioMemoryDispatcher::WriteCom(const uint8_t* Buf, int32_t Size) {
    std::lock_guard output(OutputSection);
    int32_t limit;
    bool autoTransmit;
    {
        std::lock_guard lock(DeviceLock);
        limit = writeComLimit_;
        autoTransmit = autoTransmit_;
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
    if (setupQueuesError_ == 0) return true;
    lastOsError_ = setupQueuesError_;
    return false;
}

void TSioMemoryDispatcher::SetRunThreads(bool run) { runThreads_.store(run); }

void TSioMemoryDispatcher::RunPass() {
    DispatchQueuedItem();
    CheckIdleTriggers();
}

void TSioMemoryDispatcher::LaunchThreads() {
    std::lock_guard lock(DataSection);
    if (DispActive.load()) throw std::runtime_error("Dispatcher already started.");
    if (!runThreads_.load()) return;
    DispActive.store(true);
    KillThreads.store(false);
    threadFailure_.store(0);
    threadRaises_.store(false);
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
    if (auto* data = dynamic_cast<TDataBuffer*>(item)) n = data->BytesUsed() - data->BytesRead();
    item->SetInUse(false);
    return n;
}

int32_t TSioMemoryDispatcher::OpenCom(const std::wstring& ComName, uint32_t, uint32_t) {
    std::lock_guard ports(PortsLock());
    std::lock_guard lock(DeviceLock);
    if (openError_ == -8) return -8;
    if (openError_ != 0) {
        lastOsError_ = openError_;
        return -1;
    }
    if (MissingPorts().count(ComName)) {
        lastOsError_ = kFileNotFound;
        return -1;
    }
    if (OpenPorts().count(ComName)) {
        lastOsError_ = kAccessDenied;
        return -1;
    }
    OpenPorts().insert(ComName);
    openName_ = ComName;
    open_ = true;
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
        if (open_) OpenPorts().erase(openName_);
        open_ = false;
    }
    CidEx.store(-1);
    CloseComActive.store(false);
    return 0;
}

void TSioMemoryDispatcher::StopThreads() {
    TSioBaseDispatcher::StopThreads();
    wake_.Set();
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
    break_ = On;
}

uint32_t TSioMemoryDispatcher::ReadModemLines() {
    std::lock_guard lock(DeviceLock);
    return modemLines_;
}

int32_t TSioMemoryDispatcher::OsLastError() {
    std::lock_guard lock(DeviceLock);
    return lastOsError_;
}

void TSioMemoryDispatcher::PauseForLine(uint32_t) {}
