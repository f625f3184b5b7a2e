// The reader, writer and status threads of the POSIX device layer.
#include "serial/device/posix_dispatcher_threads.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>

#include "serial/device/device_queue_io.h"
#include "serial/device/line_sample.h"
#include "serial/dispatch/io_queue.h"
#include "serial/device/posix_dispatcher.h"

// ---- TSioPosixThread ----

TSioPosixThread::TSioPosixThread(TSioPosixDispatcher* Disp) : TSioDispatcherThread(Disp), P(Disp) {}

bool TSioPosixThread::StopRequested() const { return Terminated() || P->KillThreads.load(); }

int32_t TSioPosixThread::Finish(int32_t ExitCode) {
    P->DeviceThreadEnded(this, ExitCode);
    return ExitCode;
}

int TSioPosixThread::WaitFor(int Fd, short Events, int Wake, int TimeoutMs) {
    pollfd fds[3] = {{P->FStopPipe.Fd(), POLLIN, 0}, {Fd, Events, 0}, {Wake, POLLIN, 0}};
    for (;;) {
        // The stop pipe stays readable once signalled, so a stop is never missed.
        if (StopRequested()) return 0;
        int r = poll(fds, Wake >= 0 ? 3 : 2, TimeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[0].revents != 0) return 0;
        if (fds[1].revents != 0) return 1;
        if (Wake >= 0 && fds[2].revents != 0) return 2;
        if (r == 0) return 3;  // the time-out
    }
}

// ---- TPosixReadThread ----

// Reads until a read finds nothing rather than stopping at a short read: that read costs what
// a poll() asking the same would, and bytes that came meanwhile are taken without a wait.
int32_t TPosixReadThread::DrainDevice() {
    while (!StopRequested() && P->InputQueueHasRoom()) {
        // The clear count is taken before the read, and no input purge runs between the two:
        // a purge after the read has then counted, and the bytes it overtook are dropped.
        uint32_t clears;
        ssize_t n;
        {
            std::lock_guard lock(P->FReadSection);
            clears = P->FQueue->Clears();
            if (BeforeReadHook) BeforeReadHook();
            n = read(P->Device(), FStage, kStageSize);
        }
        if (n > 0 && ReadReturnedHook) ReadReturnedHook();
        if (n > 0) {
            if (!QueueReadBlocks(*P->FQueue, FBlocks, FStage, static_cast<int32_t>(n), clears,
                                 false))
                return ecNoMemory;
            // The dispatcher thread is woken when this thread is about to wait (Execute), or
            // here once half the bound is queued, so that it takes bytes while reads go on.
            FUnannounced = true;
            if (P->FQueue->BytesQueued() >= P->InputBound() / 2) Announce();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        // End of file or EIO: the far end has gone (a pseudo-terminal's other side closed, an
        // adapter pulled). Either way nothing more will come.
        P->LastWinError.store(n == 0 ? 0 : errno);
        return ecDeviceReadError;
    }
    return 0;
}

void TPosixReadThread::Announce() {
    if (!FUnannounced) return;
    FUnannounced = false;
    P->FQueue->Wake();
}

int32_t TPosixReadThread::Execute() {
    P->ThreadStarted();
    int32_t exitCode = 0;
    while (!StopRequested()) {
        // While the queue is at its bound the device is left out of the wait altogether (it
        // would report a hang-up at once, again and again); ReadCom wakes this thread.
        const int device = P->InputQueueHasRoom() ? P->Device() : -1;
        // Blocks pushed without a wake-up are announced only now, as this thread is about to
        // wait (DrainDevice has read until the device had nothing or the queue was full).
        Announce();
        int woke = WaitFor(device, POLLIN, P->FReaderWake.Fd());
        if (woke == 0) break;
        if (woke == 2) {
            P->FReaderWake.Drain();
            continue;
        }
        if (woke < 0) {
            exitCode = ecDeviceReadError;
            break;
        }
        exitCode = DrainDevice();
        if (exitCode != 0) break;
    }
    Announce();
    if (exitCode != 0) P->StopThreads();
    FBlocks = {};
    return Finish(exitCode);
}

// ---- TPosixWriteThread ----

bool TPosixWriteThread::ObeyPurge() {
    const uint32_t purges = P->FOutputPurges.load();
    if (purges == FPurgesSeen) return false;
    FPurgesSeen = purges;
    if (P->GeneralEvent) P->GeneralEvent->Set();
    return true;
}

int32_t TPosixWriteThread::DrainOutput() {
    for (;;) {
        size_t count = 0;
        std::unique_ptr<uint8_t[]> block;
        {
            // The purge check and the take are one step, so a block taken is never one a purge
            // already dropped.
            std::lock_guard lock(P->OutputSection);
            if (ObeyPurge()) continue;
            block = TakeOutputRing(*P, count);
        }
        if (!block) return 0;
        size_t sent = 0;
        while (sent < count) {
            ssize_t n = write(P->Device(), block.get() + sent, count - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                int woke = WaitFor(P->Device(), POLLOUT, P->FWriterWake.Fd());
                if (woke == 0) return 0;  // closing: the rest is dropped
                if (woke < 0) return ecDeviceWriteError;
                if (woke == 2) {
                    P->FWriterWake.Drain();
                    if (ObeyPurge()) break;  // the rest of the block is purged
                }
                continue;
            }
            P->LastWinError.store(n < 0 ? errno : 0);
            return ecDeviceWriteError;
        }
    }
}

int32_t TPosixWriteThread::Execute() {
    P->ThreadStarted();
    FPurgesSeen = P->FOutputPurges.load();
    int32_t exitCode = 0;
    while (!StopRequested()) {
        int woke = WaitFor(P->FWriterWake.Fd(), POLLIN, -1);
        if (woke == 0) break;
        if (woke < 0) {
            exitCode = ecDeviceWriteError;
            break;
        }
        P->FWriterWake.Drain();
        ObeyPurge();
        exitCode = DrainOutput();
        if (exitCode != 0) break;
    }
    if (exitCode != 0) P->StopThreads();
    return Finish(exitCode);
}

// ---- TPosixStatusThread ----

int32_t TPosixStatusThread::Execute() {
    P->ThreadStarted();
    int fd = P->Device();
    int probe = 0;
    const bool sample = P->HasModemLines() && ioctl(fd, TIOCMGET, &probe) == 0;
    uint32_t lines = P->ReadModemLines();
    while (!StopRequested()) {
        // Without modem lines there is nothing to look at: only a stop ends the wait.
        int woke = WaitFor(-1, 0, -1, sample ? kStatusSampleMs : -1);
        if (woke != 3) break;
        const uint32_t now = P->ReadModemLines();
        const uint32_t mask = line_sample::EventsOf(lines, now, P->CollectLineErrors());
        lines = now;
        if (mask == 0) continue;
        std::unique_ptr<TStatusBuffer> status;
        try {
            status = std::make_unique<TStatusBuffer>();
        } catch (const std::exception&) {
            P->StopThreads();
            return Finish(ecNoMemory);
        }
        status->SetStatus(mask);
        P->FQueue->Push(std::move(status));
    }
    return Finish(0);
}
