// "先頭変更" and "反転".
#include "app/monitor_automation.h"

#include <algorithm>
#include <optional>

#include "app/device_address.h"

namespace {

using Field = BridgeView::Field;
const std::wstring kDialogClass = L"#32770";
const std::wstring kValueChangeTitle = L"現在値変更";

// The timer stays off while an action runs and comes back only if it was on.
class TimerPause {
  public:
    explicit TimerPause(BridgeView& view) : view_(view), wasEnabled_(view.TimerEnabled()) {
        if (wasEnabled_) view_.SetTimerEnabled(false);
    }
    ~TimerPause() {
        if (wasEnabled_) view_.SetTimerEnabled(true);
    }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

  private:
    BridgeView& view_;
    bool wasEnabled_;
};

// The sampling point of the leftmost cell of the first cell row, on the screen.
std::optional<DesktopPoint> FirstCellPoint(const AutomationContext& c) {
    return ScreenSamplePoint(c.capture.Frame(), c.settings, 0, 0);
}

// The visible dialog boxes of one program.
std::vector<Wnd> DialogsOf(Desktop& desktop, uint32_t process) {
    std::vector<Wnd> dialogs;
    if (process == 0) return dialogs;
    for (Wnd wnd : desktop.TopLevelWindows())
        if (desktop.GetWindowProcessId(wnd) == process && desktop.IsWindowVisible(wnd) &&
            GetWndClass(desktop, wnd) == kDialogClass)
            dialogs.push_back(wnd);
    return dialogs;
}

// Types the requested first device into the monitor's field and presses Enter there. `dialogs`
// receives the monitor's dialog boxes open before the Enter. When the Enter cannot be sent, the
// field gets back the text it showed, so that the action changes nothing; false then, and when the
// field does not answer.
bool TypeFirstDevice(AutomationContext& c, const std::wstring& shown, std::vector<Wnd>& dialogs) {
    const Wnd field = c.capture.DeviceFieldWnd;
    dialogs = DialogsOf(c.desktop, c.desktop.GetWindowProcessId(field));
    if (!SetWndText(c.desktop, field, TrimControls(c.view.FieldText(Field::RequestedFirst))))
        return false;
    if (PressKey(c.desktop, field, vk::Return)) return true;
    SetWndText(c.desktop, field, shown);
    return false;
}

// Clicks the first cell when the grid is on top there, then puts the cursor back.
void ClickFirstCell(AutomationContext& c, DesktopPoint saved) {
    const std::optional<DesktopPoint> cell = FirstCellPoint(c);
    if (!cell) return;
    if (c.desktop.WindowFromPoint(*cell) == c.capture.GridWnd) c.desktop.ClickAt(*cell);
    c.desktop.SetCursorPos(saved);
}

// The box the monitor rejects a name with: a dialog under one of the configured titles, or else
// (the application's real title may be unknown to the user) a dialog box of the monitor's own
// program that was not open before the Enter.
Wnd FindRejectionBox(AutomationContext& c, const std::vector<Wnd>& dialogsBefore) {
    Wnd box = c.desktop.FindWindowByTitle(c.rejection.first);
    if (box == kNoWnd) box = c.desktop.FindWindowByTitle(c.rejection.second);
    if (c.desktop.IsWindowVisible(box) && GetWndClass(c.desktop, box) == kDialogClass) return box;
    const uint32_t process = c.desktop.GetWindowProcessId(c.capture.DeviceFieldWnd);
    for (Wnd dialog : DialogsOf(c.desktop, process)) {
        if (std::find(dialogsBefore.begin(), dialogsBefore.end(), dialog) != dialogsBefore.end())
            continue;
        if (c.desktop.GetWindowTitle(dialog, 255) == kValueChangeTitle) continue;
        return dialog;
    }
    return kNoWnd;
}

// The visible value-change dialogs on the desktop.
std::vector<Wnd> ValueChangeDialogs(Desktop& desktop) {
    std::vector<Wnd> dialogs;
    for (Wnd wnd : desktop.TopLevelWindows())
        if (desktop.IsWindowVisible(wnd) && GetWndClass(desktop, wnd) == kDialogClass &&
            desktop.GetWindowTitle(wnd, 255) == kValueChangeTitle)
            dialogs.push_back(wnd);
    return dialogs;
}

// Closes a value-change dialog that was not open before the toggle's Shift+Enter: the one that
// key opened. A dialog the person has open, typing a value, is theirs.
void CloseValueChangeDialogOpenedSince(Desktop& desktop, const std::vector<Wnd>& openBefore) {
    for (Wnd dialog : ValueChangeDialogs(desktop)) {
        if (std::find(openBefore.begin(), openBefore.end(), dialog) != openBefore.end()) continue;
        if (!desktop.IsWindowEnabled(dialog)) continue;
        PressKey(desktop, dialog, vk::Escape);
        desktop.Sleep(200);
        return;
    }
}

// The target's cell as the monitor shows it when the toggle runs.
struct TargetCell {
    DesktopPoint point;      // its sampling point on the screen
    DesktopPoint valueCell;  // the same row's value cell, left of the bit cells: it holds no bit
};

// Finds the target's cell from the first device the monitor's field shows and the grid's
// rectangle now, not from the latest tick's view: a DEVN just before, or a grid moved since that
// tick, would put the click on another device's cell. Nothing when the target names no cell of
// this view: a letter other than the first device's, a number that does not read in the mode's
// base, a device before the first or past the sampled ones.
std::optional<TargetCell> FindTargetCell(AutomationContext& c) {
    const std::optional<std::wstring> shown = GetWndText(c.desktop, c.capture.DeviceFieldWnd);
    if (!shown) return std::nullopt;
    DesktopRect gridRect{};
    if (!c.desktop.GetWindowRect(c.capture.GridWnd, gridRect)) return std::nullopt;
    const std::wstring target = c.view.FieldText(Field::ToggleTarget);
    // An empty target has no letter; in FX mode it reads as the first device.
    if (!target.empty() && !SameDeviceLetter(target, *shown)) return std::nullopt;

    const bool fx = c.view.FxMode();
    // A first device or a target past what a monitor shows names no cell; an overlong target
    // name is refused before its digits are read.
    const std::optional<int32_t> first = DeviceNumberInView(*shown, fx, 0);
    const std::optional<int32_t> t = DeviceNumberInView(target, fx, -1);
    if (!first || !t || *t < 0) return std::nullopt;
    const int32_t perRow = fx ? 8 : 16;
    const int64_t d = int64_t{*t} - *first;
    if (d < 0 || d >= perRow * 10) return std::nullopt;
    const int32_t row = static_cast<int32_t>(d / perRow);
    const int32_t bit = static_cast<int32_t>(d % perRow);
    const CaptureFrame frame = ComputeCaptureFrame(gridRect, c.settings);
    const std::optional<DesktopPoint> point =
        ScreenSamplePoint(frame, c.settings, perRow - 1 - bit, row);
    // The column left of the first cell column is the row's value.
    const std::optional<DesktopPoint> valueCell = ScreenSamplePoint(frame, c.settings, -1, row);
    if (!point || !valueCell) return std::nullopt;
    return TargetCell{*point, *valueCell};
}

void CloseValueChangeDialog(Desktop& desktop) {
    Wnd dialog = FindDialog(desktop, kValueChangeTitle);
    if (dialog == kNoWnd || !desktop.IsWindowEnabled(dialog)) return;
    PressKey(desktop, dialog, vk::Escape);
    desktop.Sleep(200);
}

}  // namespace

Wnd FindDialog(Desktop& desktop, const std::wstring& title) {
    Wnd wnd = desktop.FindWindowByTitle(title);
    if (!desktop.IsWindowVisible(wnd) || GetWndClass(desktop, wnd) != kDialogClass) return kNoWnd;
    return wnd;
}

void ChangeFirstDevice(AutomationContext& c) {
    TimerPause pause(c.view);
    if (!c.desktop.IsWindowVisible(c.capture.DeviceFieldWnd)) return;
    // What the monitor shows now: put back when no key can be sent, and the name of last resort
    // when the recovery name is rejected too. A field that does not answer is given up at once.
    const std::optional<std::wstring> shown = GetWndText(c.desktop, c.capture.DeviceFieldWnd);
    if (!shown) return;
    DesktopPoint saved{};
    c.desktop.GetCursorPos(saved);

    std::vector<Wnd> dialogsBefore;
    if (!TypeFirstDevice(c, *shown, dialogsBefore)) return;
    ClickFirstCell(c, saved);
    c.desktop.Sleep(200);

    // Each rejection box is closed before the next name is typed: the requested name, then the
    // recovery name, then the device the monitor showed before. No box is left open on the
    // application, even when that last name is rejected too.
    for (int retry = 0;; ++retry) {
        const Wnd box = FindRejectionBox(c, dialogsBefore);
        if (box == kNoWnd) break;
        if (!PressKey(c.desktop, box, vk::Return)) return;
        c.desktop.Sleep(200);
        if (retry == 0) {
            if (!c.SavedFirstDevice.empty()) {
                c.view.SetFieldText(Field::RequestedFirst, c.SavedFirstDevice);
            } else {
                std::wstring fallback =
                    c.view.FieldText(Field::RequestedFirst).substr(0, 1) + L"000";
                c.view.SetFieldText(Field::RequestedFirst, fallback);
                c.SavedFirstDevice = fallback;
            }
        } else if (retry == 1 && !TrimControls(*shown).empty()) {
            // A recovery name the monitor rejects is not kept for the next rejection.
            c.view.SetFieldText(Field::RequestedFirst, *shown);
            c.SavedFirstDevice = *shown;
        } else {
            break;
        }
        if (!TypeFirstDevice(c, *shown, dialogsBefore)) return;
        c.desktop.Sleep(200);
        ClickFirstCell(c, saved);
        c.desktop.Sleep(200);
    }
    CloseValueChangeDialog(c.desktop);
}

void ToggleDevice(AutomationContext& c) {
    TimerPause pause(c.view);
    // Clicks and keys for a monitor that takes no messages would wait in its input and act
    // whenever it wakes up; a hung monitor is left alone.
    if (!c.desktop.Answers(c.capture.GridWnd)) return;
    // Only a cell on top that shows a state now is clicked: a covered cell would take the click
    // elsewhere, and a cell with no state holds no device (or is selected, and unreadable).
    const std::optional<TargetCell> cell = FindTargetCell(c);
    if (!cell || c.desktop.WindowFromPoint(cell->point) != c.capture.GridWnd ||
        ScreenPointState(c.desktop, cell->point) < 0)
        return;
    DesktopPoint saved{};
    c.desktop.GetCursorPos(saved);
    const std::vector<Wnd> dialogsBefore = ValueChangeDialogs(c.desktop);

    // Unless the click landed, no key follows: Shift+Enter would act on whatever cell is selected.
    if (c.desktop.ClickAt(cell->point)) {
        c.desktop.Sleep(100);
        // Straight to the grid that the click focused: no foreground request. Unless the
        // click left the grid in front with the focus, the keys would go to another window.
        if (KeysReach(c.desktop, c.capture.GridWnd)) {
            c.desktop.KeybdEvent(vk::Shift, 0);
            c.desktop.KeybdEvent(vk::Return, 0);
            c.desktop.KeybdEvent(vk::Return, kKeyEventKeyUp);
            c.desktop.KeybdEvent(vk::Shift, kKeyEventKeyUp);
            c.desktop.Sleep(200);
            CloseValueChangeDialogOpenedSince(c.desktop, dialogsBefore);
        }
        // The click selected the target's cell, and a selected cell shows neither state: moved to
        // the row's value cell, the selection leaves every bit readable and toggleable again.
        if (c.desktop.WindowFromPoint(cell->valueCell) == c.capture.GridWnd)
            c.desktop.ClickAt(cell->valueCell);
    }
    c.desktop.SetCursorPos(saved);
}
