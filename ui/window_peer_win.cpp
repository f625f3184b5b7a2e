// The Windows frontend's peers: creating a real window for each control, keeping it in step with
// the object, and turning the window's notifications into the object's events.
#include "ui/window_peer_win.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "platform/exception_display.h"
#include "ui/image.h"

namespace ui::win {
namespace {

// The one window procedure of the toolkit's own classes. lpCreateParams of CREATESTRUCT carries
// the peer, set by WindowPeer::Create.
LRESULT CALLBACK PeerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* peer = static_cast<WindowPeer*>(create->lpCreateParams);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
        peer->BindWindow(wnd);
    }
    WindowPeer* peer = WindowPeer::FromWindow(wnd);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        if (peer) peer->BindWindow(nullptr);
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
    if (!peer) return DefWindowProcW(wnd, msg, wParam, lParam);
    try {
        return peer->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        platform::ShowException(e);
    } catch (...) {
        platform::ShowExceptionMessage("unknown exception in a window handler");
    }
    return 0;
}

DWORD AlignmentStyle(ControlKind kind, Alignment a) {
    if (kind == ControlKind::Edit) {
        return a == Alignment::Center ? ES_CENTER : a == Alignment::Right ? ES_RIGHT : ES_LEFT;
    }
    return a == Alignment::Center ? SS_CENTER : a == Alignment::Right ? SS_RIGHT : SS_LEFT;
}

// Extra height below a combo box's edit for its drop-down list, in design pixels.
constexpr int kDropDownListHeight = 200;

}  // namespace

void RegisterWindowClasses() {
    static bool registered = false;  // main thread only
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const wchar_t* name : {kFormClass, kPanelClass, kImageClass}) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PeerWindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = name;
        if (name == kFormClass) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        RegisterClassExW(&wc);
    }
}

WindowPeer::~WindowPeer() {
    if (control_) control_->BindPeer(nullptr);
}

WindowPeer* WindowPeer::FromWindow(HWND wnd) {
    return wnd ? reinterpret_cast<WindowPeer*>(GetWindowLongPtrW(wnd, GWLP_USERDATA)) : nullptr;
}

RECT WindowPeer::ScaledRect(const Rect& r) const {
    return {owner_.Scale(r.left), owner_.Scale(r.top), owner_.Scale(r.Right()),
            owner_.Scale(r.Bottom())};
}

void WindowPeer::Create(HWND parentWnd) {
    Control& c = *control_;
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (c.Kind()) {
        case ControlKind::Form: {
            cls = kFormClass;
            style = owner_.Style();
            exStyle = owner_.ExStyle();
            RECT outer{0, 0, owner_.Scale(c.Width()), owner_.Scale(c.Height())};
            AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, owner_.Dpi());
            auto* form = static_cast<Form*>(&c);
            wnd_ = CreateWindowExW(exStyle, cls, c.Text().c_str(), style, form->ScreenLeft(),
                                   form->ScreenTop(), outer.right - outer.left,
                                   outer.bottom - outer.top, parentWnd, nullptr,
                                   GetModuleHandleW(nullptr), this);
            owner_.TakeWindow(wnd_);
            return;
        }
        case ControlKind::PageControl:
            cls = WC_TABCONTROLW;
            style |= WS_TABSTOP | WS_CLIPCHILDREN;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::TabSheet:
            cls = kPanelClass;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::GroupBox:
            cls = kPanelClass;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::Bevel:
            // Drawn by the toolkit, so that its inside shows the face colour under any theme.
            cls = kPanelClass;
            break;
        case ControlKind::Label:
            cls = WC_STATICW;
            style |= SS_NOPREFIX | AlignmentStyle(c.Kind(), c.TextAlignment());
            break;
        case ControlKind::Edit:
            cls = WC_EDITW;
            style |= ES_AUTOHSCROLL | AlignmentStyle(c.Kind(), c.TextAlignment());
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            style |= static_cast<Button&>(c).Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case ControlKind::SpeedButton:
            cls = WC_BUTTONW;
            style |= BS_PUSHBUTTON | BS_FLAT;
            break;
        case ControlKind::CheckBox:
            // The object decides the state; the window only reports the click.
            cls = WC_BUTTONW;
            style |= BS_CHECKBOX;
            break;
        case ControlKind::ComboBox:
            cls = WC_COMBOBOXW;
            style |= WS_VSCROLL | CBS_AUTOHSCROLL |
                     (static_cast<ComboBox&>(c).ComboStyle() == ComboBox::Style::DropDownList
                          ? CBS_DROPDOWNLIST
                          : CBS_DROPDOWN);
            break;
        case ControlKind::Image:
            cls = kImageClass;
            break;
    }
    if (c.Visible()) style |= WS_VISIBLE;
    if (!c.Enabled()) style |= WS_DISABLED;
    // Speed buttons take no part in tabbing, whatever their arguments say.
    if (c.TabStop() && c.Kind() != ControlKind::SpeedButton && c.Kind() != ControlKind::Label &&
        c.Kind() != ControlKind::Bevel && c.Kind() != ControlKind::TabSheet &&
        c.Kind() != ControlKind::GroupBox && c.Kind() != ControlKind::Image) {
        style |= WS_TABSTOP;
    }
    RECT r = ScaledRect(WindowBounds());
    const bool ownClass = cls == kPanelClass || cls == kImageClass;
    HWND wnd = CreateWindowExW(exStyle, cls, c.Text().c_str(), style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parentWnd, nullptr,
                               GetModuleHandleW(nullptr), ownClass ? this : nullptr);
    if (!wnd) return;
    if (!ownClass) {
        wnd_ = wnd;
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.FontFor(c.EffectiveFont())),
                 FALSE);
    switch (c.Kind()) {
        case ControlKind::PageControl: {
            auto& pages = static_cast<PageControl&>(c);
            int i = 0;
            for (TabSheet* page : pages.Pages()) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(page->Caption().c_str());
                SendMessageW(wnd, TCM_INSERTITEMW, static_cast<WPARAM>(i++),
                             reinterpret_cast<LPARAM>(&item));
            }
            SyncActivePage();
            break;
        }
        case ControlKind::CheckBox:
            SendMessageW(wnd, BM_SETCHECK,
                         static_cast<CheckBox&>(c).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::ComboBox:
            SyncItems();
            break;
        case ControlKind::Edit:
            // The window's text is the object's, from the first moment.
            SetWindowTextW(wnd, c.Text().c_str());
            break;
        default:
            break;
    }
    c.BindPeer(this);
}

Rect WindowPeer::WindowBounds() const {
    Rect bounds = control_->Bounds();
    if (control_->Kind() == ControlKind::TabSheet) {
        // Pages lie in the page control's window, below the tabs.
        bounds.left += PageControl::kBorder;
        bounds.top += PageControl::kTabHeight;
    } else if (control_->Kind() == ControlKind::ComboBox) {
        bounds.height += kDropDownListHeight;
    }
    return bounds;
}

void WindowPeer::Rescale() {
    if (!control_ || !wnd_) return;
    SendMessageW(wnd_, WM_SETFONT,
                 reinterpret_cast<WPARAM>(owner_.FontFor(control_->EffectiveFont())), FALSE);
    if (control_->Kind() == ControlKind::Form) return;
    RECT r = ScaledRect(WindowBounds());
    SetWindowPos(wnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(wnd_, nullptr, TRUE);
}

void WindowPeer::SyncItems() {
    auto& box = static_cast<ComboBox&>(*control_);
    SendMessageW(wnd_, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& item : box.Items()) {
        SendMessageW(wnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SyncItemIndex();
}

void WindowPeer::SyncItemIndex() {
    auto& box = static_cast<ComboBox&>(*control_);
    SendMessageW(wnd_, CB_SETCURSEL, static_cast<WPARAM>(box.ItemIndex()), 0);
    if (box.ComboStyle() == ComboBox::Style::DropDown) SetWindowTextW(wnd_, box.Text().c_str());
}

void WindowPeer::SyncActivePage() {
    auto& pages = static_cast<PageControl&>(*control_);
    SendMessageW(wnd_, TCM_SETCURSEL, static_cast<WPARAM>(pages.ActivePageIndex()), 0);
}

void WindowPeer::StateChanged(Control& c, Property what) {
    if (!wnd_) return;
    switch (what) {
        case Property::Text:
            if (c.Kind() == ControlKind::TabSheet) {
                auto& page = static_cast<TabSheet&>(c);
                if (WindowPeer* tabs = static_cast<WindowPeer*>(page.Owner()->Peer())) {
                    TCITEMW item{};
                    item.mask = TCIF_TEXT;
                    item.pszText = const_cast<wchar_t*>(c.Caption().c_str());
                    SendMessageW(tabs->Wnd(), TCM_SETITEMW, static_cast<WPARAM>(page.PageIndex()),
                                 reinterpret_cast<LPARAM>(&item));
                }
            }
            SetWindowTextW(wnd_, c.Text().c_str());
            if (c.Kind() == ControlKind::GroupBox) InvalidateRect(wnd_, nullptr, TRUE);
            break;
        case Property::Enabled:
            EnableWindow(wnd_, c.Enabled());
            break;
        case Property::Visible:
            if (c.Kind() != ControlKind::Form) ShowWindow(wnd_, c.Visible() ? SW_SHOW : SW_HIDE);
            break;
        case Property::Bounds: {
            if (c.Kind() == ControlKind::Form) break;
            RECT r = ScaledRect(WindowBounds());
            MoveWindow(wnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
            break;
        }
        case Property::Font:
            SendMessageW(wnd_, WM_SETFONT,
                         reinterpret_cast<WPARAM>(owner_.FontFor(c.EffectiveFont())), TRUE);
            break;
        case Property::Checked:
            SendMessageW(wnd_, BM_SETCHECK,
                         static_cast<CheckBox&>(c).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case Property::Items:
            SyncItems();
            break;
        case Property::ItemIndex:
            SyncItemIndex();
            break;
        case Property::Picture:
            InvalidateRect(wnd_, nullptr, FALSE);
            break;
        case Property::ActivePage:
            SyncActivePage();
            break;
    }
}

void WindowPeer::Notify(UINT code) {
    if (!control_) return;
    Control& c = *control_;
    switch (c.Kind()) {
        case ControlKind::Edit:
            if (code == EN_CHANGE) {
                int n = GetWindowTextLengthW(wnd_);
                std::wstring text(static_cast<size_t>(n) + 1, L'\0');
                text.resize(static_cast<size_t>(GetWindowTextW(wnd_, text.data(), n + 1)));
                static_cast<Edit&>(c).ChangedByUser(text);
            }
            break;
        case ControlKind::Button:
        case ControlKind::SpeedButton:
            if (code == BN_CLICKED) static_cast<Button&>(c).Click();
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) static_cast<CheckBox&>(c).ClickedByUser();
            break;
        case ControlKind::ComboBox: {
            auto& box = static_cast<ComboBox&>(c);
            if (code == CBN_SELCHANGE) {
                box.SelectedByUser(static_cast<int>(SendMessageW(wnd_, CB_GETCURSEL, 0, 0)));
            } else if (code == CBN_EDITCHANGE) {
                int n = GetWindowTextLengthW(wnd_);
                std::wstring text(static_cast<size_t>(n) + 1, L'\0');
                text.resize(static_cast<size_t>(GetWindowTextW(wnd_, text.data(), n + 1)));
                box.TypedByUser(text);
            }
            break;
        }
        default:
            break;
    }
}

LRESULT WindowPeer::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND: {
            // lParam: the child window that notifies; HIWORD(wParam): its notification code. No
            // child: a command from the dialog manager (IDOK for Enter, IDCANCEL for Escape).
            if (lParam) {
                if (WindowPeer* child = FromWindow(reinterpret_cast<HWND>(lParam))) {
                    child->Notify(HIWORD(wParam));
                }
                return 0;
            }
            Form& form = owner_.TheForm();
            if (LOWORD(wParam) == IDOK) {
                if (Button* b = form.DefaultButton()) b->Click();
            } else if (LOWORD(wParam) == IDCANCEL) {
                if (Button* b = form.CancelButton()) {
                    b->Click();
                } else if (form.InModal()) {
                    form.Close();
                }
            }
            return 0;
        }
        case WM_NOTIFY: {
            // lParam: the header of a common control's notification, here the page tabs'.
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            WindowPeer* child = FromWindow(header->hwndFrom);
            if (child && child->Object() && header->code == TCN_SELCHANGE &&
                child->Object()->Kind() == ControlKind::PageControl) {
                int index = static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0));
                static_cast<PageControl*>(child->Object())->PageSelectedByUser(index);
            }
            return 0;
        }
        case WM_PAINT:
            if (control_ && control_->Kind() == ControlKind::Image) {
                PaintImage();
                return 0;
            }
            if (control_ && (control_->Kind() == ControlKind::GroupBox ||
                             control_->Kind() == ControlKind::Bevel)) {
                PaintGroupFrame();
                return 0;
            }
            break;
        case WM_TIMER:
            owner_.FireTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        case WM_SETFONT:
            // wParam: the font (owned by the form's font cache); lParam: redraw now.
            font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(wnd_, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // wParam: the child's DC. Labels, check boxes and frames sit on the face colour of
            // their page.
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_CLOSE:
            // The form stays until its owner destroys it: the main loop ends, or the modal run
            // returns with mrCancel.
            if (control_ && control_->Kind() == ControlKind::Form) {
                auto& form = static_cast<Form&>(*control_);
                form.Close();
                if (!form.InModal()) PostQuitMessage(0);
            }
            return 0;
        case WM_WINDOWPOSCHANGED:
            // A minimised window sits far off-screen; its place to remember is the last normal one.
            if (control_ && control_->Kind() == ControlKind::Form && !IsIconic(wnd_)) {
                RECT r;
                if (GetWindowRect(wnd_, &r)) {
                    static_cast<Form&>(*control_).SetScreenPositionFromWindow(r.left, r.top);
                }
            }
            break;
        case WM_DPICHANGED:
            // The window moved to a monitor of another scale. HIWORD(wParam): the new dots per
            // inch; lParam: the rectangle Windows suggests for the window at that scale.
            if (control_ && control_->Kind() == ControlKind::Form) {
                owner_.DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
                return 0;
            }
            break;
        case kRunModalHandler:
            if (owner_.pendingModalHandler) {
                auto handler = std::move(owner_.pendingModalHandler);
                owner_.pendingModalHandler = nullptr;
                handler(owner_.TheForm());
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(wnd_, msg, wParam, lParam);
}

void WindowPeer::PaintImage() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd_, &ps);
    RECT client;
    GetClientRect(wnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const Bitmap& picture = static_cast<Image&>(*control_).Picture();
    if (!picture.Empty()) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = picture.Width();
        info.bmiHeader.biHeight = -picture.Height();  // top-down, as the bitmap is laid out
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        // 1:1 from the top-left corner; the window's edges cut off the rest.
        StretchDIBits(dc, 0, 0, picture.Width(), picture.Height(), 0, 0, picture.Width(),
                      picture.Height(), picture.Data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(wnd_, &ps);
}

void WindowPeer::PaintGroupFrame() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd_, &ps);
    RECT client;
    GetClientRect(wnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT frame = client;
    const std::wstring& caption = control_->Caption();
    if (!caption.empty()) {
        // A caption sits on the top edge of the frame.
        HGDIOBJ old = SelectObject(dc, owner_.FontFor(control_->EffectiveFont()));
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        frame.top += size.cy / 2;
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TextOutW(dc, owner_.Scale(8), 0, caption.c_str(), static_cast<int>(caption.size()));
        SelectObject(dc, old);
    } else {
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    }
    EndPaint(wnd_, &ps);
}

FormWindow::FormWindow(Form& form) : form_(form) {}

FormWindow::~FormWindow() {
    for (Timer* timer : form_.Timers()) timer->BindPeer(nullptr);
    form_.BindPeer(nullptr);
}

DWORD FormWindow::Style() const {
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (form_.Border() == BorderStyle::Sizeable) style |= WS_THICKFRAME;
    if (form_.Border() == BorderStyle::Dialog) {
        style |= WS_POPUP;
    } else {
        if (form_.MinimizeBox()) style |= WS_MINIMIZEBOX;
        if (form_.MaximizeBox()) style |= WS_MAXIMIZEBOX;
    }
    return style;
}

DWORD FormWindow::ExStyle() const {
    DWORD ex = WS_EX_CONTROLPARENT;
    // A dialog frame; the main window gets its own task-bar button.
    ex |= form_.Border() == BorderStyle::Dialog ? WS_EX_DLGMODALFRAME : WS_EX_APPWINDOW;
    return ex;
}

void FormWindow::Create() {
    RegisterWindowClasses();
    dpi_ = GetDpiForSystem();
    if (dpi_ == 0) dpi_ = 96;
    formPeer_ = std::make_unique<WindowPeer>(form_, *this);
    // A dialog belongs to the window that is active when it is made.
    HWND owner = form_.Border() == BorderStyle::Dialog ? GetActiveWindow() : nullptr;
    formPeer_->Create(owner);
    if (!Wnd()) return;
    SendMessageW(Wnd(), WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form_.EffectiveFont())),
                 FALSE);
    form_.BindPeer(formPeer_.get());
    CreateChildren(form_, Wnd());
    for (Timer* timer : form_.Timers()) {
        timer->BindPeer(this);
        TimerChanged(*timer);
    }
}

void FormWindow::CreateChildren(Control& parent, HWND parentWnd) {
    for (Control* child : parent.Children()) {
        auto peer = std::make_unique<WindowPeer>(*child, *this);
        peer->Create(parentWnd);
        HWND wnd = peer->Wnd();
        peers_.push_back(std::move(peer));
        if (wnd) CreateChildren(*child, wnd);
    }
    // A bevel only frames what lies on it: once its siblings exist, it goes below them.
    for (Control* child : parent.Children()) {
        if (child->Kind() == ControlKind::Bevel && child->NativeHandle()) {
            SetWindowPos(static_cast<HWND>(child->NativeHandle()), HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void FormWindow::DpiChanged(UINT dpi, const RECT& suggested) {
    if (dpi == 0 || dpi == dpi_) return;
    dpi_ = dpi;
    // The windows still use the old fonts until each has its new one.
    std::map<std::tuple<std::wstring, int, bool>, platform::UniqueGdiObject> old;
    old.swap(fonts_);
    formPeer_->Rescale();
    for (auto& peer : peers_) peer->Rescale();
    RECT outer{0, 0, Scale(form_.ClientWidth()), Scale(form_.ClientHeight())};
    AdjustWindowRectExForDpi(&outer, Style(), FALSE, ExStyle(), dpi_);
    SetWindowPos(Wnd(), nullptr, suggested.left, suggested.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT FormWindow::FontFor(const Font& font) {
    auto key = std::make_tuple(font.name, font.height, font.bold);
    auto it = fonts_.find(key);
    if (it == fonts_.end()) {
        LOGFONTW lf{};
        lf.lfHeight = -Scale(font.height);
        lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, font.name.c_str(), LF_FACESIZE);
        it = fonts_.emplace(key, platform::UniqueGdiObject(CreateFontIndirectW(&lf))).first;
    }
    return static_cast<HFONT>(it->second.get());
}

void FormWindow::TimerChanged(Timer& timer) {
    if (!Wnd()) return;
    const auto& timers = form_.Timers();
    auto it = std::find(timers.begin(), timers.end(), &timer);
    if (it == timers.end()) return;
    const UINT_PTR id = static_cast<UINT_PTR>(it - timers.begin()) + 1;
    KillTimer(Wnd(), id);
    if (timer.Enabled() && timer.Interval() > 0) SetTimer(Wnd(), id, timer.Interval(), nullptr);
}

void FormWindow::FireTimer(UINT_PTR id) {
    const auto& timers = form_.Timers();
    if (id == 0 || id > timers.size()) return;
    timers[id - 1]->Fire();
}

}  // namespace ui::win
