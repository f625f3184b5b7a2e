// The timer tick on the fake desktop: window search, capture frame arithmetic, sampling, the
// controller switch, the last-changed display and the first-device tracking.
#include "app/grid_capture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/app_capture/monitor_scene.h"

namespace {

using Field = BridgeView::Field;
using Kind = DesktopEvent::Kind;

struct TickFixture : ::testing::Test {
    FakeDesktop desktop;
    MonitorScene scene{desktop};
    FakeView view;
    CaptureSettings settings;
    GridCapture store;

    TickResult Tick() { return CaptureTick(desktop, view, settings, store); }
    std::vector<DesktopEvent> EventsOf(Kind kind) const {
        std::vector<DesktopEvent> out;
        for (const auto& e : desktop.events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

TEST(CaptureFrameTest, DefaultGeometryGivesTheListedSamplePoints) {
    CaptureSettings s;  // 1.0, 504, 372, 243, 8, 6
    CaptureFrame f = ComputeCaptureFrame({100, 150, 900, 550}, s);
    EXPECT_EQ(f.CaptX, 343);
    EXPECT_EQ(f.CaptY, 150);
    EXPECT_EQ(f.CellW, 31.5);
    EXPECT_EQ(CaptureWidth(f), 504);
    EXPECT_EQ(CaptureHeight(f), 372);
    std::vector<int> ys, xs;
    for (int r = 0; r < 10; ++r) ys.push_back(SampleY(f, s, r));
    for (int v = 0; v < 16; ++v) xs.push_back(SampleX(f, s, v));
    EXPECT_THAT(ys, ::testing::ElementsAre(39, 73, 107, 141, 175, 208, 242, 276, 310, 344));
    EXPECT_THAT(xs, ::testing::ElementsAre(8, 39, 71, 102, 134, 165, 197, 228, 260, 291, 323, 354,
                                           386, 417, 449, 480));
}

TEST(CaptureFrameTest, PickOffsetsTenAndEightMoveEveryPointTwoPixels) {
    CaptureSettings s;
    s.pickXOff = 10;
    s.pickYOff = 8;
    CaptureFrame f = ComputeCaptureFrame({0, 0, 0, 0}, s);
    EXPECT_EQ(SampleY(f, s, 0), 41);
    EXPECT_EQ(SampleY(f, s, 9), 346);
    EXPECT_EQ(SampleX(f, s, 0), 10);
    EXPECT_EQ(SampleX(f, s, 8), 262);  // the controller pixel
    EXPECT_EQ(SampleX(f, s, 15), 482);
}

// A frame whose corner lies at the end of the 32-bit range has no screen point past it; the
// automation must not click a point that wrapped around to the other side.
TEST(CaptureFrameTest, ScreenSamplePointsThatLeaveTheIntegerRangeAreNone) {
    CaptureSettings s;
    CaptureFrame f = ComputeCaptureFrame({100, 150, 900, 550}, s);
    EXPECT_EQ(ScreenSamplePoint(f, s, 15, 9), (DesktopPoint{343 + 480, 150 + 344}));
    const int32_t kMax = std::numeric_limits<int32_t>::max();
    const int32_t kMin = std::numeric_limits<int32_t>::min();
    const CaptureFrame edges[] = {
        {kMax - 3, 0, 31.5, 372.0 / 11},
        {0, kMax - 3, 31.5, 372.0 / 11},
    };
    for (const CaptureFrame& e : edges) {
        EXPECT_EQ(ScreenSamplePoint(e, s, 0, 0), std::nullopt) << e.CaptX << "," << e.CaptY;
    }
    EXPECT_EQ(ScreenSamplePoint({kMin, 0, 31.5, 372.0 / 11}, s, 0, 0),
              (DesktopPoint{kMin + 8, 39}));
    s.pickXOff = -10;  // to the left of the frame: below the smallest integer
    EXPECT_EQ(ScreenSamplePoint({kMin, 0, 31.5, 372.0 / 11}, s, 0, 0), std::nullopt);
    EXPECT_EQ(ScreenSamplePoint({kMin + 10, 0, 31.5, 372.0 / 11}, s, 0, 0),
              (DesktopPoint{kMin, 39}));
}

TEST(CaptureFrameTest, ScaledSizesUseExtendedProductsOfRoundedCellSizes) {
    struct Case {
        double scale;
        int32_t captW, captH, captL, left;
        int32_t captX, width, height;
    };
    const Case cases[] = {
        // 558 / 11 stored as a double times 11 in extended precision falls just short of 558.
        {1.5, 504, 372, 243, 100, 464, 756, 557},
        {1.25, 504, 372, 243, 100, 403, 630, 465},
        {2.0, 504, 372, 243, -10, 476, 1008, 744},
        {1.0, 504, 372, 243, -300, -57, 504, 372},  // truncation toward zero, not down
        {0.001, 504, 372, 243, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CaptureSettings s;
        s.Scale = c.scale;
        s.captW = c.captW;
        s.captH = c.captH;
        s.captL = c.captL;
        CaptureFrame f = ComputeCaptureFrame({c.left, 7, 0, 0}, s);
        EXPECT_EQ(f.CaptX, c.captX) << "scale " << c.scale << " left " << c.left;
        EXPECT_EQ(CaptureWidth(f), c.width) << "scale " << c.scale;
        EXPECT_EQ(CaptureHeight(f), c.height) << "scale " << c.scale;
    }
}

TEST_F(TickFixture, SamplesEveryCellWithTheLeftmostColumnAsTheHighestBit) {
    for (size_t i = 0; i < kBitCount; ++i) scene.states[i] = (i * 7 % 3 == 0) ? 1 : 0;
    scene.states[5 * 16 + 3] = -1;
    scene.Paint();
    store.LastDeviceName = L"X000";  // no change of first device: the samples stay
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(store.BitStates, scene.states);
    EXPECT_EQ(store.PrevBitStates, scene.states);
    EXPECT_FALSE(view.fx);
    EXPECT_EQ(view.checkBoxClicks, 0);
    EXPECT_EQ(store.CaptX, 343);
    EXPECT_EQ(store.CaptY, 150);
    EXPECT_EQ(view.FieldText(Field::FirstDevice), L"X000");
}

TEST_F(TickFixture, ImageHoldsTheGridWithARedMarkerOnEverySamplePoint) {
    scene.states[0] = 1;
    scene.Paint();
    ASSERT_EQ(Tick(), TickResult::Sampled);
    ASSERT_EQ(view.imagesShown, 1);
    ASSERT_EQ(view.image.Width(), 504);
    ASSERT_EQ(view.image.Height(), 372);
    const ui::Color red{255, 0, 0};
    // Marker at column 15 (bit 0) of row 0: x 480, y 39; the 4 x 4 box without its corners.
    EXPECT_EQ(view.image.Pixel(480, 39), red);
    EXPECT_EQ(view.image.Pixel(478, 39), red);
    EXPECT_EQ(view.image.Pixel(481, 39), red);
    EXPECT_EQ(view.image.Pixel(479, 37), red);
    EXPECT_NE(view.image.Pixel(478, 37), red);    // a corner of the box
    EXPECT_EQ(view.image.Pixel(483, 39), kBlue);  // beyond the box
    EXPECT_EQ(view.image.Pixel(490, 45), kBlue);  // the cell itself is copied
    EXPECT_EQ(view.image.Pixel(20, 50), kWhite);
}

TEST_F(TickFixture, ControllerPixelSwitchesFxModeAndEightBitRowsKeepTheirUpperEntries) {
    // A 16-bit sample with bit 7 ON: the blue ninth cell keeps FX mode off.
    for (size_t r = 0; r < 10; ++r) scene.states[r * 16 + 7] = 1;
    for (size_t r = 0; r < 10; ++r) scene.states[r * 16 + 12] = 1;
    scene.Paint();
    store.LastDeviceName = L"X000";
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_FALSE(view.fx);
    EXPECT_EQ(store.BitStates[12], 1);

    // The monitor switches to 8-bit rows: FX mode on, ShowFxCaptions once, entries 8 to 15 kept.
    scene.fx = true;
    scene.states = {};
    scene.states[16 + 2] = 1;
    scene.Paint();
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_TRUE(view.fx);
    EXPECT_EQ(view.checkBoxClicks, 1);
    for (size_t r = 0; r < 10; ++r) {
        EXPECT_EQ(store.BitStates[r * 16 + 12], 1) << "row " << r;
        EXPECT_EQ(store.BitStates[r * 16 + 7], 0) << "row " << r;
    }
    EXPECT_EQ(store.BitStates[16 + 2], 1);

    // Still FX: no further click.
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(view.checkBoxClicks, 1);

    // Back to 16 bits with a white ninth cell.
    scene.fx = false;
    scene.states = {};
    scene.Paint();
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_FALSE(view.fx);
    EXPECT_EQ(view.checkBoxClicks, 2);
}

TEST_F(TickFixture, DisplayShowsTheChangedEntryWithTheHighestIndex) {
    struct Case {
        bool fx;
        std::wstring first;
        std::vector<std::pair<size_t, int8_t>> before, after;
        std::wstring device, state;
    };
    const Case cases[] = {
        // Two bits turn ON in one tick: the higher index wins.
        {false, L"X000", {}, {{3, 1}, {16 * 2 + 10, 1}}, L"X02A", L"ON"},
        {false, L"Y1F0", {{5, 1}}, {{5, 0}}, L"Y1F5", L"OFF"},
        // Undecided to ON is no change; OFF to ON is.
        {false, L"X000", {{9, -1}}, {{9, 1}}, L"", L""},
        {false, L"X000", {{9, -1}, {4, 0}}, {{9, 1}, {4, 1}}, L"X004", L"ON"},
        {true, L"X020", {}, {{16 * 3 + 6, 1}}, L"X056", L"ON"},
        // A first device that is not a number counts from 0.
        {true, L"Xzz", {}, {{16 + 1, 1}}, L"X011", L"ON"},
        // The last rows of the last first device a monitor shows are named past it; a first
        // device beyond it is no view, and no change is named (its numbers would overflow).
        {false, L"XFFFFF0", {}, {{16 * 9 + 15, 1}}, L"X100008F", L"ON"},
        {false, L"X7FFFFFFF", {}, {{16 * 9 + 15, 1}}, L"", L""},
        {true, L"X17777777777", {}, {{16 * 9 + 7, 1}}, L"", L""},
        {false, L"X" + std::wstring(30, L'0') + L"10", {}, {{1, 1}}, L"", L""},
    };
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene s(d);
        FakeView v;
        GridCapture st;
        d.SendSetText(s.field, c.first);
        s.fx = c.fx;
        v.fx = c.fx;
        for (auto [i, x] : c.before) s.states[i] = x;
        s.Paint();
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled);  // new first device
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled);  // fresh baseline
        v.texts[Field::ChangedDevice] = v.texts[Field::ChangedState] = L"";
        for (auto [i, x] : c.after) s.states[i] = x;
        s.Paint();
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled);
        EXPECT_EQ(v.FieldText(Field::ChangedDevice), c.device) << "first " << c.first;
        EXPECT_EQ(v.FieldText(Field::ChangedState), c.state) << "first " << c.first;
    }
}

TEST_F(TickFixture, NewFirstDeviceClearsTheTablesAndTheNextTickShowsTheHighestOn) {
    scene.states[2] = 1;
    scene.states[40] = 1;
    scene.Paint();
    view.texts[Field::ChangedDevice] = L"old";
    view.texts[Field::ToggleTarget] = L"X123";

    // The first tick sees X000 for the first time.
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_TRUE(store.DeviceChanged);
    EXPECT_EQ(view.FieldText(Field::ToggleTarget), L"X000");
    EXPECT_EQ(view.FieldText(Field::RequestedFirst), L"X000");
    EXPECT_EQ(view.FieldText(Field::ChangedDevice), L"");
    EXPECT_EQ(store.BitStates, (std::array<int8_t, kBitCount>{}));
    EXPECT_EQ(store.PrevBitStates, (std::array<int8_t, kBitCount>{}));

    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_FALSE(store.DeviceChanged);
    EXPECT_EQ(view.FieldText(Field::ChangedDevice), L"X028");
    EXPECT_EQ(view.FieldText(Field::ChangedState), L"ON");
}

TEST_F(TickFixture, AChangeSeenByATickThatEndsAtTheGridCheckNeverClearsTheTables) {
    scene.states[1] = 1;
    scene.Paint();
    store.LastDeviceName = L"X000";
    ASSERT_EQ(Tick(), TickResult::Sampled);
    ASSERT_EQ(store.BitStates[1], 1);

    desktop.SendSetText(scene.field, L"X100");
    Wnd cover = scene.Cover();
    desktop.refuseForeground = true;
    ASSERT_EQ(Tick(), TickResult::GridCovered);
    EXPECT_TRUE(store.DeviceChanged);
    EXPECT_EQ(view.FieldText(Field::FirstDevice), L"X100");
    EXPECT_EQ(view.FieldText(Field::RequestedFirst), L"X100");
    EXPECT_EQ(store.BitStates[1], 1);

    desktop.DestroyWindow(cover);
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_FALSE(store.DeviceChanged);
    EXPECT_EQ(store.BitStates[1], 1);
}

TEST_F(TickFixture, FrameMissingHiddenOrMinimisedEndsTheTickAtOnce) {
    scene.states[0] = 1;
    scene.Paint();
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"hidden",
         [&] {
             desktop.Get(scene.frame).visible = false;
             desktop.Get(scene.frame).iconic = false;
         }},
        {"minimised",
         [&] {
             desktop.Get(scene.frame).visible = true;
             desktop.Get(scene.frame).iconic = true;
         }},
        {"missing", [&] { desktop.DestroyWindow(scene.frame); }},
    };
    for (const Case& c : cases) {
        c.arrange();
        desktop.events.clear();
        EXPECT_EQ(Tick(), TickResult::FrameMissing) << c.name;
        EXPECT_TRUE(desktop.events.empty()) << c.name;
        EXPECT_EQ(view.FieldText(Field::FirstDevice), L"") << c.name;
        EXPECT_EQ(view.imagesShown, 0) << c.name;
        EXPECT_EQ(store.BitStates[0], 0) << c.name;
    }
}

// Requests for the foreground of either kind, the plain one and the one that shares input.
size_t ForegroundRequests(const FakeDesktop& desktop) {
    return static_cast<size_t>(std::count_if(desktop.events.begin(), desktop.events.end(),
                                             [](const DesktopEvent& e) {
                                                 return e.kind == Kind::Foreground ||
                                                        e.kind == Kind::ForegroundRequest;
                                             }));
}

// A person typing in another program's window over the grid keeps the foreground however many
// ticks run: the keys they type never go to the application.
TEST_F(TickFixture, APersonWorkingOverTheGridKeepsTheForegroundTickAfterTick) {
    const Wnd cover = scene.Cover();
    desktop.SetForegroundWindow(cover);
    desktop.events.clear();
    for (int tick = 0; tick < 8; ++tick) {
        desktop.msSinceLastInput = 0;  // a key, between two ticks
        EXPECT_EQ(Tick(), TickResult::GridCovered) << tick;
        EXPECT_EQ(desktop.Foreground(), cover) << tick;
    }
    EXPECT_EQ(ForegroundRequests(desktop), 0u);
    EXPECT_TRUE(EventsOf(Kind::Sleep).empty());
}

// Over many ticks of one covering: whether the tick asks for the foreground, and how often.
TEST_F(TickFixture, ACoveredGridGetsAtMostOnePlainForegroundRequestPerCovering) {
    struct Case {
        const char* name;
        uint32_t idleMs;            // since the session's last input, at each tick
        bool minimisedInFrame;      // the monitor is minimised inside the application's frame
        bool grant;                 // the system grants the plain request (as Wine does)
        size_t requests;            // plain requests over all the ticks
        TickResult lastResult;
    };
    const Case cases[] = {
        {"nobody works, refused", kPersonAtWorkMs, false, false, 1, TickResult::GridCovered},
        {"nobody works, granted", 60000, false, true, 1, TickResult::Sampled},
        {"input just now", 0, false, false, 0, TickResult::GridCovered},
        {"input just inside the window", kPersonAtWorkMs - 1, false, true, 0,
         TickResult::GridCovered},
        {"minimised in the frame", 60000, true, true, 0, TickResult::GridCovered},
    };
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene sc{d};
        FakeView v;
        GridCapture st;
        const Wnd cover = sc.Cover();
        d.SetForegroundWindow(cover);
        d.grantPlainForeground = c.grant;
        d.Get(sc.monitor).iconic = c.minimisedInFrame;
        d.events.clear();
        TickResult result{};
        for (int tick = 0; tick < 5; ++tick) {
            d.msSinceLastInput = c.idleMs;
            result = CaptureTick(d, v, settings, st);
        }
        EXPECT_EQ(result, c.lastResult) << c.name;
        size_t plain = 0;
        for (const auto& e : d.events) {
            EXPECT_NE(e.kind, Kind::Foreground) << c.name << ": input shared with the front";
            if (e.kind == Kind::ForegroundRequest) {
                EXPECT_EQ(e.wnd, sc.frame) << c.name;
                ++plain;
            }
        }
        EXPECT_EQ(plain, c.requests) << c.name;
        EXPECT_EQ(d.Foreground(), c.grant && c.requests ? sc.frame : cover) << c.name;
    }
}

// Once the grid has been seen uncovered, the next covering may ask once more.
TEST_F(TickFixture, AGridSeenUncoveredMayAskAgainAtTheNextCovering) {
    Wnd cover = scene.Cover();
    desktop.SetForegroundWindow(cover);
    desktop.events.clear();
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(Tick(), TickResult::GridCovered);
    EXPECT_EQ(EventsOf(Kind::ForegroundRequest),
              (std::vector<DesktopEvent>{DesktopEvent::ForegroundRequest(scene.frame)}));
    EXPECT_EQ(EventsOf(Kind::Sleep), (std::vector<DesktopEvent>{DesktopEvent::Sleep(100)}));
    EXPECT_EQ(view.imagesShown, 0);

    desktop.DestroyWindow(cover);
    desktop.events.clear();
    EXPECT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(ForegroundRequests(desktop), 0u);

    cover = scene.Cover();
    desktop.SetForegroundWindow(cover);
    desktop.events.clear();
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(Tick(), TickResult::GridCovered);
    EXPECT_EQ(EventsOf(Kind::ForegroundRequest),
              (std::vector<DesktopEvent>{DesktopEvent::ForegroundRequest(scene.frame)}));
}

// While the session is locked, disconnected or switched away a screen copy comes back black and
// input reaches nothing: the tick copies nothing, sends nothing and changes no state.
TEST_F(TickFixture, ALockedSessionIsNeitherCopiedNorTouched) {
    scene.states[0] = 1;
    scene.Paint();
    store.LastDeviceName = L"X000";
    ASSERT_EQ(Tick(), TickResult::Sampled);
    const auto sampled = store.BitStates;
    ASSERT_EQ(sampled[0], 1);
    const int images = view.imagesShown;

    desktop.sessionLocked = true;
    desktop.SendSetText(scene.field, L"");  // a tick would type X000 and Enter here
    desktop.events.clear();
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(Tick(), TickResult::SessionLocked);
    EXPECT_TRUE(desktop.events.empty());
    EXPECT_EQ(store.BitStates, sampled);
    EXPECT_FALSE(view.fx);
    EXPECT_EQ(view.imagesShown, images);

    desktop.sessionLocked = false;
    EXPECT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(store.BitStates, sampled);
}

TEST_F(TickFixture, MonitorClosedLeavesEditOneEmptyAndPressesNoKey) {
    desktop.DestroyWindow(scene.monitor);
    desktop.events.clear();
    EXPECT_EQ(Tick(), TickResult::GridCovered);  // the kept grid handle is gone too
    EXPECT_EQ(store.DeviceFieldWnd, kNoWnd);
    EXPECT_EQ(view.FieldText(Field::FirstDevice), L"");
    EXPECT_TRUE(EventsOf(Kind::Key).empty());
    EXPECT_TRUE(EventsOf(Kind::SetText).empty());
}

TEST_F(TickFixture, EmptyFieldIsSetToX000WithEnterThatReachesTheField) {
    desktop.SendSetText(scene.field, L"");
    // The grid had the focus, as after a click on a cell.
    desktop.FocusWindow(scene.grid);
    desktop.events.clear();
    EXPECT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(view.FieldText(Field::FirstDevice), L"X000");
    EXPECT_EQ(
        EventsOf(Kind::Key),
        (std::vector<DesktopEvent>{DesktopEvent::Key(scene.field, vk::Return),
                                   DesktopEvent::Key(scene.field, vk::Return, kKeyEventKeyUp)}));
    EXPECT_EQ(scene.acceptedNames, std::vector<std::wstring>{L"X000"});
}

TEST_F(TickFixture, KeptHandlesSurviveASearchThatFindsNothing) {
    ASSERT_EQ(Tick(), TickResult::Sampled);
    const Wnd monitor = store.MonitorWnd;
    const Wnd grid = store.GridWnd;
    // The monitor's title changes and the grid's class is no longer found: both are kept.
    desktop.Get(scene.monitor).text = L"Other";
    desktop.Get(scene.grid).className = L"Other";
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(store.MonitorWnd, monitor);
    EXPECT_EQ(store.GridWnd, grid);
    EXPECT_EQ(store.DeviceFieldWnd, scene.field);
}

// Another spreadsheet of the application ahead of the monitor in window order (a label list, a
// second view) is never taken for the monitor's grid: the grid is looked for under the monitor
// this tick found, and under the frame only when the monitor holds none.
TEST_F(TickFixture, TheGridIsTheMonitorsOwnNotAnotherSpreadsheetAheadOfIt) {
    struct Case {
        const char* name;
        bool nested;           // the other spreadsheet lies inside another window of the frame
        bool monitorHasGrid;   // false: the monitor's own grid is not a spreadsheet
        bool otherIsTheGrid;   // the tick takes the other spreadsheet
    };
    const Case cases[] = {
        {"a spreadsheet ahead, directly under the frame", false, true, false},
        {"a spreadsheet ahead, inside another window", true, true, false},
        {"the monitor holds no spreadsheet", false, false, true},
    };
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene s(d);
        s.states[0] = 1;
        s.Paint();
        FakeView v;
        GridCapture st;
        st.LastDeviceName = L"X000";  // no new first device: the samples stay
        // Ahead of the monitor: inside the frame's first child, or as a sibling placed first.
        const Wnd first = d.GetFirstChild(s.frame);
        Wnd holder = first;
        if (c.nested) holder = d.AddWindow(first, L"Pane", L"labels", {0, 600, 300, 800});
        const Wnd other =
            d.AddWindow(holder, L"SPR32AU70_SpreadSheet", L"", {10, 610, 290, 790});
        if (!c.monitorHasGrid) d.Get(s.grid).className = L"Other";

        CaptureTick(d, v, settings, st);

        EXPECT_EQ(st.GridWnd, c.otherIsTheGrid ? other : s.grid) << c.name;
        if (!c.otherIsTheGrid) {
            EXPECT_EQ(st.CaptX, s.GridCorner().x) << c.name;
            EXPECT_EQ(st.BitStates[0], 1) << c.name;
        }
    }
}

TEST_F(TickFixture, SamplePointsOutsideTheImageAreUndecidedAndAnEmptyImageSamplesNothing) {
    for (auto& s : scene.states) s = 1;
    scene.Paint();
    store.LastDeviceName = L"X000";
    settings.pickXOff = 40;  // past every cell: the last columns' points leave the image
    ASSERT_EQ(Tick(), TickResult::Sampled);
    EXPECT_EQ(store.BitStates[0], -1);  // column 15 lies at 512.5 + ... > 504
    EXPECT_FALSE(view.fx);              // the controller pixel is inside and blue

    // Row 0's points lie above the image (y -2), row 2's land in the first cell row.
    settings.pickXOff = 8;
    settings.pickYOff = -36;
    ASSERT_EQ(Tick(), TickResult::Sampled);
    for (size_t b = 0; b < 16; ++b) EXPECT_EQ(store.BitStates[b], -1) << b;
    EXPECT_EQ(store.BitStates[32], 1);
    EXPECT_FALSE(view.fx);  // no colour at the controller point: FX mode unchanged

    settings = {};
    settings.captW = 0;
    view.imagesShown = 0;
    EXPECT_EQ(Tick(), TickResult::NothingCaptured);
    EXPECT_EQ(view.imagesShown, 0);
}

TEST(WindowRoutinesTest, TextsClassesAndTheKeyForAChildThatRefusesTheFocus) {
    FakeDesktop d;
    MonitorScene s(d);
    EXPECT_EQ(GetWndText(d, s.field), L"X000");
    EXPECT_EQ(GetWndText(d, kNoWnd), L"");
    EXPECT_FALSE(SetWndText(d, kNoWnd, L"X"));
    EXPECT_EQ(GetWndClass(d, s.grid), L"SPR32AU70_SpreadSheet");
    EXPECT_EQ(GetWndClass(d, 0xdead), L"");
    d.Get(s.grid).className = std::wstring(60, L'c');
    EXPECT_EQ(GetWndClass(d, s.grid), std::wstring(49, L'c'));

    d.Get(s.field).acceptsFocus = false;
    d.events.clear();
    EXPECT_FALSE(PressKey(d, s.field, vk::Return));
    for (const auto& e : d.events) EXPECT_NE(e.kind, DesktopEvent::Kind::Key);

    // A top-level window: foreground request, then the key, as before.
    Wnd box = s.ShowRejectionBox();
    d.events.clear();
    EXPECT_TRUE(PressKey(d, box, vk::Return));
    ASSERT_EQ(d.events.size(), 3u);
    EXPECT_EQ(d.events[0], DesktopEvent::Foreground(box));
    EXPECT_EQ(d.events[1].value, vk::Return);
    EXPECT_EQ(d.events[2].flags, kKeyEventKeyUp);
}

TEST_F(TickFixture, ATickGivesUpAtTheFirstCallTheMonitorLeavesUnanswered) {
    using Answer = FakeDesktop::Window::Answer;
    struct Case {
        const char* name;
        Answer answer;
        uint32_t waited;  // what the one unanswered call cost
    };
    const Case cases[] = {{"silent", Answer::Silent, kMonitorCallTimeoutMs},
                          {"reported hung", Answer::ReportedHung, 0}};
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene s(d);
        s.states[3] = 1;
        s.Paint();
        FakeView v;
        GridCapture st;
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled) << c.name;
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled) << c.name;
        const auto states = st.BitStates;
        ASSERT_EQ(states[3], 1) << c.name;

        s.Answer(c.answer);
        s.states[3] = 0;
        s.Paint();
        d.events.clear();
        EXPECT_EQ(CaptureTick(d, v, settings, st), TickResult::MonitorNotAnswering) << c.name;
        EXPECT_EQ(d.events, (std::vector<DesktopEvent>{DesktopEvent::NoAnswer(s.field, c.waited)}))
            << c.name;
        // What the last tick sampled stays for READ; nothing is typed into the silent field.
        EXPECT_EQ(v.FieldText(Field::FirstDevice), L"X000") << c.name;
        EXPECT_EQ(st.BitStates, states) << c.name;
        EXPECT_EQ(d.Get(s.field).text, L"X000") << c.name;

        // Sampled again as soon as the monitor answers.
        s.Answer(Answer::Yes);
        EXPECT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled) << c.name;
        EXPECT_EQ(st.BitStates[3], 0) << c.name;
    }
}

TEST_F(TickFixture, AnEmptyFieldGetsNoKeyWhileAnotherProgramKeepsTheForeground) {
    desktop.SendSetText(scene.field, L"");
    const Wnd notes = scene.AnotherProgramInFront();
    desktop.refuseForeground = true;
    desktop.events.clear();
    Tick();
    EXPECT_TRUE(EventsOf(Kind::Key).empty());
    EXPECT_EQ(desktop.Focus(), notes);
    // The field is left as it was found, for the next tick to try again.
    EXPECT_EQ(desktop.Get(scene.field).text, L"");
    EXPECT_TRUE(scene.acceptedNames.empty());
}

}  // namespace
