// MainWindow, the program's main window: its controls, the settings file, "START"/"STOP", and the
// view through which the bridge shows what it samples. The handlers are written against the
// toolkit's objects and the serial services, so they run the same in host tests and in the
// program.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "app/bridge.h"
#include "app/serial_services.h"
#include "app/settings.h"
#include "app/main_window_controls.h"
#include "ui/form.h"
#include "ui/image.h"

class MainWindow : public ui::Form, public BridgeView {
  public:
    // services not owned; they outlive the form. settingsPath is the settings file to read at
    // creation and write at destruction.
    MainWindow(SerialServices& services, std::wstring settingsPath);
    ~MainWindow() override;

    // Start-up and shut-down, "START"/"STOP", the settings page and the FX mode indicator.
    void StartUp();
    void ShutDown();
    void StartStop();
    void ApplySettings();
    void RestoreDefaultSettings();
    void ShowFxCaptions();

    // The step buttons. The toggle target moves by a device ("+1", "-1") or a grid row ("+10",
    // "-10"); the requested first device by 0x80 or 0x100 devices (octal 40 and 100 in FX mode)
    // and is then made the monitor's first device, as is a change of its letter ("X", "Y").
    void StepToggleTarget(int devices);
    void StepFirstDevice(int devices);
    void SetFirstLetter(wchar_t letter);

    // The timer, "先頭変更", "反転" and the command line: the bridge's work.
    void SampleMonitor() { bridge_.SampleMonitor(); }
    void ChangeFirstDevice() { bridge_.ChangeFirstDevice(); }
    void ToggleDevice() { bridge_.ToggleDevice(); }
    void OnCommandLine(const std::string& line) { bridge_.OnCommandLine(line); }
    void OnCommandTimeout();

    // The bridge's view of this window.
    std::wstring FieldText(Field field) override { return FieldEdit(field).Text(); }
    void SetFieldText(Field field, const std::wstring& text) override;
    bool FxMode() override { return ui_.fxModeBox.Checked(); }
    void SetFxMode(bool on) override;
    void ShowImage(const ui::Bitmap& image) override;
    bool TimerEnabled() override { return ui_.sampleTimer.Enabled(); }
    void SetTimerEnabled(bool enabled) override { ui_.sampleTimer.SetEnabled(enabled); }
    void ShowNotice(const std::wstring& text) override;

    // The port number "START" opens: the box text without its first three characters, in
    // decimal, whole or without its last character (the list's full stop); 4 when neither is a
    // number; nothing when it is a number no port has (negative, or past the 16-bit port
    // numbers, however many digits).
    std::optional<uint16_t> PortNumberFromBox() const;

    const std::wstring& SettingsPath() const { return settingsPath_; }

    // The bridge behind this window (tests and the benchmark look into it).
    Bridge& OwnBridge() { return bridge_; }

    // The controls, for tests that press buttons and read fields as the user would.
    MainWindowControls& ControlsForTest() { return ui_; }

  private:
    void ConnectHandlers();
    // The settings page's six fields show the given values.
    void ShowCaptureSettings(const CaptureSettings& settings, wchar_t separator);
    ui::Edit& FieldEdit(Field field);
    // The serial services (not owned): the port, the packet that cuts its input into command
    // lines, and the list of ports.
    ComPortService& port_;
    DataPacketService& commandPacket_;
    PortEnumerationService& portList_;
    MainWindowControls ui_;
    std::wstring settingsPath_;
    Bridge bridge_;
    // Between "START" and "STOP": the timer samples and the port was asked to open.
    bool running_ = false;
};
