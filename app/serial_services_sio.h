// The bridge's serial services served by the serial layer: a TSioComPort and a
// TSioDataPacket bound to it, with port enumeration by ProbePort. This is what
// pelkan.exe runs on; the in-memory double serves the host tests.
#pragma once
#include <memory>

#include "app/serial_services.h"

class TComponent;
class TSioComPort;

// Opens the port; a failure raises PortOpenError with the reason told in the user's terms (a
// missing port, a port in use, refused line settings, no port chosen) and the serial layer's
// message after it where that says more.
void OpenSioPort(TSioComPort& port);

// Owns the port and the packet (through a component owner that frees them in the right order
// when this goes) and the services that reach them.
class SioSerialServices {
  public:
    SioSerialServices();
    ~SioSerialServices();
    SioSerialServices(const SioSerialServices&) = delete;
    SioSerialServices& operator=(const SioSerialServices&) = delete;

    SerialServices services;

    // The port component itself, for tests that put another device layer under it.
    TSioComPort& Port() { return *port_; }

  private:
    std::unique_ptr<TComponent> owner_;  // owns the port and the packet
    TSioComPort* port_ = nullptr;        // owned by owner_
};
