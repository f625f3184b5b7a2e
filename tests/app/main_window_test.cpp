// The main window's start-up and shut-down with the settings file, "START"/"STOP", the settings
// page and the FX mode captions, over the in-memory serial services.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/fake_desktop.h"
#include "app/bridge.h"
#include "app/serial_services_double.h"
#include "platform/exception_display.h"
#include "tests/app/test_files.h"
#include "ui/message_box.h"

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        ui::SetScreenSizeForTest(1920, 1080);
        ui::SetMessageDisplay([this](const std::wstring& text) { messages.push_back(text); });
    }
    ~MainWindowTest() override { ui::SetMessageDisplay(nullptr); }

    // A form over the doubles, created (StartUp has run).
    MainWindow& Start() {
        form = std::make_unique<MainWindow>(serial.services, IniPath());
        form->Create();
        return *form;
    }
    // ShutDown runs; the object stays for inspection.
    void Close() { form->Destroy(); }
    std::wstring IniPath() const { return folder.File("pelkan.ini").wstring(); }

    TestFolder folder;
    SerialServicesDouble serial;
    std::unique_ptr<MainWindow> form;
    std::vector<std::wstring> messages;
};

TEST_F(MainWindowTest, ControlsStartWithTheirCaptionsAndTexts) {
    MainWindow f(serial.services, IniPath());
    EXPECT_EQ(f.Caption(), L"Pelkan 1.02");
    EXPECT_EQ(f.ClientWidth(), 248);
    EXPECT_EQ(f.ClientHeight(), 424);
    EXPECT_EQ(f.ControlsForTest().mainPage.Caption(), L" メイン");
    EXPECT_EQ(f.ControlsForTest().settingsPage.Caption(), L" 設定");
    EXPECT_EQ(f.ControlsForTest().pages.ActivePage(), &f.ControlsForTest().mainPage);
    EXPECT_EQ(f.ControlsForTest().portBox.Text(), L"ComboBox1");
    EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"START");
    EXPECT_EQ(f.ControlsForTest().toggleButton.Caption(), L"反転");
    EXPECT_EQ(f.ControlsForTest().changeFirstButton.Caption(), L"先頭変更");
    EXPECT_EQ(f.ControlsForTest().applySettingsButton.Caption(), L"更新");
    EXPECT_EQ(f.ControlsForTest().defaultSettingsButton.Caption(), L"規定値に戻す");
    EXPECT_EQ(f.ControlsForTest().scaleLabel.Caption(), L"全体の尺度：");
    EXPECT_FALSE(f.ControlsForTest().fxModeBox.Enabled());
    EXPECT_FALSE(f.ControlsForTest().fxModeBox.TabStop());
    EXPECT_EQ(f.ControlsForTest().changedDeviceEdit.EffectiveFont(),
              (ui::Font{L"Tahoma", 35, true}));
    EXPECT_EQ(f.ControlsForTest().changedStateEdit.EffectiveFont(),
              (ui::Font{L"Tahoma", 35, true}));
    EXPECT_EQ(f.ControlsForTest().changedDeviceEdit.TextAlignment(), ui::Alignment::Center);
    EXPECT_EQ(f.ControlsForTest().firstDeviceEdit.EffectiveFont(), ui::Font::Points(L"Tahoma", 8));
    for (ui::Edit* e : {&f.ControlsForTest().scaleEdit, &f.ControlsForTest().captWEdit,
                        &f.ControlsForTest().captHEdit, &f.ControlsForTest().captLEdit,
                        &f.ControlsForTest().pickXEdit, &f.ControlsForTest().pickYEdit}) {
        EXPECT_EQ(e->TextAlignment(), ui::Alignment::Right);
        EXPECT_EQ(e->Parent(), &f.ControlsForTest().captureGroup);
    }
    EXPECT_EQ(f.ControlsForTest().gridPreview.Width(), 225);
    EXPECT_EQ(f.ControlsForTest().gridPreview.Height(), 170);
    EXPECT_EQ(f.ControlsForTest().sampleTimer.Interval(), 250u);
    EXPECT_FALSE(f.ControlsForTest().sampleTimer.Enabled());
    EXPECT_FALSE(serial.packet->Enabled());
    EXPECT_EQ(serial.packet->PacketSize(), 0);
}

// Every control of a page lies inside that page, and a hit test at a control's centre finds it.
TEST_F(MainWindowTest, ControlsLieInsideTheirPageAndAreFoundThere) {
    MainWindow& f = Start();
    for (ui::TabSheet* page : {&f.ControlsForTest().mainPage, &f.ControlsForTest().settingsPage}) {
        f.ControlsForTest().pages.SetActivePageIndex(page->PageIndex());
        std::vector<ui::Control*> pending(page->Children().begin(), page->Children().end());
        while (!pending.empty()) {
            ui::Control* c = pending.back();
            pending.pop_back();
            for (ui::Control* child : c->Children()) pending.push_back(child);
            ui::Rect inPage = c->BoundsInForm();
            ui::Rect pageRect = page->BoundsInForm();
            EXPECT_GE(inPage.left, pageRect.left);
            EXPECT_GE(inPage.top, pageRect.top);
            EXPECT_LE(inPage.Right(), pageRect.Right());
            EXPECT_LE(inPage.Bottom(), pageRect.Bottom());
            if (c->Kind() == ui::ControlKind::GroupBox || !c->Visible()) continue;
            EXPECT_EQ(f.ControlAt(inPage.left + inPage.width / 2, inPage.top + inPage.height / 2),
                      c)
                << std::string(c->Name().begin(), c->Name().end());
        }
    }
}

// The notice, hidden while there is nothing to say, takes the grid preview's foot while it shows
// and gives it back afterwards.
TEST_F(MainWindowTest, TheNoticeTakesThePreviewsFootOnlyWhileItShows) {
    MainWindow& f = Start();
    MainWindowControls& ui = f.ControlsForTest();
    EXPECT_FALSE(ui.noticeLabel.Visible());
    f.ShowNotice(L"A dialog of the application waits: 保存?");
    ASSERT_TRUE(ui.noticeLabel.Visible());
    EXPECT_EQ(ui.gridPreview.Bounds().Bottom(), ui.noticeLabel.Top());
    for (ui::Control* c : {static_cast<ui::Control*>(&ui.noticeLabel),
                           static_cast<ui::Control*>(&ui.gridPreview)}) {
        const ui::Rect r = c->BoundsInForm();
        EXPECT_EQ(f.ControlAt(r.left + r.width / 2, r.top + r.height / 2), c);
    }
    f.ShowNotice(L"");
    EXPECT_FALSE(ui.noticeLabel.Visible());
    EXPECT_EQ(ui.gridPreview.Height(), 170);
}

TEST_F(MainWindowTest, StartWithoutSettingsFileUsesTheDefaults) {
    serial.ports->AddPort(1);
    serial.ports->AddPort(3);
    serial.ports->AddPort(12);
    serial.ports->AddPort(33);  // beyond the probed range
    serial.ports->SetPortInUse(3, true);
    MainWindow& f = Start();

    EXPECT_FALSE(serial.ports->CountPortsInUse());
    std::vector<int32_t> probed;
    for (int32_t n = 0; n <= 32; ++n) probed.push_back(n);
    EXPECT_EQ(serial.ports->Probed(), probed);
    EXPECT_EQ(f.ControlsForTest().portBox.Items(),
              (std::vector<std::wstring>{L"COM1.", L"COM12."}));
    EXPECT_EQ(f.ControlsForTest().portBox.ItemIndex(), 0);
    EXPECT_EQ(f.ControlsForTest().portBox.Text(), L"COM1.");

    EXPECT_EQ(f.ScreenLeft(), (1920 - f.OuterWidth()) / 2);
    EXPECT_EQ(f.ScreenTop(), (1080 - f.OuterHeight()) / 2);
    EXPECT_EQ(f.OwnBridge().Settings(), CaptureSettings{});  // auto, 504, 372, 243, 8, 6
    EXPECT_EQ(f.ControlsForTest().scaleEdit.Text(), L"auto");
    EXPECT_EQ(f.ControlsForTest().captWEdit.Text(), L"504");
    EXPECT_EQ(f.ControlsForTest().captHEdit.Text(), L"372");
    EXPECT_EQ(f.ControlsForTest().captLEdit.Text(), L"243");
    EXPECT_EQ(f.ControlsForTest().pickXEdit.Text(), L"8");
    EXPECT_EQ(f.ControlsForTest().pickYEdit.Text(), L"6");
    EXPECT_FALSE(serial.packet->Enabled());
    EXPECT_TRUE(messages.empty());
}

// The commented sample beside the Windows build says what the defaults are: read as the program
// reads it, it changes nothing and names the default rejection titles.
TEST_F(MainWindowTest, TheSampleSettingsFileHoldsTheDefaults) {
    serial.ports->AddPort(1);
    std::filesystem::copy_file(PELKAN_SOURCE_DIR "/docs/pelkan.ini", folder.File("pelkan.ini"));
    MainWindow& f = Start();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(f.OwnBridge().Settings(), CaptureSettings{});
    EXPECT_EQ(f.ControlsForTest().portBox.ItemIndex(), 0);
    EXPECT_EQ(f.ScreenLeft(), (1920 - f.OuterWidth()) / 2);
    const RejectionTitles titles = ReadRejectionTitles(IniPath());
    EXPECT_EQ(titles.first, kDefaultRejectionTitles.first);
    EXPECT_EQ(titles.second, kDefaultRejectionTitles.second);
    IniFile ini(IniPath());
    for (const wchar_t* key : {L"Scale", L"captW", L"captH", L"captL", L"pickXOff", L"pickYOff"})
        EXPECT_TRUE(ini.ReadString(L"Capt", key)) << Narrow(key);
    EXPECT_EQ(ini.ReadString(L"Capt", L"Scale"), L"auto");
    EXPECT_EQ(ini.ReadString(L"Monitor", L"RejectTitle1"), kDefaultRejectionTitles.first);
    EXPECT_EQ(ini.ReadString(L"Monitor", L"RejectTitle2"), kDefaultRejectionTitles.second);
    f.SetOnDestroy(nullptr);
}

TEST_F(MainWindowTest, CentringTruncatesTowardZero) {
    ui::SetScreenSizeForTest(200, 300);  // smaller than the window: negative halves
    MainWindow& f = Start();
    EXPECT_EQ(f.ScreenLeft(), (200 - f.OuterWidth()) / 2);
    EXPECT_LT(f.ScreenLeft(), 0);
    EXPECT_EQ(f.ScreenTop(), (300 - f.OuterHeight()) / 2);
}

struct SettingsCase {
    const char* name;
    std::string file;
    int left, top;  // -9999: the centring default
    int itemIndex;
    std::wstring boxText;
    CaptureSettings capture;
    std::wstring scaleText;
};

TEST_F(MainWindowTest, SettingsAreReadWithTheirDefaults) {
    const SettingsCase cases[] = {
        {"missing keys", "[Form]\r\n[Capt]\r\n", -9999, -9999, 0, L"COM1.", {}, L"auto"},
        {"auto", "[Capt]\r\nScale=auto\r\n", -9999, -9999, 0, L"COM1.", {}, L"auto"},
        {"auto in another case", "[Capt]\r\nScale= AUTO \r\n", -9999, -9999, 0, L"COM1.", {}, L"auto"},
        {"all given",
         "[Form]\r\nLeft=10\r\nTop=-20\r\n[COM]\r\nPortIndex=1\r\n[Capt]\r\nScale=1.5\r\n"
         "captW=600\r\ncaptH=400\r\ncaptL=250\r\npickXOff=12\r\npickYOff=9\r\n",
         10,
         -20,
         1,
         L"COM12.",
         {1.5, 600, 400, 250, 12, 9, false},
         L"1.5000"},
        {"hexadecimal",
         "[Capt]\r\ncaptW=0x1F8\r\ncaptH=0X10\r\n",
         -9999,
         -9999,
         0,
         L"COM1.",
         {1.0, 504, 16, 243, 8, 6},
         L"auto"},
        {"unparsable",
         "[Form]\r\nLeft=abc\r\n[Capt]\r\nScale=abc\r\ncaptW=x1\r\npickYOff=\r\n",
         -9999,
         -9999,
         0,
         L"COM1.",
         {1.0, 504, 372, 243, 8, 6, false},
         L"1.0000"},
        {"no selection", "[COM]\r\nPortIndex=-1\r\n", -9999, -9999, -1, L"", {}, L"auto"},
        {"index at the end",
         "[COM]\r\nPortIndex=2\r\n",
         -9999,
         -9999,
         -1,
         L"ComboBox1",
         {},
         L"auto"},
        {"index beyond",
         "[COM]\r\nPortIndex=40\r\n",
         -9999,
         -9999,
         -1,
         L"ComboBox1",
         {},
         L"auto"},
        {"names in another case",
         "[form]\r\nleft=5\r\nTOP=6\r\n[capt]\r\nCAPTW=700\r\n",
         5,
         6,
         0,
         L"COM1.",
         {1.0, 700, 372, 243, 8, 6},
         L"auto"},
        {"scale with a comma",
         "[Capt]\r\nScale=1,5\r\n",
         -9999,
         -9999,
         0,
         L"COM1.",
         {1.0, 504, 372, 243, 8, 6, false},
         L"1.0000"},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        SerialServicesDouble services;
        services.ports->AddPort(1);
        services.ports->AddPort(12);
        WriteFile(folder.File("pelkan.ini"), c.file);
        MainWindow f(services.services, IniPath());
        f.Create();
        EXPECT_EQ(f.ScreenLeft(), c.left == -9999 ? (1920 - f.OuterWidth()) / 2 : c.left);
        EXPECT_EQ(f.ScreenTop(), c.top == -9999 ? (1080 - f.OuterHeight()) / 2 : c.top);
        EXPECT_EQ(f.ControlsForTest().portBox.ItemIndex(), c.itemIndex);
        EXPECT_EQ(f.ControlsForTest().portBox.Text(), c.boxText);
        EXPECT_EQ(f.OwnBridge().Settings(), c.capture);
        EXPECT_EQ(f.ControlsForTest().scaleEdit.Text(), c.scaleText);
        EXPECT_EQ(f.ControlsForTest().captWEdit.Text(), std::to_wstring(c.capture.captW));
        EXPECT_EQ(f.ControlsForTest().pickYEdit.Text(), std::to_wstring(c.capture.pickYOff));
        // Leave the file as it was given: ShutDown must not run here.
        f.SetOnDestroy(nullptr);
    }
}

TEST_F(MainWindowTest, SettingsInForceAreWrittenAtCloseAndReadBack) {
    serial.ports->AddPort(2);
    serial.ports->AddPort(5);
    MainWindow& f = Start();
    f.SetScreenLeft(123);
    f.SetScreenTop(45);
    f.ControlsForTest().portBox.SelectedByUser(1);
    f.ControlsForTest().scaleEdit.SetText(L"1.25");
    f.ControlsForTest().captWEdit.SetText(L"640");
    f.ApplySettings();
    // Typed but not applied: the value in force is what counts.
    f.ControlsForTest().captHEdit.SetText(L"999");
    Close();
    EXPECT_TRUE(messages.empty());

#ifndef _WIN32
    EXPECT_EQ(ReadFile(folder.File("pelkan.ini")),
              "[Form]\r\nLeft=123\r\nTop=45\r\n\r\n[COM]\r\nPortIndex=1\r\n\r\n[Capt]\r\n"
              "Scale=1.25\r\ncaptW=640\r\ncaptH=372\r\ncaptL=243\r\npickXOff=8\r\npickYOff=6\r\n");
#endif

    SerialServicesDouble again;
    again.ports->AddPort(2);
    again.ports->AddPort(5);
    MainWindow next(again.services, IniPath());
    next.Create();
    EXPECT_EQ(next.ScreenLeft(), 123);
    EXPECT_EQ(next.ScreenTop(), 45);
    EXPECT_EQ(next.ControlsForTest().portBox.Text(), L"COM5.");
    EXPECT_EQ(next.OwnBridge().Settings(), (CaptureSettings{1.25, 640, 372, 243, 8, 6, false}));
    EXPECT_EQ(next.ControlsForTest().scaleEdit.Text(), L"1.2500");
}

TEST_F(MainWindowTest, NoSelectionIsWrittenAsMinusOne) {
    MainWindow& f = Start();  // no ports at all
    EXPECT_EQ(f.ControlsForTest().portBox.ItemIndex(), -1);
    Close();
    IniFile ini(IniPath());
    EXPECT_EQ(ini.ReadString(L"COM", L"PortIndex"), L"-1");
}

TEST_F(MainWindowTest, AnUnwritableSettingsFileIsReportedAndTheProgramStillEnds) {
    std::wstring path = (folder.File("missing-folder") / "pelkan.ini").wstring();
    MainWindow f(serial.services, path);
    f.Create();
    serial.ports->AddPort(4);
    f.ControlsForTest().portBox.AddItem(L"COM4.");
    f.ControlsForTest().portBox.SetItemIndex(0);
    f.StartStop();
    ASSERT_TRUE(serial.port->Open());
    f.Destroy();
    EXPECT_FALSE(serial.port->Open());  // closed before the settings are written
    EXPECT_EQ(messages, std::vector<std::wstring>{path + L" に書き込めません"});
}

TEST_F(MainWindowTest, PortNumberComesFromTheBoxText) {
    const struct {
        std::wstring text;
        std::optional<uint16_t> number;
    } cases[] = {
        {L"COM3.", 3},
        {L"COM12.", 12},
        // The full stop of the list's entries may be left out.
        {L"COM12", 12},
        {L"COM3", 3},
        {L"COM3x", 3},
        {L"ComboBox1", 4},
        {L"", 4},
        {L"COM", 4},
        {L"COM.", 4},
        {L"COM0.", 0},
        {L"COM 7.", 7},
        {L"COMx.", 4},
        {L"COM65535.", 65535},
        // Numbers no port has give none, not port 4.
        {L"COM70000.", std::nullopt},
        {L"COM-3.", std::nullopt},
        {L"COM65536.", std::nullopt},
        {L"COM65536", std::nullopt},
        // However long the number, and past every integer type.
        {L"COM2147483648.", std::nullopt},
        {L"COM99999999999.", std::nullopt},
        {L"COM-2147483649.", std::nullopt},
        {L"COM4294967299.", std::nullopt},
        {L"COM000000000000000000003.", 3},
        {L"COM99999999999", std::nullopt},
    };
    MainWindow f(serial.services, IniPath());
    for (const auto& c : cases) {
        f.ControlsForTest().portBox.TypedByUser(c.text);
        EXPECT_EQ(f.PortNumberFromBox(), c.number) << std::string(c.text.begin(), c.text.end());
    }
}

TEST_F(MainWindowTest, StartOpensTheConfiguredPortAndStopClosesIt) {
    serial.ports->AddPort(3);
    MainWindow& f = Start();
    f.StartStop();

    EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"STOP");
    EXPECT_TRUE(f.ControlsForTest().sampleTimer.Enabled());
    EXPECT_TRUE(serial.port->Open());
    EXPECT_EQ(serial.port->ComNumber(), 3);
    EXPECT_EQ(serial.port->Baud(), 9600);
    EXPECT_EQ(serial.port->StopBits(), 1);
    EXPECT_EQ(serial.port->DataBits(), 8);
    EXPECT_EQ(serial.port->Parity(), TParity::pNone);
    EXPECT_EQ(serial.port->SWFlowOptions(), TSWFlowOptions::swfNone);
    EXPECT_EQ(serial.packet->EndCond(), TPacketEndConds{TPacketEndCond::ecString});
    EXPECT_EQ(serial.packet->EndString(), "\r\n");
    EXPECT_EQ(serial.packet->StartCond(), TPacketStartCond::scAnyData);
    EXPECT_EQ(serial.packet->TimeOut(), 500);
    EXPECT_TRUE(serial.packet->Enabled());
    EXPECT_FALSE(f.ControlsForTest().portBox.Enabled());
    EXPECT_TRUE(messages.empty());

    f.StartStop();
    EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"START");
    EXPECT_FALSE(f.ControlsForTest().sampleTimer.Enabled());
    EXPECT_FALSE(serial.port->Open());
    EXPECT_TRUE(f.ControlsForTest().portBox.Enabled());
    EXPECT_TRUE(serial.packet->Enabled());  // left as it was; the next START disables it first
}

TEST_F(MainWindowTest, ThePacketIsArmedAgainAfterATimeOutWhileThePortIsOpen) {
    serial.ports->AddPort(3);
    MainWindow& f = Start();
    f.StartStop();
    ASSERT_TRUE(serial.packet->Enabled());

    // A remote party silent for longer than the time-out is still answered afterwards.
    serial.packet->ExpireTimeOut();
    EXPECT_TRUE(serial.packet->Enabled());
    std::vector<std::string> lines;
    serial.packet->SetOnStringPacket(
        [&](DataPacketService*, const std::string& data) { lines.push_back(data); });
    serial.packet->Receive("CPU\r\n");
    EXPECT_EQ(lines, std::vector<std::string>{"CPU\r\n"});

    // After STOP a time-out leaves the packet as it is: nothing to answer.
    f.StartStop();
    serial.packet->SetEnabled(false);
    serial.packet->ExpireTimeOut();
    EXPECT_FALSE(serial.packet->Enabled());
}

TEST_F(MainWindowTest, AFailedOpenStillRunsTheTimerAndStopReturnsToStopped) {
    serial.ports->AddPort(3);
    MainWindow& f = Start();
    // A first run leaves the packet enabled; the failed run must not answer commands.
    f.StartStop();
    f.StartStop();
    ASSERT_TRUE(serial.packet->Enabled());

    serial.port->FailNextOpen("COM3 is in use by another program.");
    f.StartStop();
    EXPECT_EQ(messages,
              std::vector<std::wstring>{L"ComPort Open Error\nCOM3 is in use by another program."});
    EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"STOP");
    EXPECT_TRUE(f.ControlsForTest().sampleTimer.Enabled());
    EXPECT_FALSE(serial.port->Open());
    EXPECT_FALSE(serial.packet->Enabled());
    EXPECT_TRUE(f.ControlsForTest().portBox.Enabled());

    f.StartStop();
    EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"START");
    EXPECT_FALSE(f.ControlsForTest().sampleTimer.Enabled());
    EXPECT_EQ(serial.port->CloseCount(), 1);  // only the first run's port was closed
}

TEST_F(MainWindowTest, NoPortsMeansPortFourFromTheBoxText) {
    MainWindow& f = Start();
    EXPECT_TRUE(f.ControlsForTest().portBox.Items().empty());
    f.ControlsForTest().portBox.TypedByUser(L"ComboBox1");
    f.StartStop();
    EXPECT_EQ(serial.port->ComNumber(), 4);
    EXPECT_EQ(messages, std::vector<std::wstring>{
                            L"ComPort Open Error\nCOM4 does not exist on this computer."});
}

// A port number past the 16-bit range or below 0 opens nothing: not port 4, and not the port
// its low 16 bits would name (70000 is 4464 in 16 bits).
TEST_F(MainWindowTest, APortTextThatNamesNoPortOpensNothing) {
    serial.ports->AddPort(4);
    serial.ports->AddPort(4464);
    MainWindow& f = Start();
    const struct {
        std::wstring text;
        std::wstring named;  // as the second line of the box names it
    } cases[] = {
        {L"COM70000.", L"COM70000"},
        {L"COM-3.", L"COM-3"},
        {L"COM2147483648.", L"COM2147483648"},
        {L"COM99999999999.", L"COM99999999999"},
        {L"COM-2147483649.", L"COM-2147483649"},
        {L"COM99999999999", L"COM99999999999"},
    };
    for (const auto& c : cases) {
        messages.clear();
        f.ControlsForTest().portBox.TypedByUser(c.text);
        f.StartStop();
        EXPECT_EQ(messages, std::vector<std::wstring>{L"ComPort Open Error\n" + c.named +
                                                      L" names no port."});
        EXPECT_EQ(serial.port->OpenCount(), 0);
        EXPECT_FALSE(serial.packet->Enabled());
        EXPECT_EQ(f.ControlsForTest().startStopButton.Caption(), L"STOP");
        EXPECT_TRUE(f.ControlsForTest().sampleTimer.Enabled());
        f.StartStop();
    }
}

TEST_F(MainWindowTest, APortTextWithOrWithoutItsFullStopOpensThatPort) {
    serial.ports->AddPort(3);
    serial.ports->AddPort(4);
    serial.ports->AddPort(12);
    MainWindow& f = Start();
    const struct {
        std::wstring text;
        uint16_t port;
    } cases[] = {{L"COM3.", 3}, {L"COM3", 3}, {L"COM12", 12}, {L"COM12.", 12}};
    for (const auto& c : cases) {
        f.ControlsForTest().portBox.TypedByUser(c.text);
        f.StartStop();
        EXPECT_TRUE(serial.port->Open()) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(serial.port->ComNumber(), c.port) << std::string(c.text.begin(), c.text.end());
        f.StartStop();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, PortZeroAsksForAPort) {
    serial.ports->AddPort(6);
    MainWindow& f = Start();
    f.ControlsForTest().portBox.TypedByUser(L"COM0.");
    f.StartStop();  // the dialog is cancelled
    EXPECT_EQ(messages, std::vector<std::wstring>{L"ComPort Open Error\nNo port was chosen."});
    f.StartStop();

    serial.port->SetPromptAnswer(6);
    f.StartStop();
    EXPECT_TRUE(serial.port->Open());
    EXPECT_EQ(serial.port->ComNumber(), 6);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(MainWindowTest, UpdateAppliesTheFieldsWithFallBacks) {
    const struct {
        const char* name;
        std::wstring texts[6];
        CaptureSettings capture;
        std::wstring shown[6];
    } cases[] = {
        {"numbers",
         {L"1.5", L"600", L"400", L"250", L"12", L"9"},
         {1.5, 600, 400, 250, 12, 9, false},
         {L"1.5000", L"600", L"400", L"250", L"12", L"9"}},
        {"auto after a number",
         {L" Auto ", L"600", L"400", L"250", L"12", L"9"},
         {1.0, 600, 400, 250, 12, 9, true},
         {L"auto", L"600", L"400", L"250", L"12", L"9"}},
        {"nothing parses: the page's defaults, auto among them",
         {L"abc", L"x", L"", L"1.5", L"ten", L"0x8"},
         {1.0, 504, 372, 243, 10, 8, true},
         {L"auto", L"504", L"372", L"243", L"10", L"8"}},
        {"signs and spaces",
         {L" 2 ", L"-5", L"+7", L" 8", L"0", L"-0"},
         {2.0, -5, 7, 8, 0, 0, false},
         {L"2.0000", L"-5", L"7", L"8", L"0", L"0"}},
    };
    MainWindow& f = Start();
    ui::Edit* fields[] = {&f.ControlsForTest().scaleEdit, &f.ControlsForTest().captWEdit,
                          &f.ControlsForTest().captHEdit, &f.ControlsForTest().captLEdit,
                          &f.ControlsForTest().pickXEdit, &f.ControlsForTest().pickYEdit};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 6; ++i) fields[i]->SetText(c.texts[i]);
        f.ApplySettings();
        EXPECT_EQ(f.OwnBridge().Settings(), c.capture);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(fields[i]->Text(), c.shown[i]);
    }
}

// Values no screen holds are refused as a whole with the reason; the values in force stay and
// the fields show them again.
TEST_F(MainWindowTest, UpdateRefusesAGeometryNoScreenHolds) {
    const struct {
        std::wstring texts[6];
        std::wstring reason;
    } cases[] = {
        {{L"1", L"5040000", L"372", L"243", L"8", L"6"},
         L"CaptW 5040000 at scale 1.0000 is 5040000 pixels; no screen is larger than 7680."},
        {{L"1", L"504", L"372000", L"243", L"8", L"6"},
         L"CaptH 372000 at scale 1.0000 is 372000 pixels; no screen is larger than 7680."},
        {{L"1e10", L"504", L"372", L"243", L"8", L"6"},
         L"CaptW 504 at scale 10000000000.0000 is 5040000000000 pixels; no screen is larger "
         L"than 7680."},
        {{L"2", L"3841", L"372", L"243", L"8", L"6"},
         L"CaptW 3841 at scale 2.0000 is 7682 pixels; no screen is larger than 7680."},
        {{L"1", L"504", L"372", L"-8000", L"8", L"6"},
         L"CaptL -8000 at scale 1.0000 is -8000 pixels; no screen is larger than 7680."},
        {{L"1", L"7680", L"7680", L"243", L"8", L"6"},
         L"CaptW 7680 by CaptH 7680 at scale 1.0000 is more than a screen of 7680 x 4320 pixels "
         L"holds."},
    };
    MainWindow& f = Start();
    ui::Edit* fields[] = {&f.ControlsForTest().scaleEdit, &f.ControlsForTest().captWEdit,
                          &f.ControlsForTest().captHEdit, &f.ControlsForTest().captLEdit,
                          &f.ControlsForTest().pickXEdit, &f.ControlsForTest().pickYEdit};
    const std::wstring inForce[] = {L"1.5000", L"600", L"400", L"250", L"12", L"9"};
    for (int i = 0; i < 6; ++i) fields[i]->SetText(inForce[i]);
    f.ApplySettings();
    const CaptureSettings applied{1.5, 600, 400, 250, 12, 9, false};
    ASSERT_EQ(f.OwnBridge().Settings(), applied);
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.reason));
        messages.clear();
        for (int i = 0; i < 6; ++i) fields[i]->SetText(c.texts[i]);
        f.ApplySettings();
        EXPECT_EQ(messages, std::vector<std::wstring>{
                                c.reason + L"\nThe capture settings in force are kept."});
        EXPECT_EQ(f.OwnBridge().Settings(), applied);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(fields[i]->Text(), inForce[i]);
    }

    // The largest screen, upright or in portrait, is accepted.
    for (const auto& [w, h] : {std::pair{L"7680", L"4320"}, std::pair{L"4320", L"7680"}}) {
        messages.clear();
        f.ControlsForTest().scaleEdit.SetText(L"1");
        f.ControlsForTest().captWEdit.SetText(w);
        f.ControlsForTest().captHEdit.SetText(h);
        f.ApplySettings();
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(f.ControlsForTest().captWEdit.Text(), w);
        EXPECT_EQ(f.OwnBridge().Settings().captH, std::stoi(h));
    }
}

// From the settings file the same values give the start values, with the file named.
TEST_F(MainWindowTest, ASettingsFileGeometryNoScreenHoldsGivesTheDefaults) {
    const std::string files[] = {
        "[Capt]\r\nScale=1e10\r\n",
        "[Capt]\r\ncaptW=5040000\r\ncaptL=250\r\n",
        "[Capt]\r\ncaptH=372000\r\n",
        "[Capt]\r\nScale=2\r\npickYOff=4000\r\n",
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        messages.clear();
        WriteFile(folder.File("pelkan.ini"), file);
        SerialServicesDouble services;
        MainWindow f(services.services, IniPath());
        f.Create();
        EXPECT_EQ(f.OwnBridge().Settings(), CaptureSettings{});
        EXPECT_EQ(f.ControlsForTest().captWEdit.Text(), L"504");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(L" no screen is larger than 7680.\n" + IniPath() +
                                   L": the default capture settings are used."),
                  std::wstring::npos)
            << Narrow(messages[0]);
        f.SetOnDestroy(nullptr);
    }
}

// A desktop whose window search fails as a test says: every tick then fails the same way.
class FailingDesktop : public FakeDesktop {
  public:
    std::string failure;
    Wnd FindWindowByClass(const std::wstring& className) override {
        if (!failure.empty()) throw std::runtime_error(failure);
        return FakeDesktop::FindWindowByClass(className);
    }
};

TEST_F(MainWindowTest, ATickFailureIsShownOnceNotOncePerTick) {
    serial.ports->AddPort(3);
    MainWindow& f = Start();
    f.StartStop();
    ASSERT_TRUE(serial.packet->Enabled());
    FailingDesktop desktop;
    SetDesktopForTest(&desktop);
    std::vector<std::string> shown;
    int ticksUnderTheBox = 0;
    size_t repliesUnderTheBox = 0;
    platform::SetExceptionDisplay([&](const std::string& message) {
        shown.push_back(message);
        // The timer keeps ticking while the box is open; those ticks fail too.
        for (int i = 0; i < 3; ++i, ++ticksUnderTheBox) f.SampleMonitor();
        // Nobody may be at the PC to close the box: a command is still answered meanwhile.
        const size_t before = serial.port->Sent().size();
        serial.packet->Receive("CPU\r\n");
        repliesUnderTheBox += serial.port->Sent().size() - before;
    });
    struct Restore {
        ~Restore() {
            platform::SetExceptionDisplay(nullptr);
            SetDesktopForTest(nullptr);
        }
    } restore;

    desktop.failure = "bad_alloc";
    for (int i = 0; i < 5; ++i) f.SampleMonitor();
    EXPECT_EQ(shown, std::vector<std::string>{"bad_alloc"});
    EXPECT_EQ(ticksUnderTheBox, 3);
    EXPECT_EQ(repliesUnderTheBox, 1u);

    // Another failure is shown; after a tick that works, the first one is news again.
    desktop.failure = "other";
    f.SampleMonitor();
    desktop.failure.clear();
    f.SampleMonitor();
    desktop.failure = "bad_alloc";
    f.SampleMonitor();
    f.SampleMonitor();
    EXPECT_EQ(shown, (std::vector<std::string>{"bad_alloc", "other", "bad_alloc"}));
}

TEST_F(MainWindowTest, DefaultsButtonSetsTextsOnlyAndUpdateThenGivesTenAndEight) {
    MainWindow& f = Start();
    f.ControlsForTest().captWEdit.SetText(L"1");
    f.RestoreDefaultSettings();
    EXPECT_EQ(f.ControlsForTest().scaleEdit.Text(), L"auto");
    EXPECT_EQ(f.ControlsForTest().captWEdit.Text(), L"504");
    EXPECT_EQ(f.ControlsForTest().captHEdit.Text(), L"372");
    EXPECT_EQ(f.ControlsForTest().captLEdit.Text(), L"243");
    EXPECT_EQ(f.ControlsForTest().pickXEdit.Text(), L"10");
    EXPECT_EQ(f.ControlsForTest().pickYEdit.Text(), L"8");
    EXPECT_EQ(f.OwnBridge().Settings(), CaptureSettings{});  // nothing applied yet: 8 and 6
    f.ApplySettings();
    EXPECT_EQ(f.OwnBridge().Settings().pickXOff, 10);
    EXPECT_EQ(f.OwnBridge().Settings().pickYOff, 8);
}

TEST_F(MainWindowTest, FxModeChangesTheBlockStepCaptions) {
    MainWindow& f = Start();
    for (bool fx : {true, true, false, true, false, false}) {
        f.ControlsForTest().fxModeBox.SetChecked(fx);
        f.ShowFxCaptions();
        EXPECT_EQ(f.ControlsForTest().firstUpButton.Caption(), fx ? L"+40" : L"+80");
        EXPECT_EQ(f.ControlsForTest().firstDownButton.Caption(), fx ? L"-40" : L"-80");
        EXPECT_EQ(f.ControlsForTest().firstBlockUpButton.Caption(), L"+100");
        EXPECT_EQ(f.ControlsForTest().firstBlockDownButton.Caption(), L"-100");
    }
}

}  // namespace
