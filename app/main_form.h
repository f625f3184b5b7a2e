// MainWindow, the bridge's main window: its controls, the state the bridge keeps between events,
// and its event handlers. The handlers are written against the toolkit's objects and the serial
// services, so they run the same in host tests and in the program.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/monitor_work.h"
#include "app/repeated_failure.h"
#include "app/serial_services.h"
#include "app/settings.h"
#include "platform/exception_display.h"
#include "ui/form.h"
#include "ui/image.h"

// A window of the desktop the bridge watches (an HWND value in the program).
using WndHandle = std::uintptr_t;

class MainWindow : public ui::Form {
  public:
    // services not owned; they outlive the form. settingsPath is the settings file to read at
    // creation and write at destruction.
    MainWindow(SerialServices& services, std::wstring settingsPath);
    ~MainWindow() override;

    // Controls, in creation order (parents before their children).
    ui::PageControl pages;
    ui::TabSheet mainPage;
    ui::Label portLabel;
    ui::ComboBox portBox;
    ui::Button startStopButton;
    ui::Label firstDeviceLabel;
    ui::Edit firstDeviceEdit;
    ui::CheckBox fxModeBox;
    ui::Edit changedDeviceEdit;
    ui::Edit changedStateEdit;
    ui::Image gridPreview;
    ui::Edit toggleTargetEdit;
    ui::Button toggleButton;
    ui::SpeedButton targetRowUpButton;
    ui::SpeedButton targetRowDownButton;
    ui::SpeedButton targetUpButton;
    ui::SpeedButton targetDownButton;
    ui::Edit requestedFirstEdit;
    ui::Button changeFirstButton;
    ui::SpeedButton firstBlockUpButton;
    ui::SpeedButton firstBlockDownButton;
    ui::SpeedButton firstUpButton;
    ui::SpeedButton firstDownButton;
    ui::SpeedButton letterXButton;
    ui::SpeedButton letterYButton;
    ui::TabSheet settingsPage;
    ui::GroupBox captureGroup;
    ui::Label scaleLabel;
    ui::Edit scaleEdit;
    ui::Label captWLabel;
    ui::Edit captWEdit;
    ui::Label captHLabel;
    ui::Edit captHEdit;
    ui::Label captLLabel;
    ui::Edit captLEdit;
    ui::Label pickXLabel;
    ui::Edit pickXEdit;
    ui::Label pickYLabel;
    ui::Edit pickYEdit;
    ui::Button applySettingsButton;
    ui::Button defaultSettingsButton;
    ui::Timer sampleTimer;

    // The serial services (not owned).
    ComPortService& port;
    DataPacketService& commandPacket;
    PortEnumerationService& portList;

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

    // The timer tick (grid capture and sampling), "先頭変更", "反転" and the command handler.
    // Their work lives in the capture, automation and protocol code (main_form_hooks.cpp).
    void SampleMonitor();
    void ChangeFirstDevice();
    void ToggleDevice();
    void OnCommandLine(const std::string& data);
    void OnCommandTimeout();

    // FX mode: octal device numbers and 8 bits per grid row.
    bool FxMode() const { return fxModeBox.Checked(); }

    // The port number "START" opens: the box text without its first three and its last
    // character, in decimal; 4 when that does not parse; nothing when it parses to a number no
    // port has (negative, or past the 16-bit port numbers).
    std::optional<uint16_t> PortNumberFromBox() const;

    const std::wstring& SettingsPath() const { return settingsPath_; }

    // Capture geometry in force (changed by "更新", read at start, written at exit).
    CaptureSettings Capture;

    // Sampled bit states: 10 rows of 16, row-major; 1 ON, 0 OFF, -1 undecided.
    std::array<int8_t, 160> BitStates{};
    std::array<int8_t, 160> PrevBitStates{};
    // Words of the latest "READ" and of the one before.
    std::array<uint16_t, 10> CurWords{};
    std::array<uint16_t, 10> PrevWords{};

    // The watched application's windows, kept from tick to tick (0 when not found).
    WndHandle FrameWnd = 0;
    WndHandle MonitorWnd = 0;
    WndHandle DeviceFieldWnd = 0;
    WndHandle GridWnd = 0;

    // Capture frame of the latest tick.
    int32_t CaptX = 0;
    int32_t CaptY = 0;
    double CellW = 0;
    double CellH = 0;

    // First-device tracking of the tick.
    std::wstring LastDeviceName;
    bool DeviceChanged = false;
    // The tick's working copy of the grid (gridPreview shows a copy of it).
    ui::Bitmap CaptureImage;

    // requestedFirstEdit's text before the latest "+80"/"+40" or "+100" step.
    std::wstring SavedFirstDevice;

    // A tick that fails shows its failure with the application's exception display, once.
    RepeatedFailureDisplay TickFailures{platform::ShowExceptionMessage};

    // Ticks, actions and commands take their turns on the monitor through this gate.
    MonitorWork MonitorTurns;

  private:
    void ConnectHandlers();
    // scaleEdit to pickYEdit show the settings in force.
    void ShowCaptureSettings();
    std::wstring settingsPath_;
    // Between "START" and "STOP": the timer samples and the port was asked to open.
    bool running_ = false;
};
