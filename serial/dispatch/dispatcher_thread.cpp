// The thread base of the serial layer's threads and the dispatcher thread's loop.
#include "serial/dispatch/dispatcher_thread.h"

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/io_queue.h"

namespace {
// The serial thread running on this thread, if any (set as Run begins).
thread_local TSioDispatcherThread* tCurrent = nullptr;
}  // namespace

TSioDispatcherThread::TSioDispatcherThread(TSioBaseDispatcher* Disp) : H(Disp) {}

TSioDispatcherThread::OntoMainThread::OntoMainThread() : FThread(tCurrent) {
    if (FThread) FThread->FOntoMainThread.fetch_add(1);
}

TSioDispatcherThread::OntoMainThread::~OntoMainThread() {
    if (FThread) FThread->FOntoMainThread.fetch_sub(1);
}

TSioDispatcherThread::~TSioDispatcherThread() {
    {
        std::lock_guard lock(FThreadLock);
        if (FThread.joinable() && FId == std::this_thread::get_id()) {
            FThread.detach();  // ending anyway
            return;
        }
    }
    Join();
}

void TSioDispatcherThread::Start() {
    std::lock_guard lock(FThreadLock);
    FThread = std::thread([this] { Run(); });
    FId = FThread.get_id();
}

void TSioDispatcherThread::Join() {
    std::thread ending;
    {
        std::lock_guard lock(FThreadLock);
        if (!FThread.joinable() || FId == std::this_thread::get_id()) return;
        ending = std::move(FThread);
    }
    // Outside the lock: the ending thread may still ask whether it is the current one.
    ending.join();
    std::lock_guard lock(FThreadLock);
    FId = std::thread::id();  // the system may give the id to a new thread now
}

bool TSioDispatcherThread::IsCurrentThread() const {
    std::lock_guard lock(FThreadLock);
    return FId == std::this_thread::get_id();
}

bool TSioDispatcherThread::Joinable() const {
    std::lock_guard lock(FThreadLock);
    return FThread.joinable();
}

bool TSioDispatcherThread::SetPriority(platform::TThreadPriority P) {
    FPriority.store(P);
    std::lock_guard lock(FThreadLock);
    return platform::SetThreadPriority(FThread, P);
}

void TSioDispatcherThread::Run() {
    tCurrent = this;
    try {
        FReturnValue.store(Execute());
        return;
    } catch (const std::exception& e) {
        platform::ShowException(e);
    } catch (...) {
        platform::ShowExceptionMessage("Unknown exception in a serial thread");
    }
    // Unreported, this end would keep the port's close waiting for ever, and the other threads
    // would go on serving a port that can no longer work.
    if (Finished()) return;
    Abandon();
    H->ThreadDied(this);
}

void TSioDispatcherThread::SyncNotify(uint32_t Msg, uint32_t Trigger, int32_t lParam,
                                      TSioNotifyEvent Event) {
    pMsg = Msg;
    pTrigger = Trigger;
    plParam = lParam;
    pTriggerEvent = Event;
    OntoMainThread onto;
    platform::RunOnMainThread([this] { pTriggerEvent(pMsg, pTrigger, plParam); });
}

void TSioDispatcherThread::Sync(const std::function<void()>& Method) {
    OntoMainThread onto;
    platform::RunOnMainThread(Method);
}

int32_t TDispThread::Execute() {
    H->ThreadStarted();
    for (;;) {
        // With the ring full nothing can leave the queue, and a queue that holds data would end
        // every wait at once: the thread would pass again and again for nothing. It waits instead
        // for what can change that (bytes taken from the ring, a status word, a close) or for the
        // next look at the timers.
        if (H->DispatchBufferFull())
            H->FQueue->WaitForStatus(50);
        else
            H->FQueue->WaitForBuffer(50);
        if (H->KillThreads.load() || Terminated()) break;
        H->DispatchQueuedItem();
        H->CheckIdleTriggers();
        if (H->KillThreads.load() || H->ClosePending.load()) {
            if (H->GeneralEvent) H->GeneralEvent->Set();
            break;
        }
    }
    H->DoDonePortPrim.store(H->ClosePending.load() || H->KillThreads.load());
    H->ThreadFinished(this);
    return 0;
}
