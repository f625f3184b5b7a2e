// The reader, writer and status threads of the POSIX device layer. Who wakes whom is described in
// posix_dispatcher.h.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "serial/device/device_exit_codes.h"
#include "serial/device/device_queue_io.h"
#include "serial/dispatch/dispatcher_thread.h"

class TSioPosixDispatcher;

class TSioPosixThread : public TSioDispatcherThread {
  public:
    explicit TSioPosixThread(TSioPosixDispatcher* Disp);

  protected:
    bool StopRequested() const;
    // Thread end: the exit code is shown (once for the run) and ThreadFinished runs; nothing is
    // touched after it.
    int32_t Finish(int32_t ExitCode);
    // Waits in poll() until Fd (when ≥ 0) is ready for Events, Wake (when ≥ 0) is readable, a
    // stop, or TimeoutMs (-1: none). 1: Fd is ready (or reports hang-up or an error), 2: Wake,
    // 3: the time-out, 0: asked to stop, -1: poll failed.
    int WaitFor(int Fd, short Events, int Wake, int TimeoutMs = -1);

    TSioPosixDispatcher* P;  // not owned; the dispatcher outlives its threads
};

// Moves received bytes onto FQueue in 256-byte blocks. Bytes read before an input purge are never
// queued after it: the queue's clear count is taken before each read, and the blocks of a read
// are dropped when a clear has run since.
class TPosixReadThread : public TSioPosixThread {
  public:
    using TSioPosixThread::TSioPosixThread;

    // Test seam: when set, every reader calls it as a read that brought bytes returns, before
    // those bytes are queued: the window an input flush may fall into. Empty in the program; set
    // only while no reader runs.
    static inline std::function<void()> ReadReturnedHook;
    // Test seam: runs just before each read, after its clear count is taken. Empty in the
    // program; set only while no reader runs.
    static inline std::function<void()> BeforeReadHook;

  protected:
    int32_t Execute() override;

  private:
    // Reads until the device is empty or the queue is full: 0, or an exit code.
    int32_t DrainDevice();
    static constexpr uint32_t kStageSize = 16 * 256;
    uint8_t FStage[kStageSize];
    // Wakes the dispatcher thread for blocks pushed without a wake-up, if any.
    void Announce();
    TReadBlocks FBlocks;
    bool FUnannounced = false;  // blocks pushed since the last wake-up given
};

// Writes what the dispatcher put into the output ring.
class TPosixWriteThread : public TSioPosixThread {
  public:
    using TSioPosixThread::TSioPosixThread;

  protected:
    int32_t Execute() override;

  private:
    // Writes all waiting output: 0 when done (or dropped by a purge or a stop), -160 on failure.
    int32_t DrainOutput();
    // Acknowledges purges not yet seen; true when there was one.
    bool ObeyPurge();
    uint32_t FPurgesSeen = 0;
};

// Samples the modem lines and line-error counts and reports changes as status words.
class TPosixStatusThread : public TSioPosixThread {
  public:
    using TSioPosixThread::TSioPosixThread;
    static constexpr int kStatusSampleMs = 10;

  protected:
    int32_t Execute() override;
};
