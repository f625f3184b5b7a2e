// Message windows on Windows: message-only windows of one private class; the window procedure
// forwards the program's own messages (WM_USER and above) to the object's procedure.
#include <windows.h>

#include "platform/exception_display.h"
#include "platform/message_window.h"

namespace platform {

struct MessageWindow::Impl {
    WindowProc proc;
    HWND wnd = nullptr;  // owned: destroyed with the object
};

namespace {

constexpr wchar_t kClassName[] = L"PelkanMessageWindow";

LRESULT CALLBACK WindowProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<MessageWindow::Impl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (impl && msg >= WM_USER) {
        try {
            return impl->proc(msg, wParam, lParam);
        } catch (const std::exception& e) {
            ShowException(e);
        } catch (...) {
            ShowExceptionMessage("Unknown exception in a window procedure");
        }
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

void RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

MessageWindow::MessageWindow(WindowProc proc) : impl_(std::make_unique<Impl>()) {
    impl_->proc = std::move(proc);
    RegisterClassOnce();
    impl_->wnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), impl_.get());
    if (!impl_->wnd) throw std::runtime_error("Cannot create a message window");
}

MessageWindow::~MessageWindow() {
    if (impl_->wnd) {
        SetWindowLongPtrW(impl_->wnd, GWLP_USERDATA, 0);
        DestroyWindow(impl_->wnd);
    }
}

WindowHandle MessageWindow::Handle() const { return impl_->wnd; }

SendResult SendMessageWithTimeout(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                  uint32_t timeoutMs, intptr_t* result) {
    DWORD_PTR answer = 0;
    SetLastError(0);
    LRESULT ok = SendMessageTimeoutW(static_cast<HWND>(wnd), msg, wParam, lParam, SMTO_BLOCK,
                                     timeoutMs, &answer);
    if (!ok) return GetLastError() == ERROR_TIMEOUT ? SendResult::TimedOut : SendResult::Failed;
    if (result) *result = static_cast<intptr_t>(answer);
    return SendResult::Handled;
}

intptr_t SendMessageWait(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    return SendMessageW(static_cast<HWND>(wnd), msg, wParam, lParam);
}

bool PostMessageTo(WindowHandle wnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    return PostMessageW(static_cast<HWND>(wnd), msg, wParam, lParam) != 0;
}

void PostQuit(int exitCode) { PostQuitMessage(exitCode); }

std::optional<Message> PumpOneMessage() {
    MSG m;
    if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) return std::nullopt;
    if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(m.wParam));
    } else {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return Message{m.hwnd, m.message, m.wParam, m.lParam};
}

}  // namespace platform
