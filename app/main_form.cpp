// MainWindow: layout, start-up and shut-down with the settings file, "START"/"STOP", the settings
// page and the FX mode captions.
#include "app/main_form.h"

#include <exception>
#include <optional>

#include "app/device_address.h"
#include "platform/exception_display.h"
#include "platform/text.h"
#include "ui/message_box.h"

namespace {
const ui::Font kBigFont{L"Tahoma", 35, true};

// Packet settings of the command line: any byte starts a line, CR LF ends it, 500 ticks (27.5 s)
// of silence disable it.
constexpr int32_t kPacketTimeOutTicks = 500;
constexpr int kDefaultPortNumber = 4;
}  // namespace

MainWindow::MainWindow(SerialServices& services, std::wstring settingsPath)
    : ui::Form({.name = L"MainWindow",
                .caption = L"Pelkan 1.02",
                .clientWidth = 248,
                .clientHeight = 424,
                .border = ui::BorderStyle::Single,
                .minimizeBox = true,
                .maximizeBox = false}),
      pages(this, {.name = L"pages", .bounds = {0, 0, 248, 424}}),
      // Main page: 240 × 396 inside the page control.
      mainPage(&pages, {.name = L"mainPage", .text = L" メイン"}),
      portLabel(&mainPage, {.name = L"portLabel", .bounds = {8, 11, 30, 13}, .text = L"COM:"}),
      portBox(&mainPage, {.name = L"portBox", .bounds = {44, 7, 100, 21}, .text = L"ComboBox1"}),
      startStopButton(&mainPage,
                      {.name = L"startStopButton", .bounds = {152, 5, 80, 25}, .text = L"START"}),
      firstDeviceLabel(
          &mainPage, {.name = L"firstDeviceLabel", .bounds = {8, 39, 40, 13}, .text = L"Device:"}),
      firstDeviceEdit(&mainPage, {.name = L"firstDeviceEdit", .bounds = {50, 35, 98, 21}}),
      fxModeBox(&mainPage, {.name = L"fxModeBox",
                            .bounds = {156, 37, 76, 17},
                            .text = L"FXCPU",
                            .enabled = false,
                            .tabStop = false}),
      changedDeviceEdit(&mainPage, {.name = L"changedDeviceEdit",
                                    .bounds = {8, 61, 136, 44},
                                    .font = kBigFont,
                                    .alignment = ui::Alignment::Center}),
      changedStateEdit(&mainPage, {.name = L"changedStateEdit",
                                   .bounds = {148, 61, 84, 44},
                                   .font = kBigFont,
                                   .alignment = ui::Alignment::Center}),
      gridPreview(&mainPage, {.name = L"gridPreview", .bounds = {8, 110, 225, 170}}),
      toggleTargetEdit(&mainPage, {.name = L"toggleTargetEdit", .bounds = {8, 287, 136, 21}}),
      toggleButton(&mainPage,
                   {.name = L"toggleButton", .bounds = {152, 285, 80, 25}, .text = L"反転"}),
      targetRowUpButton(&mainPage,
                        {.name = L"targetRowUpButton", .bounds = {8, 313, 54, 22}, .text = L"+10"}),
      targetRowDownButton(
          &mainPage, {.name = L"targetRowDownButton", .bounds = {66, 313, 54, 22}, .text = L"-10"}),
      targetUpButton(&mainPage,
                     {.name = L"targetUpButton", .bounds = {124, 313, 54, 22}, .text = L"+1"}),
      targetDownButton(&mainPage,
                       {.name = L"targetDownButton", .bounds = {182, 313, 50, 22}, .text = L"-1"}),
      requestedFirstEdit(&mainPage, {.name = L"requestedFirstEdit", .bounds = {8, 342, 136, 21}}),
      changeFirstButton(
          &mainPage,
          {.name = L"changeFirstButton", .bounds = {152, 340, 80, 25}, .text = L"先頭変更"}),
      firstBlockUpButton(
          &mainPage, {.name = L"firstBlockUpButton", .bounds = {8, 368, 37, 22}, .text = L"+100"}),
      firstBlockDownButton(
          &mainPage,
          {.name = L"firstBlockDownButton", .bounds = {47, 368, 37, 22}, .text = L"-100"}),
      firstUpButton(&mainPage,
                    {.name = L"firstUpButton", .bounds = {86, 368, 37, 22}, .text = L"+80"}),
      firstDownButton(&mainPage,
                      {.name = L"firstDownButton", .bounds = {125, 368, 37, 22}, .text = L"-80"}),
      letterXButton(&mainPage,
                    {.name = L"letterXButton", .bounds = {164, 368, 33, 22}, .text = L"X"}),
      letterYButton(&mainPage,
                    {.name = L"letterYButton", .bounds = {199, 368, 33, 22}, .text = L"Y"}),
      // Settings page.
      settingsPage(&pages, {.name = L"settingsPage", .text = L" 設定"}),
      captureGroup(&settingsPage, {.name = L"captureGroup", .bounds = {8, 6, 224, 134}}),
      scaleLabel(&captureGroup,
                 {.name = L"scaleLabel", .bounds = {10, 18, 80, 13}, .text = L"全体の尺度："}),
      scaleEdit(
          &captureGroup,
          {.name = L"scaleEdit", .bounds = {94, 14, 64, 21}, .alignment = ui::Alignment::Right}),
      captWLabel(&captureGroup,
                 {.name = L"captWLabel", .bounds = {10, 48, 40, 13}, .text = L"CaptW:"}),
      captWEdit(
          &captureGroup,
          {.name = L"captWEdit", .bounds = {52, 44, 50, 21}, .alignment = ui::Alignment::Right}),
      captHLabel(&captureGroup,
                 {.name = L"captHLabel", .bounds = {114, 48, 40, 13}, .text = L"CaptH:"}),
      captHEdit(
          &captureGroup,
          {.name = L"captHEdit", .bounds = {156, 44, 50, 21}, .alignment = ui::Alignment::Right}),
      captLLabel(&captureGroup,
                 {.name = L"captLLabel", .bounds = {10, 78, 40, 13}, .text = L"CaptL:"}),
      captLEdit(
          &captureGroup,
          {.name = L"captLEdit", .bounds = {52, 74, 50, 21}, .alignment = ui::Alignment::Right}),
      pickXLabel(&captureGroup,
                 {.name = L"pickXLabel", .bounds = {10, 108, 40, 13}, .text = L"PickX:"}),
      pickXEdit(
          &captureGroup,
          {.name = L"pickXEdit", .bounds = {52, 104, 50, 21}, .alignment = ui::Alignment::Right}),
      pickYLabel(&captureGroup,
                 {.name = L"pickYLabel", .bounds = {114, 108, 40, 13}, .text = L"PickY:"}),
      pickYEdit(
          &captureGroup,
          {.name = L"pickYEdit", .bounds = {156, 104, 50, 21}, .alignment = ui::Alignment::Right}),
      applySettingsButton(
          &settingsPage,
          {.name = L"applySettingsButton", .bounds = {8, 150, 96, 25}, .text = L"更新"}),
      defaultSettingsButton(&settingsPage, {.name = L"defaultSettingsButton",
                                            .bounds = {112, 150, 120, 25},
                                            .text = L"規定値に戻す"}),
      sampleTimer(this, L"Timer1", 250, false),
      port(*services.port),
      commandPacket(*services.packet),
      portList(*services.ports),
      settingsPath_(std::move(settingsPath)),
      bridge_(*this, port, settingsPath_) {
    RestoreDefaultSettings();
    commandPacket.SetEnabled(false);
    commandPacket.SetPacketSize(0);
    ConnectHandlers();
}

MainWindow::~MainWindow() { Destroy(); }

void MainWindow::ConnectHandlers() {
    SetOnCreate([this](ui::Object*) { StartUp(); });
    SetOnDestroy([this](ui::Object*) { ShutDown(); });
    startStopButton.SetOnClick([this](ui::Object*) { StartStop(); });
    applySettingsButton.SetOnClick([this](ui::Object*) { ApplySettings(); });
    defaultSettingsButton.SetOnClick([this](ui::Object*) { RestoreDefaultSettings(); });
    fxModeBox.SetOnClick([this](ui::Object*) { ShowFxCaptions(); });
    // A grid row holds 8 devices in FX mode, 16 otherwise; the first-device steps read in the
    // base of the mode ("+80" is octal 40 in FX mode).
    const auto row = [this] { return FxMode() ? 8 : 16; };
    const auto page = [this] { return FxMode() ? 040 : 0x80; };
    const auto block = [this] { return FxMode() ? 0100 : 0x100; };
    targetUpButton.SetOnClick([this](ui::Object*) { StepToggleTarget(1); });
    targetRowUpButton.SetOnClick([this, row](ui::Object*) { StepToggleTarget(row()); });
    targetDownButton.SetOnClick([this](ui::Object*) { StepToggleTarget(-1); });
    targetRowDownButton.SetOnClick([this, row](ui::Object*) { StepToggleTarget(-row()); });
    firstUpButton.SetOnClick([this, page](ui::Object*) { StepFirstDevice(page()); });
    firstBlockUpButton.SetOnClick([this, block](ui::Object*) { StepFirstDevice(block()); });
    firstDownButton.SetOnClick([this, page](ui::Object*) { StepFirstDevice(-page()); });
    firstBlockDownButton.SetOnClick([this, block](ui::Object*) { StepFirstDevice(-block()); });
    letterXButton.SetOnClick([this](ui::Object*) { SetFirstLetter(L'X'); });
    letterYButton.SetOnClick([this](ui::Object*) { SetFirstLetter(L'Y'); });
    changeFirstButton.SetOnClick([this](ui::Object*) { ChangeFirstDevice(); });
    toggleButton.SetOnClick([this](ui::Object*) { ToggleDevice(); });
    sampleTimer.SetOnTimer([this](ui::Object*) { SampleMonitor(); });
    commandPacket.SetOnStringPacket(
        [this](DataPacketService*, const std::string& data) { OnCommandLine(data); });
    commandPacket.SetOnTimeout([this](DataPacketService*) { OnCommandTimeout(); });
}

void MainWindow::StartUp() {
    bridge_.SetSettings(CaptureSettings{});

    // Only ports that can be opened now are worth offering.
    portList.SetCountPortsInUse(false);
    for (int32_t n = 0; n <= 32; ++n) {
        if (portList.ProbePort(n)) {
            portBox.AddItem(portList.MakeComName(static_cast<uint16_t>(n)) + L".");
        }
    }

    IniFile ini(settingsPath_);
    SetScreenLeft(ini.ReadInteger(L"Form", L"Left", (ui::ScreenWidth() - OuterWidth()) / 2));
    SetScreenTop(ini.ReadInteger(L"Form", L"Top", (ui::ScreenHeight() - OuterHeight()) / 2));

    int32_t portIndex = ini.ReadInteger(L"COM", L"PortIndex", 0);
    if (portIndex < static_cast<int32_t>(portBox.Items().size())) {
        portBox.SetItemIndex(portIndex < 0 ? -1 : portIndex);
    }

    const wchar_t separator = LocaleDecimalSeparator();
    CaptureSettings read;
    read.Scale = ini.ReadFloat(L"Capt", L"Scale", 1.0, separator);
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

    commandPacket.SetEnabled(false);
}

void MainWindow::ShutDown() {
    // A port that refuses to close must not cost the user the settings.
    try {
        if (port.Open()) port.SetOpen(false);
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }

    try {
        IniFile ini(settingsPath_);
        ini.WriteInteger(L"Form", L"Left", ScreenLeft());
        ini.WriteInteger(L"Form", L"Top", ScreenTop());
        ini.WriteInteger(L"COM", L"PortIndex", portBox.ItemIndex());
        const CaptureSettings& capture = bridge_.Settings();
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
    std::wstring rest = portBox.Text().size() > 3 ? portBox.Text().substr(3) : std::wstring();
    if (!rest.empty()) rest.pop_back();
    std::optional<int32_t> number = ParseDecimalInteger(rest);
    if (!number) return kDefaultPortNumber;
    // A number no port has must not open another, possibly real, port in its place.
    if (*number < 0 || *number > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(*number);
}

void MainWindow::StartStop() {
    if (!running_) {
        running_ = true;
        startStopButton.SetCaption(L"STOP");
        const std::optional<uint16_t> number = PortNumberFromBox();
        if (number) port.SetComNumber(*number);
        port.SetBaud(9600);
        port.SetStopBits(1);
        port.SetDataBits(8);
        port.SetParity(TParity::pNone);
        port.SetSWFlowOptions(TSWFlowOptions::swfNone);

        commandPacket.SetEnabled(false);
        commandPacket.SetEndCond({TPacketEndCond::ecString});
        commandPacket.SetEndString("\r\n");
        commandPacket.SetStartCond(TPacketStartCond::scAnyData);
        commandPacket.SetTimeOut(kPacketTimeOutTicks);

        // The box keeps its first line as it always was; the second tells the user what to fix.
        try {
            if (!number) {
                const std::wstring& text = portBox.Text();
                throw PortOpenError(text.substr(0, text.size() - 1) + L" names no port.");
            }
            port.SetOpen(true);
            if (port.Open()) {
                commandPacket.SetEnabled(true);
                portBox.SetEnabled(false);
            }
        } catch (const PortOpenError& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + e.Reason());
        } catch (const std::exception& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + platform::AnsiToWide(e.what()));
        } catch (...) {
            ui::ShowMessage(L"ComPort Open Error");
        }
        // The monitor is sampled whether or not the line is there.
        sampleTimer.SetEnabled(true);
    } else {
        sampleTimer.SetEnabled(false);
        running_ = false;
        startStopButton.SetCaption(L"START");
        if (port.Open()) {
            port.SetOpen(false);
            portBox.SetEnabled(true);
        }
    }
}

// The packet gives up after a silence of its time-out, discards the partial line and disables
// itself. A remote party that pauses for half a minute must still be answered afterwards, so while
// the port is open the packet is armed again at once.
void MainWindow::OnCommandTimeout() {
    if (port.Open()) commandPacket.SetEnabled(true);
}

void MainWindow::ShowCaptureSettings(const CaptureSettings& settings, wchar_t separator) {
    scaleEdit.SetText(FormatFixed4(settings.Scale, separator));
    captWEdit.SetText(std::to_wstring(settings.captW));
    captHEdit.SetText(std::to_wstring(settings.captH));
    captLEdit.SetText(std::to_wstring(settings.captL));
    pickXEdit.SetText(std::to_wstring(settings.pickXOff));
    pickYEdit.SetText(std::to_wstring(settings.pickYOff));
}

void MainWindow::ApplySettings() {
    const wchar_t separator = LocaleDecimalSeparator();
    CaptureSettings typed;
    typed.Scale = ParseDecimal(scaleEdit.Text(), separator).value_or(kSettingsPageDefaults.Scale);
    auto parse = [](const ui::Edit& field, int32_t fallBack) {
        return ParseDecimalInteger(field.Text()).value_or(fallBack);
    };
    typed.captW = parse(captWEdit, kSettingsPageDefaults.captW);
    typed.captH = parse(captHEdit, kSettingsPageDefaults.captH);
    typed.captL = parse(captLEdit, kSettingsPageDefaults.captL);
    typed.pickXOff = parse(pickXEdit, kSettingsPageDefaults.pickXOff);
    typed.pickYOff = parse(pickYEdit, kSettingsPageDefaults.pickYOff);
    // Refused as a whole: the fields show the values in force again, which the next tick uses.
    if (std::optional<std::wstring> problem = CaptureGeometryProblem(typed, separator)) {
        ui::ShowError(*problem + L"\nThe capture settings in force are kept.");
    } else {
        bridge_.SetSettings(typed);
    }
    ShowCaptureSettings(bridge_.Settings(), separator);
}

// The page's defaults are shown with a full stop whatever the locale: "1.0000" is the text the
// page has always put back.
void MainWindow::RestoreDefaultSettings() { ShowCaptureSettings(kSettingsPageDefaults, L'.'); }

void MainWindow::ShowFxCaptions() {
    firstUpButton.SetCaption(FxMode() ? L"+40" : L"+80");
    firstDownButton.SetCaption(FxMode() ? L"-40" : L"-80");
}

ui::Edit& MainWindow::FieldEdit(Field field) {
    switch (field) {
        case Field::FirstDevice:
            return firstDeviceEdit;
        case Field::ChangedDevice:
            return changedDeviceEdit;
        case Field::ChangedState:
            return changedStateEdit;
        case Field::ToggleTarget:
            return toggleTargetEdit;
        case Field::RequestedFirst:
            break;
    }
    return requestedFirstEdit;
}

void MainWindow::SetFieldText(Field field, const std::wstring& text) {
    if (FieldEdit(field).Text() != text) FieldEdit(field).SetText(text);
}

void MainWindow::SetFxMode(bool on) {
    fxModeBox.SetChecked(on);
    ShowFxCaptions();
}

void MainWindow::ShowImage(const ui::Bitmap& image) {
    // An unchanged grid is not drawn again: four repaints a second of the same pixels.
    if (!(gridPreview.Picture() == image)) gridPreview.SetPicture(image);
}
