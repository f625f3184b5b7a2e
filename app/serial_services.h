// What the bridge uses of the serial layer: one port, one packet bound to it, and port
// enumeration. The main window reaches the serial line only through these interfaces, so that it
// runs over the in-memory double in tests and over the serial layer in the program.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "serial/packet/packet_types.h"
#include "serial/port/port_types.h"

// The bridge speaks the serial layer's own types.
using TPacketEndConds = TPacketEndSet;

// Why the port did not open, in words for the person at the keyboard: the port does not exist,
// another program holds it, it refused the line settings, no port was chosen, or the serial
// layer's own message for anything else.
class PortOpenError : public std::runtime_error {
  public:
    explicit PortOpenError(std::wstring reason)
        : std::runtime_error("ComPort Open Error"), reason_(std::move(reason)) {}
    const std::wstring& Reason() const { return reason_; }

  private:
    std::wstring reason_;
};

// The port, TSioComPort as the bridge sees it. Setting Open to true opens the device with the
// settings in force or raises PortOpenError (and the port stays closed); false closes it.
class ComPortService {
  public:
    virtual ~ComPortService() = default;
    virtual uint16_t ComNumber() const = 0;
    virtual void SetComNumber(uint16_t number) = 0;
    virtual int32_t Baud() const = 0;
    virtual void SetBaud(int32_t baud) = 0;
    virtual uint16_t DataBits() const = 0;
    virtual void SetDataBits(uint16_t bits) = 0;
    virtual uint16_t StopBits() const = 0;
    virtual void SetStopBits(uint16_t bits) = 0;
    virtual TParity Parity() const = 0;
    virtual void SetParity(TParity parity) = 0;
    virtual TSWFlowOptions SWFlowOptions() const = 0;
    virtual void SetSWFlowOptions(TSWFlowOptions options) = 0;
    virtual bool Open() const = 0;
    virtual void SetOpen(bool open) = 0;
    // Queues the text's bytes (ANSI code page) for sending; raises when they do not fit.
    virtual void PutString(const std::string& text) = 0;
    // The bytes the output has room for now (the output's size while the port is closed).
    virtual uint32_t OutputFree() = 0;
};

// The packet, TSioDataPacket as the bridge sees it. OnStringPacket runs on the main thread once
// per complete packet; OnTimeout when the packet gave up waiting and disabled itself.
class DataPacketService {
  public:
    using StringPacketEvent =
        std::function<void(DataPacketService* sender, const std::string& data)>;
    using TimeoutEvent = std::function<void(DataPacketService* sender)>;

    virtual ~DataPacketService() = default;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual TPacketStartCond StartCond() const = 0;
    virtual void SetStartCond(TPacketStartCond cond) = 0;
    virtual TPacketEndConds EndCond() const = 0;
    virtual void SetEndCond(TPacketEndConds conds) = 0;
    virtual std::string EndString() const = 0;
    virtual void SetEndString(const std::string& text) = 0;
    // Ticks of 55 ms; 0 means none.
    virtual int32_t TimeOut() const = 0;
    virtual void SetTimeOut(int32_t ticks) = 0;
    virtual int32_t PacketSize() const = 0;
    virtual void SetPacketSize(int32_t size) = 0;
    virtual void SetOnStringPacket(StringPacketEvent handler) = 0;
    virtual void SetOnTimeout(TimeoutEvent handler) = 0;
};

// Port enumeration: ProbePort, its process-wide switch CountPortsInUse, MakeComName.
class PortEnumerationService {
  public:
    virtual ~PortEnumerationService() = default;
    // Port 0 is never available.
    virtual bool ProbePort(int32_t number) = 0;
    virtual bool CountPortsInUse() const = 0;
    virtual void SetCountPortsInUse(bool count) = 0;
    // "COM" followed by the number in decimal.
    virtual std::wstring MakeComName(uint16_t number) const = 0;
};

// The three services of one bridge; the packet is bound to the port by whoever builds this.
struct SerialServices {
    std::unique_ptr<ComPortService> port;
    std::unique_ptr<DataPacketService> packet;
    std::unique_ptr<PortEnumerationService> ports;
};
