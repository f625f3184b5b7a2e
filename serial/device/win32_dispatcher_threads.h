// The Windows device layer's reader, writer and status threads. Their design (who wakes whom,
// what each owns, how a pending operation is ended) is described in win32_dispatcher.h.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/unique_handle.h"
#include "serial/device/device_exit_codes.h"
#include "serial/dispatch/dispatcher_thread.h"
#include "serial/device/device_queue_io.h"

class TSioWin32Dispatcher;

// Base of the three device threads: one OVERLAPPED record and its manual-reset event per thread,
// both members of the thread object, used only by that thread.
class TSioWin32Thread : public TSioDispatcherThread {
  public:
    explicit TSioWin32Thread(TSioWin32Dispatcher* Disp);

  protected:
    // Waits for the pending operation until it completes or this thread or the dispatcher is
    // asked to stop (FStopEvent ends the wait at once; the flag is also looked at every second).
    // Completed: the transferred count (the event stays signalled until the next operation on
    // the record), or -161 when the operation failed (GetLastError tells why). Asked to stop:
    // 0, the operation is still pending. Wait failure: -161.
    [[nodiscard]] virtual int32_t WaitForOverlapped(OVERLAPPED& Overlapped);

    // Thread start: ThreadStarted, then the event. False when the event cannot be made.
    bool Begin();
    // Thread end: a pending operation is cancelled and its completion awaited, the event is
    // closed, the exit code is reported and ThreadFinished runs (nothing is touched after it).
    [[nodiscard]] int32_t Finish(int32_t ExitCode);
    // Cancels the pending operation, if any, and waits until the system has completed it.
    void EndPending();
    // A thread that raised: its pending operation is ended and its event closed before its end
    // is reported, as on a normal way out.
    void Abandon() override;
    bool StopRequested() const;
    // Marks the operation just issued as pending / completed.
    void IssuedPending() { FPending = true; }
    void Completed() { FPending = false; }
    // Sleeps about Ms milliseconds, returning early when asked to stop.
    void Pause(uint32_t Ms) const;

    TSioWin32Dispatcher* W;  // not owned; the dispatcher outlives its threads
    OVERLAPPED FOverlapped{};
    platform::UniqueHandle FEvent;  // manual-reset, FOverlapped.hEvent
    bool FPending = false;          // an operation on FOverlapped has not completed yet
};

// Moves received bytes onto FQueue in 256-byte blocks. Bytes read before an input purge are
// never queued after it: the queue's clear count is taken as a read completes, and the blocks
// of that read are dropped when a clear has run since.
class TReadThread : public TSioWin32Thread {
  public:
    using TSioWin32Thread::TSioWin32Thread;

    // Test seam: when set, every reader calls it between a read that brought bytes and the push
    // of its blocks, the window an input purge may fall into. Empty in the program; set only
    // while no reader runs.
    static inline std::function<void()> ReadCompletedHook;

  protected:
    [[nodiscard]] int32_t Execute() override;

  private:
    // ReadFile into FStage: bytes read (0 when nothing had arrived or the read was aborted), or
    // -161 on failure. FReadClears := the queue's clear count as the read completed.
    [[nodiscard]] int32_t ReadDevice();
    // Cuts the N bytes read into 256-byte blocks and pushes them, or drops them all when the
    // queue was cleared since the read completed; false when a block cannot be had (exit code
    // -13868).
    bool QueueBlocks(int32_t N);
    // One read takes up to 16 blocks' worth from the driver: the same blocks reach FQueue as
    // with one read per block, for a sixteenth of the system calls.
    static constexpr uint32_t kStageSize = 16 * 256;
    uint8_t FStage[kStageSize];  // a pending read's buffer; this thread only
    TReadBlocks FBlocks;         // the blocks to fill next
    uint32_t FReadClears = 0;    // FQueue's clear count when FStage was filled
};

// Sends what the dispatcher put into the output ring.
class TWriteThread : public TSioWin32Thread {
  public:
    using TSioWin32Thread::TSioWin32Thread;

  protected:
    [[nodiscard]] int32_t Execute() override;
    // Also returns on OutFlushEvent (-1: a purge was requested) and, when asked to stop, -1 as
    // well: the rest of the block is dropped rather than reported as a write error.
    [[nodiscard]] int32_t WaitForOverlapped(OVERLAPPED& Overlapped) override;

  private:
    // Sends all waiting output; 0 when done (or dropped by a purge), -160 on a write failure.
    [[nodiscard]] int32_t DrainOutput();
    std::unique_ptr<uint8_t[]> FBlock;  // the block being sent; freed only when no write is pending
};

// Waits for line events and reports them; on a device whose waits keep ending with nothing, it
// samples the modem lines and line errors instead and reports what changed.
class TStatusThread : public TSioWin32Thread {
  public:
    using TSioWin32Thread::TSioWin32Thread;
    uint32_t LastMask = 0;  // the line events asked for; this thread only

    // Test seam: when set, every status thread calls it as it issues a line-event wait. Empty in
    // the program; set only while no status thread runs.
    static inline std::function<void()> EventWaitHook;

  protected:
    [[nodiscard]] int32_t Execute() override;

  private:
    // Mask := the events of one wait (0: none). 0, or -161 on failure.
    [[nodiscard]] int32_t WaitForCommEvent(uint32_t& Mask);
    // After a received-character event: until the reader has emptied the driver, at most
    // 100 ms, or until the port closes.
    void AwaitReaderDrained();
    DWORD FMask = 0;  // filled by the system when a pending wait completes
};
#endif
