// MainWindow: layout, start-up and shut-down with the settings file, "START"/"STOP", the settings
// page and the FX mode captions.
#include "app/main_window.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "app/device_address.h"
#include "platform/exception_display.h"
#include "platform/text.h"
#include "ui/message_box.h"

namespace {
// Packet settings of the command line: any byte starts a line, CR LF ends it, 500 ticks (27.5 s)
// of silence disable it.
constexpr int32_t kPacketTimeOutTicks = 500;
constexpr int kDefaultPortNumber = 4;
constexpr int32_t kPastLastPort = 0x10000;

// The number a port text gives, however long: decimal digits with an optional sign and spaces
// around them. A value past the 16-bit port numbers is held at the first number past them, so
// that no length of digits wraps round onto a port. Nothing when the text is no number.
std::optional<int32_t> PortNumberIn(const std::wstring& text) {
    const std::wstring t = TrimControls(text);
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == L'-';
    if (!t.empty() && (t[0] == L'-' || t[0] == L'+')) ++i;
    if (i == t.size()) return std::nullopt;
    int32_t value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < L'0' || t[i] > L'9') return std::nullopt;
        value = std::min(value * 10 + (t[i] - L'0'), kPastLastPort);
    }
    return negative ? -value : value;
}

// The port text as the box of "ComPort Open Error" names it: without the list's full stop.
std::wstring PortTextWithoutStop(const std::wstring& text) {
    return text.ends_with(L'.') ? text.substr(0, text.size() - 1) : text;
}
}  // namespace

MainWindow::MainWindow(SerialServices& services, std::wstring settingsPath)
    : ui::Form({.name = L"MainWindow",
                .caption = L"Pelkan 1.02",
                .clientWidth = 248,
                .clientHeight = 424,
                .border = ui::BorderStyle::Single,
                .minimizeBox = true,
                .maximizeBox = false}),
      port_(*services.port),
      commandPacket_(*services.packet),
      portList_(*services.ports),
      ui_(this),
      settingsPath_(std::move(settingsPath)),
      bridge_(*this, port_, settingsPath_) {
    RestoreDefaultSettings();
    commandPacket_.SetEnabled(false);
    commandPacket_.SetPacketSize(0);
    ConnectHandlers();
}

MainWindow::~MainWindow() { Destroy(); }

void MainWindow::ConnectHandlers() {
    SetOnCreate([this](ui::Object*) { StartUp(); });
    SetOnDestroy([this](ui::Object*) { ShutDown(); });
    ui_.startStopButton.SetOnClick([this](ui::Object*) { StartStop(); });
    ui_.applySettingsButton.SetOnClick([this](ui::Object*) { ApplySettings(); });
    ui_.defaultSettingsButton.SetOnClick([this](ui::Object*) { RestoreDefaultSettings(); });
    ui_.fxModeBox.SetOnClick([this](ui::Object*) { ShowFxCaptions(); });
    // A grid row holds 8 devices in FX mode, 16 otherwise; the first-device steps read in the
    // base of the mode ("+80" is octal 40 in FX mode).
    const auto row = [this] { return FxMode() ? 8 : 16; };
    const auto page = [this] { return FxMode() ? 040 : 0x80; };
    const auto block = [this] { return FxMode() ? 0100 : 0x100; };
    ui_.targetUpButton.SetOnClick([this](ui::Object*) { StepToggleTarget(1); });
    ui_.targetRowUpButton.SetOnClick([this, row](ui::Object*) { StepToggleTarget(row()); });
    ui_.targetDownButton.SetOnClick([this](ui::Object*) { StepToggleTarget(-1); });
    ui_.targetRowDownButton.SetOnClick([this, row](ui::Object*) { StepToggleTarget(-row()); });
    ui_.firstUpButton.SetOnClick([this, page](ui::Object*) { StepFirstDevice(page()); });
    ui_.firstBlockUpButton.SetOnClick([this, block](ui::Object*) { StepFirstDevice(block()); });
    ui_.firstDownButton.SetOnClick([this, page](ui::Object*) { StepFirstDevice(-page()); });
    ui_.firstBlockDownButton.SetOnClick([this, block](ui::Object*) { StepFirstDevice(-block()); });
    ui_.letterXButton.SetOnClick([this](ui::Object*) { SetFirstLetter(L'X'); });
    ui_.letterYButton.SetOnClick([this](ui::Object*) { SetFirstLetter(L'Y'); });
    ui_.changeFirstButton.SetOnClick([this](ui::Object*) { ChangeFirstDevice(); });
    ui_.toggleButton.SetOnClick([this](ui::Object*) { ToggleDevice(); });
    ui_.sampleTimer.SetOnTimer([this](ui::Object*) { SampleMonitor(); });
    commandPacket_.SetOnStringPacket(
        [this](DataPacketService*, const std::string& data) { OnCommandLine(data); });
    commandPacket_.SetOnTimeout([this](DataPacketService*) { OnCommandTimeout(); });
}

void MainWindow::StartUp() {
    bridge_.SetSettings(CaptureSettings{});

    // Only ports that can be opened now are worth offering.
    portList_.SetCountPortsInUse(false);
    for (int32_t n = 0; n <= 32; ++n) {
        if (portList_.ProbePort(n)) {
            ui_.portBox.AddItem(portList_.MakeComName(static_cast<uint16_t>(n)) + L".");
        }
    }

    IniFile ini(settingsPath_);
    SetScreenLeft(ini.ReadInteger(L"Form", L"Left", (ui::ScreenWidth() - OuterWidth()) / 2));
    SetScreenTop(ini.ReadInteger(L"Form", L"Top", (ui::ScreenHeight() - OuterHeight()) / 2));

    int32_t portIndex = ini.ReadInteger(L"COM", L"PortIndex", 0);
    if (portIndex < static_cast<int32_t>(ui_.portBox.Items().size())) {
        ui_.portBox.SetItemIndex(portIndex < 0 ? -1 : portIndex);
    }

    const wchar_t separator = LocaleDecimalSeparator();
    CaptureSettings read;
    // No scale (a new file) or "auto" follows the grid window's display scale; a number, or a
    // text that is neither (1.0, as it always was), stays in force.
    const std::wstring scaleText = ini.ReadString(L"Capt", L"Scale").value_or(L"");
    read.AutoScale = scaleText.empty() || IsAutoScaleText(scaleText);
    if (!read.AutoScale) read.Scale = ini.ReadFloat(L"Capt", L"Scale", 1.0, separator);
    read.captW = ini.ReadInteger(L"Capt", L"captW", read.captW);
    read.captH = ini.ReadInteger(L"Capt", L"captH", read.captH);
    read.captL = ini.ReadInteger(L"Capt", L"captL", read.captL);
    read.pickXOff = ini.ReadInteger(L"Capt", L"pickXOff", read.pickXOff);
    read.pickYOff = ini.ReadInteger(L"Capt", L"pickYOff", read.pickYOff);
    // A geometry no screen holds would make every tick fail or stall: the start values serve
    // until the user sets it right (and are what the file gets at exit).
    if (std::optional<std::wstring> problem = CaptureGeometryProblem(read, separator)) {
        ui::ShowError(*problem + L"\n" + settingsPath_ +
                      L": the default capture settings are used.");
    } else {
        bridge_.SetSettings(read);
    }
    ShowCaptureSettings(bridge_.Settings(), separator);

    commandPacket_.SetEnabled(false);
}

void MainWindow::ShutDown() {
    // A port that refuses to close must not cost the user the settings.
    try {
        if (port_.Open()) port_.SetOpen(false);
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }

    try {
        IniFile ini(settingsPath_);
        ini.WriteInteger(L"Form", L"Left", ScreenLeft());
        ini.WriteInteger(L"Form", L"Top", ScreenTop());
        ini.WriteInteger(L"COM", L"PortIndex", ui_.portBox.ItemIndex());
        const CaptureSettings& capture = bridge_.Settings();
        if (capture.AutoScale)
            ini.WriteString(L"Capt", L"Scale", std::wstring(kAutoScaleText));
        else
            ini.WriteFloat(L"Capt", L"Scale", capture.Scale, LocaleDecimalSeparator());
        ini.WriteInteger(L"Capt", L"captW", capture.captW);
        ini.WriteInteger(L"Capt", L"captH", capture.captH);
        ini.WriteInteger(L"Capt", L"captL", capture.captL);
        ini.WriteInteger(L"Capt", L"pickXOff", capture.pickXOff);
        ini.WriteInteger(L"Capt", L"pickYOff", capture.pickYOff);
    } catch (const SettingsWriteError& e) {
        ui::ShowError(e.Message());
    }
}

std::optional<uint16_t> MainWindow::PortNumberFromBox() const {
    const std::wstring rest =
        ui_.portBox.Text().size() > 3 ? ui_.portBox.Text().substr(3) : std::wstring();
    // The list's entries end in a full stop; a port typed without it is read whole.
    std::optional<int32_t> number = PortNumberIn(rest);
    if (!number && !rest.empty()) number = PortNumberIn(rest.substr(0, rest.size() - 1));
    if (!number) return kDefaultPortNumber;
    // A number no port has must not open another, possibly real, port in its place.
    if (*number < 0 || *number >= kPastLastPort) return std::nullopt;
    return static_cast<uint16_t>(*number);
}

void MainWindow::StartStop() {
    if (!running_) {
        running_ = true;
        bridge_.ForgetLineFailures();
        bridge_.CheckApplicationLevel();
        ui_.startStopButton.SetCaption(L"STOP");
        const std::optional<uint16_t> number = PortNumberFromBox();
        if (number) port_.SetComNumber(*number);
        port_.SetBaud(9600);
        port_.SetStopBits(1);
        port_.SetDataBits(8);
        port_.SetParity(TParity::pNone);
        port_.SetSWFlowOptions(TSWFlowOptions::swfNone);

        commandPacket_.SetEnabled(false);
        commandPacket_.SetEndCond({TPacketEndCond::ecString});
        commandPacket_.SetEndString("\r\n");
        commandPacket_.SetStartCond(TPacketStartCond::scAnyData);
        commandPacket_.SetTimeOut(kPacketTimeOutTicks);

        // The box keeps its first line as it always was; the second tells the user what to fix.
        try {
            if (!number)
                throw PortOpenError(PortTextWithoutStop(ui_.portBox.Text()) + L" names no port.");
            port_.SetOpen(true);
            if (port_.Open()) {
                commandPacket_.SetEnabled(true);
                ui_.portBox.SetEnabled(false);
            }
        } catch (const PortOpenError& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + e.Reason());
        } catch (const std::exception& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + platform::AnsiToWide(e.what()));
        } catch (...) {
            ui::ShowMessage(L"ComPort Open Error");
        }
        // The monitor is sampled whether or not the line is there.
        ui_.sampleTimer.SetEnabled(true);
    } else {
        ui_.sampleTimer.SetEnabled(false);
        running_ = false;
        ui_.startStopButton.SetCaption(L"START");
        if (port_.Open()) {
            port_.SetOpen(false);
            ui_.portBox.SetEnabled(true);
        }
    }
}

// The packet gives up after a silence of its time-out, discards the partial line and disables
// itself. A remote party that pauses for half a minute must still be answered afterwards, so while
// the port is open the packet is armed again at once.
void MainWindow::OnCommandTimeout() {
    if (port_.Open()) commandPacket_.SetEnabled(true);
}

void MainWindow::ShowCaptureSettings(const CaptureSettings& settings, wchar_t separator) {
    ui_.scaleEdit.SetText(settings.AutoScale ? std::wstring(kAutoScaleText)
                                             : FormatFixed4(settings.Scale, separator));
    ui_.captWEdit.SetText(std::to_wstring(settings.captW));
    ui_.captHEdit.SetText(std::to_wstring(settings.captH));
    ui_.captLEdit.SetText(std::to_wstring(settings.captL));
    ui_.pickXEdit.SetText(std::to_wstring(settings.pickXOff));
    ui_.pickYEdit.SetText(std::to_wstring(settings.pickYOff));
}

void MainWindow::ApplySettings() {
    const wchar_t separator = LocaleDecimalSeparator();
    CaptureSettings typed;
    // "auto", a number, or what the page's defaults give for a field that is neither.
    const std::wstring scaleText = ui_.scaleEdit.Text();
    const std::optional<double> typedScale = ParseDecimal(scaleText, separator);
    if (IsAutoScaleText(scaleText)) {
        typed.AutoScale = true;
    } else if (typedScale) {
        typed.Scale = *typedScale;
        typed.AutoScale = false;
    } else {
        typed.Scale = kSettingsPageDefaults.Scale;
        typed.AutoScale = kSettingsPageDefaults.AutoScale;
    }
    auto parse = [](const ui::Edit& field, int32_t fallBack) {
        return ParseDecimalInteger(field.Text()).value_or(fallBack);
    };
    typed.captW = parse(ui_.captWEdit, kSettingsPageDefaults.captW);
    typed.captH = parse(ui_.captHEdit, kSettingsPageDefaults.captH);
    typed.captL = parse(ui_.captLEdit, kSettingsPageDefaults.captL);
    typed.pickXOff = parse(ui_.pickXEdit, kSettingsPageDefaults.pickXOff);
    typed.pickYOff = parse(ui_.pickYEdit, kSettingsPageDefaults.pickYOff);
    // Refused as a whole: the fields show the values in force again, which the next tick uses.
    if (std::optional<std::wstring> problem = CaptureGeometryProblem(typed, separator)) {
        ui::ShowError(*problem + L"\nThe capture settings in force are kept.");
    } else {
        bridge_.SetSettings(typed);
    }
    ShowCaptureSettings(bridge_.Settings(), separator);
}

// The page's defaults are shown with a full stop whatever the locale; their scale is "auto".
void MainWindow::RestoreDefaultSettings() { ShowCaptureSettings(kSettingsPageDefaults, L'.'); }

void MainWindow::ShowFxCaptions() {
    ui_.firstUpButton.SetCaption(FxMode() ? L"+40" : L"+80");
    ui_.firstDownButton.SetCaption(FxMode() ? L"-40" : L"-80");
}

ui::Edit& MainWindow::FieldEdit(Field field) {
    switch (field) {
        case Field::FirstDevice:
            return ui_.firstDeviceEdit;
        case Field::ChangedDevice:
            return ui_.changedDeviceEdit;
        case Field::ChangedState:
            return ui_.changedStateEdit;
        case Field::ToggleTarget:
            return ui_.toggleTargetEdit;
        case Field::RequestedFirst:
            break;
    }
    return ui_.requestedFirstEdit;
}

void MainWindow::SetFieldText(Field field, const std::wstring& text) {
    if (FieldEdit(field).Text() != text) FieldEdit(field).SetText(text);
}

void MainWindow::SetFxMode(bool on) {
    ui_.fxModeBox.SetChecked(on);
    ShowFxCaptions();
}

void MainWindow::ShowNotice(const std::wstring& text) {
    // The notice takes the preview's foot while there is one; the preview is whole otherwise.
    const bool shown = !text.empty();
    ui_.noticeLabel.SetCaption(text);
    ui_.noticeLabel.SetVisible(shown);
    ui::Rect preview = ui_.gridPreview.Bounds();
    preview.height = shown ? ui_.noticeLabel.Top() - preview.top : kGridPreviewHeight;
    ui_.gridPreview.SetBounds(preview);
}

void MainWindow::ShowImage(const ui::Bitmap& image) {
    // An unchanged grid is not drawn again: four repaints a second of the same pixels.
    if (!(ui_.gridPreview.Picture() == image)) ui_.gridPreview.SetPicture(image);
}
