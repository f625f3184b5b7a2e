// The control side of the virtual serial line: what a test program started by pelkan-vline
// (under Wine or natively) uses to play the remote party on the line's far end.
//
// pelkan-vline gives the program two environment variables: PELKAN_VLINE_COM (the COM number,
// open it as "\\.\COM<n>") and PELKAN_VLINE_CONTROL (host:port of the loopback control
// connection). The protocol is one text line per request and one answer per request:
//   SEND n\n<n bytes>       -> OK           queue bytes for the program to receive
//   GEN n seed              -> OK           queue the first n bytes of pattern stream `seed`
//   WAITSENT ms             -> OK|TIMEOUT   wait until everything queued has been written
//   RECV n ms               -> DATA k\n<k bytes>   take up to n received bytes (waits for n)
//   CHECK n seed ms         -> CHECK k      compare n received bytes with the pattern; k matched
//   COUNT                   -> COUNT pending total
//   CLEAR                   -> OK           drop received bytes
//   HOLD on|off             -> OK           stop / resume reading the line (its writes pile up)
//   HANGUP                  -> OK           close the line's far end (the device vanishes)
//   RESET                   -> OK           a fresh line behind the same COM number
//   RTT count ms n\n<n bytes> -> RTT us...  send the bytes, wait for them to come back, `count`
//                                           times; the round-trip times in microseconds
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/virtual_line/pattern.h"

namespace vline {

class VirtualLinePeer {
  public:
    // Whether the program runs under pelkan-vline.
    static bool Available();
    // The COM number of the line, and its device name "\\.\COM<n>".
    static int ComNumber();
    static std::wstring DeviceName();

    // Connects to the control connection; throws std::runtime_error when that fails.
    VirtualLinePeer();
    ~VirtualLinePeer();
    VirtualLinePeer(const VirtualLinePeer&) = delete;
    VirtualLinePeer& operator=(const VirtualLinePeer&) = delete;

    void Send(const std::string& bytes);
    void Generate(uint64_t n, uint32_t seed);
    bool WaitSent(uint32_t timeoutMs);
    std::string Receive(size_t n, uint32_t timeoutMs);
    uint64_t Check(uint64_t n, uint32_t seed, uint32_t timeoutMs);
    size_t Pending();
    uint64_t TotalReceived();
    void Clear();
    void Hold(bool on);
    void Hangup();
    void Reset();
    std::vector<int64_t> RoundTrips(const std::string& line, int count, uint32_t timeoutMs);

  private:
    void SendRaw(const std::string& bytes);
    std::string ReadLine();
    std::string ReadBytes(size_t n);
    std::string Request(const std::string& line);  // sends a request line, returns the answer

    intptr_t socket_ = -1;
};

}  // namespace vline
