// Message windows on the host: every thread that owns a window or pumps has a queue of posted
// messages and of messages sent to it from other threads.
//
// Threads: a sender puts a SentItem on the owner's queue and waits on the item; the owner runs it
// when it pumps and wakes the sender. A sender that gives up (time-out) marks the item abandoned
// under the item's lock, so the owner skips it and the sender's arguments are never used after it
// left. Registry: windows by handle, guarded by RegistryLock; each queue has its own lock. Locks
// are never nested except registry → nothing (the registry lock is released before a queue lock
// is taken).
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/exception_display.h"
#include "platform/message_window.h"

namespace platform {
namespace {

struct SentItem {
    std::mutex lock;
    std::condition_variable done;
    enum class State { Waiting, Running, Done, Abandoned, Failed } state = State::Waiting;
    Message msg;
    intptr_t result = 0;
};

struct ThreadQueue {
    std::mutex lock;
    std::deque<Message> posted;                  // guarded by lock
    std::deque<std::shared_ptr<SentItem>> sent;  // guarded by lock
};

std::shared_ptr<ThreadQueue>& OwnQueue() {
    thread_local std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
    return queue;
}

}  // namespace

struct MessageWindow::Impl {
    WindowProc proc;
    std::shared_ptr<ThreadQueue> owner;
};

namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
// Live windows; a handle is the address of its Impl. Guarded by RegistryLock.
std::map<WindowHandle, MessageWindow::Impl*>& Registry() {
    static std::map<WindowHandle, MessageWindow::Impl*> windows;
    return windows;
}

// The window's procedure and owner, or none when the window is gone. The procedure is copied so
// that it can run without the registry lock.
bool Lookup(WindowHandle wnd, WindowProc* proc, std::shared_ptr<ThreadQueue>* owner) {
    std::lock_guard lock(RegistryLock());
    auto it = Registry().find(wnd);
    if (it == Registry().end()) return false;
    if (proc) *proc = it->second->proc;
    if (owner) *owner = it->second->owner;
    return true;
}

intptr_t CallProc(const WindowProc& proc, const Message& m) {
    try {
        return proc(m.msg, m.wParam, m.lParam);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowExceptionMessage("Unknown exception in a window procedure");
    }
    return 0;
}

// Runs the messages other threads sent to this thread's windows.
void HandleSentMessages() {
    auto& queue = OwnQueue();
    for (;;) {
        std::shared_ptr<SentItem> item;
        {
            std::lock_guard lock(queue->lock);
            if (queue->sent.empty()) return;
            item = queue->sent.front();
            queue->sent.pop_front();
        }
        {
            std::lock_guard lock(item->lock);
            if (item->state != SentItem::State::Waiting) continue;  // the sender gave up
            item->state = SentItem::State::Running;
        }
        WindowProc proc;
        intptr_t result = 0;
        bool found = Lookup(item->msg.wnd, &proc, nullptr);
        if (found) result = CallProc(proc, item->msg);
        {
            std::lock_guard lock(item->lock);
            item->result = result;
            item->state = found ? SentItem::State::Done : SentItem::State::Failed;
        }
        item->done.notify_all();
    }
}

}  // namespace

MessageWindow::MessageWindow(WindowProc proc) : impl_(std::make_unique<Impl>()) {
    impl_->proc = std::move(proc);
    impl_->owner = OwnQueue();
    std::lock_guard lock(RegistryLock());
    Registry()[impl_.get()] = impl_.get();
}

MessageWindow::~MessageWindow() {
    {
        std::lock_guard lock(RegistryLock());
        Registry().erase(impl_.get());
    }
    // Messages still waiting for this window fail when the owner next pumps (Lookup fails).
    HandleSentMessages();
}

WindowHandle MessageWindow::Handle() const { return impl_.get(); }

SendResult SendMessageWithTimeout(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                  uint32_t timeoutMs, intptr_t* result) {
    WindowProc proc;
    std::shared_ptr<ThreadQueue> owner;
    if (!Lookup(wnd, &proc, &owner)) return SendResult::Failed;
    Message m{wnd, msg, wParam, lParam};
    if (owner == OwnQueue()) {
        intptr_t r = CallProc(proc, m);
        if (result) *result = r;
        return SendResult::Handled;
    }
    auto item = std::make_shared<SentItem>();
    item->msg = m;
    {
        std::lock_guard lock(owner->lock);
        owner->sent.push_back(item);
    }
    std::unique_lock lock(item->lock);
    auto finished = [&] {
        return item->state == SentItem::State::Done || item->state == SentItem::State::Failed;
    };
    if (timeoutMs == 0xFFFFFFFFu) {
        item->done.wait(lock, finished);
    } else if (!item->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), finished)) {
        if (item->state == SentItem::State::Waiting) {
            item->state = SentItem::State::Abandoned;
            return SendResult::TimedOut;
        }
        // Already running: the procedure may use the arguments, so wait for it to end.
        item->done.wait(lock, finished);
    }
    if (item->state == SentItem::State::Failed) return SendResult::Failed;
    if (result) *result = item->result;
    return SendResult::Handled;
}

intptr_t SendMessageWait(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    intptr_t result = 0;
    SendMessageWithTimeout(wnd, msg, wParam, lParam, 0xFFFFFFFFu, &result);
    return result;
}

bool PostMessageTo(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<ThreadQueue> owner;
    if (!Lookup(wnd, nullptr, &owner)) return false;
    std::lock_guard lock(owner->lock);
    owner->posted.push_back(Message{wnd, msg, wParam, lParam});
    return true;
}

void PostQuit(int exitCode) {
    auto& queue = OwnQueue();
    std::lock_guard lock(queue->lock);
    queue->posted.push_back(Message{nullptr, kQuitMessage, static_cast<uintptr_t>(exitCode), 0});
}

std::optional<Message> PumpOneMessage() {
    HandleSentMessages();
    auto& queue = OwnQueue();
    Message m;
    {
        std::lock_guard lock(queue->lock);
        if (queue->posted.empty()) return std::nullopt;
        m = queue->posted.front();
        queue->posted.pop_front();
        if (m.msg == kQuitMessage && m.wnd == nullptr) {
            queue->posted.push_back(m);
            return m;
        }
    }
    WindowProc proc;
    if (Lookup(m.wnd, &proc, nullptr)) CallProc(proc, m);
    return m;
}

}  // namespace platform
