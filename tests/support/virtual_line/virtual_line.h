// The virtual serial line (Linux side): a pseudo-terminal pair whose slave a Wine prefix's
// dosdevices/comN points at, so that a Windows program under Wine opens it as COMn, while this
// object plays the remote party on the master.
//
// Threads: a reader thread moves everything the Windows side sends from the master into an
// in-memory buffer; a writer thread sends queued output to the master. Callers may use the
// public operations from any thread. `mutex_` guards the received buffer, the output queue and
// the counters; `changed_` is notified whenever either changes. Hangup and Reset stop both
// threads (atomic stop flag, polls of at most 20 ms) before they close or replace the pty.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vline {

class VirtualLine {
  public:
    // Opens a pty pair in raw mode and points <winePrefix>/dosdevices/com<comNumber> at its slave
    // (replacing what was there). Throws std::runtime_error on failure.
    VirtualLine(std::string winePrefix, int comNumber);
    // Stops the threads, closes the pty and removes the dosdevices link.
    ~VirtualLine();
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;

    int ComNumber() const { return com_; }
    std::string SlavePath() const;

    // Queues bytes for the Windows side; returns at once.
    void Send(const std::string& bytes);
    // Queues the first n bytes of the pattern stream `seed` (pattern.h).
    void Generate(uint64_t n, uint32_t seed);
    // Waits until everything queued has been written to the master; false on time-out.
    bool WaitSent(std::chrono::milliseconds timeout);

    // Takes up to n received bytes, waiting up to timeout for n to be there.
    std::string Receive(size_t n, std::chrono::milliseconds timeout);
    // Waits for n received bytes (up to timeout) and compares them with pattern stream `seed`
    // from index 0, consuming what it compared. Returns the number of bytes that matched before
    // the first difference (n when all did; fewer on a difference or a time-out).
    uint64_t Check(uint64_t n, uint32_t seed, std::chrono::milliseconds timeout);
    // Bytes received and not yet taken; total bytes received since the line was made.
    size_t Pending();
    uint64_t TotalReceived();
    void ClearReceived();

    // Round trips: sends `line`, waits until the same bytes come back, `count` times. Returns the
    // time of each round trip in microseconds (fewer entries when one timed out).
    std::vector<int64_t> RoundTrips(const std::string& line, int count,
                                    std::chrono::milliseconds timeout);

    // While held, nothing is read from the line: what the Windows side writes piles up in the
    // pty until its writes stay pending.
    void Hold(bool on);

    // The line disappears: the master is closed, so the Windows side's reads and waits fail.
    void Hangup();
    // A fresh pty pair behind the same COM number (after Hangup, or to drop all state).
    void Reset();

  private:
    void Open();
    void Close();
    void ReaderLoop(int fd);
    void WriterLoop(int fd);

    const std::string prefix_;
    const int com_;
    std::string linkPath_;

    int master_ = -1;  // written by Open/Close on the calling thread while no thread runs
    int slave_ = -1;   // kept open so that the master does not see a hang-up between opens
    std::string slaveName_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hold_{false};
    std::thread reader_, writer_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint8_t> received_;    // guarded by mutex_
    uint64_t totalReceived_ = 0;      // guarded by mutex_
    std::deque<std::string> output_;  // guarded by mutex_
    bool writing_ = false;            // guarded by mutex_: the writer holds a piece
};

}  // namespace vline
