// Leftovers of freed ports, freed later on the main thread through a private message window.
#include "serial/port/port_orphans.h"

#include <atomic>

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
// The reaper window, for the threads that end an orphan's run (set once, on the main thread,
// before any orphan's threads are told to post to it).
std::atomic<platform::WindowHandle> gReaper{nullptr};

std::vector<Orphan>& Orphans() {
    static std::vector<Orphan> orphans;
    return orphans;
}

void PostReap();

// Frees the dispatchers whose threads have all ended (their destruction then only joins) and,
// when no port window procedure runs, the windows. What has to stay is looked at again when the
// reason goes: the last thread of a dispatcher posts a look as it ends (PostReapFromThread), and
// the outermost port window procedure as it returns. Looking again on a timer or by posting a
// look after each look would keep the main thread busy for as long as a thread runs on (a
// handler that does not return, say).
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
}

platform::WindowHandle Reaper() {
    // Kept for the life of the process: destroying it at exit would outlive the message windows'
    // own registry.
    static platform::MessageWindow* window =
        std::make_unique<platform::MessageWindow>([](uint32_t msg, uintptr_t, intptr_t) {
            if (msg == kReapMsg) Reap();
            return intptr_t{0};
        }).release();
    gReaper.store(window->Handle());
    return window->Handle();
}

// Any thread: the last thread of a dispatcher, as it ends (an orphan's among them; a look when no
// orphan waits finds nothing to do).
void PostReapFromThread() {
    if (platform::WindowHandle reaper = gReaper.load())
        (void)platform::PostMessageTo(reaper, kReapMsg, 0, 0);
}

void PostReap() {
    if (gReapPosted) return;
    gReapPosted = platform::PostMessageTo(Reaper(), kReapMsg, 0, 0);
}

}  // namespace

void AdoptOrphanedPortParts(std::unique_ptr<TSioBaseDispatcher> Dispatcher,
                            std::vector<std::unique_ptr<platform::MessageWindow>> Windows) {
    (void)Reaper();  // made before a thread may post to it
    // Threads that end from now on post a look; one that ended before is seen by the look below.
    TSioBaseDispatcher::SetThreadsEndedHook(&PostReapFromThread);
    Orphans().push_back(Orphan{std::move(Dispatcher), std::move(Windows)});
    PostReap();
}

size_t OrphanedPortParts() { return Orphans().size(); }

TPortWindowProcScope::TPortWindowProcScope() { ++gProcDepth; }
TPortWindowProcScope::~TPortWindowProcScope() {
    // Windows left while a port window procedure ran can go now.
    if (--gProcDepth == 0 && !Orphans().empty()) PostReap();
}
bool TPortWindowProcScope::Running() { return gProcDepth > 0; }
