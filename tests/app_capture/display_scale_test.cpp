// The automatic scale: the stretch the system gives another program's window, read from the
// window's awareness and DPI and its monitor's DPI, and a tick that samples a stretched grid with
// it.
#include "app/display_scale.h"

#include <gtest/gtest.h>

#include "app/fake_desktop.h"
#include "app/grid_capture.h"
#include "tests/app_capture/monitor_scene.h"

namespace {

using A = DpiAwareness;

TEST(DisplayScaleTest, TheStretchFollowsAwarenessWindowDpiAndMonitorDpi) {
    const struct {
        DpiAwareness awareness;
        uint32_t windowDpi;
        uint32_t monitorDpi;  // 96, 120, 144, 192: 100, 125, 150, 200 %
        double scale;
    } cases[] = {
        // Drawn at 96 DPI whatever the monitor: stretched by the monitor's scale.
        {A::Unaware, 96, 96, 1.0},
        {A::Unaware, 96, 120, 1.25},
        {A::Unaware, 96, 144, 1.5},
        {A::Unaware, 96, 192, 2.0},
        // Drawn at the system DPI: stretched only where the monitor's differs from it, shrunk on a
        // monitor below it.
        {A::SystemAware, 96, 96, 1.0},
        {A::SystemAware, 96, 144, 1.5},
        {A::SystemAware, 96, 192, 2.0},
        {A::SystemAware, 120, 120, 1.0},
        {A::SystemAware, 120, 192, 1.6},
        {A::SystemAware, 144, 144, 1.0},
        {A::SystemAware, 144, 96, 96.0 / 144},
        {A::SystemAware, 192, 120, 0.625},
        // Drawn at the monitor's DPI by the program itself: never stretched.
        {A::PerMonitorAware, 96, 96, 1.0},
        {A::PerMonitorAware, 120, 120, 1.0},
        {A::PerMonitorAware, 144, 144, 1.0},
        {A::PerMonitorAware, 192, 192, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "awareness " << static_cast<int>(c.awareness)
                                          << " window " << c.windowDpi << " monitor "
                                          << c.monitorDpi);
        FakeDesktop desktop;
        const Wnd top = desktop.AddWindow(kNoWnd, L"Top", L"", {0, 0, 800, 600});
        const Wnd grid = desktop.AddWindow(top, L"Grid", L"", {10, 10, 700, 500});
        desktop.Get(top).awareness = c.awareness;
        desktop.Get(top).dpi = c.windowDpi;
        desktop.monitorDpi = c.monitorDpi;
        EXPECT_DOUBLE_EQ(DisplayStretch(desktop.GetWindowDpi(grid)), c.scale);
        CaptureSettings stored;  // auto
        stored.Scale = 3.0;
        EXPECT_DOUBLE_EQ(SettingsForGrid(desktop, grid, stored).Scale, c.scale);
        stored.AutoScale = false;  // a number stays in force
        EXPECT_DOUBLE_EQ(SettingsForGrid(desktop, grid, stored).Scale, 3.0);
    }
}

TEST(DisplayScaleTest, AWindowOrASystemThatCannotTellGivesOne) {
    FakeDesktop desktop;
    const Wnd top = desktop.AddWindow(kNoWnd, L"Top", L"", {0, 0, 800, 600});
    desktop.Get(top).awareness = A::Unaware;
    desktop.monitorDpi = 144;
    EXPECT_DOUBLE_EQ(DisplayStretch(desktop.GetWindowDpi(top)), 1.5);
    EXPECT_DOUBLE_EQ(DisplayStretch(desktop.GetWindowDpi(kNoWnd)), 1.0);
    desktop.dpiUnknown = true;  // a Windows before the DPI calls
    EXPECT_DOUBLE_EQ(DisplayStretch(desktop.GetWindowDpi(top)), 1.0);
    EXPECT_DOUBLE_EQ(DisplayStretch(WindowDpi{A::SystemAware, 0, 144}), 1.0);
}

// The grid of an application that is not DPI aware, on a monitor at 150 %: the system draws it
// half as large again, in the physical pixels Pelkan sees.
TEST(DisplayScaleTest, ATickSamplesAStretchedGridWithAutoAndWithTheRightNumberOnly) {
    const struct {
        const char* name;
        DpiAwareness awareness;
        uint32_t windowDpi;
        double drawnAt;  // what the grid appears at on the screen
        CaptureSettings settings;
        bool right;
    } cases[] = {
        {"auto, unaware at 150 %", A::Unaware, 96, 1.5, CaptureSettings{}, true},
        {"auto, system aware at 96 DPI on 150 %", A::SystemAware, 96, 1.5, CaptureSettings{},
         true},
        {"auto, per-monitor aware", A::PerMonitorAware, 144, 1.0, CaptureSettings{}, true},
        {"the number 1.5", A::Unaware, 96, 1.5, {.Scale = 1.5, .AutoScale = false}, true},
        {"the number 1 typed before", A::Unaware, 96, 1.5, {.Scale = 1.0, .AutoScale = false},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        MonitorScene scene{desktop, c.drawnAt};
        desktop.monitorDpi = 144;
        desktop.Get(scene.frame).awareness = c.awareness;
        desktop.Get(scene.frame).dpi = c.windowDpi;
        for (size_t i = 0; i < kBitCount; ++i) scene.states[i] = (i * 7 % 3 == 0) ? 1 : 0;
        scene.Paint();
        FakeView view;
        GridCapture store;
        store.LastDeviceName = L"X000";
        ASSERT_EQ(CaptureTick(desktop, view, c.settings, store), TickResult::Sampled);
        if (c.right)
            EXPECT_EQ(store.BitStates, scene.states);
        else
            EXPECT_NE(store.BitStates, scene.states);
    }
}

}  // namespace
