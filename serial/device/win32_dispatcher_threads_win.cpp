// The reader, writer and status threads of the Windows device layer.
#include "serial/device/win32_dispatcher_threads.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "serial/device/device_queue_io.h"
#include "serial/device/line_sample.h"
#include "serial/device/win32_dispatcher.h"
#include "serial/dispatch/io_queue.h"

namespace {
constexpr DWORD kBlockSize = 256;
// Waits that also watch FStopEvent look at the stop flag at least this often: a stop from
// StopThreads or CloseCom ends them at once, this bound only covers the flag set otherwise.
constexpr DWORD kStopCheckMs = 1000;
// After a received-character event, the longest the status thread waits for the reader.
constexpr DWORD kDrainWaitMs = 100;
constexpr DWORD kReaderWaitMs = 50;
constexpr uint32_t kEventPaceMs = 50;
constexpr uint32_t kEventPaceMaxMs = 5000;
// Waits in a row that bring nothing before the device is taken for one that cannot wait for line
// events, and how often its line is sampled from then on.
constexpr int kEmptyWaitsBeforeSampling = 4;
constexpr uint32_t kLineSampleMs = 50;
// Line events: received character, then those worth a status word for the dispatcher.
constexpr uint32_t kRxChar = EV_RXCHAR;
constexpr uint32_t kStatusEvents = 0x21F8;
// Modem-line events, which some devices refuse (ERROR_NOT_SUPPORTED); 0x2000 is only known to
// systems outside the NT family, which refuse it with ERROR_INVALID_PARAMETER elsewhere.
constexpr uint32_t kModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr uint32_t kLegacyEvent = 0x2000;
}  // namespace

// ---- TSioWin32Thread ----

TSioWin32Thread::TSioWin32Thread(TSioWin32Dispatcher* Disp) : TSioDispatcherThread(Disp), W(Disp) {}

bool TSioWin32Thread::StopRequested() const { return Terminated() || W->KillThreads.load(); }

bool TSioWin32Thread::Begin() {
    W->ThreadStarted();
    FEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FOverlapped = {};
    FOverlapped.hEvent = FEvent.get();
    return static_cast<bool>(FEvent);
}

void TSioWin32Thread::EndPending() {
    if (!FPending) return;
    HANDLE dev = W->Device();
    CancelIoEx(dev, &FOverlapped);
    DWORD transferred = 0;
    // Returns when the system has finished with the record, buffer and event: completed,
    // failed or cancelled alike.
    GetOverlappedResult(dev, &FOverlapped, &transferred, TRUE);
    FPending = false;
}

void TSioWin32Thread::Pause(uint32_t Ms) const {
    // A stop ends the pause at once.
    for (uint32_t slept = 0; slept < Ms && !StopRequested(); slept += kStopCheckMs) {
        if (W->FStopEvent.Wait(std::min<uint32_t>(kStopCheckMs, Ms - slept)) ==
            platform::WaitResult::Signaled)
            return;
    }
}

void TSioWin32Thread::Abandon() {
    EndPending();
    FEvent.reset();
    FOverlapped.hEvent = nullptr;
}

int32_t TSioWin32Thread::Finish(int32_t ExitCode) {
    Abandon();
    W->DeviceThreadEnded(this, ExitCode);
    return ExitCode;
}

int32_t TSioWin32Thread::WaitForOverlapped(OVERLAPPED& Overlapped) {
    HANDLE waits[2] = {Overlapped.hEvent, W->FStopEvent.NativeHandle()};
    for (;;) {
        // FStopEvent is set only after the stop flag, so a wake-up by it finds the flag set.
        DWORD w = WaitForMultipleObjects(2, waits, FALSE, kStopCheckMs);
        if (w == WAIT_TIMEOUT || w == WAIT_OBJECT_0 + 1) {
            if (StopRequested()) return 0;
            continue;
        }
        if (w != WAIT_OBJECT_0) return ecDeviceReadError;
        DWORD transferred = 0;
        BOOL ok = GetOverlappedResult(W->Device(), &Overlapped, &transferred, TRUE);
        DWORD err = ok ? 0 : GetLastError();
        Completed();
        if (!ok) {
            SetLastError(err);
            return ecDeviceReadError;
        }
        // The event stays signalled: the next ReadFile, WriteFile or WaitCommEvent on this
        // record clears it as it begins, so a reset here would be a second system call per
        // operation for nothing.
        return static_cast<int32_t>(transferred);
    }
}

// ---- TReadThread ----

int32_t TReadThread::ReadDevice() {
    EndPending();
    DWORD got = 0;
    // The clear count is taken once the read has completed, not when it is issued: a read that
    // stays pending until bytes arrive (Wine) and outlives a purge brings bytes that came after
    // the purge, and those are kept.
    if (ReadFile(W->Device(), FStage, kStageSize, &got, &FOverlapped)) {
        FReadClears = W->FQueue->Clears();
        return static_cast<int32_t>(got);
    }
    DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) {
        W->LastWinError.store(static_cast<int32_t>(err));
        return ecDeviceReadError;
    }
    IssuedPending();
    int32_t r = WaitForOverlapped(FOverlapped);
    FReadClears = W->FQueue->Clears();
    if (r >= 0) return r;
    err = GetLastError();
    if (err == ERROR_OPERATION_ABORTED) return 0;  // a purge of the input: no bytes, no error
    W->LastWinError.store(static_cast<int32_t>(err));
    return r;
}

bool TReadThread::QueueBlocks(int32_t N) {
    if (ReadCompletedHook) ReadCompletedHook();
    return QueueReadBlocks(*W->FQueue, FBlocks, FStage, N, FReadClears);
}

int32_t TReadThread::Execute() {
    if (!Begin()) {
        W->StopThreads();
        return Finish(ecDeviceReadError);
    }
    // Reads return at once with what the driver holds; on devices where they stay pending
    // until a byte arrives, the pending read delivers the bytes as soon as they come.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(W->Device(), &timeouts);
    int32_t exitCode = 0;
    while (!StopRequested()) {
        platform::WaitResult woke = W->FSerialEvent.Wait(kReaderWaitMs);
        if (woke != platform::WaitResult::Signaled && woke != platform::WaitResult::TimedOut) {
            exitCode = ecDeviceReadError;
            W->StopThreads();
            break;
        }
        // Bytes nobody takes stay in the driver once the queue holds its bound: the driver's
        // flow control then holds back the far end, and what overflows the driver is its
        // overrun, reported as the line error it is (ReadCom wakes this thread again).
        if (!W->InputQueueHasRoom()) continue;
        // Drain the driver before waiting again, or the tail of a burst waits for the next one.
        int32_t n = ReadDevice();
        const bool gotBytes = n > 0;
        bool outOfMemory = false;
        while (n > 0) {
            if (!QueueBlocks(n)) {
                outOfMemory = true;
                break;
            }
            if (StopRequested() || !W->InputQueueHasRoom()) break;
            n = ReadDevice();
        }
        if (outOfMemory) {
            exitCode = ecNoMemory;
            W->StopThreads();
            break;
        }
        if (n < 0) {
            if (W->LastWinError.load() != ERROR_INVALID_HANDLE) exitCode = ecDeviceReadError;
            W->StopThreads();
            break;
        }
        if (gotBytes) W->FReaderDrained.Set();
    }
    EndPending();
    FBlocks = {};
    return Finish(exitCode);
}

// ---- TWriteThread ----

int32_t TWriteThread::WaitForOverlapped(OVERLAPPED& Overlapped) {
    HANDLE waits[3] = {Overlapped.hEvent, W->OutFlushEvent->NativeHandle(),
                       W->FStopEvent.NativeHandle()};
    for (;;) {
        DWORD w = WaitForMultipleObjects(3, waits, FALSE, kStopCheckMs);
        if (w == WAIT_TIMEOUT || w == WAIT_OBJECT_0 + 2) {
            if (StopRequested()) return -1;
            continue;
        }
        if (w == WAIT_OBJECT_0) {
            DWORD transferred = 0;
            BOOL ok = GetOverlappedResult(W->Device(), &Overlapped, &transferred, TRUE);
            DWORD err = ok ? 0 : GetLastError();
            Completed();
            if (!ok) {
                W->LastWinError.store(static_cast<int32_t>(err));
                SetLastError(err);
                return ecDeviceWriteError;
            }
            return static_cast<int32_t>(transferred);  // event: as in the reader's wait
        }
        if (w == WAIT_OBJECT_0 + 1) return -1;
        W->LastWinError.store(static_cast<int32_t>(GetLastError()));
        return ecDeviceWriteError;
    }
}

int32_t TWriteThread::DrainOutput() {
    for (;;) {
        size_t count = 0;
        FBlock = TakeOutputRing(*W, count);
        if (!FBlock) return 0;
        size_t sent = 0;
        while (sent < count) {
            if (StopRequested()) break;  // closing: the rest is dropped
            DWORD written = 0;
            if (WriteFile(W->Device(), FBlock.get() + sent, static_cast<DWORD>(count - sent),
                          &written, &FOverlapped)) {
                sent += written;
                continue;
            }
            DWORD err = GetLastError();
            if (err != ERROR_IO_PENDING) {
                W->LastWinError.store(static_cast<int32_t>(err));
                FBlock.reset();
                return ecDeviceWriteError;
            }
            IssuedPending();
            int32_t r = WaitForOverlapped(FOverlapped);
            if (r >= 0) {
                sent += static_cast<size_t>(r);
                continue;
            }
            // The write may still be pending (purge, close): end it before its block goes.
            err = GetLastError();
            EndPending();
            FBlock.reset();
            if (r == -1) {
                W->GeneralEvent->Set();
                return 0;
            }
            if (err == ERROR_OPERATION_ABORTED) return 0;
            W->LastWinError.store(static_cast<int32_t>(err));
            return ecDeviceWriteError;
        }
        EndPending();
        FBlock.reset();
        if (StopRequested()) return 0;
    }
}

int32_t TWriteThread::Execute() {
    if (!Begin()) {
        W->StopThreads();
        return Finish(ecDeviceWriteError);
    }
    int32_t exitCode = 0;
    HANDLE waits[3] = {W->OutputEvent->NativeHandle(), W->OutFlushEvent->NativeHandle(),
                       W->FStopEvent.NativeHandle()};
    while (!StopRequested()) {
        // A wake-up by FStopEvent (index 2) ends the loop through StopRequested.
        DWORD w = WaitForMultipleObjects(3, waits, FALSE, kStopCheckMs);
        if (w == WAIT_OBJECT_0) {
            if (W->KillThreads.load()) continue;
            if (DrainOutput() != 0) {
                if (W->LastWinError.load() != ERROR_INVALID_HANDLE) exitCode = ecDeviceWriteError;
                W->StopThreads();
            }
        } else if (w == WAIT_OBJECT_0 + 1) {
            W->GeneralEvent->Set();  // a purge has been obeyed
        } else if (w != WAIT_TIMEOUT && w != WAIT_OBJECT_0 + 2) {
            W->LastWinError.store(static_cast<int32_t>(GetLastError()));
            exitCode = ecDeviceWriteError;
            W->StopThreads();
        }
    }
    EndPending();
    FBlock.reset();
    return Finish(exitCode);
}

// ---- TStatusThread ----

int32_t TStatusThread::WaitForCommEvent(uint32_t& Mask) {
    Mask = 0;
    HANDLE dev = W->Device();
    auto issue = [&] {
        FMask = 0;
        ResetEvent(FEvent.get());
        if (EventWaitHook) EventWaitHook();
        return WaitCommEvent(dev, &FMask, &FOverlapped);
    };
    BOOL ok = issue();
    DWORD err = ok ? 0 : GetLastError();
    // A device that refuses part of the mask is asked once more without that part, and the
    // smaller mask is kept for every later wait.
    uint32_t refused = 0;
    if (!ok && err == ERROR_INVALID_PARAMETER) refused = LastMask & kLegacyEvent;
    if (!ok && err == ERROR_NOT_SUPPORTED) refused = LastMask & kModemLineEvents;
    if (refused != 0) {
        LastMask &= ~refused;
        SetCommMask(dev, LastMask);
        ok = issue();
        err = ok ? 0 : GetLastError();
    }
    if (ok) {
        Mask = FMask;
        return 0;
    }
    if (err == ERROR_IO_PENDING) {
        IssuedPending();
        int32_t r = WaitForOverlapped(FOverlapped);
        if (r >= 0) {
            // Still pending when asked to stop: FMask is the system's until the wait is ended.
            Mask = FPending ? 0 : FMask;
            return 0;
        }
        err = GetLastError();
        // A wait ended by a mask change, or by a device that cannot wait for events at all,
        // reports nothing: no event.
        if (err == ERROR_OPERATION_ABORTED) return 0;
    }
    W->LastWinError.store(static_cast<int32_t>(err));
    return ecDeviceReadError;
}

void TStatusThread::AwaitReaderDrained() {
    HANDLE waits[2] = {W->FReaderDrained.NativeHandle(), W->FStopEvent.NativeHandle()};
    WaitForMultipleObjects(2, waits, FALSE, kDrainWaitMs);
}

int32_t TStatusThread::Execute() {
    if (!Begin()) {
        W->StopThreads();
        return Finish(ecDeviceReadError);
    }
    // Every system this program runs on is of the NT family: no 0x2000 event.
    LastMask = 0x01F9;
    SetCommMask(W->Device(), LastMask);
    int32_t exitCode = 0;
    uint32_t pace = kEventPaceMs;
    int emptyWaits = 0;
    bool sampling = false;
    uint32_t lines = 0;
    while (!StopRequested()) {
        uint32_t mask = 0;
        if (sampling) {
            Pause(kLineSampleMs);
            if (StopRequested()) break;
            const uint32_t now = W->ReadModemLines();
            mask = line_sample::EventsOf(lines, now, W->SampleLineErrors()) & kStatusEvents;
            lines = now;
        } else {
            int32_t r = WaitForCommEvent(mask);
            if (r < 0) {
                if (W->LastWinError.load() != ERROR_INVALID_HANDLE) exitCode = r;
                W->StopThreads();
                break;
            }
        }
        if (mask & kRxChar) {
            W->FSerialEvent.Set();
            if ((mask & kStatusEvents) == 0) AwaitReaderDrained();
        }
        if (mask & kStatusEvents) {
            std::unique_ptr<TStatusBuffer> status;
            try {
                status = std::make_unique<TStatusBuffer>();
            } catch (const std::exception&) {
                exitCode = ecNoMemory;
                W->StopThreads();
                break;
            }
            status->SetStatus(mask);
            W->FQueue->Push(std::move(status));
        }
        if (sampling) continue;
        // A wait that brought nothing is not repeated at once: some devices end every wait
        // immediately, and the thread must not spin on them. The pause doubles while waits keep
        // bringing nothing, and after a few such waits in a row the device is sampled instead
        // of waited on: on such devices each wait is costly (Wine starts a thread for every one
        // and keeps a record of it for good). Received bytes never wait for this thread: the
        // reader looks at the device at least every 50 ms, and where reads stay pending it gets
        // them at once.
        if (mask == 0 && StopRequested()) break;
        if (mask == 0 && ++emptyWaits >= kEmptyWaitsBeforeSampling) {
            sampling = true;
            lines = W->ReadModemLines();
        } else if (mask == 0) {
            Pause(pace);
            pace = std::min(pace * 2, kEventPaceMaxMs);
        } else {
            emptyWaits = 0;
            pace = kEventPaceMs;
        }
    }
    EndPending();
    return Finish(exitCode);
}
