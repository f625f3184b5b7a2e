// The monitor stand-in seen from outside, as Pelkan sees it: windows found by class, title prefix
// and child path; states read from screen pixels at the default sample points; the field, the
// grid and the dialogs driven with window messages and synthesised input.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "tests/support/standin/standin_client.h"
#include "tests/ui/screenshot_win.h"
#include "tests/tools/standin/screen_probe.h"

namespace standin_test {
namespace {

// Bounded polling: the stand-in runs in another process and the display catches up a moment
// after a window has drawn.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        Sleep(25);
    }
    return condition();
}

std::string Describe(const std::vector<int>& states) {
    std::ostringstream out;
    for (int r = 0; r < 10; ++r) {
        out << "\n  row " << r << ":";
        for (int b = 15; b >= 0; --b) {
            int s = states[r * 16 + b];
            out << ' ' << (s == 1 ? "1" : s == 0 ? "0" : s == -1 ? "?" : ".");
        }
    }
    return out.str();
}

bool IsExactlyOnOrOff(COLORREF c) { return c == RGB(0, 0, 255) || c == RGB(255, 255, 255); }

class StandinTest : public ::testing::Test {
  protected:
    void Launch(std::vector<std::wstring> options) {
        options.insert(options.begin(), {L"--pos", L"20,20"});
        standin_.Start(options);
        w_ = FindMonitor();
        ASSERT_NE(w_.frame, nullptr);
        ASSERT_NE(w_.monitor, nullptr);
        ASSERT_NE(w_.field, nullptr);
        ASSERT_NE(w_.grid, nullptr);
    }

    RECT GridRect() const {
        RECT r{};
        GetWindowRect(w_.grid, &r);
        return r;
    }
    POINT CaptureOrigin() const {
        RECT r = GridRect();
        return {r.left + kCaptureLeft, r.top};
    }
    ScreenImage CaptureGrid() const {
        POINT o = CaptureOrigin();
        return CaptureScreen(o.x, o.y, kCaptureWidth, kCaptureHeight);
    }
    // Samples until the screen shows `expected` (or gives up); returns the last sample.
    std::vector<int> SampleUntil(const std::vector<int>& expected, bool fx) {
        std::vector<int> states;
        Eventually([&] {
            states = SampleStates(CaptureGrid(), fx);
            return states == expected;
        });
        return states;
    }
    std::string State(const std::string& key) { return standin_.State(key); }
    // Waits until the stand-in has recorded `event`.
    bool SawEvent(const std::string& event) {
        return Eventually([&] { return standin_.Saw(event); });
    }
    std::string Seen() const { return standin_.Seen(); }
    POINT CellPoint(int column, int row) const {
        POINT o = CaptureOrigin();
        return {o.x + SampleX(column), o.y + SampleY(row)};
    }
    // The frame, and `also` (a box or dialog) when given.
    void SaveScreenshot(const std::wstring& name, HWND also = nullptr) {
        RECT r{}, other{};
        GetWindowRect(w_.frame, &r);
        if (also && GetWindowRect(also, &other)) UnionRect(&r, &r, &other);
        ScreenImage shot = CaptureScreen(r.left, r.top, r.right - r.left, r.bottom - r.top);
        EXPECT_TRUE(test_support::SavePicture(shot.width, shot.height, shot.bgr.data(),
                                              shot.Stride(), test_support::ResultsFolder() + name));
    }

    standin::StandinClient standin_;
    MonitorWindows w_;
};

TEST(SamplePoints, DefaultGeometry) {
    const int rows[] = {39, 73, 107, 141, 175, 208, 242, 276, 310, 344};
    const int columns[] = {8,   39,  71,  102, 134, 165, 197, 228,
                           260, 291, 323, 354, 386, 417, 449, 480};
    for (int r = 0; r < 10; ++r) EXPECT_EQ(SampleY(r), rows[r]) << "row " << r;
    for (int v = 0; v < 16; ++v) EXPECT_EQ(SampleX(v), columns[v]) << "column " << v;
}

TEST_F(StandinTest, WindowsAreFoundAsPelkanFindsThem) {
    Launch({L"--title-suffix", L"-3"});
    EXPECT_TRUE(IsWindowVisible(w_.frame));
    EXPECT_FALSE(IsIconic(w_.frame));
    EXPECT_EQ(WindowText(w_.monitor), L"デバイス/バッファメモリ一括モニタ-3");
    EXPECT_TRUE(IsChild(w_.frame, w_.monitor));
    EXPECT_EQ(ClassName(w_.field), L"Edit");
    EXPECT_EQ(WindowText(w_.field), L"X000");
    EXPECT_TRUE(IsChild(w_.frame, w_.grid));
    // The capture starts 243 pixels into the grid window and takes 504 x 372 pixels of it.
    RECT r = GridRect();
    EXPECT_GE(r.right - r.left, kCaptureLeft + kCaptureWidth);
    EXPECT_EQ(r.bottom - r.top, kCaptureHeight);
    POINT o = CaptureOrigin();
    EXPECT_EQ(WindowFromPoint(o), w_.grid);
    // Per-monitor DPI aware, so that rectangles and pixels are physical at any display scale.
    EXPECT_EQ(State("dpi-awareness"), std::to_string(DPI_AWARENESS_PER_MONITOR_AWARE));
}

TEST_F(StandinTest, HexModeStatesReadBackAtTheSamplePoints) {
    Launch({});
    for (unsigned seed : {1u, 2u, 3u}) {
        std::string bits = standin::PatternBits(160, seed);
        standin_.Ok("fill X000 " + bits);
        auto expected = standin::SampledStates(bits, false);
        auto states = SampleUntil(expected, false);
        EXPECT_EQ(states, expected) << "seed " << seed << Describe(states);
    }
    // The controller pixel lies in the ninth cell from the left (bit 7 of the first row): pure
    // blue or pure white in a 16-bit row, whatever that bit is.
    for (const char* value : {"1", "0"}) {
        standin_.Ok(std::string("set X007 ") + value);
        COLORREF want = value[0] == '1' ? RGB(0, 0, 255) : RGB(255, 255, 255);
        EXPECT_TRUE(Eventually([&] { return CaptureGrid().At(260, 39) == want; })) << value;
    }
    standin_.Ok("fill X000 " + standin::PatternBits(160, 7));
    SampleUntil(standin::SampledStates(standin::PatternBits(160, 7), false), false);
    SaveScreenshot(L"standin-hex.png");
}

// --scale draws the grid as a program that is not DPI aware appears on a scaled monitor: every
// part of it larger by the factor, the states at the sample points times the factor.
TEST_F(StandinTest, AGridDrawnAtAScaleReadsBackAtTheScaledSamplePoints) {
    constexpr double kScale = 1.25;
    auto scaled = [](int pixels) { return static_cast<int>(pixels * kScale); };
    Launch({L"--scale", L"1.25"});
    RECT r = GridRect();
    EXPECT_GE(r.right - r.left, scaled(kCaptureLeft + kCaptureWidth));
    EXPECT_EQ(r.bottom - r.top, scaled(kCaptureHeight));
    const std::string bits = standin::PatternBits(160, 4);
    standin_.Ok("fill X000 " + bits);
    const auto expected = standin::SampledStates(bits, false);
    std::vector<int> states;
    Eventually([&] {
        states = SampleStates(CaptureScreen(r.left + scaled(kCaptureLeft), r.top,
                                            scaled(kCaptureWidth), scaled(kCaptureHeight)),
                              false, kScale);
        return states == expected;
    });
    EXPECT_EQ(states, expected) << Describe(states);
    SaveScreenshot(L"standin-scaled.png");
    // A click on the stretched window selects the cell under it: column 2 is bit 13.
    ClickAt(r.left + scaled(kCaptureLeft + SampleX(2)), r.top + scaled(SampleY(0)));
    ASSERT_TRUE(SawEvent("click=X00D")) << Seen();
    EXPECT_EQ(State("selected"), "X00D");
}

TEST_F(StandinTest, FxModeStatesReadBackWithEightCellsPerRow) {
    Launch({L"--fx"});
    EXPECT_EQ(State("fx"), "1");
    for (unsigned seed : {4u, 5u}) {
        std::string bits = standin::PatternBits(80, seed);
        standin_.Ok("fill X000 " + bits);
        auto expected = standin::SampledStates(bits, true);
        auto states = SampleUntil(expected, true);
        EXPECT_EQ(states, expected) << "seed " << seed << Describe(states);
    }
    // Where a ninth cell would be: neither pure blue nor pure white, in every row.
    ScreenImage grid = CaptureGrid();
    for (int r = 0; r < 10; ++r)
        for (int v = 8; v < 16; ++v)
            EXPECT_FALSE(IsExactlyOnOrOff(grid.At(SampleX(v), SampleY(r))))
                << "column " << v << " row " << r;
    // Octal numbering: the rows from Y020 show Y020..Y027, Y030..Y037, ...
    standin_.Ok("first Y020");
    standin_.Ok("clear");
    standin_.Ok("set Y021 1");
    standin_.Ok("set Y037 1");
    std::vector<int> expected(160, -2);
    for (int r = 0; r < 10; ++r)
        for (int b = 0; b < 8; ++b) expected[r * 16 + b] = 0;
    expected[0 * 16 + 1] = 1;
    expected[1 * 16 + 7] = 1;
    auto states = SampleUntil(expected, true);
    EXPECT_EQ(states, expected) << Describe(states);
    EXPECT_EQ(WindowText(w_.field), L"Y020");
    standin_.Ok("first X000");
    standin_.Ok("fill X000 " + standin::PatternBits(80, 9));
    SampleUntil(standin::SampledStates(standin::PatternBits(80, 9), true), true);
    SaveScreenshot(L"standin-fx.png");
}

TEST_F(StandinTest, SwitchingModesKeepsTheStatesAndRewritesTheNames) {
    Launch({L"--first", L"X010", L"--on", L"X010,X01F"});
    auto states = SampleUntil(
        standin::SampledStates("1000000000000001" + std::string(144, '0'), false), false);
    EXPECT_EQ(states[0], 1);
    EXPECT_EQ(states[15], 1);
    standin_.Ok("fx 1");
    // Hexadecimal 10 is octal 20; X01F (31) is octal 37, in the second 8-bit row.
    EXPECT_EQ(State("first"), "X020");
    EXPECT_EQ(WindowText(w_.field), L"X020");
    EXPECT_EQ(standin_.Ok("get X037"), "1");
    std::string fx =
        "10000000"
        "00000001" +
        std::string(64, '0');
    states = SampleUntil(standin::SampledStates(fx, true), true);
    EXPECT_EQ(states, standin::SampledStates(fx, true)) << Describe(states);
}

TEST_F(StandinTest, ControlChannelRejectsBadCommands) {
    Launch({});
    struct Case {
        const char* line;
        const char* answerStart;
    } cases[] = {
        {"set X1G 1", "error"},     {"set X10 2", "error"},
        {"fill X1FFF 11", "error"}, {"first Z10", "error"},
        {"fx maybe", "error"},      {"get X000 0", "error"},
        {"nonsense", "error"},      {"", "error"},
        {"get X1FFF", "ok 0"},      {"fill X1FFE 11", "ok"},
        {"get X1FFE 2", "ok 11"},   {"first x1fff", "ok"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(standin_.Command(c.line).rfind(c.answerStart, 0), 0u) << c.line;
    EXPECT_EQ(State("first"), "X1FFF");
}

TEST_F(StandinTest, FieldTakesAValidNameWithEnter) {
    Launch({});
    standin_.Ok("fill X100 " + standin::PatternBits(160, 11));
    SendMessageW(w_.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"X100"));
    PressKey(w_.field, VK_RETURN);
    ASSERT_TRUE(SawEvent("enter=X100")) << Seen();
    EXPECT_EQ(State("first"), "X100");
    auto expected = standin::SampledStates(standin::PatternBits(160, 11), false);
    auto states = SampleUntil(expected, false);
    EXPECT_EQ(states, expected) << Describe(states);
}

TEST_F(StandinTest, FieldRejectsAnInvalidNameWithTheConfiguredMessageBox) {
    Launch({L"--first", L"X100"});
    standin_.Ok("reject-title 入力エラー");
    standin_.Ok("fill X100 " + standin::PatternBits(160, 12));
    auto before = SampleUntil(standin::SampledStates(standin::PatternBits(160, 12), false), false);
    for (const wchar_t* bad : {L"X10G", L"Q100", L"X", L"X20000"}) {
        SCOPED_TRACE(std::string(bad, bad + wcslen(bad)));
        SendMessageW(w_.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(bad));
        PressKey(w_.field, VK_RETURN);
        HWND box = nullptr;
        ASSERT_TRUE(Eventually([&] {
            box = FindWindowW(nullptr, L"入力エラー");
            return box && IsWindowVisible(box);
        })) << standin_.Ok("state")
            << " events: " << standin_.Ok("events");
        EXPECT_EQ(ClassName(box), L"#32770");
        EXPECT_EQ(State("first"), "X100");
        EXPECT_EQ(State("reject-box"), "1");
        if (bad == std::wstring(L"X10G")) {
            Sleep(200);  // for the picture only
            SaveScreenshot(L"standin-reject.png", box);
        }
        PressKey(box, VK_RETURN);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(box); }));
        ASSERT_TRUE(SawEvent("reject-closed")) << Seen();
        EXPECT_EQ(State("reject-box"), "0");
        standin_.ForgetSeen();
        // The view stayed; the rejected text stays in the field.
        auto states = SampleUntil(before, false);
        EXPECT_EQ(states, before) << Describe(states);
        EXPECT_EQ(WindowText(w_.field), bad);
    }
}

TEST_F(StandinTest, HangLeavesItsWindowsSilentForTheGivenTimeAfterTheAnswer) {
    Launch({});
    DWORD_PTR length = 0;
    auto ask = [&] {
        return SendMessageTimeoutW(w_.field, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 200, &length) != 0;
    };
    ASSERT_TRUE(ask());
    for (const char* bad : {"hang", "hang 0", "hang -5", "hang 10x", "hang 600001"})
        EXPECT_EQ(standin_.Command(bad).rfind("error", 0), 0u) << bad;

    standin_.Ok("hang 3000");
    EXPECT_FALSE(ask());
    // Answering again once the time is over, with the same first device.
    EXPECT_TRUE(Eventually(ask));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(State("first"), "X000");
}

struct ToggleCase {
    bool fx;
    const char* target;  // written as the mode writes it
    int column, row;     // its cell, counted from the left and from the first cell row
};

class ToggleTest : public StandinTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ToggleTest, ClickThenShiftEnterTogglesTheDeviceUnderTheCursor) {
    const ToggleCase& c = GetParam();
    Launch(c.fx ? std::vector<std::wstring>{L"--fx"} : std::vector<std::wstring>{});
    POINT p = CellPoint(c.column, c.row);
    ClickAt(p.x, p.y);
    ASSERT_TRUE(SawEvent(std::string("click=") + c.target)) << Seen();
    EXPECT_EQ(State("focus"), "grid");
    EXPECT_EQ(State("selected"), c.target);
    // The selected cell is drawn in neither colour; every other sample point stays exact.
    ScreenImage grid = CaptureGrid();
    const int columns = c.fx ? 8 : 16;
    for (int r = 0; r < 10; ++r)
        for (int v = 0; v < columns; ++v)
            EXPECT_EQ(IsExactlyOnOrOff(grid.At(SampleX(v), SampleY(r))),
                      v != c.column || r != c.row)
                << "column " << v << " row " << r;

    ShiftEnter();
    ASSERT_TRUE(SawEvent(std::string("toggle=") + c.target + ":1")) << Seen();
    EXPECT_EQ(standin_.Ok(std::string("get ") + c.target), "1");
    ShiftEnter();
    ASSERT_TRUE(SawEvent(std::string("toggle=") + c.target + ":0")) << Seen();
    // Enter alone in the grid changes nothing.
    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    ASSERT_TRUE(SawEvent("grid-enter")) << Seen();
    EXPECT_EQ(standin_.Ok(std::string("get ") + c.target), "0");
    EXPECT_EQ(State("first"), "X000");
}

INSTANTIATE_TEST_SUITE_P(BothModes, ToggleTest,
                         ::testing::Values(ToggleCase{true, "X012", 5, 1},
                                           ToggleCase{false, "X00F", 0, 0},
                                           ToggleCase{false, "X012", 13, 1}),
                         [](const auto& info) {
                             return std::string(info.param.fx ? "Fx_" : "Hex_") + info.param.target;
                         });

TEST_F(StandinTest, EnterGoesToTheControlThatHasTheFocus) {
    // Writing into the field moves no focus: after a click on the grid, a program that writes a
    // name into the field and presses Enter presses it in the grid.
    Launch({});
    POINT p = CellPoint(3, 2);
    ClickAt(p.x, p.y);
    ASSERT_TRUE(SawEvent("click=X02C")) << Seen();
    SendMessageW(w_.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"X200"));
    PressKey(w_.field, VK_RETURN);
    ASSERT_TRUE(SawEvent("grid-enter")) << Seen();
    EXPECT_EQ(State("first"), "X000");
    EXPECT_EQ(State("focus"), "grid");
    EXPECT_EQ(WindowText(w_.field), L"X200");
    // A click into the field gives it the focus back; then Enter acts there.
    RECT f{};
    GetWindowRect(w_.field, &f);
    ClickAt((f.left + f.right) / 2, (f.top + f.bottom) / 2);
    EXPECT_TRUE(Eventually([&] { return State("focus") == "field"; }));
    PressKey(w_.field, VK_RETURN);
    ASSERT_TRUE(SawEvent("enter=X200")) << Seen();
    EXPECT_EQ(State("first"), "X200");
}

TEST_F(StandinTest, ValueChangeDialogOnRequestClosesWithEscape) {
    Launch({});
    standin_.Ok("dialog-next");
    POINT p = CellPoint(15, 0);  // X000
    ClickAt(p.x, p.y);
    ASSERT_TRUE(SawEvent("click=X000")) << Seen();
    ShiftEnter();
    HWND dialog = nullptr;
    ASSERT_TRUE(Eventually([&] {
        dialog = FindWindowW(nullptr, L"現在値変更");
        return dialog && IsWindowVisible(dialog);
    }));
    EXPECT_EQ(ClassName(dialog), L"#32770");
    EXPECT_TRUE(IsWindowEnabled(dialog));
    Sleep(200);  // for the picture only: the dialog's controls paint a moment after it shows
    SaveScreenshot(L"standin-value-dialog.png", dialog);
    ASSERT_TRUE(SawEvent("dialog=X000")) << Seen();
    PressKey(dialog, VK_ESCAPE);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
    ASSERT_TRUE(SawEvent("dialog-closed=cancel")) << Seen();
    EXPECT_EQ(standin_.Ok("get X000"), "0");
    // The request was for one toggle: the next Shift+Enter toggles, and the grid has the focus.
    EXPECT_EQ(State("dialog-next"), "0");
    EXPECT_TRUE(Eventually([&] { return State("focus") == "grid"; }));
    ShiftEnter();
    ASSERT_TRUE(SawEvent("toggle=X000:1")) << Seen();
}

TEST_F(StandinTest, MinimiseRestoreAndCover) {
    Launch({});
    standin_.Ok("minimize");
    EXPECT_TRUE(Eventually([&] { return IsIconic(w_.frame) != FALSE; }));
    standin_.Ok("restore");
    EXPECT_TRUE(Eventually([&] { return !IsIconic(w_.frame) && IsWindowVisible(w_.frame); }));

    POINT o = CaptureOrigin();
    // A plain window over the grid goes behind when the grid's frame comes to the front.
    standin_.Ok("cover");
    EXPECT_TRUE(Eventually([&] { return WindowFromPoint(o) != w_.grid; }));
    BringToFront(w_.grid);
    EXPECT_TRUE(Eventually([&] { return WindowFromPoint(o) == w_.grid; }));
    // One that stays on top keeps the grid covered.
    standin_.Ok("cover topmost");
    EXPECT_TRUE(Eventually([&] { return WindowFromPoint(o) != w_.grid; }));
    BringToFront(w_.grid);
    Sleep(100);
    EXPECT_NE(WindowFromPoint(o), w_.grid);
    standin_.Ok("uncover");
    EXPECT_TRUE(Eventually([&] { return WindowFromPoint(o) == w_.grid; }));
    EXPECT_EQ(State("covered"), "0");
}

TEST_F(StandinTest, StartupOptionsAndIdleCost) {
    Launch({L"--fx", L"--first", L"Y010", L"--on", L"Y010,Y017,Y021", L"--reject-title", L"NG"});
    EXPECT_EQ(State("first"), "Y010");
    std::string bits =
        "10000001"
        "01000000" +
        std::string(64, '0');
    auto states = SampleUntil(standin::SampledStates(bits, true), true);
    EXPECT_EQ(states, standin::SampledStates(bits, true)) << Describe(states);

    // Reported, not asserted: start-up time and the CPU an idle stand-in uses.
    FILETIME created, ended, kernel0, user0, kernel1, user1;
    GetProcessTimes(standin_.Process(), &created, &ended, &kernel0, &user0);
    Sleep(2000);
    GetProcessTimes(standin_.Process(), &created, &ended, &kernel1, &user1);
    auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const double cpuMs = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e4;
    RecordProperty("startup_ms", std::to_string(standin_.StartMilliseconds()));
    RecordProperty("idle_cpu_ms_per_2s", std::to_string(cpuMs));
    printf("stand-in: ready %.0f ms after start; %.1f ms CPU in 2 s idle\n",
           standin_.StartMilliseconds(), cpuMs);
}

TEST(StandinStartup, BadOptionsEndTheProgram) {
    for (auto options :
         {std::vector<std::wstring>{L"--first", L"X9G"},
          std::vector<std::wstring>{L"--size", L"0,0"}, std::vector<std::wstring>{L"--bogus"},
          std::vector<std::wstring>{L"--scale", L"0"},
          std::vector<std::wstring>{L"--scale", L"1.5x"}}) {
        standin::StandinClient client;
        EXPECT_THROW(client.Start(options), std::runtime_error);
        EXPECT_FALSE(client.Running());
    }
}

TEST(StandinStartup, EndOfInputEndsTheProgram) {
    // A test that dies without "quit" closes the stand-in's input; that alone ends it.
    standin::StandinClient client;
    client.Start({L"--pos", L"30,30"});
    client.CloseInput();
    EXPECT_EQ(WaitForSingleObject(client.Process(), 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(client.Process(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(FindWindowW(L"KorvexFrameWnd", nullptr), nullptr);
}

}  // namespace
}  // namespace standin_test
