// Leftovers of freed ports, freed later on the main thread through a private message window, and
// the deferred closes woken there when a dispatcher's threads end.
#include "serial/port/port_orphans.h"

#include <algorithm>
#include <atomic>

#include "serial/dispatch/base_dispatcher.h"

namespace {

constexpr uint32_t kReapMsg = 0x7F10;   // private to the reaper window
constexpr uintptr_t kThreadsEnded = 1;  // its wParam when a dispatcher's last thread posts it

struct Orphan {
    std::unique_ptr<TSioBaseDispatcher> Dispatcher;
    std::vector<std::unique_ptr<platform::MessageWindow>> Windows;
};

struct ThreadsEndWait {
    const void* Waiter;
    platform::WindowHandle Window;
    uint32_t Msg;
    intptr_t LParam;
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

std::vector<ThreadsEndWait>& ThreadsEndWaits() {
    static std::vector<ThreadsEndWait> waits;
    return waits;
}

void PostReap();

// Frees the dispatchers whose threads have all ended (their destruction then only joins) and,
// when no port window procedure runs, the windows. What has to stay is looked at again when the
// reason goes: the last thread of a dispatcher posts a look as it ends (PostReapFromThread), and
// the outermost port window procedure as it returns. Looking again on a timer or by posting a
// look after each look would keep the main thread busy for as long as a thread runs on (a
// handler that does not return, say). After a thread's end the deferred closes waiting for one
// are told (each looks at its own dispatcher).
void Reap(bool ThreadsEnded) {
    if (ThreadsEnded) {
        std::vector<ThreadsEndWait> waits;
        waits.swap(ThreadsEndWaits());
        for (const ThreadsEndWait& w : waits)
            (void)platform::PostMessageTo(w.Window, w.Msg, 0, w.LParam);
    } else {
        gReapPosted = false;
    }
    std::vector<Orphan>& orphans = Orphans();
    std::vector<Orphan> done;
    for (size_t i = 0; i < orphans.size();) {
        Orphan& o = orphans[i];
        const bool threadsEnded = !o.Dispatcher || !o.Dispatcher->DispActive.load();
        if (threadsEnded && !TPortInUseScope::Running()) {
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
        std::make_unique<platform::MessageWindow>([](uint32_t msg, uintptr_t wParam, intptr_t) {
            if (msg == kReapMsg) Reap(wParam == kThreadsEnded);
            return intptr_t{0};
        }).release();
    gReaper.store(window->Handle());
    return window->Handle();
}

// Any thread: the last thread of a dispatcher, as it ends (an orphan's among them; a look when no
// orphan waits finds nothing to do).
void PostReapFromThread() {
    if (platform::WindowHandle reaper = gReaper.load())
        (void)platform::PostMessageTo(reaper, kReapMsg, kThreadsEnded, 0);
}

void PostReap() {
    if (gReapPosted) return;
    gReapPosted = platform::PostMessageTo(Reaper(), kReapMsg, 0, 0);
}

}  // namespace

// Threads that end from now on post a look.
void WatchThreadsEnd() {
    (void)Reaper();  // made before a thread may post to it
    TSioBaseDispatcher::SetThreadsEndedHook(&PostReapFromThread);
}

void AdoptOrphanedPortParts(std::unique_ptr<TSioBaseDispatcher> Dispatcher,
                            std::vector<std::unique_ptr<platform::MessageWindow>> Windows) {
    // One whose threads ended before is seen by the look below.
    WatchThreadsEnd();
    Orphans().push_back(Orphan{std::move(Dispatcher), std::move(Windows)});
    PostReap();
}

size_t OrphanedPortParts() { return Orphans().size(); }

bool AwaitThreadsEnd(const TSioBaseDispatcher& Dispatcher, const void* Waiter,
                     platform::WindowHandle Window, uint32_t Msg, intptr_t LParam) {
    // Watched before the look: threads that end after it are sure to post.
    WatchThreadsEnd();
    if (!Dispatcher.DispActive.load()) return false;
    ForgetThreadsEndWait(Waiter);
    ThreadsEndWaits().push_back(ThreadsEndWait{Waiter, Window, Msg, LParam});
    return true;
}

void ForgetThreadsEndWait(const void* Waiter) {
    std::vector<ThreadsEndWait>& waits = ThreadsEndWaits();
    waits.erase(std::remove_if(waits.begin(), waits.end(),
                               [&](const ThreadsEndWait& w) { return w.Waiter == Waiter; }),
                waits.end());
}

TPortInUseScope::TPortInUseScope() { ++gProcDepth; }
TPortInUseScope::~TPortInUseScope() {
    // Windows left while a port window procedure ran can go now.
    if (--gProcDepth == 0 && !Orphans().empty()) PostReap();
}
bool TPortInUseScope::Running() { return gProcDepth > 0; }
