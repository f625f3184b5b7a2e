// Message windows: a window that belongs to the thread that created it and handles its messages
// there, with sent messages (waiting, with a time-out), posted messages and a one-message pump.
// Windows: real message-only windows. Host: a message queue per thread with the same rules.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// HWND on Windows; on the host an opaque token that is never 0 for a live window.
using WindowHandle = void*;

inline constexpr uint32_t kQuitMessage = 0x0012;  // WM_QUIT

struct Message {
    WindowHandle wnd = nullptr;  // nullptr for thread messages (the quit message)
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The window procedure runs on the owner thread. It must not let an exception escape: the
// window catches and hands it to the exception display.
using WindowProc = std::function<intptr_t(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

// A message window owned by the thread that constructs it; destroyed with the object (on that
// same thread). Messages sent to it from other threads wait until the owner pumps.
class MessageWindow {
  public:
    explicit MessageWindow(WindowProc proc);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    WindowHandle Handle() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

enum class SendResult { Handled, TimedOut, Failed };

// Sends a message and waits up to timeoutMs for the owner thread to handle it (on the owner
// thread itself the procedure runs at once). Like SendMessageTimeout with SMTO_BLOCK: the
// sending thread handles no messages of its own while it waits. `result` receives the answer.
SendResult SendMessageWithTimeout(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                  uint32_t timeoutMs, intptr_t* result = nullptr);

// Sends and waits without a limit (the caller knows the owner thread pumps).
intptr_t SendMessageWait(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Queues a message for the window's owner thread; false when the window does not exist.
bool PostMessageTo(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Posts the quit message to the calling thread's queue.
void PostQuit(int exitCode);

// Handles every message sent to the calling thread's windows from other threads, then removes
// one posted message if any: the quit message is posted again (so the thread's message loop
// still ends) and returned; any other is dispatched to its window and returned. nullopt: none.
std::optional<Message> PumpOneMessage();

}  // namespace platform
