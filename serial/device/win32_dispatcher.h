// TSioWin32Dispatcher: the device layer on a Windows serial device opened for overlapped I/O.
// It implements the dispatcher's device operations with the communications API and runs three
// threads of its own beside the dispatcher thread (win32_dispatcher_threads.h).
//
// Threads and who wakes whom:
//   - reader (TReadThread): waits on FSerialEvent (50 ms at a time) or in a pending ReadFile,
//     drains the driver in 256-byte blocks onto FQueue, holding back while the queue holds its
//     bound; ReadCom and an input purge set FSerialEvent when a held reader has room again;
//   - status (TStatusThread): waits for line events (or, on a device that cannot wait for
//     them, samples the line every 50 ms); a received-character event sets
//     FSerialEvent, other events go onto FQueue as status words; after a received-character
//     event it waits (at most 100 ms) for FReaderDrained before waiting for events again;
//   - writer (TWriteThread): woken by OutputEvent, takes the whole output ring in one step and
//     sends it; OutFlushEvent (PurgeQueue(0), CloseCom) makes it drop its work and acknowledge on
//     GeneralEvent;
//   - main thread: OpenCom, CloseCom, PurgeQueue, WriteCom; dispatcher thread: ReadCom,
//     InputAvailable, ReadErrors, WriteCom from handlers.
// Stopping: StopThreads (CloseCom, or a device thread that fails) sets KillThreads and then
// FStopEvent, which every device thread's waits and pauses include besides their own events.
// Locks: OutputSection guards the output ring (WriteCom, OutputPending, the writer's copy-out,
// PurgeQueue(0)); FQueue has its own lock; DataSection makes LaunchThreads one step; a close is
// kept single by CloseComActive (compare-and-set). The writer sends outside every lock.
//
// Lifetimes. Every overlapped operation is issued by the long-lived device thread that owns its
// OVERLAPPED record, event and buffer (members of the thread object); a thread that leaves
// while its operation is pending cancels it (CancelIoEx) and waits for its completion before it
// frees anything, so no operation outlives what it uses, and the device handle is closed only
// after the three threads have ended. The thread objects are owned by the dispatcher's
// unique_ptrs and joined, never detached: CloseCom joins the device threads once they have
// reported their end; the dispatcher thread is joined by CloseCom when it ends within the two
// waits, otherwise (it is still inside a handler) it is told to stop and is joined exactly once
// later, by the dispatcher's destruction or by the next LaunchThreads.
//
// Adaptations to devices that are not full serial drivers (virtual ports, USB adapters, Wine on
// a pseudo-terminal): a line-event mask with modem-line events that the device refuses
// (ERROR_NOT_SUPPORTED) is retried once without them; a line-event wait that ends aborted or
// with no event bits counts as no event and the next wait is paced (50 ms, doubling while waits
// keep bringing nothing; a close ends the pause); a device whose waits keep ending that way is
// not waited on any more: the status thread samples its modem lines and line errors every 50 ms
// instead (Wine on a pseudo-terminal ends every wait within milliseconds, and starts a thread
// for each, whose record it never frees); a failed modem-status read reports all lines low; a
// read that stays pending until data arrives delivers the data as it completes.
// Results: result codes as described in base_dispatcher.h; system error numbers are positive.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/unique_handle.h"
#include "serial/device/reader_hold.h"
#include "serial/dispatch/base_dispatcher.h"

class TSioWin32Dispatcher : public TSioBaseDispatcher {
  public:
    explicit TSioWin32Dispatcher(TComponent* Owner);
    // Closes the port if open and waits for every thread (Destroy), then frees FSerialEvent.
    ~TSioWin32Dispatcher() override;

    [[nodiscard]] int32_t LineControl(int32_t Func) override;
    [[nodiscard]] int32_t PurgeQueue(int32_t Queue) override;
    [[nodiscard]] int32_t ReadErrors(TSioComStat& Stat) override;
    [[nodiscard]] int32_t ReadErrorHook(int32_t Code) override;
    [[nodiscard]] int32_t ReadDeviceState(TSioDCB& DCB) override;
    [[nodiscard]] int32_t ReadCom(uint8_t* Buf, int32_t Size) override;
    [[nodiscard]] int32_t WriteDeviceState(TSioDCB& DCB) override;
    [[nodiscard]] int32_t WriteCom(const uint8_t* Buf, int32_t Size) override;
    bool WaitDeviceEvent(int32_t& Mask) override;
    bool SetupQueues(int32_t InSize, int32_t OutSize) override;
    // Raises std::runtime_error "Dispatcher already started." when the threads run.
    void LaunchThreads() override;
    void HaltThreads() override;
    [[nodiscard]] int32_t OutputPending() override;
    [[nodiscard]] int32_t InputAvailable() override;
    [[nodiscard]] int32_t OpenCom(const std::wstring& ComName, uint32_t InQueue,
                                  uint32_t OutQueue) override;
    [[nodiscard]] int32_t CloseCom() override;
    bool CheckPort(const std::wstring& ComName) override;
    [[nodiscard]] int32_t ProcessCommunications() override;
    void SetDeviceBreak(bool On) override;
    uint32_t ReadModemLines() override;
    [[nodiscard]] int32_t OsLastError() override;

    // The open device (INVALID_HANDLE_VALUE when none). Written by OpenCom and CloseCom while no
    // device thread runs; read by the device threads.
    HANDLE Device() const { return FDeviceHandle.load(); }

    // Set by the status thread on a received-character event and by CloseCom; the reader waits
    // on it. Auto-reset.
    platform::Event FSerialEvent{platform::Event::Reset::Auto};
    // Set after KillThreads by StopThreads, reset by LaunchThreads: the device threads wait on it
    // beside their own events, so a stop ends their waits and pauses at once. Manual-reset.
    platform::Event FStopEvent{platform::Event::Reset::Manual};
    // Tells every device thread to end: KillThreads, then FStopEvent. CloseCom and any device
    // thread that fails.
    void StopThreads() override {
        TSioBaseDispatcher::StopThreads();
        FStopEvent.Set();
    }
    // Set by the reader when it has emptied the driver after reading something. The status
    // thread waits for it after a received-character event: until then another such event
    // tells nothing new, and on devices that report one for as long as unread bytes remain
    // (Wine) asking again at once would spin against the reader. Auto-reset.
    platform::Event FReaderDrained{platform::Event::Reset::Auto};

    // Whether the reader may take more from the driver: the received bytes queued for the
    // dispatcher thread stay below InputBound. When it may not, the reader waits and ReadCom
    // (once the queue has drained to half the bound) or an input purge wakes it. Reader thread.
    bool InputQueueHasRoom();
    // How many bytes the input queue may hold before the reader stops taking more: the driver's
    // input size, at least four reads' worth (TReaderHold::BoundFor).
    int32_t InputBound() const;
    // How many times a held reader has been woken because the queue had room again.
    uint32_t ReaderWakeUps() const { return FReaderHold.Releases(); }

    // Takes the device's line errors (ClearCommError) for a status thread that samples the line
    // instead of waiting for its events; they stay pending for the next ReadErrors, which would
    // otherwise find them taken. The errors taken now. Status thread.
    uint32_t SampleLineErrors();

  private:
    void RecordOsError(DWORD Error) { FOsError.store(Error); }
    // Waits until Thread has reported its end, handling the calling thread's messages, then
    // joins it. Nothing when the thread does not exist or is the calling thread.
    void AwaitThreadEnd(TSioDispatcherThread* Thread);

    platform::UniqueFileHandle FDevice;  // owns the device; OpenCom / CloseCom
    std::atomic<HANDLE> FDeviceHandle{INVALID_HANDLE_VALUE};
    std::atomic<DWORD> FOsError{0};  // the error of the last failed OpenCom / SetupQueues
    // A failed modem-line read and when to ask again (ReadModemLines; any thread).
    std::atomic<bool> FModemUnreadable{false};
    std::atomic<uint32_t> FModemRetryAt{0};
    // Line errors a sample took from the device, not yet given out by ReadErrors.
    std::atomic<uint32_t> FSampledErrors{0};
    TReaderHold FReaderHold;  // the reader's wait for room in FQueue
};
#endif
