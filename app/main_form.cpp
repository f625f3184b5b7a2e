// TForm4: layout, start-up and shut-down with the settings file, "START"/"STOP", the settings
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

// The texts the settings page starts with and "規定値に戻す" puts back.
constexpr const wchar_t* kDefaultScaleText = L"1.0000";
constexpr const wchar_t* kDefaultCaptWText = L"504";
constexpr const wchar_t* kDefaultCaptHText = L"372";
constexpr const wchar_t* kDefaultCaptLText = L"243";
constexpr const wchar_t* kDefaultPickXText = L"10";
constexpr const wchar_t* kDefaultPickYText = L"8";

// Packet settings of the command line: any byte starts a line, CR LF ends it, 500 ticks (27.5 s)
// of silence disable it.
constexpr int32_t kPacketTimeOutTicks = 500;
constexpr int kDefaultPortNumber = 4;
}  // namespace

TForm4::TForm4(SerialServices& services, std::wstring settingsPath)
    : ui::Form({.name = L"Form4",
                .caption = L"Pelkan 1.02",
                .clientWidth = 248,
                .clientHeight = 424,
                .border = ui::BorderStyle::Single,
                .minimizeBox = true,
                .maximizeBox = false}),
      PageControl1(this, {.name = L"PageControl1", .bounds = {0, 0, 248, 424}}),
      // Main page: 240 × 396 inside the page control.
      TabSheet1(&PageControl1, {.name = L"TabSheet1", .text = L" メイン"}),
      Label4(&TabSheet1, {.name = L"Label4", .bounds = {8, 11, 30, 13}, .text = L"COM:"}),
      ComboBox1(&TabSheet1,
                {.name = L"ComboBox1", .bounds = {44, 7, 100, 21}, .text = L"ComboBox1"}),
      Button3(&TabSheet1, {.name = L"Button3", .bounds = {152, 5, 80, 25}, .text = L"START"}),
      Label3(&TabSheet1, {.name = L"Label3", .bounds = {8, 39, 40, 13}, .text = L"Device:"}),
      Edit1(&TabSheet1, {.name = L"Edit1", .bounds = {50, 35, 98, 21}}),
      CheckBox1(&TabSheet1, {.name = L"CheckBox1",
                             .bounds = {156, 37, 76, 17},
                             .text = L"FXCPU",
                             .enabled = false,
                             .tabStop = false}),
      Edit2(&TabSheet1, {.name = L"Edit2",
                         .bounds = {8, 61, 136, 44},
                         .font = kBigFont,
                         .alignment = ui::Alignment::Center}),
      Edit3(&TabSheet1, {.name = L"Edit3",
                         .bounds = {148, 61, 84, 44},
                         .font = kBigFont,
                         .alignment = ui::Alignment::Center}),
      Image1(&TabSheet1, {.name = L"Image1", .bounds = {8, 110, 225, 170}}),
      Edit4(&TabSheet1, {.name = L"Edit4", .bounds = {8, 287, 136, 21}}),
      Button4(&TabSheet1, {.name = L"Button4", .bounds = {152, 285, 80, 25}, .text = L"反転"}),
      SpeedButton3(&TabSheet1,
                   {.name = L"SpeedButton3", .bounds = {8, 313, 54, 22}, .text = L"+10"}),
      SpeedButton4(&TabSheet1,
                   {.name = L"SpeedButton4", .bounds = {66, 313, 54, 22}, .text = L"-10"}),
      SpeedButton1(&TabSheet1,
                   {.name = L"SpeedButton1", .bounds = {124, 313, 54, 22}, .text = L"+1"}),
      SpeedButton2(&TabSheet1,
                   {.name = L"SpeedButton2", .bounds = {182, 313, 50, 22}, .text = L"-1"}),
      Edit5(&TabSheet1, {.name = L"Edit5", .bounds = {8, 342, 136, 21}}),
      Button1(&TabSheet1, {.name = L"Button1", .bounds = {152, 340, 80, 25}, .text = L"先頭変更"}),
      SpeedButton6(&TabSheet1,
                   {.name = L"SpeedButton6", .bounds = {8, 368, 37, 22}, .text = L"+100"}),
      SpeedButton8(&TabSheet1,
                   {.name = L"SpeedButton8", .bounds = {47, 368, 37, 22}, .text = L"-100"}),
      SpeedButton5(&TabSheet1,
                   {.name = L"SpeedButton5", .bounds = {86, 368, 37, 22}, .text = L"+80"}),
      SpeedButton7(&TabSheet1,
                   {.name = L"SpeedButton7", .bounds = {125, 368, 37, 22}, .text = L"-80"}),
      SpeedButton9(&TabSheet1,
                   {.name = L"SpeedButton9", .bounds = {164, 368, 33, 22}, .text = L"X"}),
      SpeedButton10(&TabSheet1,
                    {.name = L"SpeedButton10", .bounds = {199, 368, 33, 22}, .text = L"Y"}),
      // Settings page.
      TabSheet2(&PageControl1, {.name = L"TabSheet2", .text = L" 設定"}),
      GroupBox1(&TabSheet2, {.name = L"GroupBox1", .bounds = {8, 6, 224, 134}}),
      Label1(&GroupBox1, {.name = L"Label1", .bounds = {10, 18, 80, 13}, .text = L"全体の尺度："}),
      Edit6(&GroupBox1, {.name = L"Edit6",
                         .bounds = {94, 14, 64, 21},
                         .text = kDefaultScaleText,
                         .alignment = ui::Alignment::Right}),
      Label5(&GroupBox1, {.name = L"Label5", .bounds = {10, 48, 40, 13}, .text = L"CaptW:"}),
      Edit8(&GroupBox1, {.name = L"Edit8",
                         .bounds = {52, 44, 50, 21},
                         .text = kDefaultCaptWText,
                         .alignment = ui::Alignment::Right}),
      Label6(&GroupBox1, {.name = L"Label6", .bounds = {114, 48, 40, 13}, .text = L"CaptH:"}),
      Edit9(&GroupBox1, {.name = L"Edit9",
                         .bounds = {156, 44, 50, 21},
                         .text = kDefaultCaptHText,
                         .alignment = ui::Alignment::Right}),
      Label7(&GroupBox1, {.name = L"Label7", .bounds = {10, 78, 40, 13}, .text = L"CaptL:"}),
      Edit10(&GroupBox1, {.name = L"Edit10",
                          .bounds = {52, 74, 50, 21},
                          .text = kDefaultCaptLText,
                          .alignment = ui::Alignment::Right}),
      Label8(&GroupBox1, {.name = L"Label8", .bounds = {10, 108, 40, 13}, .text = L"PickX:"}),
      Edit11(&GroupBox1, {.name = L"Edit11",
                          .bounds = {52, 104, 50, 21},
                          .text = kDefaultPickXText,
                          .alignment = ui::Alignment::Right}),
      Label9(&GroupBox1, {.name = L"Label9", .bounds = {114, 108, 40, 13}, .text = L"PickY:"}),
      Edit12(&GroupBox1, {.name = L"Edit12",
                          .bounds = {156, 104, 50, 21},
                          .text = kDefaultPickYText,
                          .alignment = ui::Alignment::Right}),
      Button2(&TabSheet2, {.name = L"Button2", .bounds = {8, 150, 96, 25}, .text = L"更新"}),
      Button5(&TabSheet2,
              {.name = L"Button5", .bounds = {112, 150, 120, 25}, .text = L"規定値に戻す"}),
      Timer1(this, L"Timer1", 250, false),
      SioComPort1(*services.port),
      SioDataPacket1(*services.packet),
      PortEnumeration(*services.ports),
      settingsPath_(std::move(settingsPath)) {
    SioDataPacket1.SetEnabled(false);
    SioDataPacket1.SetPacketSize(0);
    ConnectHandlers();
}

TForm4::~TForm4() { Destroy(); }

void TForm4::ConnectHandlers() {
    SetOnCreate([this](ui::Object* s) { FormCreate(s); });
    SetOnDestroy([this](ui::Object* s) { FormDestroy(s); });
    Button3.SetOnClick([this](ui::Object* s) { Button3Click(s); });
    Button2.SetOnClick([this](ui::Object* s) { Button2Click(s); });
    Button5.SetOnClick([this](ui::Object* s) { Button5Click(s); });
    CheckBox1.SetOnClick([this](ui::Object* s) { CheckBox1Click(s); });
    SpeedButton1.SetOnClick([this](ui::Object* s) { SpeedButton1Click(s); });
    SpeedButton3.SetOnClick([this](ui::Object* s) { SpeedButton1Click(s); });
    SpeedButton2.SetOnClick([this](ui::Object* s) { SpeedButton2Click(s); });
    SpeedButton4.SetOnClick([this](ui::Object* s) { SpeedButton2Click(s); });
    SpeedButton5.SetOnClick([this](ui::Object* s) { SpeedButton5Click(s); });
    SpeedButton6.SetOnClick([this](ui::Object* s) { SpeedButton5Click(s); });
    SpeedButton7.SetOnClick([this](ui::Object* s) { SpeedButton7Click(s); });
    SpeedButton8.SetOnClick([this](ui::Object* s) { SpeedButton7Click(s); });
    SpeedButton9.SetOnClick([this](ui::Object* s) { SpeedButton9Click(s); });
    SpeedButton10.SetOnClick([this](ui::Object* s) { SpeedButton10Click(s); });
    Button1.SetOnClick([this](ui::Object* s) { Button1Click(s); });
    Button4.SetOnClick([this](ui::Object* s) { Button4Click(s); });
    Timer1.SetOnTimer([this](ui::Object* s) { Timer1Timer(s); });
    SioDataPacket1.SetOnStringPacket([this](DataPacketService* s, const std::string& data) {
        SioDataPacket1StringPacket(s, data);
    });
    SioDataPacket1.SetOnTimeout([this](DataPacketService* s) { SioDataPacket1Timeout(s); });
}

void TForm4::FormCreate(ui::Object*) {
    Capture = CaptureSettings{};

    // Only ports that can be opened now are worth offering.
    PortEnumeration.SetCountPortsInUse(false);
    for (int32_t n = 0; n <= 32; ++n) {
        if (PortEnumeration.ProbePort(n)) {
            ComboBox1.AddItem(PortEnumeration.MakeComName(static_cast<uint16_t>(n)) + L".");
        }
    }

    IniFile ini(settingsPath_);
    SetScreenLeft(ini.ReadInteger(L"Form", L"Left", (ui::ScreenWidth() - OuterWidth()) / 2));
    SetScreenTop(ini.ReadInteger(L"Form", L"Top", (ui::ScreenHeight() - OuterHeight()) / 2));

    int32_t portIndex = ini.ReadInteger(L"COM", L"PortIndex", 0);
    if (portIndex < static_cast<int32_t>(ComboBox1.Items().size())) {
        ComboBox1.SetItemIndex(portIndex < 0 ? -1 : portIndex);
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
        Capture = read;
    }
    ShowCaptureSettings();

    SioDataPacket1.SetEnabled(false);
}

void TForm4::FormDestroy(ui::Object*) {
    // A port that refuses to close must not cost the user the settings.
    try {
        if (SioComPort1.Open()) SioComPort1.SetOpen(false);
    } catch (const std::exception& e) {
        platform::ShowException(e);
    }

    try {
        IniFile ini(settingsPath_);
        ini.WriteInteger(L"Form", L"Left", ScreenLeft());
        ini.WriteInteger(L"Form", L"Top", ScreenTop());
        ini.WriteInteger(L"COM", L"PortIndex", ComboBox1.ItemIndex());
        ini.WriteFloat(L"Capt", L"Scale", Capture.Scale, LocaleDecimalSeparator());
        ini.WriteInteger(L"Capt", L"captW", Capture.captW);
        ini.WriteInteger(L"Capt", L"captH", Capture.captH);
        ini.WriteInteger(L"Capt", L"captL", Capture.captL);
        ini.WriteInteger(L"Capt", L"pickXOff", Capture.pickXOff);
        ini.WriteInteger(L"Capt", L"pickYOff", Capture.pickYOff);
    } catch (const SettingsWriteError& e) {
        ui::ShowError(e.Message());
    }
}

std::optional<uint16_t> TForm4::PortNumberFromBox() const {
    std::wstring rest = ComboBox1.Text().size() > 3 ? ComboBox1.Text().substr(3) : std::wstring();
    if (!rest.empty()) rest.pop_back();
    std::optional<int32_t> number = ParseDecimalInteger(rest);
    if (!number) return kDefaultPortNumber;
    // A number no port has must not open another, possibly real, port in its place.
    if (*number < 0 || *number > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(*number);
}

void TForm4::Button3Click(ui::Object*) {
    if (Button3.Caption() == L"START") {
        Button3.SetCaption(L"STOP");
        const std::optional<uint16_t> number = PortNumberFromBox();
        if (number) SioComPort1.SetComNumber(*number);
        SioComPort1.SetBaud(9600);
        SioComPort1.SetStopBits(1);
        SioComPort1.SetDataBits(8);
        SioComPort1.SetParity(TParity::pNone);
        SioComPort1.SetSWFlowOptions(TSWFlowOptions::swfNone);

        SioDataPacket1.SetEnabled(false);
        SioDataPacket1.SetEndCond({TPacketEndCond::ecString});
        SioDataPacket1.SetEndString("\r\n");
        SioDataPacket1.SetStartCond(TPacketStartCond::scAnyData);
        SioDataPacket1.SetTimeOut(kPacketTimeOutTicks);

        // The box keeps its first line as it always was; the second tells the user what to fix.
        try {
            if (!number) {
                const std::wstring& text = ComboBox1.Text();
                throw PortOpenError(text.substr(0, text.size() - 1) + L" names no port.");
            }
            SioComPort1.SetOpen(true);
            if (SioComPort1.Open()) {
                SioDataPacket1.SetEnabled(true);
                ComboBox1.SetEnabled(false);
            }
        } catch (const PortOpenError& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + e.Reason());
        } catch (const std::exception& e) {
            ui::ShowMessage(L"ComPort Open Error\n" + platform::AnsiToWide(e.what()));
        } catch (...) {
            ui::ShowMessage(L"ComPort Open Error");
        }
        // The monitor is sampled whether or not the line is there.
        Timer1.SetEnabled(true);
    } else {
        Timer1.SetEnabled(false);
        Button3.SetCaption(L"START");
        if (SioComPort1.Open()) {
            SioComPort1.SetOpen(false);
            ComboBox1.SetEnabled(true);
        }
    }
}

// The packet gives up after a silence of its time-out, discards the partial line and disables
// itself. A remote party that pauses for half a minute must still be answered afterwards, so while
// the port is open the packet is armed again at once.
void TForm4::SioDataPacket1Timeout(DataPacketService*) {
    if (SioComPort1.Open()) SioDataPacket1.SetEnabled(true);
}

void TForm4::ShowCaptureSettings() {
    const wchar_t separator = LocaleDecimalSeparator();
    Edit6.SetText(FormatFixed4(Capture.Scale, separator));
    Edit8.SetText(std::to_wstring(Capture.captW));
    Edit9.SetText(std::to_wstring(Capture.captH));
    Edit10.SetText(std::to_wstring(Capture.captL));
    Edit11.SetText(std::to_wstring(Capture.pickXOff));
    Edit12.SetText(std::to_wstring(Capture.pickYOff));
}

void TForm4::Button2Click(ui::Object*) {
    const wchar_t separator = LocaleDecimalSeparator();
    CaptureSettings typed;
    typed.Scale = ParseDecimal(Edit6.Text(), separator).value_or(1.0);
    auto parse = [](const ui::Edit& field, int32_t fallBack) {
        return ParseDecimalInteger(field.Text()).value_or(fallBack);
    };
    typed.captW = parse(Edit8, 504);
    typed.captH = parse(Edit9, 372);
    typed.captL = parse(Edit10, 243);
    typed.pickXOff = parse(Edit11, 10);
    typed.pickYOff = parse(Edit12, 8);
    // Refused as a whole: the fields show the values in force again, which the next tick uses.
    if (std::optional<std::wstring> problem = CaptureGeometryProblem(typed, separator)) {
        ui::ShowError(*problem + L"\nThe capture settings in force are kept.");
    } else {
        Capture = typed;
    }
    ShowCaptureSettings();
}

void TForm4::Button5Click(ui::Object*) {
    Edit6.SetText(kDefaultScaleText);
    Edit8.SetText(kDefaultCaptWText);
    Edit9.SetText(kDefaultCaptHText);
    Edit10.SetText(kDefaultCaptLText);
    Edit11.SetText(kDefaultPickXText);
    Edit12.SetText(kDefaultPickYText);
}

void TForm4::CheckBox1Click(ui::Object*) {
    SpeedButton5.SetCaption(FxMode() ? L"+40" : L"+80");
    SpeedButton7.SetCaption(FxMode() ? L"-40" : L"-80");
}
