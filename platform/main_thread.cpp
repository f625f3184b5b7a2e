// The main-thread call, built on a message window that the main thread owns: a caller sends it a
// message carrying the function and waits until the main thread has run it.
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/exception_display.h"
#include "platform/main_thread.h"
#include "platform/message_window.h"

namespace platform {
namespace {

constexpr uint32_t kRunMessage = 0x7F00;  // WM_USER range, private to this window

std::mutex& BindLock() {
    static std::mutex lock;
    return lock;
}
std::unique_ptr<MessageWindow>& MainWindow() {  // guarded by BindLock
    static std::unique_ptr<MessageWindow> window;
    return window;
}
std::atomic<std::thread::id>& MainId() {
    static std::atomic<std::thread::id> id{};
    return id;
}

void RunShown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowExceptionMessage("Unknown exception");
    }
}

}  // namespace

void BindMainThread() {
    auto window = std::make_unique<MessageWindow>([](uint32_t msg, uintptr_t, intptr_t lParam) {
        if (msg == kRunMessage) RunShown(*reinterpret_cast<const std::function<void()>*>(lParam));
        return intptr_t{0};
    });
    std::unique_ptr<MessageWindow> old;
    std::thread::id oldId;
    {
        std::lock_guard lock(BindLock());
        old = std::exchange(MainWindow(), std::move(window));
        oldId = MainId().exchange(std::this_thread::get_id());
    }
    // A window of another thread may only be destroyed there; that one is left to the process end.
    if (old && oldId != std::this_thread::get_id()) (void)old.release();
}

void UnbindMainThread() {
    std::unique_ptr<MessageWindow> old;
    {
        std::lock_guard lock(BindLock());
        old = std::move(MainWindow());
        MainId().store(std::thread::id{});
    }
}

bool IsMainThread() { return MainId().load() == std::this_thread::get_id(); }

void RunOnMainThread(const std::function<void()>& fn) {
    WindowHandle wnd = nullptr;
    {
        std::lock_guard lock(BindLock());
        if (MainWindow() && MainId().load() != std::this_thread::get_id())
            wnd = MainWindow()->Handle();
    }
    if (!wnd) {
        RunShown(fn);
        return;
    }
    SendMessageWait(wnd, kRunMessage, 0, reinterpret_cast<intptr_t>(&fn));
}

}  // namespace platform
