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

void LeftClick(Desktop& desktop) {
    desktop.MouseEvent(kMouseEventLeftDown);
    desktop.MouseEvent(kMouseEventLeftUp);
}

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
    c.desktop.SetCursorPos(*cell);
    if (c.desktop.WindowFromPoint(*cell) == c.capture.GridWnd) LeftClick(c.desktop);
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
    DesktopPoint target{0, 0};
    DesktopPoint saved{};
    c.desktop.GetCursorPos(saved);

    const bool fx = c.view.FxMode();
    // A first device or a target past what a monitor shows names no cell; an overlong target
    // name is refused before its digits are read.
    const std::optional<int32_t> first =
        DeviceNumberInView(c.view.FieldText(Field::FirstDevice), fx, 0);
    const std::optional<int32_t> t =
        DeviceNumberInView(c.view.FieldText(Field::ToggleTarget), fx, -1);

    if (first && t && *t >= 0) {
        const int32_t perRow = fx ? 8 : 16;
        const int64_t d = int64_t{*t} - *first;
        // A target before the first device or past the sampled ones has no state: like an
        // undecided one, it gets no click.
        if (d >= 0 && d < perRow * 10) {
            const int32_t row = static_cast<int32_t>(d / perRow);
            const int32_t bit = static_cast<int32_t>(d % perRow);
            const int8_t state = c.capture.BitStates[static_cast<size_t>(row * 16 + bit)];
            if (state == 0 || state == 1) {
                const std::optional<DesktopPoint> point =
                    ScreenSamplePoint(c.capture.Frame(), c.settings, perRow - 1 - bit, row);
                if (point) target = *point;
            }
        }
    }

    if (target.x > 0 && target.y > 0) {
        c.desktop.SetCursorPos(target);
        if (c.desktop.WindowFromPoint(target) == c.capture.GridWnd) {
            LeftClick(c.desktop);
            c.desktop.Sleep(100);
            // Straight to the grid that the click focused: no foreground request. Unless the
            // click left the grid in front with the focus, the keys would go to another window.
            if (KeysReach(c.desktop, c.capture.GridWnd)) {
                c.desktop.KeybdEvent(vk::Shift, 0);
                c.desktop.KeybdEvent(vk::Return, 0);
                c.desktop.KeybdEvent(vk::Return, kKeyEventKeyUp);
                c.desktop.KeybdEvent(vk::Shift, kKeyEventKeyUp);
            }
        }
        c.desktop.Sleep(200);
        CloseValueChangeDialog(c.desktop);
    }
    c.desktop.SetCursorPos(saved);
}
