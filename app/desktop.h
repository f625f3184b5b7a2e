// The desktop seam: every window-manager and screen operation that grid capture and monitor
// automation perform on other programs' windows.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/bitmap.h"

// A window of any program; 0 is the null window. On Windows it holds the HWND's value.
using Wnd = std::uintptr_t;
constexpr Wnd kNoWnd = 0;

struct DesktopPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const DesktopPoint&) const = default;
};

struct DesktopRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const DesktopRect&) const = default;
};

// Virtual keys and input flags as the Windows API numbers them.
namespace vk {
constexpr uint8_t Return = 13;
constexpr uint8_t Shift = 16;
constexpr uint8_t Escape = 27;
}  // namespace vk
constexpr uint32_t kKeyEventKeyUp = 0x0002;  // KEYEVENTF_KEYUP

// An absolute mouse position as SendInput takes it with MOUSEEVENTF_VIRTUALDESK: 0 to 65535 across
// the virtual screen (all displays, whose left or top edge may lie at negative coordinates).
struct NormalisedPoint {
    int32_t dx = 0;
    int32_t dy = 0;
};
// The normalised position that the system maps back onto the pixel at `point`: the pixel's centre,
// so that the system's truncation lands on the pixel itself. Points off the virtual screen are
// clamped to its edge.
NormalisedPoint NormaliseToVirtualScreen(DesktopPoint point, const DesktopRect& virtualScreen);
// The pixel the system moves the cursor to for a normalised position: left + dx * width / 65536,
// truncated (and the same downwards).
DesktopPoint PixelOfNormalised(NormalisedPoint point, const DesktopRect& virtualScreen);

// How a program draws its windows for the display's scale, as the system reports it for a window.
enum class DpiAwareness {
    Unaware,          // drawn at 96 DPI and stretched by the system to the monitor's scale
    SystemAware,      // drawn at the system DPI and stretched to the monitor's when they differ
    PerMonitorAware,  // drawn at its monitor's DPI by the program itself; never stretched
};
struct WindowDpi {
    DpiAwareness awareness = DpiAwareness::Unaware;
    uint32_t windowDpi = 96;   // GetDpiForWindow: 96 unaware, the system DPI system-aware
    uint32_t monitorDpi = 96;  // the effective DPI of the monitor that holds most of the window
    bool operator==(const WindowDpi&) const = default;
};

// The longest the bridge waits for the monitor's thread to answer one message. A monitor that
// stops answering must not stop the bridge: a tick or an action gives up at the first call that
// goes unanswered, and the commands waiting meanwhile are answered within a second.
constexpr uint32_t kMonitorCallTimeoutMs = 400;

// One operation per call of the window manager or the display that the bridge makes; each
// behaves as its Windows namesake. Main thread only.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // FindWindowW with a class and no title / with no class and an exact title.
    virtual Wnd FindWindowByClass(const std::wstring& className) = 0;
    virtual Wnd FindWindowByTitle(const std::wstring& title) = 0;
    // EnumChildWindows: every descendant of parent, depth first in Z order, until visit gives
    // false.
    virtual void EnumChildWindows(Wnd parent, const std::function<bool(Wnd)>& visit) = 0;
    // GetWindow with GW_CHILD / GW_HWNDNEXT; null for a null window or none.
    virtual Wnd GetFirstChild(Wnd wnd) = 0;
    virtual Wnd GetNextSibling(Wnd wnd) = 0;
    // GetAncestor with GA_ROOT: the top-level window that holds wnd (wnd itself when it is one).
    virtual Wnd GetRootWindow(Wnd wnd) = 0;

    // GetWindowTextW into a buffer of the given capacity (at most capacity - 1 characters).
    virtual std::wstring GetWindowTitle(Wnd wnd, int32_t capacity) = 0;
    // WM_GETTEXTLENGTH / WM_GETTEXT (capacity in characters, terminator included) / WM_SETTEXT,
    // sent with SendMessageTimeoutW: each waits at most kMonitorCallTimeoutMs and gives up at
    // once on a window whose thread the system reports hung; messages sent to this thread are
    // handled while it waits. nullopt / false only when the window exists and did not answer; a
    // window that does not exist gives 0, the empty text, true.
    virtual std::optional<int32_t> SendGetTextLength(Wnd wnd) = 0;
    virtual std::optional<std::wstring> SendGetText(Wnd wnd, int32_t capacity) = 0;
    virtual bool SendSetText(Wnd wnd, const std::wstring& text) = 0;
    // WM_NULL the same way: whether wnd's thread takes messages now (true for no window).
    virtual bool Answers(Wnd wnd) = 0;
    // GetClassNameW into a buffer of the given capacity.
    virtual std::wstring GetWindowClass(Wnd wnd, int32_t capacity) = 0;

    virtual bool IsWindow(Wnd wnd) = 0;
    virtual bool IsWindowVisible(Wnd wnd) = 0;
    virtual bool IsWindowEnabled(Wnd wnd) = 0;
    virtual bool IsIconic(Wnd wnd) = 0;
    // GetWindowRect; false and the rectangle untouched on failure.
    virtual bool GetWindowRect(Wnd wnd, DesktopRect& rect) = 0;
    virtual Wnd WindowFromPoint(DesktopPoint point) = 0;
    // The window's awareness and DPI and its monitor's effective DPI (GetWindowDpiAwarenessContext,
    // GetDpiForWindow, MonitorFromWindow and GetDpiForMonitor); nullopt when the system cannot
    // tell (no such window, or a Windows that has not these calls).
    virtual std::optional<WindowDpi> GetWindowDpi(Wnd wnd) = 0;

    // EnumWindows: the top-level windows, topmost first.
    virtual std::vector<Wnd> TopLevelWindows() = 0;
    // GetWindowThreadProcessId: the process that owns the window; 0 for none.
    virtual uint32_t GetWindowProcessId(Wnd wnd) = 0;
    // Whether the process runs at a higher integrity level than this program, as a program run
    // as administrator does beside one that is not: the system then refuses this program's sends
    // to its windows and drops the keys and clicks synthesised for them. The levels come from
    // the two processes' tokens (TokenIntegrityLevel); the system keeps a higher level's token
    // from a lower one, so access denied on the way counts as higher. False for no such process
    // and for any other failure.
    virtual bool RunsAboveThisProgram(uint32_t process) = 0;
    // How many sends (the Send... calls and Answers) the system has refused with access denied
    // since this desktop was made: the sign, on a send, of a window whose program runs at a
    // higher integrity level. Such a send also counts as not answered.
    virtual uint64_t RefusedSends() = 0;

    // Brings wnd's top-level window to the front: SetForegroundWindow, and when the system
    // refuses that to a program in the background, once more while this thread shares the
    // input of the foreground window's thread (which the system permits). True when wnd is then
    // the foreground window.
    virtual bool SetForegroundWindow(Wnd wnd) = 0;
    // SetForegroundWindow alone, for wnd's top-level window: a request the system refuses to a
    // program in the background (it flashes the window's taskbar button instead). True when the
    // window is then the foreground window.
    virtual bool RequestForeground(Wnd wnd) = 0;
    virtual Wnd GetForegroundWindow() = 0;
    // How long ago the session's last keyboard or mouse input came (GetTickCount less
    // GetLastInputInfo), synthesised input included; nullopt when the system does not say.
    virtual std::optional<uint32_t> MillisecondsSinceLastInput() = 0;
    // Whether the session's input goes to this program's desktop now. False while the workstation
    // is locked, a secure screen saver runs, the session is disconnected or another user's is on
    // the console: then a screen copy fails or comes back black and synthesised input reaches
    // nothing. OpenInputDesktop fails or opens another desktop than "Default".
    virtual bool SessionShowsDesktop() = 0;
    // Gives wnd, a window of any thread, the keyboard focus of its thread: attaches to that
    // thread's input for SetFocus and detaches at once. False, without trying, when that thread
    // does not answer within the time-out; otherwise true when wnd then has the focus.
    virtual bool FocusWindow(Wnd wnd) = 0;
    // The window that has the keyboard focus in wnd's thread (GetGUIThreadInfo); null for none.
    virtual Wnd GetFocusOf(Wnd wnd) = 0;
    // keybd_event with scan code 0.
    virtual void KeybdEvent(uint8_t virtualKey, uint32_t flags) = 0;
    // A left click at a point of the virtual screen: one SendInput call with an absolute move
    // there (normalised over the virtual screen), the button down and the button up. The system
    // does not interleave other input with one call's events, so the click lands at the point
    // whatever the person does with the mouse meanwhile; it leaves the cursor there. True when the
    // system took all three events.
    virtual bool ClickAt(DesktopPoint point) = 0;
    // The virtual screen's rectangle (GetSystemMetrics SM_XVIRTUALSCREEN and the three others).
    virtual DesktopRect VirtualScreen() = 0;
    virtual bool GetCursorPos(DesktopPoint& point) = 0;
    virtual void SetCursorPos(DesktopPoint point) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;

    // Copies the screen rectangle of the bitmap's size at (x, y) into it (CreateDCW "DISPLAY",
    // BitBlt SRCCOPY | CAPTUREBLT in horizontal bands, DeleteDC). False when nothing could be
    // copied.
    virtual bool CaptureScreen(int32_t x, int32_t y, ui::Bitmap& bitmap) = 0;
};

// The desktop the program runs on: the real one on Windows, an empty fake desktop on the host.
// Tests put their own in place with SetDesktopForTest (null restores the default).
Desktop& SystemDesktop();
void SetDesktopForTest(Desktop* desktop);
