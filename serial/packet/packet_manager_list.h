// TSioDataPacketManagerList: the process-wide list of packet managers, one per port, which owns
// them. Main thread.
#pragma once
#include <memory>
#include <vector>

#include "serial/packet/packet_manager.h"

class TSioCustomComPort;

class TSioDataPacketManagerList {
  public:
    TSioDataPacketManagerList() = default;
    // Frees every manager, the last first, after each has forgotten its port.
    ~TSioDataPacketManagerList();
    TSioDataPacketManagerList(const TSioDataPacketManagerList&) = delete;
    TSioDataPacketManagerList& operator=(const TSioDataPacketManagerList&) = delete;

    void Insert(std::unique_ptr<TSioDataPacketManager> Manager);
    // Takes the manager out of the list and hands it back (empty when it was not listed).
    std::unique_ptr<TSioDataPacketManager> Remove(TSioDataPacketManager* Manager);
    // The first manager whose port is ComPort; nullptr when none (or ComPort is nullptr).
    TSioDataPacketManager* GetPortManager(const TSioCustomComPort* ComPort) const;
    size_t Count() const { return ManagerList.size(); }

    // Frees a manager that was taken out of the list from inside its own window procedure: it is
    // kept until the next one is buried (or the list ends), and frees the one kept before.
    void Bury(std::unique_ptr<TSioDataPacketManager> Manager);

    // Keeps a manager's gate until process end: the dispatcher may still hold it.
    void Retire(std::shared_ptr<TSioDataPacketManager::TGate> Gate);

  private:
    std::vector<std::unique_ptr<TSioDataPacketManager>> ManagerList;
    std::unique_ptr<TSioDataPacketManager> Graveyard;
    std::vector<std::shared_ptr<TSioDataPacketManager::TGate>> RetiredGates;
};

TSioDataPacketManagerList& PacketManagers();
