// TSioPosixDispatcher: the device layer on a POSIX serial device (termios), on Linux and the
// host build. It implements the dispatcher's device operations and runs three threads of its own
// beside the dispatcher thread (posix_dispatcher_threads.h), in the roles of the Windows layer's.
//
// Threads and who wakes whom:
//   - reader: waits in poll() for the device to be readable, its own wake pipe (ReadCom, once
//     the queue has drained to half its bound; an input purge) or the stop pipe; drains the
//     device in 256-byte blocks onto FQueue, holding back while the queue holds its bound (the
//     device's own buffer and flow control then hold back the far end). It pushes the blocks
//     of a read together and wakes the dispatcher thread only when it is about to wait itself
//     or half the bound is queued: one wake-up for many reads while bytes keep coming;
//   - writer: waits in poll() on its wake pipe (WriteCom, PurgeQueue(0)) and the stop pipe;
//     takes the whole output ring in one step and writes it, waiting for room in the same way;
//     a purge makes it drop what it holds and acknowledge on GeneralEvent;
//   - status: on a device with modem lines, samples them and the line-error counts every
//     kStatusSampleMs and queues a status word for each change; on one without (a
//     pseudo-terminal) it only waits for the stop pipe. termios has no wait for line events that
//     another thread can end, hence the sampling; the wait between samples is ended by a close.
// Stopping: StopThreads sets KillThreads and then signals the stop pipe, which every thread's
// poll() includes: a close ends every wait at once, and no thread looks at a flag on a timer.
// A device that goes away (the far end of a pseudo-terminal closed, a USB adapter pulled) ends
// the reader with -161, which is shown once for the run, and stops the other threads; a device
// that keeps reporting hang-up therefore never keeps a thread spinning.
//
// Open: the name resolves through the port table (posix_ports.h). The device is opened without
// becoming the controlling terminal, non-blocking, and exclusively: TIOCEXCL, and an advisory
// lock (flock) that also holds against a privileged second opener; a second open is refused as
// "in use" (system error 5) as Windows refuses it. A pseudo-terminal entry's number is held by a
// claim in the port table instead, with the same answer; its close removes the link to the far
// end only while the link still names that port's line. errno maps to the system errors the
// component understands (SystemErrorFromErrno).
//
// Settings: termios holds only part of the layer's record; WriteDeviceState keeps the record
// and the termios read back after writing it, and ReadDeviceState answers with that record
// while the device's termios still reads the same, so that "unchanged" is seen as unchanged
// even for fields termios has no place for, or that a driver adjusts (a pseudo-terminal keeps
// 8 data bits, no parity). A change made by another program shows through.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <termios.h>

#include <functional>

#include "serial/device/posix_fd.h"
#include "serial/device/posix_ports.h"
#include "serial/device/posix_wake_pipe.h"
#include "serial/device/reader_hold.h"
#include "serial/dispatch/base_dispatcher.h"

class TSioPosixDispatcher : public TSioBaseDispatcher {
  public:
    explicit TSioPosixDispatcher(TComponent* Owner);
    ~TSioPosixDispatcher() override;

    int32_t LineControl(int32_t Func) override;
    int32_t PurgeQueue(int32_t Queue) override;
    int32_t ReadErrors(TSioComStat& Stat) override;
    int32_t ReadErrorHook(int32_t Code) override;
    int32_t ReadDeviceState(TSioDCB& DCB) override;
    int32_t ReadCom(uint8_t* Buf, int32_t Size) override;
    int32_t WriteDeviceState(TSioDCB& DCB) override;
    int32_t WriteCom(const uint8_t* Buf, int32_t Size) override;
    bool WaitDeviceEvent(int32_t& Mask) override;
    bool SetupQueues(int32_t InSize, int32_t OutSize) override;
    // Raises std::runtime_error "Dispatcher already started." when the threads run.
    void LaunchThreads() override;
    void HaltThreads() override;
    int32_t OutputPending() override;
    // All the received bytes in front of the next status word (up to the dispatch buffer's
    // size), not only the head block's: the dispatcher thread takes them in one pass and
    // notifies its handlers once for them.
    int32_t InputAvailable() override;
    int32_t OpenCom(const std::wstring& ComName, uint32_t InQueue, uint32_t OutQueue) override;
    int32_t CloseCom() override;
    // The device exists: a pseudo-terminal entry always, a path when it opens or is refused as
    // in use or not permitted (a serial node with no hardware behind it does not count).
    bool CheckPort(const std::wstring& ComName) override;
    int32_t ProcessCommunications() override;
    void SetDeviceBreak(bool On) override;
    uint32_t ReadModemLines() override;
    int32_t OsLastError() override;
    void StopThreads() override;

    // The open device (-1 when none). Written by OpenCom and CloseCom while no device thread
    // runs; read by the device threads.
    int Device() const { return FDeviceFd.load(); }
    // The far end of a port opened as a new pseudo-terminal; empty otherwise. Main thread.
    const std::string& FarEndName() const { return FFarEndName; }

    // ---- for the device threads ----
    TPosixWakePipe FStopPipe;    // StopThreads signals, LaunchThreads drains
    TPosixWakePipe FReaderWake;  // ReadCom, PurgeQueue(1): the queue has room again
    TPosixWakePipe FWriterWake;  // WriteCom and PurgeQueue(0)
    // Held by the reader around one read() and the clear count it takes for that read, and by
    // an input purge around its tcflush and clear: a purge falls wholly before a read (the read
    // then brings later bytes, which are kept) or wholly after it (its bytes are dropped).
    std::mutex FReadSection;
    // Counts output purges; the writer drops its block when it sees the count change.
    std::atomic<uint32_t> FOutputPurges{0};
    // Whether the reader may take more from the device (the queue is below its bound); when it
    // may not, it waits and ReadCom or an input purge wakes it once there is room again.
    bool InputQueueHasRoom();
    // How many bytes the input queue may hold before the reader stops taking more: the driver's
    // input size, at least four reads' worth (TReaderHold::BoundFor).
    int32_t InputBound() const;
    // Whether the reader waits to be woken (or is about to look at the queue).
    bool ReaderHeld() const { return FReaderHold.Held(); }
    // Whether the device reports modem lines (TIOCMGET works); decided by OpenCom.
    bool HasModemLines() const { return FHasModemLines.load(); }
    // Takes the device's line-error counts and adds what changed since the last look to the
    // pending error bits (the error read's positions, a break among them). Returns the bits
    // that changed now. Status thread and ReadErrors.
    uint32_t CollectLineErrors();
    // The device's line-error counters.
    struct TLineCounts {
        int Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
    };
    // Test seam: when set, gives the line-error counters in place of the device (a
    // pseudo-terminal keeps none). Empty in the program; set only while no port is open.
    static inline std::function<bool(TLineCounts&)> ReadLineCountsHook;

  private:
    void AwaitThreadEnd(TSioDispatcherThread* Thread);
    int32_t Fail(int Errno);

    TUniqueFd FDevice;        // OpenCom / CloseCom
    TUniqueFd FFarEnd;        // a new pseudo-terminal's far end, held so it never hangs up
    std::string FFarEndName;  // its name
    std::string FLinkPath;    // the link made to it; removed by CloseCom while it names FFarEndName
    posix_ports::TPseudoTerminalClaim FClaim;  // a pseudo-terminal port's number, while open
    std::atomic<int> FDeviceFd{-1};
    std::atomic<int32_t> FOsError{0};
    TReaderHold FReaderHold;  // the reader's wait for room in FQueue
    std::atomic<bool> FHasModemLines{false};

    // The record last written and the termios read back after it (FStateLock).
    std::mutex FStateLock;
    bool FStateKnown = false;
    TSioDCB FShadow;
    termios FWritten{};

    // Line-error counts last seen and the error bits not yet taken by ReadErrors (FErrorLock).
    std::mutex FErrorLock;
    bool FCountsKnown = false;
    int FLastFrame = 0, FLastOverrun = 0, FLastParity = 0, FLastBrk = 0, FLastBufOverrun = 0;
    uint32_t FPendingErrors = 0;
};
