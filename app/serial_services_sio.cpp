// The serial services over TSioComPort and TSioDataPacket.
#include "app/serial_services_sio.h"

#include "platform/text.h"
#include "serial/component/component.h"
#include "serial/errors/errors.h"
#include "serial/packet/data_packet.h"
#include "serial/port/com_port.h"
#include "serial/port/port_probe.h"
#include "serial_ui/com_select_form.h"

namespace {

class SioComPortService : public ComPortService {
  public:
    explicit SioComPortService(TSioComPort* port) : port_(port) {}
    uint16_t ComNumber() const override { return port_->ComNumber(); }
    void SetComNumber(uint16_t number) override { port_->SetComNumber(number); }
    int32_t Baud() const override { return port_->Baud(); }
    void SetBaud(int32_t baud) override { port_->SetBaud(baud); }
    uint16_t DataBits() const override { return port_->DataBits(); }
    void SetDataBits(uint16_t bits) override { port_->SetDataBits(bits); }
    uint16_t StopBits() const override { return port_->StopBits(); }
    void SetStopBits(uint16_t bits) override { port_->SetStopBits(bits); }
    TParity Parity() const override { return port_->Parity(); }
    void SetParity(TParity parity) override { port_->SetParity(parity); }
    TSWFlowOptions SWFlowOptions() const override { return port_->SWFlowOptions(); }
    void SetSWFlowOptions(TSWFlowOptions options) override { port_->SetSWFlowOptions(options); }
    bool Open() const override { return port_->Open(); }
    void SetOpen(bool open) override {
        if (open) return OpenSioPort(*port_);
        port_->SetOpen(false);
    }
    void PutString(const std::string& text) override { port_->PutString(text); }
    uint32_t OutputFree() override { return port_->OutBuffFree(); }

  private:
    TSioComPort* port_;  // not owned
};

class SioDataPacketService : public DataPacketService {
  public:
    explicit SioDataPacketService(TSioDataPacket* packet) : packet_(packet) {}
    bool Enabled() const override { return packet_->Enabled(); }
    void SetEnabled(bool enabled) override { packet_->SetEnabled(enabled); }
    TPacketStartCond StartCond() const override { return packet_->StartCond(); }
    void SetStartCond(TPacketStartCond cond) override { packet_->SetStartCond(cond); }
    TPacketEndConds EndCond() const override { return packet_->EndCond(); }
    void SetEndCond(TPacketEndConds conds) override { packet_->SetEndCond(conds); }
    std::string EndString() const override { return packet_->EndString(); }
    void SetEndString(const std::string& text) override { packet_->SetEndString(text); }
    int32_t TimeOut() const override { return packet_->TimeOut(); }
    void SetTimeOut(int32_t ticks) override { packet_->SetTimeOut(ticks); }
    int32_t PacketSize() const override { return packet_->PacketSize(); }
    void SetPacketSize(int32_t size) override { packet_->SetPacketSize(size); }
    void SetOnStringPacket(StringPacketEvent handler) override {
        if (!handler) return packet_->SetOnStringPacket(nullptr);
        packet_->SetOnStringPacket(
            [this, handler](TComponent*, const std::string& data) { handler(this, data); });
    }
    void SetOnTimeout(TimeoutEvent handler) override {
        if (!handler) return packet_->SetOnTimeout(nullptr);
        packet_->SetOnTimeout([this, handler](TComponent*) { handler(this); });
    }

  private:
    TSioDataPacket* packet_;  // not owned
};

class SioPortEnumeration : public PortEnumerationService {
  public:
    bool ProbePort(int32_t number) override { return ::ProbePort(number); }
    bool CountPortsInUse() const override { return ::CountPortsInUse; }
    void SetCountPortsInUse(bool count) override { ::CountPortsInUse = count; }
    std::wstring MakeComName(uint16_t number) const override { return ::MakeComName(number); }
};

std::wstring LineSettings(const TSioComPort& port) {
    static const wchar_t* const kParity[] = {L"no", L"odd", L"even", L"mark", L"space"};
    const auto parity = static_cast<size_t>(port.Parity());
    return std::to_wstring(port.Baud()) + L" baud, " + std::to_wstring(port.DataBits()) +
           L" data bits, " + (parity < 5 ? kParity[parity] : L"unknown") + L" parity, " +
           std::to_wstring(port.StopBits()) + L" stop bit" + (port.StopBits() == 1 ? L"" : L"s");
}

// Windows reports a setting the driver does not take as an invalid parameter or function.
bool IsRefusedSetting(int32_t systemError) { return systemError == 87 || systemError == 1; }

}  // namespace

void OpenSioPort(TSioComPort& port) {
    try {
        port.SetOpen(true);
        return;
    } catch (const ENoPortSelected&) {
        throw PortOpenError(L"No port was chosen.");
    } catch (const std::exception& e) {
        const std::wstring name = ::MakeComName(port.ComNumber());
        const std::wstring detail = platform::AnsiToWide(e.what());
        if (dynamic_cast<const EBadId*>(&e) || dynamic_cast<const EHardware*>(&e))
            throw PortOpenError(name + L" does not exist on this computer.");
        if (dynamic_cast<const EAlreadyOpen*>(&e))
            throw PortOpenError(name + L" is in use by another program.");
        const auto* io = dynamic_cast<const EInOutError*>(&e);
        if (dynamic_cast<const EBaudRate*>(&e) || dynamic_cast<const EByteSize*>(&e) ||
            dynamic_cast<const EDefault*>(&e) || (io && IsRefusedSetting(io->ErrorCode()))) {
            throw PortOpenError(name + L" refused the settings " + LineSettings(port) + L": " +
                                detail);
        }
        throw PortOpenError(name + L" could not be opened: " + detail);
    }
}

SioSerialServices::SioSerialServices() : owner_(std::make_unique<TComponent>(nullptr)) {
    // Created with new and handed to the owner, which frees them (the component model's rule).
    auto* port = new TSioComPort(owner_.get());
    port_ = port;
    // The dispatch log writes the packet's name into its entries; these names are what it shows.
    port->SetName("SioComPort1");
    port->SetPortPrompt(AskPortInSelectDialog);
    auto* packet = new TSioDataPacket(owner_.get());
    packet->SetName("SioDataPacket1");
    packet->SetComPort(port);
    services.port = std::make_unique<SioComPortService>(port);
    services.packet = std::make_unique<SioDataPacketService>(packet);
    services.ports = std::make_unique<SioPortEnumeration>();
}

SioSerialServices::~SioSerialServices() {
    services = {};
    owner_.reset();
}
