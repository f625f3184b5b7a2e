// The peer's line on TSioComPort and TSioDataPacket.
#include "tools/peer/peer_line.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/main_thread.h"
#include "platform/message_window.h"
#include "serial/component/component.h"
#include "serial/packet/data_packet.h"
#include "serial/port/com_port.h"
#ifndef _WIN32
#include "serial/device/posix_ports.h"
#endif

namespace peer {
namespace {

// The port number a device path or a pseudo-terminal is given in the port table: far above the
// numbers a machine has.
constexpr uint16_t kPeerPort = 250;

uint16_t ComNumberOf(std::string name) {
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
        (name[2] == 'M' || name[2] == 'm')) {
        int n = std::atoi(name.c_str() + 3);
        if (n > 0 && n < 256) return static_cast<uint16_t>(n);
    }
    return 0;
}

}  // namespace

PeerLine::PeerLine(const std::string& Device, const std::string& PtyLink, int Baud)
    : FOwner(std::make_unique<TComponent>(nullptr)) {
    platform::BindMainThread();
    uint16_t number = ComNumberOf(Device);
#ifndef _WIN32
    if (!PtyLink.empty()) {
        number = kPeerPort;
        posix_ports::SetPseudoTerminal(number, PtyLink);
    } else if (number == 0 && !Device.empty()) {
        number = kPeerPort;
        posix_ports::SetDevicePath(number, Device);
    }
#else
    if (!PtyLink.empty()) throw std::runtime_error("--pty-link needs Linux");
#endif
    if (number == 0) throw std::runtime_error(Device + ": not a port name");
    // Created with new and handed to the owner, which frees them (the component model's rule).
    FPort = new TSioComPort(FOwner.get());
    FPort->SetComNumber(number);
    FPort->SetBaud(Baud);
    FPacket = new TSioDataPacket(FOwner.get());
    FPacket->SetComPort(FPort);
    FPacket->SetStartCond(TPacketStartCond::scAnyData);
    FPacket->SetEndCond(TPacketEndSet{TPacketEndCond::ecString});
    FPacket->SetEndString("\n");
    FPacket->SetIncludeStrings(true);
    FPacket->SetOnStringPacket(
        [this](TComponent*, const std::string& Data) { FReplies.push_back(Data); });
    try {
        FPort->SetOpen(true);
    } catch (const std::exception& e) {
        throw std::runtime_error((Device.empty() ? PtyLink : Device) + ": " + e.what());
    }
    FPacket->SetEnabled(true);
}

PeerLine::~PeerLine() {
    FOwner.reset();
    platform::UnbindMainThread();
}

bool PeerLine::Write(const std::string& Bytes) {
    try {
        FPort->PutString(Bytes);
    } catch (const std::exception&) {
        return false;
    }
    return FPort->Open();
}

bool PeerLine::ReadLine(std::string& Line, int TimeoutMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (FReplies.empty()) {
        if (!FPort->Open() || std::chrono::steady_clock::now() >= giveUp) return false;
        if (!platform::PumpOneMessage()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Line = FReplies.front();
    FReplies.pop_front();
    return true;
}

}  // namespace peer
