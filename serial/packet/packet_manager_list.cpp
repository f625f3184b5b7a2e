// The process-wide list of packet managers.
#include "serial/packet/packet_manager_list.h"

#include <algorithm>

TSioDataPacketManagerList::~TSioDataPacketManagerList() {
    while (!ManagerList.empty()) {
        std::unique_ptr<TSioDataPacketManager> m = std::move(ManagerList.back());
        ManagerList.pop_back();
        m->ForgetPortNow();
        m.reset();
    }
    Graveyard.reset();
}

void TSioDataPacketManagerList::Insert(std::unique_ptr<TSioDataPacketManager> Manager) {
    ManagerList.push_back(std::move(Manager));
}

std::unique_ptr<TSioDataPacketManager> TSioDataPacketManagerList::Remove(
    TSioDataPacketManager* Manager) {
    auto it = std::find_if(ManagerList.begin(), ManagerList.end(),
                           [Manager](const auto& m) { return m.get() == Manager; });
    if (it == ManagerList.end()) return nullptr;
    std::unique_ptr<TSioDataPacketManager> out = std::move(*it);
    ManagerList.erase(it);
    return out;
}

TSioDataPacketManager* TSioDataPacketManagerList::GetPortManager(
    const TSioCustomComPort* ComPort) const {
    if (!ComPort) return nullptr;
    for (const auto& m : ManagerList)
        if (m->ComPort() == ComPort) return m.get();
    return nullptr;
}

void TSioDataPacketManagerList::Bury(std::unique_ptr<TSioDataPacketManager> Manager) {
    std::unique_ptr<TSioDataPacketManager> previous = std::move(Graveyard);
    Graveyard = std::move(Manager);
    previous.reset();
}

void TSioDataPacketManagerList::Retire(std::shared_ptr<TSioDataPacketManager::TGate> Gate) {
    RetiredGates.push_back(std::move(Gate));
}

TSioDataPacketManagerList& PacketManagers() {
    static TSioDataPacketManagerList list;
    return list;
}
