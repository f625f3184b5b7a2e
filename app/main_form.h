// TForm4, the bridge's main window: its controls, the state the bridge keeps between events, and
// its event handlers. The handlers are written against the toolkit's objects and the serial
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

class TForm4 : public ui::Form {
  public:
    // services not owned; they outlive the form. settingsPath is the settings file to read at
    // creation and write at destruction.
    TForm4(SerialServices& services, std::wstring settingsPath);
    ~TForm4() override;

    // Controls, in creation order (parents before their children).
    ui::PageControl PageControl1;
    ui::TabSheet TabSheet1;
    ui::Label Label4;
    ui::ComboBox ComboBox1;
    ui::Button Button3;
    ui::Label Label3;
    ui::Edit Edit1;
    ui::CheckBox CheckBox1;
    ui::Edit Edit2;
    ui::Edit Edit3;
    ui::Image Image1;
    ui::Edit Edit4;
    ui::Button Button4;
    ui::SpeedButton SpeedButton3;
    ui::SpeedButton SpeedButton4;
    ui::SpeedButton SpeedButton1;
    ui::SpeedButton SpeedButton2;
    ui::Edit Edit5;
    ui::Button Button1;
    ui::SpeedButton SpeedButton6;
    ui::SpeedButton SpeedButton8;
    ui::SpeedButton SpeedButton5;
    ui::SpeedButton SpeedButton7;
    ui::SpeedButton SpeedButton9;
    ui::SpeedButton SpeedButton10;
    ui::TabSheet TabSheet2;
    ui::GroupBox GroupBox1;
    ui::Label Label1;
    ui::Edit Edit6;
    ui::Label Label5;
    ui::Edit Edit8;
    ui::Label Label6;
    ui::Edit Edit9;
    ui::Label Label7;
    ui::Edit Edit10;
    ui::Label Label8;
    ui::Edit Edit11;
    ui::Label Label9;
    ui::Edit Edit12;
    ui::Button Button2;
    ui::Button Button5;
    ui::Timer Timer1;

    // The serial services (not owned).
    ComPortService& SioComPort1;
    DataPacketService& SioDataPacket1;
    PortEnumerationService& PortEnumeration;

    // Start-up and shut-down, "START"/"STOP", the settings page and the FX mode indicator.
    void FormCreate(ui::Object* sender);
    void FormDestroy(ui::Object* sender);
    void Button3Click(ui::Object* sender);
    void Button2Click(ui::Object* sender);
    void Button5Click(ui::Object* sender);
    void CheckBox1Click(ui::Object* sender);

    // The step buttons: "+1"/"+10", "-1"/"-10", "+80"/"+100", "-80"/"-100", "X", "Y".
    void SpeedButton1Click(ui::Object* sender);
    void SpeedButton2Click(ui::Object* sender);
    void SpeedButton5Click(ui::Object* sender);
    void SpeedButton7Click(ui::Object* sender);
    void SpeedButton9Click(ui::Object* sender);
    void SpeedButton10Click(ui::Object* sender);

    // The timer tick (grid capture and sampling), "先頭変更", "反転" and the command handler.
    // Their work lives in the capture, automation and protocol code (main_form_hooks.cpp).
    void Timer1Timer(ui::Object* sender);
    void Button1Click(ui::Object* sender);
    void Button4Click(ui::Object* sender);
    void SioDataPacket1StringPacket(DataPacketService* sender, const std::string& data);
    void SioDataPacket1Timeout(DataPacketService* sender);

    // FX mode: octal device numbers and 8 bits per grid row.
    bool FxMode() const { return CheckBox1.Checked(); }

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
    // The tick's working copy of the grid (Image1 shows a copy of it).
    ui::Bitmap CaptureImage;

    // Edit5's text before the latest "+80"/"+40" or "+100" step.
    std::wstring SavedFirstDevice;

    // A tick that fails shows its failure with the application's exception display, once.
    RepeatedFailureDisplay TickFailures{platform::ShowExceptionMessage};

    // Ticks, actions and commands take their turns on the monitor through this gate.
    MonitorWork MonitorTurns;

  private:
    void ConnectHandlers();
    // Edit6 to Edit12 show the settings in force.
    void ShowCaptureSettings();
    std::wstring settingsPath_;
};
