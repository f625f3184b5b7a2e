// TSioPosixDispatcher's device operations, opening and closing, and the start of its threads.
#include "serial/device/posix_dispatcher.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "serial/device/device_queue_io.h"
#include "serial/device/line_sample.h"
#include "serial/dispatch/io_queue.h"
#include "serial/device/posix_dispatcher_threads.h"
#include "serial/device/posix_ports.h"
#include "serial/device/posix_termios.h"

namespace {
constexpr uint32_t kPurgeWaitMs = 5000;
constexpr uint32_t kDispatcherWaitMs = 36 * 55;  // 36 ticks
// Line-error bits as ReadErrors reports them.
using line_sample::kCeBreak, line_sample::kCeFrame, line_sample::kCeOverrun, line_sample::kCeParity,
    line_sample::kCeRxOver;

// Opens Path as a serial device: without becoming the controlling terminal, non-blocking,
// exclusively. The descriptor, or -1 with errno set (EBUSY when another holds it).
int OpenExclusive(const std::string& Path) {
    int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // The lock holds against every opener that asks for it, privileged or not; TIOCEXCL keeps
    // out unprivileged openers that do not ask.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        errno = err;
        return -1;
    }
    ioctl(fd, TIOCEXCL);
    return fd;
}

// A new pseudo-terminal pair: Controller := its controlling side, FarEnd := the other side, held
// open so that the line does not hang up while no other program has it. False with errno set.
bool OpenPseudoTerminal(TUniqueFd& Controller, TUniqueFd& FarEnd, std::string& FarName) {
    TUniqueFd m(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m || grantpt(m.get()) != 0 || unlockpt(m.get()) != 0) return false;
    char name[128];
    if (ptsname_r(m.get(), name, sizeof name) != 0) return false;
    TUniqueFd s(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!s) return false;
    fcntl(m.get(), F_SETFL, fcntl(m.get(), F_GETFL) | O_NONBLOCK);
    Controller = std::move(m);
    FarEnd = std::move(s);
    FarName = name;
    return true;
}
// Removes the link at LinkPath while it names FarName: a link that another program has made there
// since (its own line under the same name) is left alone.
void RemoveLinkTo(const std::string& LinkPath, const std::string& FarName) {
    if (LinkPath.empty() || FarName.empty()) return;
    char target[256];
    const ssize_t n = readlink(LinkPath.c_str(), target, sizeof target);
    if (n > 0 && static_cast<size_t>(n) == FarName.size() &&
        FarName.compare(0, FarName.size(), target, static_cast<size_t>(n)) == 0)
        unlink(LinkPath.c_str());
}
}  // namespace

TSioPosixDispatcher::TSioPosixDispatcher(TComponent* Owner) : TSioBaseDispatcher(Owner) {}

TSioPosixDispatcher::~TSioPosixDispatcher() { Destroy(); }

int32_t TSioPosixDispatcher::Fail(int Errno) {
    FOsError.store(posix_ports::SystemErrorFromErrno(Errno));
    return -1;
}

int32_t TSioPosixDispatcher::OpenCom(const std::wstring& ComName, uint32_t, uint32_t) {
    std::optional<posix_ports::TPortTarget> target = posix_ports::Resolve(ComName);
    if (!target) return Fail(ENOENT);
    TUniqueFd device, farEnd;
    std::string farName;
    posix_ports::TPseudoTerminalClaim claim;
    if (target->PseudoTerminal) {
        claim = posix_ports::TPseudoTerminalClaim::Take(target->Number);
        if (!claim.Held()) return Fail(EBUSY);
        if (!OpenPseudoTerminal(device, farEnd, farName)) return Fail(errno);
        if (!target->LinkPath.empty()) {
            unlink(target->LinkPath.c_str());
            if (symlink(farName.c_str(), target->LinkPath.c_str()) != 0) return Fail(errno);
        }
    } else {
        device.reset(OpenExclusive(target->Path));
        if (!device) return Fail(errno);
    }
    termios tio{};
    if (tcgetattr(device.get(), &tio) != 0) {
        int err = errno;
        RemoveLinkTo(target->LinkPath, farName);
        return Fail(err);
    }
    // Raw, 8 data bits, no parity, no flow control from the start, at the device's own speed
    // (9600 when it has none we know): whatever a terminal left behind (a fresh terminal eats
    // XON and XOFF bytes) is not taken over; the component then sets the line it wants.
    TSioDCB record;
    record.Flags = dcb::fBinary;
    record.BaudRate = posix_termios::BaudOf(cfgetospeed(&tio));
    if (posix_termios::SpeedOf(record.BaudRate) == 0) record.BaudRate = 9600;
    posix_termios::ToTermios(record, tio);
    tcsetattr(device.get(), TCSANOW, &tio);
    {
        std::lock_guard lock(FStateLock);
        FShadow = record;
        FStateKnown = tcgetattr(device.get(), &FWritten) == 0;
    }
    int lines = 0;
    FHasModemLines.store(ioctl(device.get(), TIOCMGET, &lines) == 0);
    {
        std::lock_guard lock(FErrorLock);
        FCountsKnown = false;
        FPendingErrors = 0;
    }
    FClaim = std::move(claim);
    FLinkPath = target->LinkPath;
    FFarEndName = farName;
    FFarEnd = std::move(farEnd);
    FDevice = std::move(device);
    FDeviceFd.store(FDevice.get());
    (void)CollectLineErrors();  // the counts so far are not this port's errors
    {
        std::lock_guard lock(FErrorLock);
        FPendingErrors = 0;
    }
    return FDevice.get();
}

void TSioPosixDispatcher::AwaitThreadEnd(TSioDispatcherThread* Thread) {
    // The device threads never wait for the main thread: a join returns as soon as the stop
    // pipe has ended their waits.
    if (Thread && !Thread->IsCurrentThread()) Thread->Join();
}

int32_t TSioPosixDispatcher::CloseCom() {
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
        AwaitThreadEnd(StatusThread.get());
        AwaitThreadEnd(OutThread.get());
        AwaitThreadEnd(ComThread.get());
        if (FDispThread && !FDispThread->IsCurrentThread() && !FDispThread->Finished()) {
            if (!EndDispatcherThread(kDispatcherWaitMs)) {
                if (ComEvent) ComEvent->Set();
                // Still inside a handler: it is told to stop and is joined exactly once, by
                // the dispatcher's destruction or by the next LaunchThreads.
                if (!EndDispatcherThread(kDispatcherWaitMs)) FDispThread->Terminate();
            }
        }
    }
    if (!FDevice) return 0;
    // Every device thread has ended: nothing uses the descriptor any more.
    FDeviceFd.store(-1);
    ioctl(FDevice.get(), TIOCNXCL);  // a node whose far end lives on keeps the flag otherwise
    FDevice.reset();
    FFarEnd.reset();
    RemoveLinkTo(FLinkPath, FFarEndName);
    FLinkPath.clear();
    FFarEndName.clear();
    FClaim.Reset();
    CidEx.store(-1);
    return 0;
}

bool TSioPosixDispatcher::CheckPort(const std::wstring& ComName) {
    std::optional<posix_ports::TPortTarget> target = posix_ports::Resolve(ComName);
    if (!target) return false;
    if (target->PseudoTerminal) return true;
    struct stat st {};
    if (stat(target->Path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    int fd = open(target->Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY || errno == EACCES || errno == EPERM;
    close(fd);
    return true;
}

int32_t TSioPosixDispatcher::LineControl(int32_t Func) {
    int bits = 0;
    unsigned long request = TIOCMBIS;
    switch (Func) {
        case lcSetRts:
            bits = TIOCM_RTS;
            break;
        case lcClrRts:
            bits = TIOCM_RTS;
            request = TIOCMBIC;
            break;
        case lcSetDtr:
            bits = TIOCM_DTR;
            break;
        case lcClrDtr:
            bits = TIOCM_DTR;
            request = TIOCMBIC;
            break;
        default:
            return -1;
    }
    // Devices without modem lines refuse this; the requested level is kept by the dispatcher.
    ioctl(Device(), request, &bits);
    return 0;
}

int32_t TSioPosixDispatcher::PurgeQueue(int32_t Queue) {
    const int fd = Device();
    if (Queue == 0) {
        {
            std::lock_guard lock(OutputSection);
            OBufFull = false;
            OBufHead = OBufTail = 0;
        }
        const bool ok = fd >= 0 && tcflush(fd, TCOFLUSH) == 0;
        TSioDispatcherThread* writer = OutThread.get();
        if (!writer || writer->Finished() || !GeneralEvent) return ok ? 1 : 0;
        GeneralEvent->ResetEvent();
        FOutputPurges.fetch_add(1);
        FWriterWake.Signal();
        // The writer acknowledges on GeneralEvent; a writer that ends meanwhile never will.
        for (uint32_t waited = 0; waited < kPurgeWaitMs && !writer->Finished(); waited += 100)
            if (GeneralEvent->Wait(100) == platform::WaitResult::Signaled) break;
        return ok ? 1 : 0;
    }
    if (Queue == 1) {
        bool ok;
        {
            std::lock_guard read(FReadSection);
            ok = fd >= 0 && tcflush(fd, TCIFLUSH) == 0;
            FQueue->Clear();
        }
        // A reader held at the bound waits for room without looking at the queue again.
        if (FReaderHold.ReleaseAfterPurge(*FQueue)) FReaderWake.Signal();
        return ok ? 1 : 0;
    }
    return 0;
}

uint32_t TSioPosixDispatcher::CollectLineErrors() {
    // The counters are read under the lock that keeps the counts last seen: two looks that
    // overlap (the status thread's and an error read) would otherwise compare out of order, and
    // the older counts applied after the newer ones report an error again and put the stored
    // counts back, to report it a third time at the next look.
    std::lock_guard lock(FErrorLock);
    TLineCounts counts;
    if (ReadLineCountsHook) {
        if (!ReadLineCountsHook(counts)) return 0;
    } else {
#ifdef TIOCGICOUNT
        serial_icounter_struct icount{};
        const int fd = Device();
        if (fd < 0 || ioctl(fd, TIOCGICOUNT, &icount) != 0) return 0;
        counts = {icount.frame, icount.overrun, icount.parity, icount.brk, icount.buf_overrun};
#else
        return 0;
#endif
    }
    uint32_t bits = 0;
    if (FCountsKnown) {
        if (counts.BufOverrun != FLastBufOverrun) bits |= kCeRxOver;
        if (counts.Overrun != FLastOverrun) bits |= kCeOverrun;
        if (counts.Parity != FLastParity) bits |= kCeParity;
        if (counts.Frame != FLastFrame) bits |= kCeFrame;
        if (counts.Brk != FLastBrk) bits |= kCeBreak;
    }
    FCountsKnown = true;
    FLastBufOverrun = counts.BufOverrun;
    FLastOverrun = counts.Overrun;
    FLastParity = counts.Parity;
    FLastFrame = counts.Frame;
    FLastBrk = counts.Brk;
    FPendingErrors |= bits;
    return bits;
}

int32_t TSioPosixDispatcher::ReadErrors(TSioComStat& Stat) {
    (void)CollectLineErrors();  // what came since the last look joins the pending bits
    uint32_t bits;
    {
        std::lock_guard lock(FErrorLock);
        bits = FPendingErrors;
        FPendingErrors = 0;
    }
    int queued = 0;
    Stat.Flags = 0;
    Stat.cbInQue = Device() >= 0 && ioctl(Device(), FIONREAD, &queued) == 0
                       ? static_cast<uint32_t>(std::max(queued, 0))
                       : 0;
    Stat.cbOutQue = static_cast<uint32_t>(OutputPending());
    return static_cast<int32_t>(bits);
}

int32_t TSioPosixDispatcher::ReadErrorHook(int32_t) { return 0; }

int32_t TSioPosixDispatcher::ReadDeviceState(TSioDCB& Out) {
    termios tio{};
    const int fd = Device();
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return -1;
    std::lock_guard lock(FStateLock);
    if (FStateKnown && posix_termios::SameLine(tio, FWritten))
        Out = FShadow;
    else
        Out = posix_termios::FromTermios(tio, FShadow);
    return 0;
}

int32_t TSioPosixDispatcher::WriteDeviceState(TSioDCB& In) {
    const int fd = Device();
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return -posix_ports::SystemErrorFromErrno(EBADF);
    TSioDCB line = In;
    line.BaudRate = static_cast<uint32_t>(BaudFromCode(static_cast<int32_t>(In.BaudRate)));
    if (!posix_termios::ToTermios(line, tio)) return -posix_ports::SystemErrorFromErrno(EINVAL);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return -posix_ports::SystemErrorFromErrno(errno);
    std::lock_guard lock(FStateLock);
    FShadow = In;
    FStateKnown = tcgetattr(fd, &FWritten) == 0;
    return 0;
}

int32_t TSioPosixDispatcher::ReadCom(uint8_t* Buf, int32_t Size) {
    int32_t copied = FQueue->TakeBytes(Buf, Size);
    // The held reader is woken once the queue has drained to half its bound, not as soon as one
    // block has left: it then reads many blocks per wake instead of one.
    if (copied > 0 && FReaderHold.ReleaseAfterTake(*FQueue, InputBound())) FReaderWake.Signal();
    return copied;
}

int32_t TSioPosixDispatcher::InputBound() const {
    return TReaderHold::BoundFor(InQue);
}

bool TSioPosixDispatcher::InputQueueHasRoom() {
    // The reader waits without a time-out: see TReaderHold for why no wake-up is lost.
    return FReaderHold.Room(*FQueue, InputBound());
}

int32_t TSioPosixDispatcher::WriteCom(const uint8_t* Buf, int32_t Size) {
    int32_t taken = AppendToOutputRing(*this, Buf, Size);
    if (taken > 0) FWriterWake.Signal();
    return taken;
}

bool TSioPosixDispatcher::WaitDeviceEvent(int32_t& Mask) {
    Mask = 0;
    return true;
}

// termios has no buffer sizes to set: the driver's own buffers serve.
bool TSioPosixDispatcher::SetupQueues(int32_t, int32_t) { return true; }

void TSioPosixDispatcher::LaunchThreads() {
    LaunchDeviceThreads(
        [this] {
            FStopPipe.Drain();
            FReaderWake.Drain();
        },
        [this] { return std::make_unique<TPosixReadThread>(this); },
        [this] { return std::make_unique<TPosixWriteThread>(this); },
        [this] { return std::make_unique<TPosixStatusThread>(this); });
}

void TSioPosixDispatcher::HaltThreads() { HaltDeviceThreads(); }

int32_t TSioPosixDispatcher::OutputPending() { return OutputRingUsed(*this); }

int32_t TSioPosixDispatcher::InputAvailable() {
    return FQueue->UnreadBytesBeforeStatus(static_cast<int32_t>(DispatchBufferSize));
}

void TSioPosixDispatcher::StopThreads() {
    TSioBaseDispatcher::StopThreads();
    FStopPipe.Signal();
}

int32_t TSioPosixDispatcher::ProcessCommunications() {
    sched_yield();
    return 0;
}

void TSioPosixDispatcher::SetDeviceBreak(bool On) { ioctl(Device(), On ? TIOCSBRK : TIOCCBRK); }

uint32_t TSioPosixDispatcher::ReadModemLines() {
    // A device without modem lines (a pseudo-terminal) shows all lines low.
    int lines = 0;
    if (!HasModemLines() || ioctl(Device(), TIOCMGET, &lines) != 0) return 0;
    uint32_t bits = 0;
    if (lines & TIOCM_CTS) bits |= 0x10;
    if (lines & TIOCM_DSR) bits |= 0x20;
    if (lines & TIOCM_RNG) bits |= 0x40;
    if (lines & TIOCM_CD) bits |= 0x80;
    return bits;
}

int32_t TSioPosixDispatcher::OsLastError() { return FOsError.load(); }
