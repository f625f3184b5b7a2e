// The real desktop's screen copy, under Wine: a window painted with one colour per row is
// copied back exactly, row for row, whether the rectangle is one band or several, and whatever
// size the previous copy had.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/desktop.h"
#include "platform/unique_handle.h"

namespace {

constexpr int kLeft = 60, kTop = 80, kWidth = 640, kHeight = 420;

// Row y of the pattern window: a colour no other row of the window has.
ui::Color RowColour(int y) {
    return {static_cast<uint8_t>(y & 0xFF), static_cast<uint8_t>(40 + (y >> 8) * 100), 0x5A};
}

LRESULT CALLBACK PatternProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_PAINT) return DefWindowProcW(wnd, msg, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    for (int y = 0; y < kHeight; ++y) {
        const ui::Color c = RowColour(y);
        platform::UniqueGdiObject brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
        RECT row{0, y, kWidth, y + 1};
        FillRect(dc, &row, static_cast<HBRUSH>(brush.get()));
    }
    EndPaint(wnd, &ps);
    return 0;
}

class DesktopCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PatternProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PelkanCapturePattern";
        RegisterClassW(&wc);
        wnd_.reset(CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                   kLeft, kTop, kWidth, kHeight, nullptr, nullptr,
                                   wc.hInstance, nullptr));
        ASSERT_TRUE(wnd_);
        UpdateWindow(wnd_.get());
        // Let the window reach the screen.
        for (int i = 0; i < 50; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(10);
        }
    }

    // Every row of a copy taken at screen row y must carry its own row colour, at its first,
    // middle and last pixel; returns the first row that does not.
    static int FirstWrongRow(const ui::Bitmap& shot, int y) {
        for (int row = 0; row < shot.Height(); ++row) {
            const ui::Color want = RowColour(y - kTop + row);
            for (int col : {0, shot.Width() / 2, shot.Width() - 1})
                if (!(shot.Pixel(col, row) == want)) return row;
        }
        return -1;
    }

    platform::UniqueWindow wnd_;
};

TEST_F(DesktopCaptureTest, CopiesEveryRowInPlaceWhateverTheSizeAndTheSizeBefore) {
    struct Case {
        int x, y, width, height;
    };
    // Several bands (the whole window), one small band, then several bands again, then the
    // same size as before at another place.
    const Case cases[] = {
        {kLeft, kTop, kWidth, kHeight},
        {kLeft + 150, kTop + 250, 100, 50},
        {kLeft + 10, kTop + 3, 600, 400},
        {kLeft + 30, kTop + 17, 600, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at +" +
                     std::to_string(c.x - kLeft) + ",+" + std::to_string(c.y - kTop));
        ui::Bitmap shot(c.width, c.height);
        ASSERT_TRUE(SystemDesktop().CaptureScreen(c.x, c.y, shot));
        EXPECT_EQ(FirstWrongRow(shot, c.y), -1);
    }
}

TEST_F(DesktopCaptureTest, AnEmptyBitmapCopiesNothing) {
    ui::Bitmap empty;
    EXPECT_FALSE(SystemDesktop().CaptureScreen(kLeft, kTop, empty));
}

}  // namespace

namespace {

// The unlocked session of the test run shows this program's desktop, and the time since its last
// input is known: otherwise every tick would stop as if the screen were locked.
TEST(DesktopSessionTest, AnUnlockedSessionShowsTheDesktopAndTellsItsLastInput) {
    EXPECT_TRUE(SystemDesktop().SessionShowsDesktop());
    EXPECT_TRUE(SystemDesktop().MillisecondsSinceLastInput().has_value());
}

}  // namespace
