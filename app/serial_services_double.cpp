// The in-memory serial services.
#include "app/serial_services_double.h"

void ComPortDouble::SetOpen(bool open) {
    if (!open) {
        if (open_) ++closeCount_;
        open_ = false;
        return;
    }
    if (open_) return;
    if (failNextOpen_) {
        std::string reason = *failNextOpen_;
        failNextOpen_.reset();
        throw PortOpenError(std::wstring(reason.begin(), reason.end()));
    }
    uint16_t number = comNumber_;
    if (number == 0) {
        if (!promptAnswer_) throw PortOpenError(L"No port was chosen.");
        number = *promptAnswer_;
        comNumber_ = number;
    }
    const std::wstring name = ports_.MakeComName(number);
    if (!ports_.Exists(number)) throw PortOpenError(name + L" does not exist on this computer.");
    if (ports_.InUse(number)) throw PortOpenError(name + L" is in use by another program.");
    open_ = true;
    ++openCount_;
}

void ComPortDouble::PutString(const std::string& text) {
    if (!open_) throw SerialDoubleError("port not open");
    if (text.size() > kOutputSize) throw SerialDoubleError("output buffer full");
    if (!text.empty()) sent_.push_back(text);
}

void DataPacketDouble::SetEnabled(bool enabled) {
    if (enabled) ++armCount_;
    // Arming starts a new packet; disarming drops the partial one.
    collected_.clear();
    enabled_ = enabled;
}

void DataPacketDouble::Receive(const std::string& bytes) {
    for (char c : bytes) {
        if (!enabled_ || !port_.Open()) {
            collected_.clear();
            continue;
        }
        collected_ += c;
        if (endCond_.Contains(TPacketEndCond::ecString) && !endString_.empty() &&
            collected_.size() >= endString_.size() &&
            collected_.compare(collected_.size() - endString_.size(), endString_.size(),
                               endString_) == 0) {
            std::string packet;
            packet.swap(collected_);
            ++armCount_;
            if (onStringPacket_) onStringPacket_(this, packet);
        }
    }
}

void DataPacketDouble::ExpireTimeOut() {
    if (!enabled_) return;
    collected_.clear();
    enabled_ = false;
    if (onTimeout_) onTimeout_(this);
}

bool PortEnumerationDouble::ProbePort(int32_t number) {
    probed_.push_back(number);
    if (number <= 0 || number > 0xFFFF) return false;
    auto n = static_cast<uint16_t>(number);
    if (!Exists(n)) return false;
    return countPortsInUse_ || !InUse(n);
}

std::wstring PortEnumerationDouble::MakeComName(uint16_t number) const {
    return L"COM" + std::to_wstring(number);
}

void PortEnumerationDouble::SetPortInUse(uint16_t number, bool inUse) {
    if (inUse) {
        inUse_.insert(number);
    } else {
        inUse_.erase(number);
    }
}

SerialServicesDouble::SerialServicesDouble() {
    auto enumeration = std::make_unique<PortEnumerationDouble>();
    auto comPort = std::make_unique<ComPortDouble>(*enumeration);
    auto dataPacket = std::make_unique<DataPacketDouble>(*comPort);
    ports = enumeration.get();
    port = comPort.get();
    packet = dataPacket.get();
    services.ports = std::move(enumeration);
    services.port = std::move(comPort);
    services.packet = std::move(dataPacket);
}
