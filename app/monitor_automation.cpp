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

// Clicks the first cell when the grid is on top there, then puts the cursor back. The click
// selects that cell, and the monitor draws a selected cell in neither state's colour: the first
// row's value cell, which holds no bit, takes the selection next, so that every bit reads again
// (as after a toggle).
void ClickFirstCell(AutomationContext& c, DesktopPoint saved) {
    const std::optional<DesktopPoint> cell = FirstCellPoint(c);
    if (!cell) return;
    if (c.desktop.WindowFromPoint(*cell) == c.capture.GridWnd && c.desktop.ClickAt(*cell)) {
        const std::optional<DesktopPoint> valueCell =
            ScreenSamplePoint(c.capture.Frame(), c.settings, -1, 0);
        if (valueCell && c.desktop.WindowFromPoint(*valueCell) == c.capture.GridWnd)
            c.desktop.ClickAt(*valueCell);
    }
    c.desktop.SetCursorPos(saved);
}

bool Contains(const std::vector<Wnd>& windows, Wnd wnd) {
    return std::find(windows.begin(), windows.end(), wnd) != windows.end();
}

// Whether the monitor could have taken the text as a first device: a letter, then a number in
// the mode's base that a monitor shows.
bool CouldBeDevice(const std::wstring& name, bool fx) {
    if (name.size() < 2) return false;
    const wchar_t letter = name[0];
    if (!((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z'))) return false;
    const std::optional<int32_t> number = DeviceNumberInView(name, fx, -1);
    return number && *number >= 0;
}

// A dialog of the application that opened after an Enter in the field, and whether there is
// evidence that the Enter caused it as the box that rejects the name.
struct AfterEnter {
    Wnd dialog = kNoWnd;
    bool rejection = false;
};

// Looks at what followed the Enter that typed `typed`. A box counts as the rejection only when
// the Enter caused it: it was not open before the Enter (`before`), it belongs to the monitor's
// program, and the field still shows the name as typed (a monitor that takes a name shows it in
// its own form; one that rejects it leaves it as typed). Then its title says so (one of the
// configured titles, the first looked for first, or `knownTitle`, the title of a box that
// rejected a name earlier in this action), or the name was none the monitor could take, and the
// box's title becomes `knownTitle`. Any other new dialog of the application is no rejection: an
// auto-save question that opens as the name is taken must not have its default button pressed.
AfterEnter LookAfterEnter(AutomationContext& c, const std::vector<Wnd>& before,
                          const std::wstring& typed, std::wstring& knownTitle) {
    const uint32_t process = c.desktop.GetWindowProcessId(c.capture.DeviceFieldWnd);
    std::vector<Wnd> fresh;
    for (Wnd dialog : DialogsOf(c.desktop, process))
        if (!Contains(before, dialog) && c.desktop.GetWindowTitle(dialog, 255) != kValueChangeTitle)
            fresh.push_back(dialog);
    if (fresh.empty()) return {};
    const std::optional<std::wstring> field = GetWndText(c.desktop, c.capture.DeviceFieldWnd);
    if (!field || TrimControls(*field) != typed) return {fresh.front(), false};
    const std::wstring* titles[] = {&c.rejection.first, &c.rejection.second, &knownTitle};
    for (const std::wstring* title : titles) {
        if (title->empty()) continue;
        for (Wnd dialog : fresh)
            if (c.desktop.GetWindowTitle(dialog, 255) == *title) return {dialog, true};
    }
    if (CouldBeDevice(typed, c.view.FxMode())) return {fresh.front(), false};
    knownTitle = c.desktop.GetWindowTitle(fresh.front(), 255);
    return {fresh.front(), true};
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

// Closes a value-change dialog that was not open before the action's own key (the toggle's
// Shift+Enter, DEVN's Enter): the one that key opened. A dialog the person has open is theirs.
void CloseValueChangeDialogOpenedSince(Desktop& desktop, const std::vector<Wnd>& openBefore) {
    for (Wnd dialog : ValueChangeDialogs(desktop)) {
        if (Contains(openBefore, dialog)) continue;
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

}  // namespace

Wnd FindDialog(Desktop& desktop, const std::wstring& title) {
    Wnd wnd = desktop.FindWindowByTitle(title);
    if (!desktop.IsWindowVisible(wnd) || GetWndClass(desktop, wnd) != kDialogClass) return kNoWnd;
    return wnd;
}

void ChangeFirstDevice(AutomationContext& c) {
    TimerPause pause(c.view);
    // Input on a locked or switched-away session reaches nothing that could be checked.
    if (!c.desktop.SessionShowsDesktop()) return;
    if (!c.desktop.IsWindowVisible(c.capture.DeviceFieldWnd)) return;
    // What the monitor shows now: put back when no key can be sent, and the name of last resort
    // when the recovery name is rejected too. A field that does not answer is given up at once.
    const std::optional<std::wstring> shown = GetWndText(c.desktop, c.capture.DeviceFieldWnd);
    if (!shown) return;
    DesktopPoint saved{};
    c.desktop.GetCursorPos(saved);

    std::vector<Wnd> dialogsBefore;
    if (!TypeFirstDevice(c, *shown, dialogsBefore)) return;
    const std::vector<Wnd> dialogsAtStart = dialogsBefore;
    ClickFirstCell(c, saved);
    c.desktop.Sleep(200);

    // Each rejection box is closed before the next name is typed: the requested name, then the
    // recovery name, then the device the monitor showed before. No box is left open on the
    // application, even when that last name is rejected too. A dialog the Enter cannot be shown
    // to have caused gets no key: it is left for the person, and the window says it waits.
    std::wstring rejectionTitle;
    for (int retry = 0;; ++retry) {
        const AfterEnter after = LookAfterEnter(
            c, dialogsBefore, TrimControls(c.view.FieldText(Field::RequestedFirst)), rejectionTitle);
        if (!after.rejection) {
            if (after.dialog != kNoWnd && c.WaitingDialog) *c.WaitingDialog = after.dialog;
            break;
        }
        const Wnd box = after.dialog;
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
    // A value-change dialog open before the first Enter is the person's, who may be typing in it.
    CloseValueChangeDialogOpenedSince(c.desktop, dialogsAtStart);
}

void ToggleDevice(AutomationContext& c) {
    TimerPause pause(c.view);
    if (!c.desktop.SessionShowsDesktop()) return;
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
