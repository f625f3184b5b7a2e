// The timer tick and its window routines.
#include "app/grid_capture.h"

#include <cmath>
#include <limits>

#include "app/device_address.h"
#include "app/display_scale.h"

namespace {

const std::wstring kFrameClass = L"KorvexFrameWnd";
const std::wstring kMonitorTitlePrefix = L"デバイス/バッファメモリ一括モニタ";
const std::wstring kGridClass = L"SPR32AU70_SpreadSheet";
constexpr ui::Color kOnColour{0, 0, 255};
constexpr ui::Color kOffColour{255, 255, 255};
constexpr ui::Color kMarkerColour{255, 0, 0};

// Truncation toward zero; values beyond the 32-bit range saturate, as no pixel lies there.
int32_t Trunc(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int8_t Classify(const ui::Bitmap& image, int32_t x, int32_t y) {
    // A point the geometry puts outside the image has no colour: undecided.
    if (!image.Contains(x, y)) return -1;
    ui::Color c = image.Pixel(x, y);
    if (c == kOnColour) return 1;
    if (c == kOffColour) return 0;
    return -1;
}

std::wstring FirstChar(const std::wstring& text) { return text.substr(0, 1); }

// Shows, in the changed-device and changed-state fields, a device whose decided state differs
// from the previous tick's. When several changed, every one is written in turn and the last in
// the table (the highest row and bit) is what stays shown: one field pair has room for one.
void ShowLastChange(BridgeView& view, const GridCapture& state) {
    auto& BitStates = state.BitStates;
    const std::wstring edit1 = view.FieldText(BridgeView::Field::FirstDevice);
    const bool fx = view.FxMode();
    // A first device past what a monitor shows is no view: its rows have no names to show.
    const std::optional<int32_t> base = DeviceNumberInView(edit1, fx, 0);
    if (!base) return;
    for (size_t i = 0; i < kBitCount; ++i) {
        int8_t now = BitStates[i];
        int8_t before = state.PrevBitStates[i];
        if ((now != 0 && now != 1) || (before != 0 && before != 1) || now == before) continue;
        int32_t row = static_cast<int32_t>(i / 16);
        int32_t bit = static_cast<int32_t>(i % 16);
        std::wstring number =
            fx ? IntToOct(*base + row * 8 + bit, 3) : IntToHex(*base + row * 16 + bit, 3);
        view.SetFieldText(BridgeView::Field::ChangedDevice, FirstChar(edit1) + number);
        view.SetFieldText(BridgeView::Field::ChangedState, now == 1 ? L"ON" : L"OFF");
    }
}

// Whether the session had input within kPersonAtWorkMs; a system that does not say counts as yes.
bool PersonAtWork(Desktop& desktop) {
    const std::optional<uint32_t> idle = desktop.MillisecondsSinceLastInput();
    return !idle || *idle < kPersonAtWorkMs;
}

}  // namespace

CaptureFrame ComputeCaptureFrame(const DesktopRect& gridRect, const CaptureSettings& s) {
    CaptureFrame f;
    f.CaptX = Trunc(static_cast<long double>(gridRect.left) +
                    static_cast<long double>(s.captL) * s.Scale);
    f.CaptY = gridRect.top;
    f.CellW = static_cast<double>(static_cast<long double>(s.captW) * s.Scale / 16);
    f.CellH = static_cast<double>(static_cast<long double>(s.captH) * s.Scale / 11);
    return f;
}

int32_t CaptureWidth(const CaptureFrame& f) {
    return Trunc(static_cast<long double>(f.CellW) * 16);
}

int32_t CaptureHeight(const CaptureFrame& f) {
    return Trunc(static_cast<long double>(f.CellH) * 11);
}

int32_t SampleX(const CaptureFrame& f, const CaptureSettings& s, int32_t v) {
    return Trunc(static_cast<long double>(v) * f.CellW +
                 static_cast<long double>(s.pickXOff) * s.Scale);
}

int32_t SampleY(const CaptureFrame& f, const CaptureSettings& s, int32_t r) {
    return Trunc(static_cast<long double>(r + 1) * f.CellH +
                 static_cast<long double>(s.pickYOff) * s.Scale);
}

std::optional<DesktopPoint> ScreenSamplePoint(const CaptureFrame& f, const CaptureSettings& s,
                                              int32_t v, int32_t r) {
    const int64_t x = int64_t{SampleX(f, s, v)} + f.CaptX;
    const int64_t y = int64_t{SampleY(f, s, r)} + f.CaptY;
    auto fits = [](int64_t value) {
        return value >= std::numeric_limits<int32_t>::min() &&
               value <= std::numeric_limits<int32_t>::max();
    };
    if (!fits(x) || !fits(y)) return std::nullopt;
    return DesktopPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

Wnd FindFrameWindow(Desktop& desktop) { return desktop.FindWindowByClass(kFrameClass); }

std::optional<std::wstring> GetWndText(Desktop& desktop, Wnd wnd) {
    const std::optional<int32_t> length = desktop.SendGetTextLength(wnd);
    if (!length) return std::nullopt;
    if (*length <= 0) return std::wstring();
    return desktop.SendGetText(wnd, *length + 1);
}

bool SetWndText(Desktop& desktop, Wnd wnd, const std::wstring& text) {
    if (wnd == kNoWnd) return false;
    return desktop.SendSetText(wnd, text);
}

std::wstring GetWndClass(Desktop& desktop, Wnd wnd) {
    if (!desktop.IsWindow(wnd)) return {};
    return desktop.GetWindowClass(wnd, 50);
}

bool KeysReach(Desktop& desktop, Wnd wnd) {
    const Wnd root = desktop.GetRootWindow(wnd);
    if (root == kNoWnd || desktop.GetForegroundWindow() != root) return false;
    const Wnd focus = desktop.GetFocusOf(root);
    if (wnd != root) return focus == wnd;
    return focus != kNoWnd && desktop.GetRootWindow(focus) == root;
}

bool PressKey(Desktop& desktop, Wnd wnd, uint8_t virtualKey) {
    const Wnd root = desktop.GetRootWindow(wnd);
    if (root == kNoWnd) return false;
    // A refused foreground leaves another program in front, and the key would be typed there.
    if (!desktop.SetForegroundWindow(root)) return false;
    // A child takes the focus, or the key would land in whichever control of its program had it.
    if (wnd != root && !desktop.FocusWindow(wnd)) return false;
    if (!KeysReach(desktop, wnd)) return false;
    desktop.KeybdEvent(virtualKey, 0);
    desktop.KeybdEvent(virtualKey, kKeyEventKeyUp);
    return true;
}

bool CaptureScreen(Desktop& desktop, int32_t x, int32_t y, int32_t width, int32_t height,
                   ui::Bitmap& bitmap) {
    bitmap.SetSize(width, height);
    return desktop.CaptureScreen(x, y, bitmap);
}

int8_t ScreenPointState(Desktop& desktop, DesktopPoint point) {
    ui::Bitmap pixel;
    if (!CaptureScreen(desktop, point.x, point.y, 1, 1, pixel)) return -1;
    return Classify(pixel, 0, 0);
}

std::wstring TrimControls(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= L' ') ++first;
    while (last > first && text[last - 1] <= L' ') --last;
    return text.substr(first, last - first);
}

TickResult CaptureTick(Desktop& desktop, BridgeView& view, const CaptureSettings& stored,
                       GridCapture& state) {
    using Field = BridgeView::Field;
    auto& BitStates = state.BitStates;

    // A locked, disconnected or switched-away session shows no desktop: a copy would be black and
    // input would reach nothing, so nothing is copied, typed or asked until it comes back.
    if (!desktop.SessionShowsDesktop()) return TickResult::SessionLocked;

    // The application's frame window; a hidden or minimised one has no grid on the screen.
    state.FrameWnd = desktop.FindWindowByClass(kFrameClass);
    if (!desktop.IsWindowVisible(state.FrameWnd) || desktop.IsIconic(state.FrameWnd))
        return TickResult::FrameMissing;

    // The monitor window; the one found last is kept when none is found now.
    Wnd monitorNow = kNoWnd;
    desktop.EnumChildWindows(state.FrameWnd, [&](Wnd child) {
        std::wstring title = desktop.GetWindowTitle(child, 255);
        if (title.empty() || !title.starts_with(kMonitorTitlePrefix)) return true;
        monitorNow = child;
        return false;
    });
    if (monitorNow != kNoWnd) state.MonitorWnd = monitorNow;

    // The first-device field, by its place in the monitor's window tree: first child of the fourth
    // child of the first child.
    Wnd w = desktop.GetFirstChild(desktop.GetFirstChild(state.MonitorWnd));
    for (int i = 0; i < 3; ++i) w = desktop.GetNextSibling(w);
    state.DeviceFieldWnd = desktop.GetFirstChild(w);

    // The first device. A field that does not answer ends the tick: nothing else is asked
    // of a monitor that hangs, and the last samples stay for READ. An empty field is set to X000,
    // but only a real field: with the monitor closed an Enter would go to whatever window has
    // the keyboard focus. When the Enter cannot be sent the field is left empty as it was found,
    // and an application that runs above this program is sent neither.
    std::optional<std::wstring> read = GetWndText(desktop, state.DeviceFieldWnd);
    if (!read) return TickResult::MonitorNotAnswering;
    std::wstring device = *read;
    view.SetFieldText(Field::FirstDevice, device);
    if (device.empty() && desktop.IsWindow(state.DeviceFieldWnd) && !state.ApplicationElevated) {
        if (!SetWndText(desktop, state.DeviceFieldWnd, L"X000"))
            return TickResult::MonitorNotAnswering;
        if (!PressKey(desktop, state.DeviceFieldWnd, vk::Return) &&
            !SetWndText(desktop, state.DeviceFieldWnd, L""))
            return TickResult::MonitorNotAnswering;
        read = GetWndText(desktop, state.DeviceFieldWnd);
        if (!read) return TickResult::MonitorNotAnswering;
        device = *read;
        view.SetFieldText(Field::FirstDevice, device);
    }

    // The toggle target and the requested first device start at the monitor's first device, and
    // follow it whenever it changes, so that the step buttons start from what the grid shows.
    if (view.FieldText(Field::ToggleTarget).empty()) view.SetFieldText(Field::ToggleTarget, device);
    if (view.FieldText(Field::RequestedFirst).empty())
        view.SetFieldText(Field::RequestedFirst, device);
    state.DeviceChanged = device != state.LastDeviceName;
    if (state.DeviceChanged) {
        state.LastDeviceName = device;
        view.SetFieldText(Field::ToggleTarget, device);
        view.SetFieldText(Field::RequestedFirst, device);
    }

    // The grid: the monitor's own, so that another spreadsheet of the application ahead of it
    // (a label list, a second view) is never sampled or clicked; the frame's first only when no
    // monitor was found now or it holds none. The one found last is kept when none is found.
    const auto findGrid = [&](Wnd parent) {
        Wnd grid = kNoWnd;
        desktop.EnumChildWindows(parent, [&](Wnd child) {
            if (GetWndClass(desktop, child) != kGridClass) return true;
            grid = child;
            return false;
        });
        return grid;
    };
    Wnd grid = monitorNow != kNoWnd ? findGrid(monitorNow) : kNoWnd;
    if (grid == kNoWnd) grid = findGrid(state.FrameWnd);
    if (grid != kNoWnd) state.GridWnd = grid;

    // The capture frame, from the grid's window rectangle and the capture settings at the grid
    // window's display scale when that is automatic.
    const CaptureSettings settings = SettingsForGrid(desktop, state.GridWnd, stored);
    DesktopRect rect{};
    desktop.GetWindowRect(state.GridWnd, rect);
    const CaptureFrame f = ComputeCaptureFrame(rect, settings);
    state.CaptX = f.CaptX;
    state.CaptY = f.CaptY;
    state.CellW = f.CellW;
    state.CellH = f.CellH;

    // The grid must be on top at the frame's corner. A covered grid may ask once, plainly, for
    // its top-level window to come forward (a request for a child window is refused): not again
    // until the grid has been seen uncovered, never while a person is at work (what they type
    // next would go to the application), and not for a monitor minimised inside the frame,
    // which coming forward cannot uncover. Windows refuses the request to a program in the
    // background; nothing more is done to win it.
    const DesktopPoint corner{f.CaptX, f.CaptY};
    if (desktop.WindowFromPoint(corner) != state.GridWnd) {
        if (!state.ForegroundAsked && !PersonAtWork(desktop) &&
            !desktop.IsIconic(state.MonitorWnd)) {
            state.ForegroundAsked = true;
            desktop.RequestForeground(desktop.GetRootWindow(state.GridWnd));
            desktop.Sleep(100);
        }
        if (desktop.WindowFromPoint(corner) != state.GridWnd) return TickResult::GridCovered;
    }
    state.ForegroundAsked = false;

    // An empty frame captures and samples nothing.
    ui::Bitmap& image = state.Image;
    const int32_t width = CaptureWidth(f);
    const int32_t height = CaptureHeight(f);
    if (width <= 0 || height <= 0) return TickResult::NothingCaptured;
    if (!CaptureScreen(desktop, f.CaptX, f.CaptY, width, height, image))
        return TickResult::NothingCaptured;

    // Sampling, with a marker drawn on each point after it has been read.
    for (int32_t r = 0; r < 10; ++r) {
        const int32_t y = SampleY(f, settings, r);
        if (r == 0) {
            // Controller detection: a 16-bit row has a blue or white ninth cell here, an 8-bit
            // row has ended. A point outside the image tells nothing and changes nothing.
            const int32_t x = SampleX(f, settings, 8);
            if (image.Contains(x, y)) {
                ui::Color c = image.Pixel(x, y);
                bool fx = !(c == kOnColour || c == kOffColour);
                if (fx != view.FxMode()) view.SetFxMode(fx);
            }
        }
        const int32_t last = view.FxMode() ? 7 : 15;
        for (int32_t v = 0; v <= last; ++v) {
            const int32_t x = SampleX(f, settings, v);
            BitStates[static_cast<size_t>(r * 16 + last - v)] = Classify(image, x, y);
            image.FillEllipse(x - 2, y - 2, x + 2, y + 2, kMarkerColour);
        }
    }
    view.ShowImage(image);

    // A new first device shows other devices: nothing has changed yet, and the states start from
    // OFF so that the next tick reports the devices that are ON as changes. Otherwise the last
    // change is shown. Either way this tick's states are the next tick's comparison.
    if (state.DeviceChanged) {
        view.SetFieldText(Field::ChangedDevice, L"");
        view.SetFieldText(Field::ChangedState, L"");
        std::fill(BitStates.begin(), BitStates.end(), int8_t{0});
    } else {
        ShowLastChange(view, state);
    }
    std::copy(BitStates.begin(), BitStates.end(), state.PrevBitStates.begin());
    state.SampledDeviceName = device;
    return TickResult::Sampled;
}
