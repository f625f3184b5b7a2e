// Leftovers of freed ports, freed later on the main thread through a private message window.
#include "serial/port/port_orphans.h"

#include "serial/dispatch/base_dispatcher.h"

namespace {

constexpr uint32_t kReapMsg = 0x7F10;  // private to the reaper window

struct Orphan {
    std::unique_ptr<TSioBaseDispatcher> Dispatcher;
    std::vector<std::unique_ptr<platform::MessageWindow>> Windows;
};

// All main thread.
int gProcDepth = 0;
bool gReapPosted = false;

std::vector<Orphan>& Orphans() {
    static std::vector<Orphan> orphans;
    return orphans;
}

void PostReap();

// Frees the dispatchers whose threads have all ended (their destruction then only joins) and,
// when no port window procedure runs, the windows.
void Reap() {
    gReapPosted = false;
    std::vector<Orphan>& orphans = Orphans();
    std::vector<Orphan> done;
    for (size_t i = 0; i < orphans.size();) {
        Orphan& o = orphans[i];
        const bool threadsEnded = !o.Dispatcher || !o.Dispatcher->DispActive.load();
        if (threadsEnded && !TPortWindowProcScope::Running()) {
            done.push_back(std::move(o));
            orphans.erase(orphans.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    // Freed outside the list: a dispatcher's destruction handles messages while it joins.
    done.clear();
    if (!Orphans().empty()) PostReap();
}

platform::WindowHandle Reaper() {
    // Kept for the life of the process: destroying it at exit would outlive the message windows'
    // own registry.
    static platform::MessageWindow* window =
        std::make_unique<platform::MessageWindow>([](uint32_t msg, uintptr_t, intptr_t) {
            if (msg == kReapMsg) Reap();
            return intptr_t{0};
        }).release();
    return window->Handle();
}

void PostReap() {
    if (gReapPosted) return;
    gReapPosted = platform::PostMessageTo(Reaper(), kReapMsg, 0, 0);
}

}  // namespace

void AdoptOrphanedPortParts(std::unique_ptr<TSioBaseDispatcher> Dispatcher,
                            std::vector<std::unique_ptr<platform::MessageWindow>> Windows) {
    Orphans().push_back(Orphan{std::move(Dispatcher), std::move(Windows)});
    PostReap();
}

size_t OrphanedPortParts() { return Orphans().size(); }

TPortWindowProcScope::TPortWindowProcScope() { ++gProcDepth; }
TPortWindowProcScope::~TPortWindowProcScope() { --gProcDepth; }
bool TPortWindowProcScope::Running() { return gProcDepth > 0; }
