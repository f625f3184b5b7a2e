// The Windows frontend: form windows, the modal run, the main message loop, message boxes and
// the screen size.
#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "ui/form.h"
#include "ui/frontend.h"
#include "ui/window_peer_win.h"

namespace ui {

void SetScreenSizeForTest(int, int) {}

namespace frontend {
namespace {
// The window records of the forms that have windows. Main thread only.
std::map<Form*, std::unique_ptr<win::FormWindow>>& Windows() {
    static std::map<Form*, std::unique_ptr<win::FormWindow>> windows;
    return windows;
}

win::FormWindow* WindowOf(const Form& form) {
    return static_cast<win::FormWindow*>(form.FrontendData());
}
}  // namespace

void CreateFormWindow(Form& form) {
    auto window = std::make_unique<win::FormWindow>(form);
    form.SetFrontendData(window.get());
    win::FormWindow* raw = window.get();
    Windows()[&form] = std::move(window);
    raw->Create();
}

void DestroyFormWindow(Form& form) {
    form.SetFrontendData(nullptr);
    Windows().erase(&form);
}

void ShowFormWindow(Form& form, bool show) {
    if (win::FormWindow* w = WindowOf(form); w && w->Wnd()) {
        ShowWindow(w->Wnd(), show ? SW_SHOW : SW_HIDE);
        if (show) UpdateWindow(w->Wnd());
    }
}

void MoveFormWindow(Form& form) {
    if (win::FormWindow* w = WindowOf(form); w && w->Wnd()) {
        SetWindowPos(w->Wnd(), nullptr, form.ScreenLeft(), form.ScreenTop(), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

namespace {
struct DisabledWindows {
    HWND except;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableThreadWindow(HWND wnd, LPARAM param) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(param);
    if (wnd != disabled->except && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
        EnableWindow(wnd, FALSE);
        disabled->windows.push_back(wnd);
    }
    return TRUE;
}
}  // namespace

int RunModal(Form& form, const std::function<void(Form&)>& handler) {
    win::FormWindow* w = WindowOf(form);
    if (!w || !w->Wnd()) return mrCancel;
    HWND wnd = w->Wnd();
    // The rest of the program waits for the dialog.
    DisabledWindows disabled{wnd, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableThreadWindow,
                      reinterpret_cast<LPARAM>(&disabled));
    ShowWindow(wnd, SW_SHOW);
    UpdateWindow(wnd);
    SetForegroundWindow(wnd);
    if (handler) {
        w->pendingModalHandler = handler;
        PostMessageW(wnd, win::kRunModalHandler, 0, 0);
    }
    MSG msg;
    while (form.ModalResultValue() == mrNone) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // The program is ending: hand the quit on to the outer loop.
            PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 1);
            form.SetModalResult(mrCancel);
            break;
        }
        if (!IsDialogMessageW(wnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    for (HWND other : disabled.windows) EnableWindow(other, TRUE);
    ShowWindow(wnd, SW_HIDE);
    return form.ModalResultValue();
}

void OuterSize(const Form& form, int& width, int& height) {
    win::FormWindow* w = WindowOf(form);
    if (w && w->Wnd()) {
        RECT r;
        GetWindowRect(w->Wnd(), &r);
        width = r.right - r.left;
        height = r.bottom - r.top;
        return;
    }
    width = form.ClientWidth();
    height = form.ClientHeight();
}

void ScreenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

void ShowMessageBox(const std::wstring& text, bool error) {
    MessageBoxW(GetActiveWindow(), text.c_str(), L"Pelkan",
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

int RunMessageLoop(Form& mainForm) {
    win::FormWindow* w = WindowOf(mainForm);
    HWND wnd = w ? w->Wnd() : nullptr;
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        if (wnd && IsDialogMessageW(wnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace frontend
}  // namespace ui
