// MainWindow's side of the tick, the two actions and the command handler.
#include "app/grid_capture_form.h"

#include <exception>
#include <optional>
#include <string>

#include "app/command_protocol.h"
#include "app/main_form.h"
#include "app/settings.h"

namespace {

class FormView final : public BridgeView {
  public:
    explicit FormView(MainWindow& form) : f_(form) {}

    std::wstring Text(Field field) override { return Edit(field).Text(); }
    void SetText(Field field, const std::wstring& text) override {
        if (Edit(field).Text() != text) Edit(field).SetText(text);
    }
    bool FxMode() override { return f_.FxMode(); }
    void SetFxMode(bool on) override {
        f_.fxModeBox.SetChecked(on);
        f_.ShowFxCaptions();
    }
    void ShowImage(const ui::Bitmap& image) override {
        // An unchanged grid is not drawn again: four repaints a second of the same pixels.
        if (!(f_.gridPreview.Picture() == image)) f_.gridPreview.SetPicture(image);
    }
    bool TimerEnabled() override { return f_.sampleTimer.Enabled(); }
    void SetTimerEnabled(bool enabled) override { f_.sampleTimer.SetEnabled(enabled); }

  private:
    ui::Edit& Edit(Field field) {
        switch (field) {
            case Field::FirstDevice:
                return f_.firstDeviceEdit;
            case Field::ChangedDevice:
                return f_.changedDeviceEdit;
            case Field::ChangedState:
                return f_.changedStateEdit;
            case Field::ToggleTarget:
                return f_.toggleTargetEdit;
            case Field::RequestedFirst:
                break;
        }
        return f_.requestedFirstEdit;
    }
    MainWindow& f_;  // not owned
};

CaptureState StateOf(MainWindow& f) {
    return {f.FrameWnd,  f.MonitorWnd,    f.DeviceFieldWnd, f.GridWnd,        f.CaptX,
            f.CaptY,     f.CellW,         f.CellH,          f.LastDeviceName, f.DeviceChanged,
            f.BitStates, f.PrevBitStates, f.CaptureImage};
}

void RunAction(MainWindow& form, void (*action)(AutomationContext&)) {
    FormView view(form);
    CaptureState state = StateOf(form);
    const RejectionTitles titles = ReadRejectionTitles(form.SettingsPath());
    AutomationContext context{SystemDesktop(),       view,  form.Capture, state,
                              form.SavedFirstDevice, titles};
    action(context);
}

}  // namespace

RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath) {
    IniFile ini(settingsPath);
    RejectionTitles titles = kDefaultRejectionTitles;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle1"); t && !t->empty()) titles.first = *t;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle2"); t && !t->empty()) titles.second = *t;
    return titles;
}

void RunTimer1Timer(MainWindow& form) {
    // A failure is shown after the tick has left the gate: the box's message loop must not hold
    // up the commands that arrive while it is open.
    std::optional<std::string> failure;
    const bool ran = form.MonitorTurns.RunTick([&form, &failure] {
        FormView view(form);
        try {
            CaptureTick(SystemDesktop(), view, form.Capture, StateOf(form));
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!ran) return;
    if (failure)
        form.TickFailures.Failed(*failure);
    else
        form.TickFailures.Succeeded();
}

void RunButton1Click(MainWindow& form) {
    form.MonitorTurns.RunAction([&form] { RunAction(form, ChangeFirstDevice); });
}

void RunButton4Click(MainWindow& form) {
    form.MonitorTurns.RunAction([&form] { RunAction(form, ToggleDevice); });
}

void RunStringPacket(MainWindow& form, const std::string& data) {
    form.MonitorTurns.RunCommand([&form, data] {
        FormView view(form);
        CommandContext context{view,
                               form.BitStates,
                               form.CurWords,
                               form.PrevWords,
                               form.port,
                               [&form] { form.ToggleDevice(); },
                               [&form] { form.ChangeFirstDevice(); }};
        HandleCommandPacket(context, data);
    });
}
