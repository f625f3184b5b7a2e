// The timer tick: finds the monitor's windows, copies its grid from the screen, samples one pixel
// per cell into BitStates, decides the controller kind and shows the last changed device. Also
// the window routines the tick shares with the monitor automation.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/desktop.h"
#include "app/settings.h"

// Where the grid's cells lie on the screen, as the latest tick that found the windows left it.
struct CaptureFrame {
    int32_t CaptX = 0;
    int32_t CaptY = 0;
    double CellW = 0;
    double CellH = 0;
};

constexpr size_t kBitCount = 160;

// What the tick and the automation read and change on the main window. MainWindow provides it over
// its controls; tests provide a plain one.
class BridgeView {
  public:
    // The monitor's first device as the latest tick read it, the last device whose state
    // changed and that state, the device "反転" toggles, and the first device "先頭変更" asks for.
    enum class Field { FirstDevice, ChangedDevice, ChangedState, ToggleTarget, RequestedFirst };
    virtual ~BridgeView() = default;
    virtual std::wstring FieldText(Field field) = 0;
    virtual void SetFieldText(Field field, const std::wstring& text) = 0;
    virtual bool FxMode() = 0;
    // Sets the FX mode and shows the step captions of the mode.
    virtual void SetFxMode(bool on) = 0;
    // The grid preview shows a copy of the image.
    virtual void ShowImage(const ui::Bitmap& image) = 0;
    virtual bool TimerEnabled() = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;
    // A line telling the person what the bridge left for them; empty: nothing.
    virtual void ShowNotice(const std::wstring& text) = 0;
};

// What the tick keeps from one run to the next, and what the automation reads of it (all null,
// zero or empty at start). The bridge owns one; tests and the benchmark own their own.
struct GridCapture {
    // The watched application's windows as the latest tick found them.
    Wnd FrameWnd = kNoWnd;
    Wnd MonitorWnd = kNoWnd;
    Wnd DeviceFieldWnd = kNoWnd;
    Wnd GridWnd = kNoWnd;
    // The capture frame of the latest tick that got that far.
    int32_t CaptX = 0;
    int32_t CaptY = 0;
    double CellW = 0;
    double CellH = 0;
    // The first device the latest tick read, and whether it differed from the one before.
    std::wstring LastDeviceName;
    bool DeviceChanged = false;
    // The first device of the latest tick that sampled the grid: the device BitStates belong
    // to. A tick that reads a new first device but samples nothing leaves it.
    std::wstring SampledDeviceName;
    // Sampled states: 10 rows of 16, row-major; 1 ON, 0 OFF, -1 undecided. PrevBitStates holds
    // the previous tick's, against which the changed device is found.
    std::array<int8_t, kBitCount> BitStates{};
    std::array<int8_t, kBitCount> PrevBitStates{};
    // Whether the grid's top-level window has asked for the foreground since the grid was last
    // seen uncovered: one plain request per covering.
    bool ForegroundAsked = false;
    // The application runs at a higher integrity level than this program (as administrator, this
    // program not): the system refuses it this program's texts and drops the keys and clicks
    // meant for it, so nothing is sent to it while this holds. The bridge sets it from the two
    // programs' levels at "START" and whenever the frame window found is another, and from a send
    // refused with access denied.
    bool ApplicationElevated = false;
    // The tick's copy of the grid, kept from one tick to the next only so that its memory is
    // reused (a fresh image of this size costs more than the screen copy); the grid preview
    // shows a copy.
    ui::Bitmap Image;

    CaptureFrame Frame() const { return {CaptX, CaptY, CellW, CellH}; }
};

// How far a tick got; the program ignores it, tests and the benchmark read it.
enum class TickResult {
    FrameMissing,         // the frame window is missing, hidden or minimised
    MonitorNotAnswering,  // the monitor left a call unanswered; nothing else was asked of it
    SessionLocked,        // the session shows no desktop to copy or to type into; nothing was done
    GridCovered,          // the grid's top-left corner is covered
    NothingCaptured,      // the capture frame is empty or the screen could not be copied
    Sampled,
};

// Input the session had this recently means a person is at work: a tick then leaves the foreground
// where it is, since whatever they type next would go to the window brought forward.
constexpr uint32_t kPersonAtWorkMs = 3000;

// One sampling of the monitor: finds its windows, reads the first device, copies the grid from
// the screen, samples it into state.BitStates and shows the last changed device on the view.
// An automatic scale is the grid window's display scale at this tick.
TickResult CaptureTick(Desktop& desktop, BridgeView& view, const CaptureSettings& settings,
                       GridCapture& state);

// The capture frame arithmetic. Products, quotients and sums are formed in long double (80-bit
// extended with mingw-w64 and g++ on x86-64), cell sizes are stored as double, and every
// conversion to pixels truncates toward zero.
CaptureFrame ComputeCaptureFrame(const DesktopRect& gridRect, const CaptureSettings& settings);
int32_t CaptureWidth(const CaptureFrame& frame);
int32_t CaptureHeight(const CaptureFrame& frame);
// The sample point of cell column v (0 = leftmost) and of cell row r (0 = first under the
// header), relative to the captured image.
int32_t SampleX(const CaptureFrame& frame, const CaptureSettings& settings, int32_t v);
int32_t SampleY(const CaptureFrame& frame, const CaptureSettings& settings, int32_t r);
// The same point on the screen (moved by CaptX, CaptY), or nothing when the sum leaves the 32-bit
// range: no screen reaches there, and the automation must not click a wrapped-around point.
std::optional<DesktopPoint> ScreenSamplePoint(const CaptureFrame& frame,
                                              const CaptureSettings& settings, int32_t v,
                                              int32_t r);

// The application's frame window, found by its class; null when it is not running.
Wnd FindFrameWindow(Desktop& desktop);

// Window routines of the tick, also used by the automation. Texts go through the time-out of
// the desktop's calls: nullopt / false when the window exists and did not answer.
std::optional<std::wstring> GetWndText(Desktop& desktop, Wnd wnd);
// False for the null window (nothing is sent) and for a window that did not answer.
bool SetWndText(Desktop& desktop, Wnd wnd, const std::wstring& text);
std::wstring GetWndClass(Desktop& desktop, Wnd wnd);
// Whether a key synthesised now reaches wnd: its top-level window is in front and the focus of
// its program is wnd (a child) or inside wnd (a top-level window, such as a dialog).
bool KeysReach(Desktop& desktop, Wnd wnd);
// Presses and releases a key for a window. Its top-level window is brought to the foreground
// first, and a child window (the monitor's first-device field) also gets the keyboard focus,
// since bringing its top-level window forward leaves the focus wherever it was, often on the
// grid. A synthesised key goes to whichever program is in front: unless the window is then in
// front with the focus (KeysReach), no key is sent. Returns whether it was sent.
bool PressKey(Desktop& desktop, Wnd wnd, uint8_t virtualKey);
bool CaptureScreen(Desktop& desktop, int32_t x, int32_t y, int32_t width, int32_t height,
                   ui::Bitmap& bitmap);
// The state a cell shows at a screen point now, read as the tick reads its samples: 1 ON, 0 OFF,
// -1 undecided (also when the screen cannot be copied).
int8_t ScreenPointState(Desktop& desktop, DesktopPoint point);

// Trims every leading and trailing character with a code of 32 or less.
std::wstring TrimControls(const std::wstring& text);
