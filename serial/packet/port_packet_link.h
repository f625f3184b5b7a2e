// The link of a packet manager to a port component: the manager is an extended user of the port
// and reaches its dispatcher while the port is open.
#pragma once
#include <atomic>
#include <memory>

#include "serial/packet/dispatcher_packet_link.h"
#include "serial/port/port_types.h"

class TPortPacketLink : public TDispatcherPacketLink {
  public:
    explicit TPortPacketLink(TSioCustomComPort* Port);
    ~TPortPacketLink() override;

    TSioCustomComPort* Port() const override { return FPort; }
    bool PortOpen() const override;
    bool PortLoading() const override;
    bool PortDesigning() const override;
    void WatchPort(std::function<void(TPacketPortEvent)> Changed) override;
    void UnwatchPort() override;

  protected:
    TSioBaseDispatcher* Dispatcher() const override { return FDispatcher.load(); }
    const TComponent* Sender() const override;

  private:
    void PortStateChanged(TSioCustomComPort* CP, TSioCallbackType CallbackType);

    TSioCustomComPort* FPort;  // not owned; nullptr once the port is gone
    // The port's dispatcher from its open to its close, taken on the main thread when the port
    // says so (asking the port itself could open it, and reads its state). Read by the
    // dispatcher thread inside the manager's handler.
    std::atomic<TSioBaseDispatcher*> FDispatcher{nullptr};
    std::function<void(TPacketPortEvent)> fChanged;
    bool fWatching = false;
};

std::unique_ptr<TPacketPortLink> MakePortPacketLink(TSioCustomComPort* Port);
