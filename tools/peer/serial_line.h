// The peer's end of a serial line: a serial device opened at a baud rate, or (on Linux) a
// pseudo-terminal whose other end is published under a path for a program under Wine to open as
// a COM port.
#pragma once
#include <memory>
#include <string>

namespace peer {

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Writes all bytes; false when the line is gone.
    virtual bool Write(const std::string& bytes) = 0;
    // Reads up to and including the next LF, waiting at most timeoutMs in all. False on time-out
    // (what arrived so far stays buffered for the next call) or when the line is gone.
    virtual bool ReadLine(std::string& line, int timeoutMs) = 0;
    // Reads whatever arrives within timeoutMs.
    virtual std::string Drain(int timeoutMs) = 0;
};

// 8 data bits, no parity, 1 stop bit, no flow control. Null with `error` set on failure.
std::unique_ptr<SerialLine> OpenSerialDevice(const std::string& device, int baud,
                                             std::string& error);

// Linux only: a pseudo-terminal pair; `linkPath` (for example a Wine prefix's dosdevices/com5)
// is made a symbolic link to its far end for as long as the line lives.
std::unique_ptr<SerialLine> CreatePseudoTerminal(const std::string& linkPath, std::string& error);

}  // namespace peer
