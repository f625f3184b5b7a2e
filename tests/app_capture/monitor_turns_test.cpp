// The main window's tick, actions and command handler on the fake desktop: when a command or a
// tick arrives while the main thread waits in a call into the monitor (as it would when the
// system hands it a message sent meanwhile), nothing runs inside a tick or an action, and the
// command is answered after it; what a READ reports between samplings; and an application that
// runs as administrator, beside a bridge that does not, is named and sent no input.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "tests/app/test_files.h"
#include "tests/app_capture/monitor_scene.h"

namespace {

using Kind = DesktopEvent::Kind;

// The main window, with every notice it is asked to show recorded.
class NoticeRecordingWindow : public MainWindow {
  public:
    using MainWindow::MainWindow;
    std::vector<std::wstring> notices;
    void ShowNotice(const std::wstring& text) override {
        notices.push_back(text);
        MainWindow::ShowNotice(text);
    }
};

struct TurnsFixture : ::testing::Test {
    TestFolder folder;
    FakeDesktop desktop;
    MonitorScene scene{desktop};
    SerialServicesDouble serial;
    std::unique_ptr<NoticeRecordingWindow> form;
    // Run once, the first time the main thread moves the focus to a window of the monitor.
    std::function<void()> meanwhile;
    std::vector<std::string> sentWhenItArrived;

    TurnsFixture() {
        ui::SetScreenSizeForTest(1920, 1080);
        SetDesktopForTest(&desktop);
        serial.ports->AddPort(1);
        serial.port->SetComNumber(1);
        serial.port->SetOpen(true);
        form = std::make_unique<NoticeRecordingWindow>(serial.services,
                                                       folder.File("pelkan.ini").wstring());
        form->Create();
        auto react = desktop.onEvent;
        desktop.onEvent = [this, react](const DesktopEvent& e) {
            react(e);
            if (e.kind == Kind::Focus && meanwhile) {
                auto arrive = std::move(meanwhile);
                meanwhile = nullptr;
                arrive();
                sentWhenItArrived = serial.port->Sent();
            }
        };
    }
    ~TurnsFixture() override {
        form->Destroy();
        SetDesktopForTest(nullptr);
    }

    void Command(const std::string& line) { form->OnCommandLine(line); }
    std::vector<std::wstring> Typed() const {
        std::vector<std::wstring> texts;
        for (const auto& e : desktop.events)
            if (e.kind == Kind::SetText) texts.push_back(e.text);
        return texts;
    }
    size_t IndexOf(const DesktopEvent& wanted) const {
        for (size_t i = 0; i < desktop.events.size(); ++i)
            if (desktop.events[i] == wanted) return i;
        return desktop.events.size();
    }
};

TEST_F(TurnsFixture, ACommandArrivingDuringATickIsAnsweredAfterTheTick) {
    // The tick finds the field empty, sets X000 and moves the focus there to press Enter.
    desktop.Get(scene.field).text = L"";
    meanwhile = [this] { Command("DEVN X100\r\n"); };
    form->SampleMonitor();

    EXPECT_TRUE(sentWhenItArrived.empty());
    EXPECT_EQ(serial.port->Sent(), std::vector<std::string>{"OK\r\n"});
    EXPECT_EQ(Typed(), (std::vector<std::wstring>{L"X000", L"X100"}));
    // The tick's Enter went out before the command typed anything.
    const size_t tickEnter = IndexOf(DesktopEvent::Key(scene.field, vk::Return, kKeyEventKeyUp));
    const size_t commandText = IndexOf(DesktopEvent::SetText(scene.field, L"X100"));
    EXPECT_LT(tickEnter, commandText);
    EXPECT_EQ(scene.acceptedNames, (std::vector<std::wstring>{L"X000", L"X100"}));
}

TEST_F(TurnsFixture, ACommandArrivingDuringAnActionIsAnsweredAfterItInArrivalOrder) {
    form->SampleMonitor();
    desktop.events.clear();
    meanwhile = [this] {
        Command("DEVN X200\r\n");
        Command("CPU\r\n");
    };
    Command("DEVN X100\r\n");

    EXPECT_TRUE(sentWhenItArrived.empty());
    EXPECT_EQ(serial.port->Sent(), (std::vector<std::string>{"OK\r\n", "OK\r\n", "QL\r\n"}));
    EXPECT_EQ(Typed(), (std::vector<std::wstring>{L"X100", L"X200"}));
    // The first action's click came before the second one typed.
    const size_t firstClick = IndexOf(DesktopEvent::Click(scene.CellPoint(0, 0)));
    EXPECT_LT(firstClick, IndexOf(DesktopEvent::SetText(scene.field, L"X200")));
    EXPECT_EQ(scene.acceptedNames, (std::vector<std::wstring>{L"X100", L"X200"}));
}

TEST_F(TurnsFixture, AReadArrivingDuringATickIsAnsweredFromItsSamplesAfterIt) {
    scene.states[0] = 1;
    scene.Paint();
    form->SampleMonitor();  // a new first device: the tables start from zeros
    desktop.Get(scene.field).text = L"";
    meanwhile = [this] { Command("READ\r\n"); };
    form->SampleMonitor();

    EXPECT_TRUE(sentWhenItArrived.empty());
    ASSERT_EQ(serial.port->Sent().size(), 1u);
    EXPECT_EQ(serial.port->Sent()[0].substr(0, 12), "QRX000  0001");
}

TEST_F(TurnsFixture, ATickArrivingDuringAnActionIsDropped) {
    form->SampleMonitor();
    ASSERT_EQ(form->ControlsForTest().firstDeviceEdit.Text(), L"X000");
    desktop.events.clear();
    meanwhile = [this] { form->SampleMonitor(); };
    form->ControlsForTest().requestedFirstEdit.SetText(L"X100");
    form->ChangeFirstDevice();

    // A tick inside would have read the half-typed field; the next tick reads the new device.
    EXPECT_EQ(form->ControlsForTest().firstDeviceEdit.Text(), L"X000");
    form->SampleMonitor();
    EXPECT_EQ(form->ControlsForTest().firstDeviceEdit.Text(), L"X100");
}

// A tick that reads a new first device but finds the grid covered samples nothing: the READ
// replies keep the name of the device their words were sampled from until a sampling of the new
// device completes.
TEST_F(TurnsFixture, AReadNamesTheDeviceItsWordsWereSampledFrom) {
    scene.states[1] = 1;
    scene.Paint();
    form->SampleMonitor();
    form->SampleMonitor();  // the first sampling of a device starts from zeros
    const std::string words = "0002" + std::string(36, '0');
    Command("READ\r\n");
    ASSERT_EQ(serial.port->Sent().back().substr(0, 48), "QRX000  " + words);

    desktop.SendSetText(scene.field, L"X100");
    const Wnd cover = scene.Cover();
    desktop.refuseForeground = true;
    form->SampleMonitor();
    ASSERT_EQ(form->ControlsForTest().firstDeviceEdit.Text(), L"X100");
    Command("READ\r\n");
    EXPECT_EQ(serial.port->Sent().back().substr(0, 48), "QRX000  " + words);

    desktop.DestroyWindow(cover);
    form->SampleMonitor();
    Command("READ\r\n");
    // The screen shows the same cells: the words are now the new device's.
    EXPECT_EQ(serial.port->Sent().back().substr(0, 48), "QRX100  " + words);
}

// A dialog of the application that DEVN left alone is named in the window for as long as it is
// open; the command is still answered.
TEST_F(TurnsFixture, ADialogLeftForThePersonIsNamedInTheWindowWhileItIsOpen) {
    scene.dialogOnAccept = L"保存しますか";
    form->SampleMonitor();
    Command("DEVN X100\r\n");
    EXPECT_EQ(serial.port->Sent(), std::vector<std::string>{"OK\r\n"});
    const ui::Label& notice = form->ControlsForTest().noticeLabel;
    EXPECT_TRUE(notice.Visible());
    EXPECT_EQ(notice.Caption(), L"A dialog of the application waits: 保存しますか");

    form->SampleMonitor();
    EXPECT_TRUE(notice.Visible());
    for (Wnd w : desktop.TopLevelWindows())
        if (desktop.Get(w).text == L"保存しますか") desktop.DestroyWindow(w);
    form->SampleMonitor();
    EXPECT_FALSE(notice.Visible());
    EXPECT_EQ(notice.Caption(), L"");
}

// While the session is locked the window says so, READ keeps the words last sampled, and BTRV
// and DEVN send nothing to the monitor but are still answered "OK".
TEST_F(TurnsFixture, ALockedSessionIsNamedAndItsCommandsSendNothing) {
    scene.states[1] = 1;
    scene.Paint();
    form->SampleMonitor();
    form->SampleMonitor();
    const std::string words = "0002" + std::string(36, '0');

    desktop.sessionLocked = true;
    form->SampleMonitor();
    const ui::Label& notice = form->ControlsForTest().noticeLabel;
    EXPECT_TRUE(notice.Visible());
    EXPECT_EQ(notice.Caption(), L"Screen locked: nothing is read or sent");
    desktop.events.clear();
    const size_t before = serial.port->Sent().size();
    Command("READ\r\n");
    Command("BTRV X001\r\n");
    Command("DEVN X100\r\n");
    const std::vector<std::string> sent(serial.port->Sent().begin() + before,
                                        serial.port->Sent().end());
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].substr(0, 48), "QRX000  " + words);
    EXPECT_EQ(sent[1], "OK\r\n");
    EXPECT_EQ(sent[2], "OK\r\n");
    for (const DesktopEvent& e : desktop.events) {
        EXPECT_NE(e.kind, Kind::Key);
        EXPECT_NE(e.kind, Kind::Click);
        EXPECT_NE(e.kind, Kind::SetText);
    }

    desktop.sessionLocked = false;
    form->SampleMonitor();
    EXPECT_FALSE(notice.Visible());
}

// An application that runs as administrator beside a bridge that does not.
const std::wstring kElevatedNotice = L"Run Pelkan as administrator to act on the monitor";

struct ElevationFixture : TurnsFixture {
    // What the bridge sent that a person at the desktop would feel, or that the application
    // would act on: keys, clicks (taken or dropped), cursor moves, focus and foreground
    // requests, texts typed (refused or not).
    std::vector<DesktopEvent> Input() const {
        std::vector<DesktopEvent> input;
        for (const auto& e : desktop.events)
            if (e.kind == Kind::Key || e.kind == Kind::Click || e.kind == Kind::Dropped ||
                e.kind == Kind::CursorMove || e.kind == Kind::Focus ||
                e.kind == Kind::Foreground || e.kind == Kind::SetText || e.kind == Kind::Refused)
                input.push_back(e);
        return input;
    }
    long Shown(const std::wstring& notice) const {
        return std::count(form->notices.begin(), form->notices.end(), notice);
    }
    void Start() { form->ControlsForTest().startStopButton.Click(); }
    bool Elevated() { return form->OwnBridge().Capture().ApplicationElevated; }
    const ui::Label& Notice() { return form->ControlsForTest().noticeLabel; }
    // A toggle and a change of the first device, from the line; both are answered "OK".
    void ToggleAndChange() {
        Command("BTRV X003\r\n");
        Command("DEVN X100\r\n");
    }
    void ExpectNamedAndLeftAlone() {
        EXPECT_TRUE(Elevated());
        EXPECT_EQ(Shown(kElevatedNotice), 1);
        EXPECT_TRUE(Notice().Visible());
        EXPECT_EQ(Notice().Caption(), kElevatedNotice);
        EXPECT_EQ(scene.toggles, 0);
        EXPECT_TRUE(scene.acceptedNames.empty());
    }
};

// START compares the application's integrity level with the bridge's. A token the system keeps
// from the bridge is itself the sign of a higher level.
struct LevelCase {
    const char* name;
    std::optional<uint32_t> level;  // the application's; none: the bridge's own
    bool tokenRefused;
    bool elevated;
};

struct LevelAtStart : ElevationFixture, ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelAtStart, AHigherApplicationIsNamedOnceAndSentNothing) {
    const LevelCase& c = GetParam();
    if (c.level) desktop.integrity[MonitorScene::kProcess] = *c.level;
    if (c.tokenRefused) desktop.tokenRefused.insert(MonitorScene::kProcess);
    Start();
    form->SampleMonitor();
    ToggleAndChange();
    form->SampleMonitor();

    EXPECT_EQ(serial.port->Sent(), (std::vector<std::string>{"OK\r\n", "OK\r\n"}));
    if (c.elevated) {
        ExpectNamedAndLeftAlone();
        EXPECT_TRUE(Input().empty()) << Input().size() << " input events";
        // Reading goes on: screen copies are not refused.
        EXPECT_EQ(form->ControlsForTest().firstDeviceEdit.Text(), L"X000");
    } else {
        EXPECT_FALSE(Elevated());
        EXPECT_EQ(Shown(kElevatedNotice), 0);
        EXPECT_FALSE(Notice().Visible());
        EXPECT_EQ(scene.toggles, 1);
        EXPECT_EQ(scene.acceptedNames, std::vector<std::wstring>{L"X100"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LevelAtStart,
    ::testing::Values(LevelCase{"SameLevel", std::nullopt, false, false},
                      LevelCase{"LowerLevel", 0x1000, false, false},
                      LevelCase{"Higher", FakeDesktop::kHighIntegrity, false, true},
                      LevelCase{"TokenRefused", std::nullopt, true, true}),
    [](const ::testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.name); });

// When START could not tell (the application came up after it, or was raised to administrator
// behind the same windows), the first sign is taken: the frame window found is another, or a
// send into the monitor is refused with access denied. From then on the application is named
// once and sent nothing, while its grid is still read.
struct RevealCase {
    const char* name;
    void (*before)(ElevationFixture&);  // before START
    void (*reveal)(ElevationFixture&);  // after START and a tick at the bridge's level
};

struct FoundAfterStart : ElevationFixture, ::testing::WithParamInterface<RevealCase> {};

void RaiseApplication(ElevationFixture& f) {
    f.desktop.integrity[MonitorScene::kProcess] = FakeDesktop::kHighIntegrity;
}

TEST_P(FoundAfterStart, IsNamedOnceAndSentNothingMore) {
    GetParam().before(*this);
    Start();
    form->SampleMonitor();
    ASSERT_FALSE(Elevated());
    GetParam().reveal(*this);
    ASSERT_TRUE(Elevated());

    desktop.events.clear();
    ToggleAndChange();
    scene.states[0] = 1;
    scene.Paint();
    form->SampleMonitor();
    form->SampleMonitor();

    ExpectNamedAndLeftAlone();
    EXPECT_TRUE(Input().empty()) << Input().size() << " input events";
    EXPECT_EQ(form->OwnBridge().Capture().BitStates[0], 1);
    for (const std::string& reply : serial.port->Sent()) EXPECT_EQ(reply, "OK\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Signs, FoundAfterStart,
    ::testing::Values(
        RevealCase{"ApplicationStartedAfterStart",
                   [](ElevationFixture& f) { f.desktop.Get(f.scene.frame).className = L"NotYet"; },
                   [](ElevationFixture& f) {
                       f.desktop.Get(f.scene.frame).className = L"KorvexFrameWnd";
                       RaiseApplication(f);
                       f.form->SampleMonitor();
                   }},
        RevealCase{"TicksTextForAnEmptyFieldRefused", [](ElevationFixture&) {},
                   [](ElevationFixture& f) {
                       RaiseApplication(f);
                       f.desktop.Get(f.scene.field).text = L"";
                       f.form->SampleMonitor();
                   }},
        RevealCase{"DevnsTextRefused", [](ElevationFixture&) {},
                   [](ElevationFixture& f) {
                       RaiseApplication(f);
                       f.Command("DEVN X200\r\n");
                   }}),
    [](const ::testing::TestParamInfo<RevealCase>& info) { return std::string(info.param.name); });

// Both notices can be due: a dialog that DEVN left for the person is still open when the
// application turns out to run above the bridge. The elevation notice takes the line, since
// until the bridge runs as administrator it can act on nothing, that dialog included; the
// dialog's notice comes back once the levels match again (a new START).
TEST_F(ElevationFixture, TheElevationNoticeTakesTheLineFromAWaitingDialog) {
    const std::wstring waiting = L"A dialog of the application waits: 保存しますか";
    scene.dialogOnAccept = L"保存しますか";
    Start();
    form->SampleMonitor();
    Command("DEVN X100\r\n");
    ASSERT_EQ(Notice().Caption(), waiting);

    RaiseApplication(*this);
    Command("DEVN X200\r\n");
    EXPECT_EQ(Notice().Caption(), kElevatedNotice);
    form->SampleMonitor();
    EXPECT_EQ(Notice().Caption(), kElevatedNotice);

    desktop.integrity.erase(MonitorScene::kProcess);
    Start();  // STOP
    Start();  // START
    EXPECT_FALSE(Elevated());
    EXPECT_EQ(Notice().Caption(), waiting);
    EXPECT_EQ(Shown(kElevatedNotice), 1);
}

}  // namespace
