// The link of a packet manager to a dispatcher that no port component owns: the port counts as
// open and settled, and the dispatcher is the one given.
#pragma once
#include <functional>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/packet/dispatcher_packet_link.h"

class MemoryLink : public TDispatcherPacketLink {
  public:
    explicit MemoryLink(TSioBaseDispatcher* D) : d(D) {}  // not owned
    TSioCustomComPort* Port() const override { return nullptr; }
    bool PortOpen() const override { return true; }
    bool PortLoading() const override { return false; }
    bool PortDesigning() const override { return false; }
    void WatchPort(std::function<void(TPacketPortEvent)>) override {}
    void UnwatchPort() override {}

  protected:
    TSioBaseDispatcher* Dispatcher() const override { return d; }
    const TComponent* Sender() const override { return nullptr; }

  private:
    TSioBaseDispatcher* d;
};
