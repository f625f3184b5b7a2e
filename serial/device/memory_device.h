// TSioMemoryDispatcher: a device layer without a device. Received bytes, line events, modem
// lines, line errors and failures are set by whoever holds the object (tests, and programs run
// without a serial line); what the program sends collects in the output ring until taken.
//
// Threads: one device thread (the "reader", ComThread) that only waits to be told to end, with
// an exit code when a test makes it fail; and the dispatcher thread. Receive and SignalEvent push
// onto FQueue from the calling thread, as the reader and status threads of a real device do.
// DeviceLock guards the simulated device's state; it is the innermost lock (taken inside any
// dispatcher section, takes none itself).
// Results: result codes as described in base_dispatcher.h; system error numbers are positive.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/event.h"
#include "serial/dispatch/base_dispatcher.h"

class TSioMemoryDispatcher : public TSioBaseDispatcher {
  public:
    explicit TSioMemoryDispatcher(TComponent* Owner = nullptr);
    ~TSioMemoryDispatcher() override;

    // ---- the far side of the line ----
    // Bytes arrive: queued in blocks of at most 256 bytes.
    void Receive(std::string_view bytes);
    // A line-event word from the device (0x8 CTS, 0x10 DSR, 0x20 DCD, 0x40 break, 0x80 error,
    // 0x100 ring, ...).
    void SignalEvent(uint32_t mask);
    // The line states 16 CTS, 32 DSR, 64 RI, 128 DCD.
    void SetModemLines(uint32_t lines);
    // Line-error bits the device reports at its next ReadErrors (1, 2, 4, 8, 16).
    void AddLineErrors(uint32_t bits);
    // Device status flags: 1 CTS hold, 2 DSR hold, 8 XOFF hold, 16 XOFF sent.
    void SetHoldFlags(uint32_t flags);
    // Sends everything waiting in the output ring (as the writer thread would) and returns all
    // bytes sent since the last call.
    std::string Transmit();
    // Sends at once whatever WriteCom puts into the output ring.
    void SetAutoTransmit(bool on);

    // Without threads (set before InitPort), nothing runs by itself: the holder runs each
    // dispatcher pass with RunPass, on its own thread. For tests that must not depend on timing.
    void SetRunThreads(bool run);
    // One pass of the dispatcher thread's loop: the next queued item, then the idle triggers.
    void RunPass();

    // ---- failures ----
    // Process-wide: opening this device name fails as for a port that does not exist.
    static void SetPortMissing(const std::wstring& name, bool missing);
    void FailOpen(int32_t systemError);  // 0: opens; -8 gives the out-of-memory result
    void FailSetupQueues(int32_t systemError);
    void FailWriteDeviceState(int32_t systemError);
    void FailReadDeviceState(bool fail);
    void FailLineControl(bool fail);
    // WriteCom takes only this many bytes and reports failure; -1: takes everything.
    void LimitWriteCom(int32_t accepted);
    // The device thread ends with this exit code and ends the port (as a device thread that
    // meets a read error does).
    void EndDeviceThreadWithError(int32_t exitCode);
    // The device thread raises std::runtime_error(what) (as a thread whose allocation fails
    // where nothing catches it would).
    void RaiseInDeviceThread(const std::string& what);
    // ReadCom raises std::runtime_error(what) on the dispatcher thread's next read; empty: no
    // longer.
    void RaiseInReadCom(const std::string& what);

    // ---- what the device saw ----
    TSioDCB DeviceDCB();
    int WriteDeviceStateCalls();
    int LineControlCalls();
    bool DtrLine();
    bool RtsLine();
    bool BreakOn();
    bool DeviceOpen();

    // ---- device operations ----
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
    void StopThreads() override;
    // Nothing is on a wire: a line change applies at once.
    void PauseForLine(uint32_t Ms) override;

  private:
    class TDeviceThread;
    void SendWaitingOutput();  // under OutputSection

    std::mutex DeviceLock;
    // Guarded by DeviceLock.
    std::wstring openName_;
    bool open_ = false;
    TSioDCB deviceDcb_;
    uint32_t modemLines_ = 0;
    uint32_t lineErrors_ = 0;
    uint32_t holdFlags_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    bool break_ = false;
    int writeStateCalls_ = 0;
    int lineControlCalls_ = 0;
    int32_t openError_ = 0;
    int32_t setupQueuesError_ = 0;
    int32_t writeStateError_ = 0;
    bool readStateFails_ = false;
    bool lineControlFails_ = false;
    int32_t lastOsError_ = 0;
    int32_t writeComLimit_ = -1;
    std::string sent_;
    bool autoTransmit_ = false;
    std::atomic<bool> runThreads_{true};
    // Read by the device thread.
    std::atomic<int32_t> threadFailure_{0};
    std::atomic<bool> threadRaises_{false};
    std::string raised_;         // DeviceLock; what the device thread raises
    std::string readComRaises_;  // DeviceLock
    platform::Event wake_{platform::Event::Reset::Auto};
};
