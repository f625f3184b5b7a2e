// The scripted desktop in memory.
#include "app/fake_desktop.h"

#include <algorithm>
#include <stdexcept>

FakeDesktop::FakeDesktop(int32_t screenWidth, int32_t screenHeight, DesktopPoint origin)
    : origin_(origin) {
    screen_.SetSize(screenWidth, screenHeight);
}

Wnd FakeDesktop::AddWindow(Wnd parent, const std::wstring& className, const std::wstring& text,
                           DesktopRect rect) {
    Wnd wnd = nextWnd_;
    nextWnd_ += 4;
    Window& w = windows_[wnd];
    w.parent = parent;
    w.className = className;
    w.text = text;
    w.rect = rect;
    if (parent == kNoWnd) {
        topLevel_.insert(topLevel_.begin(), wnd);
    } else {
        Get(parent).children.push_back(wnd);
    }
    return wnd;
}

void FakeDesktop::DestroyWindow(Wnd wnd) {
    Window w = Get(wnd);
    for (Wnd child : w.children) DestroyWindow(child);
    auto& siblings = SiblingsOf(wnd);
    siblings.erase(std::find(siblings.begin(), siblings.end(), wnd));
    windows_.erase(wnd);
    if (foreground_ == wnd) foreground_ = kNoWnd;
    focusIn_.erase(wnd);
    for (auto& [root, focus] : focusIn_)
        if (focus == wnd) focus = kNoWnd;
}

FakeDesktop::Window& FakeDesktop::Get(Wnd wnd) {
    auto it = windows_.find(wnd);
    if (it == windows_.end()) throw std::logic_error("FakeDesktop: no such window");
    return it->second;
}

std::vector<Wnd>& FakeDesktop::SiblingsOf(Wnd wnd) {
    Wnd parent = Get(wnd).parent;
    return parent == kNoWnd ? topLevel_ : Get(parent).children;
}

void FakeDesktop::BringToTop(Wnd wnd) {
    Wnd root = GetRootWindow(wnd);
    topLevel_.erase(std::find(topLevel_.begin(), topLevel_.end(), root));
    topLevel_.insert(topLevel_.begin(), root);
}

void FakeDesktop::FillScreen(DesktopRect rect, ui::Color colour) {
    // Clipped once, then written row by row: scenes repaint after every change they see, and the
    // fuzz targets build a desktop per input.
    rect = {rect.left - origin_.x, rect.top - origin_.y, rect.right - origin_.x,
            rect.bottom - origin_.y};
    const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, screen_.Width());
    const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, screen_.Height());
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* p = screen_.ScanLine(y) + 3 * left;
        for (int32_t x = left; x < right; ++x, p += 3) {
            p[0] = colour.blue;
            p[1] = colour.green;
            p[2] = colour.red;
        }
    }
}

void FakeDesktop::MoveWindow(Wnd wnd, int32_t dx, int32_t dy) {
    Window& w = Get(wnd);
    w.rect = {w.rect.left + dx, w.rect.top + dy, w.rect.right + dx, w.rect.bottom + dy};
    for (Wnd child : w.children) MoveWindow(child, dx, dy);
}

void FakeDesktop::Record(DesktopEvent event) {
    events.push_back(event);
    if (onEvent) onEvent(event);
}

Wnd FakeDesktop::FindWindowByClass(const std::wstring& className) {
    for (Wnd wnd : topLevel_)
        if (Get(wnd).className == className) return wnd;
    return kNoWnd;
}

Wnd FakeDesktop::FindWindowByTitle(const std::wstring& title) {
    for (Wnd wnd : topLevel_)
        if (Get(wnd).text == title) return wnd;
    return kNoWnd;
}

bool FakeDesktop::EnumBelow(Wnd parent, const std::function<bool(Wnd)>& visit) {
    // Copied: a callback may change the tree.
    std::vector<Wnd> children = Get(parent).children;
    for (Wnd child : children) {
        if (!windows_.count(child)) continue;
        if (!visit(child)) return false;
        if (windows_.count(child) && !EnumBelow(child, visit)) return false;
    }
    return true;
}

void FakeDesktop::EnumChildWindows(Wnd parent, const std::function<bool(Wnd)>& visit) {
    if (IsWindow(parent)) EnumBelow(parent, visit);
}

Wnd FakeDesktop::GetFirstChild(Wnd wnd) {
    if (!IsWindow(wnd) || Get(wnd).children.empty()) return kNoWnd;
    return Get(wnd).children.front();
}

Wnd FakeDesktop::GetNextSibling(Wnd wnd) {
    if (!IsWindow(wnd)) return kNoWnd;
    auto& siblings = SiblingsOf(wnd);
    auto it = std::find(siblings.begin(), siblings.end(), wnd);
    return ++it == siblings.end() ? kNoWnd : *it;
}

Wnd FakeDesktop::GetRootWindow(Wnd wnd) {
    if (!IsWindow(wnd)) return kNoWnd;
    while (Get(wnd).parent != kNoWnd) wnd = Get(wnd).parent;
    return wnd;
}

std::wstring FakeDesktop::GetWindowTitle(Wnd wnd, int32_t capacity) {
    if (!IsWindow(wnd) || capacity <= 0) return {};
    return Get(wnd).text.substr(0, static_cast<size_t>(capacity - 1));
}

bool FakeDesktop::Answers(Wnd wnd) {
    if (!IsWindow(wnd)) return true;
    switch (Get(GetRootWindow(wnd)).answers) {
        case Window::Answer::Yes:
            return true;
        case Window::Answer::Silent:
            Record(DesktopEvent::NoAnswer(wnd, kMonitorCallTimeoutMs));
            return false;
        case Window::Answer::ReportedHung:
            break;
    }
    Record(DesktopEvent::NoAnswer(wnd, 0));
    return false;
}

std::optional<int32_t> FakeDesktop::SendGetTextLength(Wnd wnd) {
    if (!Answers(wnd)) return std::nullopt;
    return IsWindow(wnd) ? static_cast<int32_t>(Get(wnd).text.size()) : 0;
}

std::optional<std::wstring> FakeDesktop::SendGetText(Wnd wnd, int32_t capacity) {
    if (!Answers(wnd)) return std::nullopt;
    return GetWindowTitle(wnd, capacity);
}

bool FakeDesktop::SendSetText(Wnd wnd, const std::wstring& text) {
    // The system refuses the message before it reaches the program, hung or not.
    if (Above(wnd)) {
        ++refusedSends_;
        Record(DesktopEvent::Refused(wnd));
        return false;
    }
    if (!Answers(wnd)) return false;
    if (IsWindow(wnd)) Get(wnd).text = text;
    Record(DesktopEvent::SetText(wnd, text));
    return true;
}

std::wstring FakeDesktop::GetWindowClass(Wnd wnd, int32_t capacity) {
    if (!IsWindow(wnd) || capacity <= 0) return {};
    return Get(wnd).className.substr(0, static_cast<size_t>(capacity - 1));
}

bool FakeDesktop::IsWindow(Wnd wnd) { return windows_.count(wnd) != 0; }

bool FakeDesktop::IsWindowVisible(Wnd wnd) {
    // Visible means the window and all its ancestors are shown.
    if (wnd == kNoWnd) return false;
    for (; wnd != kNoWnd; wnd = Get(wnd).parent)
        if (!IsWindow(wnd) || !Get(wnd).visible) return false;
    return true;
}

bool FakeDesktop::IsWindowEnabled(Wnd wnd) { return IsWindow(wnd) && Get(wnd).enabled; }

bool FakeDesktop::IsIconic(Wnd wnd) { return IsWindow(wnd) && Get(wnd).iconic; }

bool FakeDesktop::GetWindowRect(Wnd wnd, DesktopRect& rect) {
    if (!IsWindow(wnd)) return false;
    rect = Get(wnd).rect;
    return true;
}

static bool Inside(const DesktopRect& r, DesktopPoint p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

Wnd FakeDesktop::HitTest(Wnd wnd, DesktopPoint point) {
    for (Wnd child : Get(wnd).children) {
        const Window& c = Get(child);
        // A minimised child (a document window inside its frame) no longer lies over its place.
        if (c.visible && !c.iconic && Inside(c.rect, point)) return HitTest(child, point);
    }
    return wnd;
}

Wnd FakeDesktop::WindowFromPoint(DesktopPoint point) {
    for (Wnd wnd : topLevel_) {
        const Window& w = Get(wnd);
        if (w.visible && !w.iconic && Inside(w.rect, point)) return HitTest(wnd, point);
    }
    return kNoWnd;
}

std::optional<WindowDpi> FakeDesktop::GetWindowDpi(Wnd wnd) {
    if (dpiUnknown || !IsWindow(wnd)) return std::nullopt;
    const Window& top = Get(GetRootWindow(wnd));
    return WindowDpi{top.awareness, top.dpi, monitorDpi};
}

std::vector<Wnd> FakeDesktop::TopLevelWindows() { return topLevel_; }

uint32_t FakeDesktop::GetWindowProcessId(Wnd wnd) {
    return IsWindow(wnd) ? Get(GetRootWindow(wnd)).process : 0;
}

bool FakeDesktop::RunsAboveThisProgram(uint32_t process) {
    if (process == 0) return false;
    if (tokenRefused.count(process)) return true;
    auto it = integrity.find(process);
    return it != integrity.end() && it->second > ownIntegrity;
}

bool FakeDesktop::Above(Wnd wnd) {
    return IsWindow(wnd) && RunsAboveThisProgram(GetWindowProcessId(wnd));
}

bool FakeDesktop::SetForegroundWindow(Wnd wnd) {
    Record(DesktopEvent::Foreground(wnd));
    if (refuseForeground || !IsWindow(wnd)) return false;
    ComeForward(GetRootWindow(wnd));
    return true;
}

bool FakeDesktop::RequestForeground(Wnd wnd) {
    Record(DesktopEvent::ForegroundRequest(wnd));
    if (refuseForeground || !IsWindow(wnd)) return false;
    const Wnd root = GetRootWindow(wnd);
    // The requesting program has no window in front: refused unless nothing is in front.
    if (!grantPlainForeground && foreground_ != kNoWnd && foreground_ != root) return false;
    ComeForward(root);
    return true;
}

void FakeDesktop::ComeForward(Wnd root) {
    BringToTop(root);
    if (foreground_ != root) {
        foreground_ = root;
        // Activation gives the focus to the window itself; its children keep nothing.
        focusIn_[root] = root;
    }
}

Wnd FakeDesktop::GetForegroundWindow() { return foreground_; }

bool FakeDesktop::FocusWindow(Wnd wnd) {
    Record(DesktopEvent::Focus(wnd));
    if (!IsWindow(wnd) || !Answers(wnd) || !IsWindowVisible(wnd) || !Get(wnd).enabled ||
        !Get(wnd).acceptsFocus)
        return false;
    // The focus of the window's own program; keys still go to the program in front.
    focusIn_[GetRootWindow(wnd)] = wnd;
    return true;
}

Wnd FakeDesktop::GetFocusOf(Wnd wnd) {
    if (!IsWindow(wnd)) return kNoWnd;
    auto it = focusIn_.find(GetRootWindow(wnd));
    return it == focusIn_.end() ? kNoWnd : it->second;
}

Wnd FakeDesktop::Focus() const {
    auto it = focusIn_.find(foreground_);
    return it == focusIn_.end() ? kNoWnd : it->second;
}

void FakeDesktop::KeybdEvent(uint8_t virtualKey, uint32_t flags) {
    if (Above(Focus())) {
        Record(DesktopEvent::DroppedKey(Focus(), virtualKey, flags));
        return;
    }
    Record(DesktopEvent::Key(Focus(), virtualKey, flags));
}

bool FakeDesktop::ClickAt(DesktopPoint point) {
    if (refuseInput) return false;
    // The move goes through the normalised position, as the system takes it; the person's hand
    // cannot come between the move and the button, so nothing is played in between.
    cursor_ = PixelOfNormalised(NormaliseToVirtualScreen(point, VirtualScreen()), VirtualScreen());
    // A press brings the program under the cursor to the front (the system lets input do that)
    // and gives the focus to the window there, as a click in a real program does.
    Wnd hit = WindowFromPoint(cursor_);
    // The cursor moves; a press meant for a program of a higher level goes nowhere.
    if (Above(hit)) {
        Record(DesktopEvent::DroppedClick(hit, cursor_));
        return true;
    }
    if (hit != kNoWnd) {
        const Wnd root = GetRootWindow(hit);
        BringToTop(root);
        if (foreground_ != root) focusIn_[root] = root;
        foreground_ = root;
        if (Get(hit).acceptsFocus) focusIn_[root] = hit;
    }
    Record(DesktopEvent::Click(cursor_));
    return true;
}

DesktopRect FakeDesktop::VirtualScreen() {
    return {origin_.x, origin_.y, origin_.x + screen_.Width(), origin_.y + screen_.Height()};
}

bool FakeDesktop::GetCursorPos(DesktopPoint& point) {
    point = cursor_;
    return true;
}

void FakeDesktop::SetCursorPos(DesktopPoint point) {
    if (!refuseCursorMove) cursor_ = point;
    Record(DesktopEvent::CursorMove(point));
}

void FakeDesktop::Sleep(uint32_t milliseconds) {
    msSinceLastInput = milliseconds > UINT32_MAX - msSinceLastInput ? UINT32_MAX
                                                                     : msSinceLastInput + milliseconds;
    Record(DesktopEvent::Sleep(milliseconds));
}

bool FakeDesktop::CaptureScreen(int32_t x, int32_t y, ui::Bitmap& bitmap) {
    x -= origin_.x;
    y -= origin_.y;
    for (int32_t row = 0; row < bitmap.Height(); ++row)
        for (int32_t col = 0; col < bitmap.Width(); ++col)
            bitmap.SetPixel(col, row,
                            !sessionLocked && screen_.Contains(x + col, y + row)
                                ? screen_.Pixel(x + col, y + row)
                                : ui::Color{});
    return true;
}
