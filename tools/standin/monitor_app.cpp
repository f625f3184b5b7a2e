// The stand-in's windows: creation, the frame's focus rules, the first-device field, the grid's
// clicks and toggles, the rejection box, the value-change dialog and the grid cover.
//
// Focus follows the rules of an ordinary Windows application and nothing more: the control that
// had the keyboard focus when the frame lost activation gets it back when the frame is activated
// again, and text written into the field from outside moves no focus. Enter acts on the window
// that has the focus, so a program that writes into the field and presses Enter while the grid
// has the focus gets Enter in the grid.
#include "tools/standin/monitor_app.h"

#include <cstdio>

#include "platform/exception_display.h"
#include "tools/standin/standin_resources.h"

namespace standin {
namespace {

constexpr wchar_t kMonitorClass[] = L"KorvexMonitorWnd";
constexpr wchar_t kPanelClass[] = L"KorvexMonitorBar";
constexpr wchar_t kFieldHostClass[] = L"KorvexDeviceBox";
constexpr wchar_t kControlClass[] = L"PelkanStandinControl";
constexpr wchar_t kCoverClass[] = L"PelkanStandinCover";

constexpr UINT kFieldEnterMessage = WM_APP + 1;  // to the monitor: Enter in the field
constexpr UINT kLinesMessage = WM_APP + 2;       // to the control window: lines queued
constexpr UINT kInputEndMessage = WM_APP + 3;    // to the control window: input ended

constexpr int kPanelHeight = 34;
constexpr int kMargin = 4;

// Event payloads are single tokens: spaces, controls and '%' are written as %XX.
std::string Encode(const std::wstring& text) {
    std::string out;
    for (unsigned char c : ToUtf8(text)) {
        if (c <= 0x20 || c == '%' || c == 0x7F) {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::wstring WindowText(HWND wnd) {
    int n = GetWindowTextLengthW(wnd);
    std::wstring text(n + 1, L'\0');
    n = GetWindowTextW(wnd, text.data(), n + 1);
    text.resize(n > 0 ? n : 0);
    return text;
}

void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, HCURSOR cursor) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

LRESULT CALLBACK CoverProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT r;
        GetClientRect(wnd, &r);
        SetBkColor(dc, RGB(96, 96, 96));
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
        SetTextColor(dc, RGB(255, 255, 0));
        DrawTextW(dc, L"(covering window)", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(wnd, &ps);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

struct ValueDialogContext {
    DeviceMemory* memory;
    Device device;
    bool fx;
};

}  // namespace

MonitorApp::MonitorApp(StartOptions options)
    : options_(std::move(options)), fx_(options_.fx), rejectTitle_(options_.rejectTitle) {}

MonitorApp::~MonitorApp() {
    channel_.reset();  // before the window its reader posts to goes away
    Uncover();
    if (control_) DestroyWindow(control_);
    if (frame_) DestroyWindow(frame_);
}

bool MonitorApp::Create(HINSTANCE instance, std::wstring* error) {
    auto first = ParseDevice(options_.first, fx_);
    if (!first) {
        *error = L"not a device name: " + options_.first;
        return false;
    }
    first_ = *first;
    for (const auto& name : options_.on) {
        auto device = ParseDevice(name, fx_);
        if (!device) {
            *error = L"not a device name: " + name;
            return false;
        }
        memory_.Set(*device, true);
    }

    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    RegisterWindowClass(kFrameClass, FrameProc, GetSysColorBrush(COLOR_APPWORKSPACE), arrow);
    RegisterWindowClass(kMonitorClass, MonitorProc, face, arrow);
    RegisterWindowClass(kPanelClass, PlainProc, face, arrow);
    RegisterWindowClass(kFieldHostClass, PlainProc, face, arrow);
    RegisterWindowClass(kControlClass, ControlProc, nullptr, nullptr);
    RegisterWindowClass(kCoverClass, CoverProc, nullptr, arrow);
    GridView::Register(instance);

    // Sizes from the inside out: the grid fixes the monitor's client area, the monitor the frame's.
    const int monitorClientW = GridView::ScaledWidth(options_.scale) + 2 * kMargin;
    const int monitorClientH = kPanelHeight + GridView::ScaledHeight(options_.scale) + 2 * kMargin;
    const DWORD monitorStyle =
        WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    RECT monitorRect{0, 0, monitorClientW, monitorClientH};
    AdjustWindowRectEx(&monitorRect, monitorStyle, FALSE, 0);
    const int monitorW = monitorRect.right - monitorRect.left;
    const int monitorH = monitorRect.bottom - monitorRect.top;
    const DWORD frameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    int frameW = options_.width, frameH = options_.height;
    if (frameW <= 0 || frameH <= 0) {
        RECT frameRect{0, 0, monitorW + 2 * kMargin, monitorH + 2 * kMargin};
        AdjustWindowRectEx(&frameRect, frameStyle, FALSE, 0);
        if (frameW <= 0) frameW = frameRect.right - frameRect.left;
        if (frameH <= 0) frameH = frameRect.bottom - frameRect.top;
    }

    frame_ = CreateWindowExW(0, kFrameClass, L"Korvex Works - [モニタ]", frameStyle, options_.x,
                             options_.y, frameW, frameH, nullptr, nullptr, instance, this);
    if (!frame_) {
        *error = L"cannot create the frame window";
        return false;
    }
    const std::wstring title = std::wstring(kMonitorTitle) + options_.titleSuffix;
    monitor_ = CreateWindowExW(0, kMonitorClass, title.c_str(), monitorStyle, kMargin, kMargin,
                               monitorW, monitorH, frame_, nullptr, instance, this);

    // The monitor's tool bar. The device box must stay its fourth child, with the edit as the
    // box's first child: programs that drive the monitor find the field by that path.
    HWND panel =
        CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                        monitorClientW, kPanelHeight, monitor_, nullptr, instance, nullptr);
    const DWORD label = WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_CENTERIMAGE;
    CreateWindowExW(0, L"STATIC", L"モニタ形式", label, 8, 6, 70, 22, panel, nullptr, instance,
                    nullptr);
    CreateWindowExW(WS_EX_STATICEDGE, L"STATIC", L"ビット&ワード", label, 80, 6, 90, 22, panel,
                    nullptr, instance, nullptr);
    CreateWindowExW(0, L"STATIC", L"デバイス", label, 186, 6, 60, 22, panel, nullptr, instance,
                    nullptr);
    HWND fieldHost = CreateWindowExW(0, kFieldHostClass, L"", WS_CHILD | WS_VISIBLE, 248, 5, 120,
                                     24, panel, nullptr, instance, nullptr);
    field_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 120, 24,
                             fieldHost, nullptr, instance, nullptr);
    SetWindowLongPtrW(field_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    fieldDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(field_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
    grid_.Create(monitor_, kMargin, kPanelHeight + kMargin, this, options_.scale);
    control_ = CreateWindowExW(0, kControlClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               instance, this);
    if (!monitor_ || !field_ || !grid_.Handle() || !control_) {
        *error = L"cannot create the monitor's windows";
        return false;
    }
    fieldFont_.reset(CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 DEFAULT_PITCH, L"Tahoma"));
    SendMessageW(field_, WM_SETFONT, reinterpret_cast<WPARAM>(fieldFont_.get()), FALSE);
    ShowFirstInField();

    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
    SetForegroundWindow(frame_);
    SetFocus(field_);
    return true;
}

void MonitorApp::StartControl() {
    channel_ = std::make_unique<ControlChannel>(control_, kLinesMessage, kInputEndMessage);
    // Flushes our drawing to the display before a test starts to look at it.
    GdiFlush();
    channel_->WriteLine("ready");
}

void MonitorApp::Record(const std::string& event) { events_.push_back(event); }

void MonitorApp::ShowFirstInField() { SetWindowTextW(field_, FormatDevice(first_, fx_).c_str()); }

void MonitorApp::SetFirst(Device first) {
    first_ = first;
    grid_.ClearSelection();
    ShowFirstInField();
    grid_.Redraw();
}

void MonitorApp::SetFx(bool fx) {
    if (fx == fx_) return;
    fx_ = fx;
    grid_.ClearSelection();
    ShowFirstInField();
    grid_.Redraw();
}

void MonitorApp::OnFieldEnter() {
    const std::wstring text = WindowText(field_);
    Record("enter=" + Encode(text));
    if (auto device = ParseDevice(text, fx_)) {
        SetFirst(*device);
        return;
    }
    // The view stays; the rejected text stays in the field until someone replaces it.
    Record("reject=" + Encode(text));
    ++rejectBoxesOpen_;
    MessageBoxW(frame_, L"指定されたデバイスは正しくありません。", rejectTitle_.c_str(),
                MB_OK | MB_ICONEXCLAMATION);
    --rejectBoxesOpen_;
    Record("reject-closed");
}

void MonitorApp::OnGridClick(std::optional<int> offset) {
    std::optional<Device> device;
    if (offset) device = DeviceAt(first_, *offset);
    Record("click=" + (device ? Encode(FormatDevice(*device, fx_)) : std::string("none")));
}

void MonitorApp::OnGridToggle(int offset) {
    auto device = DeviceAt(first_, offset);
    if (!device) return;
    const std::string name = Encode(FormatDevice(*device, fx_));
    if (dialogOnNextToggle_) {
        dialogOnNextToggle_ = false;
        Record("dialog=" + name);
        ValueDialogContext context{&memory_, *device, fx_};
        INT_PTR result =
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VALUE_CHANGE), frame_,
                            ValueDialogProc, reinterpret_cast<LPARAM>(&context));
        Record(std::string("dialog-closed=") + (result == IDOK ? "ok" : "cancel"));
        grid_.Redraw();
        return;
    }
    const bool on = !memory_.Get(*device);
    memory_.Set(*device, on);
    Record("toggle=" + name + ":" + (on ? "1" : "0"));
    grid_.Redraw();
}

void MonitorApp::OnGridEnter() { Record("grid-enter"); }

void MonitorApp::Cover(bool topmost) {
    // Another application's window: it takes the activation as such a window would, so that the
    // frame loses it and a foreground request on the frame raises the frame again (unless the
    // cover stays on top).
    Uncover();
    RECT r;
    GetWindowRect(grid_.Handle(), &r);
    DWORD exStyle = WS_EX_TOOLWINDOW | (topmost ? WS_EX_TOPMOST : 0);
    cover_ =
        CreateWindowExW(exStyle, kCoverClass, L"Cover", WS_POPUP, r.left, r.top, r.right - r.left,
                        r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(cover_, SW_SHOW);
    SetForegroundWindow(cover_);
    UpdateWindow(cover_);
}

void MonitorApp::Uncover() {
    if (cover_) DestroyWindow(cover_);
    cover_ = nullptr;
}

std::string MonitorApp::FocusName() const {
    auto name = [this](HWND wnd) -> std::string {
        if (!wnd) return "none";
        if (wnd == field_) return "field";
        if (wnd == grid_.Handle()) return "grid";
        if (wnd == frame_) return "frame";
        return "other";
    };
    return "focus=" + name(GetFocus()) + " saved-focus=" + name(savedFocus_);
}

std::string MonitorApp::StateLine() const {
    std::string line = "fx=" + std::string(fx_ ? "1" : "0");
    line += " first=" + Encode(FormatDevice(first_, fx_));
    line += " field=" + Encode(WindowText(field_));
    auto selected = grid_.Selected();
    std::optional<Device> device;
    if (selected) device = DeviceAt(first_, *selected);
    line += " selected=" + (device ? Encode(FormatDevice(*device, fx_)) : std::string("none"));
    line += " " + FocusName();
    // The foreground window: "frame", "none", or the class name of another window.
    HWND foreground = GetForegroundWindow();
    std::string which = foreground == frame_ ? "frame" : !foreground ? "none" : "";
    if (which.empty()) {
        wchar_t name[64];
        int n = GetClassNameW(foreground, name, 64);
        which = Encode(std::wstring(name, n > 0 ? n : 0));
    }
    line += " foreground=" + which;
    line += " minimized=" + std::string(IsIconic(frame_) ? "1" : "0");
    line += " covered=" + std::string(!cover_ ? "0"
                                      : (GetWindowLongW(cover_, GWL_EXSTYLE) & WS_EX_TOPMOST)
                                          ? "topmost"
                                          : "1");
    line += " dialog-next=" + std::string(dialogOnNextToggle_ ? "1" : "0");
    line += " reject-box=" + std::to_string(rejectBoxesOpen_);
    const DPI_AWARENESS dpi = GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
    line += " dpi-awareness=" + std::to_string(static_cast<int>(dpi));
    return line;
}

LRESULT MonitorApp::BoundProc(MessageHandler handler, HWND wnd, UINT msg, WPARAM wparam,
                              LPARAM lparam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MonitorApp*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(wnd, msg, wparam, lparam);
    try {
        return (self->*handler)(wnd, msg, wparam, lparam);
    } catch (const std::exception& e) {
        platform::ShowException(e);
        return 0;
    }
}

LRESULT CALLBACK MonitorApp::FrameProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return BoundProc(&MonitorApp::OnFrameMessage, wnd, msg, wparam, lparam);
}

LRESULT MonitorApp::OnFrameMessage(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_ACTIVATE:
            // Remember the focused control; the frame's WM_SETFOCUS hands the focus back to it.
            if (LOWORD(wparam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(wnd, focus)) savedFocus_ = focus;
            }
            break;
        case WM_SETFOCUS:
            if (savedFocus_ && IsWindow(savedFocus_) && IsChild(wnd, savedFocus_))
                SetFocus(savedFocus_);
            return 0;
        case WM_CLOSE:
            DestroyWindow(wnd);
            return 0;
        case WM_DESTROY:
            frame_ = nullptr;
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

LRESULT CALLBACK MonitorApp::MonitorProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MonitorApp*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self && msg == kFieldEnterMessage) {
        try {
            self->OnFieldEnter();
        } catch (const std::exception& e) {
            platform::ShowException(e);
        }
        return 0;
    }
    // Clicks on the monitor's caption or border leave the keyboard focus where it is.
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

LRESULT CALLBACK MonitorApp::FieldProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<MonitorApp*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    // Nothing here can throw: the edit's own procedure does the rest.
    if (msg == WM_KEYDOWN && wparam == VK_RETURN) {
        // Acted on after the key message returns, so that the edit is not inside a modal loop.
        if (!(lparam & (1 << 30))) PostMessageW(self->monitor_, kFieldEnterMessage, 0, 0);
        return 0;
    }
    if (msg == WM_CHAR && (wparam == '\r' || wparam == '\n')) return 0;  // no beep
    return CallWindowProcW(self->fieldDefault_, wnd, msg, wparam, lparam);
}

LRESULT CALLBACK MonitorApp::ControlProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return BoundProc(&MonitorApp::OnControlMessage, wnd, msg, wparam, lparam);
}

LRESULT MonitorApp::OnControlMessage(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == kLinesMessage && channel_) {
        for (const auto& line : channel_->TakeLines()) {
            std::string answer = Execute(line);
            channel_->WriteLine(answer);
            if (line == "quit" && frame_) PostMessageW(frame_, WM_CLOSE, 0, 0);
            if (hangAfterAnswer_ > 0) {
                // A hung application: its UI thread takes no message at all for a while.
                const DWORD ms = hangAfterAnswer_;
                hangAfterAnswer_ = 0;
                Sleep(ms);
            }
        }
        return 0;
    }
    if (msg == kInputEndMessage) {
        if (!options_.stay && frame_) PostMessageW(frame_, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wparam, lparam);
}

INT_PTR CALLBACK MonitorApp::ValueDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    try {
        return ValueDialogMessage(dialog, msg, wparam, lparam);
    } catch (const std::exception& e) {
        platform::ShowException(e);
        return FALSE;
    }
}

INT_PTR MonitorApp::ValueDialogMessage(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* context = reinterpret_cast<ValueDialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            context = reinterpret_cast<ValueDialogContext*>(lparam);
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            SetWindowTextW(dialog, kValueDialogTitle);
            SetDlgItemTextW(dialog, IDC_DEVICE_LABEL, L"デバイス");
            SetDlgItemTextW(dialog, IDC_DEVICE, FormatDevice(context->device, context->fx).c_str());
            SetDlgItemTextW(dialog, IDC_VALUE_LABEL, L"設定値");
            SetDlgItemTextW(dialog, IDC_VALUE, context->memory->Get(context->device) ? L"0" : L"1");
            SetDlgItemTextW(dialog, IDOK, L"設定");
            SetDlgItemTextW(dialog, IDCANCEL, L"閉じる");
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK) {
                wchar_t text[8] = {};
                GetDlgItemTextW(dialog, IDC_VALUE, text, 8);
                if (std::wstring(text) != L"0" && std::wstring(text) != L"1") {
                    MessageBeep(MB_ICONEXCLAMATION);
                    return TRUE;
                }
                context->memory->Set(context->device, text[0] == L'1');
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace standin
