// A scripted desktop in memory: a window tree with texts, classes, rectangles and visibility, a
// pixel screen, hit testing, foreground and a focus per program, programs that stop answering,
// programs of a higher integrity level, and a record of every key, click, cursor move, text sent,
// sleep, unanswered or refused call and dropped input. Host tests
// drive grid capture and automation on it; the host program uses an empty one.
#pragma once
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/desktop.h"

struct DesktopEvent {
    // Refused: a send the system refused with access denied. Dropped: a key or click the system
    // took and threw away, since the window it was for belongs to a program of a higher level.
    enum class Kind {
        Key,
        Click,
        CursorMove,
        Sleep,
        Foreground,
        Focus,
        SetText,
        NoAnswer,
        ForegroundRequest,
        Refused,
        Dropped
    };
    Kind kind = Kind::Sleep;
    // Key, Dropped: the focused window (a dropped click: the window under it); Foreground,
    // ForegroundRequest, Focus, SetText, NoAnswer, Refused: the target
    Wnd wnd = kNoWnd;
    uint32_t value = 0;    // Key, Dropped: virtual key (0 for a click); Sleep, NoAnswer: ms waited
    uint32_t flags = 0;    // Key, Dropped: flags
    DesktopPoint point{};  // CursorMove: the new position; Click, Dropped: where the click landed
    std::wstring text;     // SetText: the text
    bool operator==(const DesktopEvent&) const = default;

    static DesktopEvent Key(Wnd focus, uint32_t virtualKey, uint32_t flags = 0) {
        return Make(Kind::Key, focus, virtualKey, flags, {}, {});
    }
    static DesktopEvent Click(DesktopPoint at) { return Make(Kind::Click, kNoWnd, 0, 0, at, {}); }
    static DesktopEvent CursorMove(DesktopPoint to) {
        return Make(Kind::CursorMove, kNoWnd, 0, 0, to, {});
    }
    static DesktopEvent Sleep(uint32_t ms) { return Make(Kind::Sleep, kNoWnd, ms, 0, {}, {}); }
    static DesktopEvent Foreground(Wnd wnd) { return Make(Kind::Foreground, wnd, 0, 0, {}, {}); }
    // The plain request, which the system may refuse.
    static DesktopEvent ForegroundRequest(Wnd wnd) {
        return Make(Kind::ForegroundRequest, wnd, 0, 0, {}, {});
    }
    static DesktopEvent Focus(Wnd wnd) { return Make(Kind::Focus, wnd, 0, 0, {}, {}); }
    static DesktopEvent SetText(Wnd wnd, std::wstring text) {
        return Make(Kind::SetText, wnd, 0, 0, {}, std::move(text));
    }
    static DesktopEvent NoAnswer(Wnd wnd, uint32_t waitedMs) {
        return Make(Kind::NoAnswer, wnd, waitedMs, 0, {}, {});
    }
    static DesktopEvent Refused(Wnd wnd) { return Make(Kind::Refused, wnd, 0, 0, {}, {}); }
    static DesktopEvent DroppedKey(Wnd focus, uint32_t virtualKey, uint32_t flags = 0) {
        return Make(Kind::Dropped, focus, virtualKey, flags, {}, {});
    }
    static DesktopEvent DroppedClick(Wnd under, DesktopPoint at) {
        return Make(Kind::Dropped, under, 0, 0, at, {});
    }

  private:
    static DesktopEvent Make(Kind kind, Wnd wnd, uint32_t value, uint32_t flags, DesktopPoint point,
                             std::wstring text) {
        DesktopEvent e;
        e.kind = kind;
        e.wnd = wnd;
        e.value = value;
        e.flags = flags;
        e.point = point;
        e.text = std::move(text);
        return e;
    }
};

class FakeDesktop : public Desktop {
  public:
    struct Window {
        Wnd parent = kNoWnd;
        std::vector<Wnd> children;  // Z order, topmost first
        std::wstring className;
        std::wstring text;
        DesktopRect rect{};  // screen coordinates
        bool visible = true;
        bool enabled = true;
        bool iconic = false;
        bool acceptsFocus = true;
        // Top-level windows: the program that owns the window and its descendants.
        uint32_t process = 1;
        // Top-level windows: how the program's thread takes messages for the window and its
        // descendants.
        enum class Answer { Yes, Silent, ReportedHung };
        Answer answers = Answer::Yes;
        // Top-level windows: how the program draws for the display's scale, and the DPI the
        // system gives the window (96 unaware, the system DPI system-aware, the monitor's DPI
        // per-monitor aware). A stretched window's rectangle is in the screen's physical pixels.
        DpiAwareness awareness = DpiAwareness::Unaware;
        uint32_t dpi = 96;
    };

    // The virtual screen: screenWidth by screenHeight pixels from origin, which lies left of or
    // above (0, 0) when a display is placed there.
    explicit FakeDesktop(int32_t screenWidth = 1600, int32_t screenHeight = 1000,
                         DesktopPoint origin = {});

    // Building the scene. A new window goes below its existing siblings; a new top-level window
    // goes to the top of the desktop.
    Wnd AddWindow(Wnd parent, const std::wstring& className, const std::wstring& text,
                  DesktopRect rect);
    void DestroyWindow(Wnd wnd);
    Window& Get(Wnd wnd);
    void BringToTop(Wnd wnd);  // the top-level window that holds wnd goes to the top
    ui::Bitmap& Screen() { return screen_; }
    void FillScreen(DesktopRect rect, ui::Color colour);
    // Moves a window with its descendants by (dx, dy) on the screen.
    void MoveWindow(Wnd wnd, int32_t dx, int32_t dy);

    // Scripting.
    bool refuseForeground = false;  // SetForegroundWindow fails, even the permitted way
    bool refuseCursorMove = false;  // SetCursorPos leaves the cursor where it is
    bool refuseInput = false;       // SendInput takes none of the events (ClickAt fails)
    // A plain foreground request (RequestForeground) is refused while another window is in
    // front, as Windows refuses it to a program in the background; true grants it always, as
    // Wine does.
    bool grantPlainForeground = false;
    // The session's last input, this long ago; a sleep adds to it.
    uint32_t msSinceLastInput = 600000;
    // The workstation is locked (or the session disconnected or switched away): screen copies
    // come back black.
    bool sessionLocked = false;
    // Integrity levels as the system numbers them: this program's, and that of each program (by
    // process) that runs at another. A program run as administrator runs at kHighIntegrity, and
    // then the system refuses it this program's WM_SETTEXT (access denied; its texts can still be
    // read and WM_NULL answers, as the system lets some messages through) and drops the keys and
    // clicks meant for its windows, though SendInput reports them taken.
    static constexpr uint32_t kMediumIntegrity = 0x2000;
    static constexpr uint32_t kHighIntegrity = 0x3000;
    uint32_t ownIntegrity = kMediumIntegrity;
    std::map<uint32_t, uint32_t> integrity;
    // Programs whose token the system keeps from this program (access denied).
    std::set<uint32_t> tokenRefused;
    uint32_t monitorDpi = 96;       // the one monitor's effective DPI (96 at a scale of 100 %)
    bool dpiUnknown = false;        // a Windows without the DPI calls
    // The person at the desktop moves the mouse: the cursor goes there, and nothing is recorded.
    void MoveMouseByHand(DesktopPoint point) { cursor_ = point; }
    // Called after each recorded event, so a test can play the other program's reaction.
    std::function<void(const DesktopEvent&)> onEvent;

    // What happened.
    std::vector<DesktopEvent> events;
    Wnd Foreground() const { return foreground_; }
    // Where keys land: the focus of the program in front.
    Wnd Focus() const;
    DesktopPoint Cursor() const { return cursor_; }

    // Desktop
    Wnd FindWindowByClass(const std::wstring& className) override;
    Wnd FindWindowByTitle(const std::wstring& title) override;
    void EnumChildWindows(Wnd parent, const std::function<bool(Wnd)>& visit) override;
    Wnd GetFirstChild(Wnd wnd) override;
    Wnd GetNextSibling(Wnd wnd) override;
    Wnd GetRootWindow(Wnd wnd) override;
    std::wstring GetWindowTitle(Wnd wnd, int32_t capacity) override;
    std::optional<int32_t> SendGetTextLength(Wnd wnd) override;
    std::optional<std::wstring> SendGetText(Wnd wnd, int32_t capacity) override;
    bool SendSetText(Wnd wnd, const std::wstring& text) override;
    // Whether the thread of wnd's program takes a sent message; records the wait when not.
    bool Answers(Wnd wnd) override;
    std::wstring GetWindowClass(Wnd wnd, int32_t capacity) override;
    bool IsWindow(Wnd wnd) override;
    bool IsWindowVisible(Wnd wnd) override;
    bool IsWindowEnabled(Wnd wnd) override;
    bool IsIconic(Wnd wnd) override;
    bool GetWindowRect(Wnd wnd, DesktopRect& rect) override;
    Wnd WindowFromPoint(DesktopPoint point) override;
    std::optional<WindowDpi> GetWindowDpi(Wnd wnd) override;
    std::vector<Wnd> TopLevelWindows() override;
    uint32_t GetWindowProcessId(Wnd wnd) override;
    bool RunsAboveThisProgram(uint32_t process) override;
    uint64_t RefusedSends() override { return refusedSends_; }
    bool SetForegroundWindow(Wnd wnd) override;
    bool RequestForeground(Wnd wnd) override;
    Wnd GetForegroundWindow() override;
    std::optional<uint32_t> MillisecondsSinceLastInput() override { return msSinceLastInput; }
    bool SessionShowsDesktop() override { return !sessionLocked; }
    bool FocusWindow(Wnd wnd) override;
    Wnd GetFocusOf(Wnd wnd) override;
    void KeybdEvent(uint8_t virtualKey, uint32_t flags) override;
    bool ClickAt(DesktopPoint point) override;
    DesktopRect VirtualScreen() override;
    bool GetCursorPos(DesktopPoint& point) override;
    void SetCursorPos(DesktopPoint point) override;
    void Sleep(uint32_t milliseconds) override;
    bool CaptureScreen(int32_t x, int32_t y, ui::Bitmap& bitmap) override;

  private:
    void Record(DesktopEvent event);
    void ComeForward(Wnd root);
    std::vector<Wnd>& SiblingsOf(Wnd wnd);
    bool EnumBelow(Wnd parent, const std::function<bool(Wnd)>& visit);
    Wnd HitTest(Wnd wnd, DesktopPoint point);
    // Whether wnd belongs to a program of a higher integrity level than this program's.
    bool Above(Wnd wnd);

    std::map<Wnd, Window> windows_;
    std::vector<Wnd> topLevel_;  // Z order, topmost first
    Wnd nextWnd_ = 0x1000;
    Wnd foreground_ = kNoWnd;
    std::map<Wnd, Wnd> focusIn_;  // top-level window -> the focus of its program
    DesktopPoint cursor_{};
    uint64_t refusedSends_ = 0;
    DesktopPoint origin_{};  // the screen bitmap's top-left pixel on the virtual screen
    ui::Bitmap screen_;
};
