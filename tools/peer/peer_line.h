// The peer's end of a serial line, on the project's own port component: a TSioComPort opened on
// a serial device, and a TSioDataPacket that collects each reply up to its LF. On Linux the line
// may also be a new pseudo-terminal whose far end is linked under a path, for a program under
// Wine to open as a COM port.
#pragma once
#include <deque>
#include <memory>
#include <string>

class TComponent;
class TSioComPort;
class TSioDataPacket;

namespace peer {

class PeerLine {
  public:
    // Device: "COM3" or "\\.\COM3" (a port number), or a device path on Linux ("/dev/ttyUSB0").
    // PtyLink (Linux only; Device empty): a new pseudo-terminal, its far end linked at PtyLink.
    // 8 data bits, no parity, 1 stop bit, no flow control. Throws std::runtime_error with the
    // reason when the line cannot be opened.
    PeerLine(const std::string& Device, const std::string& PtyLink, int Baud);
    ~PeerLine();
    PeerLine(const PeerLine&) = delete;
    PeerLine& operator=(const PeerLine&) = delete;

    // Sends all bytes; false when the line is gone.
    bool Write(const std::string& Bytes);
    // The next reply up to and including its LF, waiting at most TimeoutMs. False on time-out
    // (what arrived so far stays collected for the next call) or when the line is gone.
    bool ReadLine(std::string& Line, int TimeoutMs);

  private:
    std::unique_ptr<TComponent> FOwner;  // owns the port and the packet
    TSioComPort* FPort = nullptr;
    TSioDataPacket* FPacket = nullptr;
    std::deque<std::string> FReplies;  // main thread: packets delivered, not yet read
};

}  // namespace peer
