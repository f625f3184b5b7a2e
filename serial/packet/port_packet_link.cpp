// A packet manager's link to a port component, and binding a packet to a port.
#include "serial/packet/port_packet_link.h"

#include "serial/packet/data_packet.h"
#include "serial/packet/packet_manager.h"
#include "serial/packet/packet_manager_list.h"
#include "serial/port/com_port.h"

TPortPacketLink::TPortPacketLink(TSioCustomComPort* Port) : FPort(Port) {
    if (FPort->Open() && FPort->PortState() == TPortState::psOpen)
        FDispatcher.store(FPort->Dispatcher());
}

// The manager withdraws explicitly (UnwatchPort); at process end the port may be gone already.
TPortPacketLink::~TPortPacketLink() = default;

bool TPortPacketLink::PortOpen() const { return FPort && FPort->PortState() == TPortState::psOpen; }

bool TPortPacketLink::PortLoading() const {
    return FPort && FPort->ComponentState().Contains(TComponentStateFlag::csLoading);
}

bool TPortPacketLink::PortDesigning() const {
    return FPort && FPort->ComponentState().Contains(TComponentStateFlag::csDesigning);
}

const TComponent* TPortPacketLink::Sender() const { return FPort; }

void TPortPacketLink::WatchPort(std::function<void(TPacketPortEvent)> Changed) {
    fChanged = std::move(Changed);
    if (!FPort || fWatching) return;
    FPort->RegisterUserCallbackEx(MakePortCallbackEx<&TPortPacketLink::PortStateChanged>(this));
    fWatching = true;
}

void TPortPacketLink::UnwatchPort() {
    fChanged = nullptr;
    // Without the port's word there is no telling when its dispatcher goes.
    FDispatcher.store(nullptr);
    if (!FPort || !fWatching) return;
    fWatching = false;
    FPort->DeregisterUserCallbackEx(MakePortCallbackEx<&TPortPacketLink::PortStateChanged>(this));
}

void TPortPacketLink::PortStateChanged(TSioCustomComPort* CP, TSioCallbackType CallbackType) {
    if (CP != FPort) return;
    const bool going = FPort->ComponentState().Contains(TComponentStateFlag::csDestroying);
    switch (CallbackType) {
        case TSioCallbackType::ctOpen:
            FDispatcher.store(FPort->Dispatcher());
            if (fChanged) fChanged(TPacketPortEvent::Opened);
            break;
        case TSioCallbackType::ctClosing:
            if (fChanged) fChanged(TPacketPortEvent::Closed);
            break;
        case TSioCallbackType::ctClosed:
            if (fChanged) fChanged(TPacketPortEvent::Closed);
            FDispatcher.store(nullptr);
            break;
    }
    // A port destroyed while open closes first; after its last word it must not be touched.
    if (going && CallbackType == TSioCallbackType::ctClosed) {
        auto changed = std::move(fChanged);
        fChanged = nullptr;
        fWatching = false;
        FPort = nullptr;
        if (changed) changed(TPacketPortEvent::Gone);
    }
}

std::unique_ptr<TPacketPortLink> MakePortPacketLink(TSioCustomComPort* Port) {
    return std::make_unique<TPortPacketLink>(Port);
}

// ---- binding a packet to a port (TSioDataPacket::ComPort) ----

void TSioDataPacket::SetComPort(TSioCustomComPort* Value) {
    if (Value == FComPort) return;
    LeaveManager();
    FComPort = Value;
    if (!Value) return;
    TSioDataPacketManager* manager = PacketManagers().GetPortManager(Value);
    if (!manager) manager = TSioDataPacketManager::Create(MakePortPacketLink(Value));
    manager->Insert(this);
    // An enabled packet joining an open port starts matching now, not at the port's next open.
    auto lock = LockOf(FManager);
    if (FEnabled && FManager->FEnabled) {
        try {
            ArmPacket();
        } catch (...) {
            FEnabled = false;
            throw;
        }
    }
}
