// Pelkan's main window next to the monitor stand-in, under Wine: the real timer samples the
// stand-in's grid in both modes and shows it in the grid preview, and the four commands arrive over
// the serial-services double and act on the stand-in through the real desktop.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>

#include "app/command_protocol.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "tests/support/standin/standin_client.h"
#include "tests/ui/screenshot_win.h"

namespace {

// Pumps until the condition holds, at most 10 s: the stand-in is another process and draws a
// moment after it changes.
bool PumpUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        test_support::PumpMessages(50);
    }
    return condition();
}

std::string Hex4(unsigned word) {
    char text[8];
    snprintf(text, sizeof text, "%04X", word & 0xFFFF);
    return text;
}

class StandinCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Pelkan's window to the right of the stand-in, so it covers no part of the grid.
        settingsPath_ = test_support::ResultsFolder() + L"app_capture_standin.ini";
        DeleteFileW(settingsPath_.c_str());
        WritePrivateProfileStringW(L"Form", L"Left", L"1250", settingsPath_.c_str());
        WritePrivateProfileStringW(L"Form", L"Top", L"40", settingsPath_.c_str());
        serial_.ports->AddPort(1);
    }
    void TearDown() override {
        if (form_) {
            form_->Destroy();
            form_.reset();
        }
        standin_.Stop();
    }

    void Launch(std::vector<std::wstring> options) {
        options.insert(options.begin(), {L"--pos", L"20,20"});
        standin_.Start(options);
        form_ = std::make_unique<MainWindow>(serial_.services, settingsPath_);
        form_->Create();
        form_->Show();
        form_->ControlsForTest()
            .startStopButton.Click();  // START: the port double opens, the packet and the timer run
        ASSERT_TRUE(serial_.port->Open());
        ASSERT_TRUE(form_->ControlsForTest().sampleTimer.Enabled());
    }

    // The reply lines sent for one received line.
    std::vector<std::string> Send(const std::string& line) {
        const size_t before = serial_.port->Sent().size();
        serial_.packet->Receive(line);
        const auto& sent = serial_.port->Sent();
        return std::vector<std::string>(sent.begin() + static_cast<long>(before), sent.end());
    }

    std::vector<int> Sampled() const {
        std::vector<int> states(form_->OwnBridge().Capture().BitStates.begin(),
                                form_->OwnBridge().Capture().BitStates.end());
        return states;
    }
    bool SampledMatches(const std::vector<int>& expected) const {
        auto states = Sampled();
        for (size_t i = 0; i < states.size(); ++i)
            if (expected[i] != -2 && expected[i] != states[i]) return false;
        return true;
    }
    std::string Describe() const {
        std::ostringstream out;
        for (int r = 0; r < 10; ++r) {
            out << "\n  row " << r << ":";
            for (int b = 15; b >= 0; --b)
                out << ' ' << int(form_->OwnBridge().Capture().BitStates[r * 16 + b]);
        }
        return out.str();
    }

    std::string State(const std::string& key) { return standin_.State(key); }
    // Waits, with the main window's messages pumped, until the stand-in has recorded `event`.
    bool SawEvent(const std::string& event) {
        return PumpUntil([&] { return standin_.Saw(event); });
    }
    std::string Seen() const { return standin_.Seen(); }
    std::string firstDeviceEdit() const {
        const std::wstring& t = form_->ControlsForTest().firstDeviceEdit.Text();
        return std::string(t.begin(), t.end());
    }

    void SaveScreenshots(const std::wstring& name) {
        const ui::Bitmap& image = form_->ControlsForTest().gridPreview.Picture();
        const std::wstring folder = test_support::ResultsFolder();
        EXPECT_TRUE(test_support::SavePicture(image.Width(), image.Height(), image.Data(),
                                              static_cast<size_t>(image.Stride()),
                                              folder + name + L"-image1.png"));
        EXPECT_TRUE(test_support::SaveWindowPicture(static_cast<HWND>(form_->NativeHandle()),
                                                    folder + name + L"-window.png"));
    }

    std::wstring settingsPath_;
    SerialServicesDouble serial_;
    standin::StandinClient standin_;
    std::unique_ptr<MainWindow> form_;
};

TEST_F(StandinCaptureTest, TimerSamplesExactlyTheStandinStatesInBothModesAndShowsThem) {
    Launch({L"--first", L"X000"});
    const std::string hexBits = standin::PatternBits(160, 11);
    standin_.Ok("fill X000 " + hexBits);
    auto hex = standin::SampledStates(hexBits, false);
    EXPECT_TRUE(PumpUntil([&] { return SampledMatches(hex) && firstDeviceEdit() == "X000"; }))
        << Describe();
    EXPECT_FALSE(form_->FxMode());
    EXPECT_EQ(form_->ControlsForTest().gridPreview.Picture().Width(), 504);
    EXPECT_EQ(form_->ControlsForTest().gridPreview.Picture().Height(), 372);
    // A red marker on a sample point, the cell colour beside it.
    EXPECT_EQ(form_->ControlsForTest().gridPreview.Picture().Pixel(8, 39), (ui::Color{255, 0, 0}));

    std::string words;
    for (int r = 0; r < 10; ++r) {
        unsigned w = 0;
        for (int b = 0; b < 16; ++b)
            if (hexBits[r * 16 + b] == '1') w |= 1u << b;
        words += Hex4(w);
    }
    EXPECT_EQ(Send("CPU\r\n"), std::vector<std::string>{"QL\r\n"});
    EXPECT_EQ(Send("READ\r\n"),
              std::vector<std::string>{"QRX000  " + words + std::string(40, '0') + "\r\n"});
    SaveScreenshots(L"pelkan-hex");

    standin_.Ok("fx 1");
    const std::string fxBits = standin::PatternBits(80, 12);
    standin_.Ok("fill X000 " + fxBits);
    auto fx = standin::SampledStates(fxBits, true);
    EXPECT_TRUE(PumpUntil([&] { return form_->FxMode() && SampledMatches(fx); })) << Describe();
    EXPECT_EQ(form_->ControlsForTest().firstUpButton.Caption(), L"+40");
    EXPECT_EQ(Send("CPU\r\n"), std::vector<std::string>{"FX\r\n"});
    auto read = Send("READ\r\n");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].substr(0, 8), "FXX000  ");
    SaveScreenshots(L"pelkan-fx");
}

TEST_F(StandinCaptureTest, DevnMovesTheFirstDeviceInBothModesAndTheTicksFollow) {
    Launch({L"--first", L"X000", L"--on", L"X025"});
    ASSERT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X000" && form_->OwnBridge().Capture().BitStates[37] == 1;
    })) << Describe();

    EXPECT_EQ(Send("DEVN X020\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_EQ(State("first"), "X020") << Seen();
    EXPECT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X020" && form_->OwnBridge().Capture().BitStates[5] == 1;
    })) << firstDeviceEdit()
        << Describe();
    EXPECT_EQ(form_->ControlsForTest().toggleTargetEdit.Text(), L"X020");

    standin_.Ok("fx 1");
    ASSERT_TRUE(PumpUntil([&] { return form_->FxMode(); }));
    EXPECT_EQ(Send("DEVN X40\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_EQ(State("first"), "X040") << Seen();
    EXPECT_TRUE(PumpUntil([&] { return firstDeviceEdit() == State("field"); }))
        << firstDeviceEdit();
}

TEST_F(StandinCaptureTest, BtrvTogglesTheDeviceAndTheNextReadShowsIt) {
    Launch({L"--first", L"X000"});
    ASSERT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X000" && !form_->OwnBridge().Capture().DeviceChanged;
    }));
    test_support::PumpMessages(600);

    EXPECT_EQ(Send("BTRV X013\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_TRUE(SawEvent("toggle=X013:1")) << Seen();
    EXPECT_EQ(standin_.Ok("get X013"), "1");

    // The click left X013 selected (undecided); a new first device clicks the first cell, and
    // its Enter must reach the field although the grid has the focus.
    EXPECT_EQ(Send("DEVN X010\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_EQ(State("first"), "X010") << Seen();
    ASSERT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X010" && form_->OwnBridge().Capture().BitStates[3] == 1;
    })) << Describe();
    test_support::PumpMessages(300);
    auto read = Send("READ\r\n");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].substr(0, 12), "QRX010  0008") << read[0];
    EXPECT_EQ(Seen().find("grid-enter"), std::string::npos) << Seen();
}

// Wine has no integrity levels: the stand-in, another program, compares as at this program's
// level through the real token calls, at START and on every tick, and no send into it is refused.
// So nothing is named and BTRV acts (the higher level and the refusals are seen only in the fake
// desktop).
TEST_F(StandinCaptureTest, TheStandinIsNotTakenForAnApplicationRunAsAdministrator) {
    Launch({L"--first", L"X000"});
    ASSERT_TRUE(PumpUntil([&] { return firstDeviceEdit() == "X000"; }));
    Desktop& desktop = SystemDesktop();
    const uint32_t standin = desktop.GetWindowProcessId(FindFrameWindow(desktop));
    ASSERT_NE(standin, 0u);
    ASSERT_NE(standin, GetCurrentProcessId());
    const struct {
        const char* name;
        uint32_t process;
    } cases[] = {{"the stand-in", standin},
                 {"this program", GetCurrentProcessId()},
                 {"no process", 0},
                 {"a process that does not exist", 0xFFFFFFF0u}};
    for (const auto& c : cases) EXPECT_FALSE(desktop.RunsAboveThisProgram(c.process)) << c.name;

    EXPECT_EQ(Send("BTRV X003\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_TRUE(SawEvent("toggle=X003:1")) << Seen();
    EXPECT_FALSE(form_->OwnBridge().Capture().ApplicationElevated);
    EXPECT_FALSE(form_->ControlsForTest().noticeLabel.Visible());
    EXPECT_EQ(desktop.RefusedSends(), 0u);
}

TEST_F(StandinCaptureTest, RejectedNameIsRecoveredAndAValueChangeDialogIsClosed) {
    Launch({L"--first", L"X020"});
    ASSERT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X020" && !form_->OwnBridge().Capture().DeviceChanged;
    }));

    EXPECT_EQ(Send("DEVN XZZ\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_TRUE(SawEvent("reject-closed")) << Seen();
    EXPECT_EQ(State("first"), "X000") << Seen();
    EXPECT_EQ(form_->OwnBridge().SavedFirstDevice(), L"X000");
    EXPECT_EQ(form_->ControlsForTest().requestedFirstEdit.Text(), L"X000");
    EXPECT_EQ(FindWindowW(nullptr, L"Korvex Works"), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return firstDeviceEdit() == "X000"; }));
    test_support::PumpMessages(600);

    standin_.Ok("dialog-next");
    EXPECT_EQ(Send("BTRV X002\r\n"), std::vector<std::string>{"OK\r\n"});
    EXPECT_TRUE(SawEvent("dialog=X002")) << Seen();
    EXPECT_TRUE(PumpUntil([] { return FindWindowW(nullptr, L"現在値変更") == nullptr; }));
    EXPECT_EQ(standin_.Ok("get X002"), "0");
}

TEST_F(StandinCaptureTest, AHungStandinCostsEachTickOrCommandOneTimeOutAndIsLeftAlone) {
    Launch({L"--first", L"X010", L"--on", L"X012"});
    ASSERT_TRUE(PumpUntil([&] {
        return firstDeviceEdit() == "X010" && !form_->OwnBridge().Capture().DeviceChanged;
    }));
    ASSERT_TRUE(PumpUntil([&] { return form_->OwnBridge().Capture().BitStates[2] == 1; }))
        << Describe();
    standin_.Ok("hang 6000");

    // Each waits for the monitor once at most: a bound far below the six-second stall.
    struct Step {
        const char* name;
        std::function<void()> run;
    };
    std::vector<std::string> replies;
    const Step steps[] = {
        {"tick", [&] { form_->SampleMonitor(); }},
        {"DEVN", [&] { replies = Send("DEVN X020\r\n"); }},
        {"BTRV", [&] { replies = Send("BTRV X011\r\n"); }},
        {"READ", [&] { replies = Send("READ\r\n"); }},
    };
    for (const Step& step : steps) {
        replies.clear();
        const DWORD started = GetTickCount();
        step.run();
        EXPECT_LT(GetTickCount() - started, 2000u) << step.name;
        if (std::string(step.name) != "tick") {
            EXPECT_EQ(replies.size(), 1u) << step.name;
        }
    }
    // READ answers from the last samples.
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].substr(0, 12), "QRX010  0004") << replies[0];

    // Once it answers again, nothing typed, clicked or pressed meanwhile arrives late.
    EXPECT_EQ(State("first"), "X010") << Seen();
    test_support::PumpMessages(600);
    EXPECT_EQ(State("first"), "X010");
    EXPECT_EQ(State("field"), "X010");
    EXPECT_EQ(standin_.Ok("get X011"), "0");
    EXPECT_TRUE(PumpUntil([&] { return firstDeviceEdit() == "X010"; }));
}

}  // namespace
