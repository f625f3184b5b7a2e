// An in-memory stand-in for the serial services, for the host tests, the fuzz targets and the
// benchmarks (the program runs on the serial layer, serial_services_sio.h): ports that exist or are held by another program as a test says, an open
// that succeeds or raises as a test says, a record of what was sent, and lines and time-outs
// delivered when a test says.
#pragma once
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/serial_services.h"

// What the double raises when sending fails.
class SerialDoubleError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class PortEnumerationDouble;

class ComPortDouble : public ComPortService {
  public:
    // ports not owned: opening asks it whether the port exists and is free.
    explicit ComPortDouble(PortEnumerationDouble& ports) : ports_(ports) {}

    uint16_t ComNumber() const override { return comNumber_; }
    void SetComNumber(uint16_t number) override { comNumber_ = number; }
    int32_t Baud() const override { return baud_; }
    void SetBaud(int32_t baud) override { baud_ = baud; }
    uint16_t DataBits() const override { return dataBits_; }
    void SetDataBits(uint16_t bits) override { dataBits_ = bits; }
    uint16_t StopBits() const override { return stopBits_; }
    void SetStopBits(uint16_t bits) override { stopBits_ = bits; }
    TParity Parity() const override { return parity_; }
    void SetParity(TParity parity) override { parity_ = parity; }
    TSWFlowOptions SWFlowOptions() const override { return swFlow_; }
    void SetSWFlowOptions(TSWFlowOptions options) override { swFlow_ = options; }
    bool Open() const override { return open_; }
    // Opens when the port exists and is free; port 0 asks the prompt answer (none: cancelled).
    // Raises PortOpenError otherwise, with the reason the serial layer's services give, and with
    // the given reason (ASCII) when a test has said the next open fails.
    void SetOpen(bool open) override;
    // Raises when the port is closed or the text is longer than the free output space.
    void PutString(const std::string& text) override;
    // What the double sends leaves at once: the whole output is free.
    uint32_t OutputFree() override { return kOutputSize; }

    // Test controls.
    void FailNextOpen(std::string reason) { failNextOpen_ = std::move(reason); }
    // The port the "Select Port" dialog would give for port 0; empty: the dialog is cancelled.
    void SetPromptAnswer(std::optional<uint16_t> port) { promptAnswer_ = port; }
    const std::vector<std::string>& Sent() const { return sent_; }
    int OpenCount() const { return openCount_; }
    int CloseCount() const { return closeCount_; }

    static constexpr size_t kOutputSize = 4096;

  private:
    PortEnumerationDouble& ports_;  // not owned
    uint16_t comNumber_ = 0;
    int32_t baud_ = 9600;
    uint16_t dataBits_ = 8;
    uint16_t stopBits_ = 1;
    TParity parity_ = TParity::pNone;
    TSWFlowOptions swFlow_ = TSWFlowOptions::swfNone;
    bool open_ = false;
    std::optional<std::string> failNextOpen_;
    std::optional<uint16_t> promptAnswer_;
    std::vector<std::string> sent_;
    int openCount_ = 0;
    int closeCount_ = 0;
};

class DataPacketDouble : public DataPacketService {
  public:
    // port not owned: lines are delivered only while it is open.
    explicit DataPacketDouble(ComPortDouble& port) : port_(port) {}

    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override;
    TPacketStartCond StartCond() const override { return startCond_; }
    void SetStartCond(TPacketStartCond cond) override { startCond_ = cond; }
    TPacketEndConds EndCond() const override { return endCond_; }
    void SetEndCond(TPacketEndConds conds) override { endCond_ = conds; }
    std::string EndString() const override { return endString_; }
    void SetEndString(const std::string& text) override { endString_ = text; }
    int32_t TimeOut() const override { return timeOut_; }
    void SetTimeOut(int32_t ticks) override { timeOut_ = ticks; }
    int32_t PacketSize() const override { return packetSize_; }
    void SetPacketSize(int32_t size) override { packetSize_ = size; }
    void SetOnStringPacket(StringPacketEvent handler) override {
        onStringPacket_ = std::move(handler);
    }
    void SetOnTimeout(TimeoutEvent handler) override { onTimeout_ = std::move(handler); }

    // Test controls. Receive offers bytes as the line would: complete packets (up to and
    // including the end string) reach OnStringPacket one by one while the packet is enabled and
    // the port open; anything else is dropped, as a disabled packet drops it.
    void Receive(const std::string& bytes);
    // The time-out ran out: the partial line is discarded, the packet disables itself and
    // OnTimeout runs.
    void ExpireTimeOut();
    int ArmCount() const { return armCount_; }

  private:
    ComPortDouble& port_;  // not owned
    bool enabled_ = false;
    TPacketStartCond startCond_ = TPacketStartCond::scString;
    TPacketEndConds endCond_;
    std::string endString_;
    int32_t timeOut_ = 0;
    int32_t packetSize_ = 0;
    StringPacketEvent onStringPacket_;
    TimeoutEvent onTimeout_;
    std::string collected_;
    int armCount_ = 0;
};

class PortEnumerationDouble : public PortEnumerationService {
  public:
    bool ProbePort(int32_t number) override;
    bool CountPortsInUse() const override { return countPortsInUse_; }
    void SetCountPortsInUse(bool count) override { countPortsInUse_ = count; }
    std::wstring MakeComName(uint16_t number) const override;

    // Test controls.
    void AddPort(uint16_t number) { existing_.insert(number); }
    void SetPortInUse(uint16_t number, bool inUse);
    bool Exists(uint16_t number) const { return existing_.count(number) != 0; }
    bool InUse(uint16_t number) const { return inUse_.count(number) != 0; }
    const std::vector<int32_t>& Probed() const { return probed_; }

  private:
    bool countPortsInUse_ = true;
    std::set<uint16_t> existing_;
    std::set<uint16_t> inUse_;
    std::vector<int32_t> probed_;
};

// The three doubles wired together, for the program and for tests that want all of them.
struct SerialServicesDouble {
    SerialServicesDouble();
    PortEnumerationDouble* ports;  // owned by services
    ComPortDouble* port;           // owned by services
    DataPacketDouble* packet;      // owned by services
    SerialServices services;
};
