// The main window's tick, actions and command handler on the fake desktop: when a command or a
// tick arrives while the main thread waits in a call into the monitor (as it would when the
// system hands it a message sent meanwhile), nothing runs inside a tick or an action, and the
// command is answered after it; and what a READ reports between samplings.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "tests/app/test_files.h"
#include "tests/app_capture/monitor_scene.h"

namespace {

using Kind = DesktopEvent::Kind;

struct TurnsFixture : ::testing::Test {
    TestFolder folder;
    FakeDesktop desktop;
    MonitorScene scene{desktop};
    SerialServicesDouble serial;
    std::unique_ptr<MainWindow> form;
    // Run once, the first time the main thread moves the focus to a window of the monitor.
    std::function<void()> meanwhile;
    std::vector<std::string> sentWhenItArrived;

    TurnsFixture() {
        ui::SetScreenSizeForTest(1920, 1080);
        SetDesktopForTest(&desktop);
        serial.ports->AddPort(1);
        serial.port->SetComNumber(1);
        serial.port->SetOpen(true);
        form = std::make_unique<MainWindow>(serial.services, folder.File("pelkan.ini").wstring());
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

}  // namespace
