// What the tests of the stand-in see of it, found and read the way Pelkan finds and reads the
// monitor: windows by class, title prefix and child path; grid pixels copied from the screen.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin_test {

struct MonitorWindows {
    HWND frame = nullptr;
    HWND monitor = nullptr;
    HWND field = nullptr;
    HWND grid = nullptr;
};

// Frame by class "KorvexFrameWnd", monitor by title prefix among the frame's descendants,
// field by the fixed child path, grid by class among the frame's descendants.
MonitorWindows FindMonitor();

std::wstring WindowText(HWND wnd);
std::wstring ClassName(HWND wnd);

// A 24-bit copy of a screen rectangle.
struct ScreenImage {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;  // top-down rows of width * 3 bytes, padded to 4
    size_t Stride() const { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }
    COLORREF At(int x, int y) const;
};
ScreenImage CaptureScreen(int x, int y, int width, int height);

// Sampling at the default capture geometry (scale 1): cell column v (0 = leftmost), cell row r.
int SampleX(int column);
int SampleY(int row);
constexpr int kCaptureLeft = 243, kCaptureWidth = 504, kCaptureHeight = 372;

// States read from a capture of the grid as Pelkan reads them: entry r*16 + b for bit b of
// row r; 1 pure blue, 0 pure white, -1 anything else; 8 bits per row in FX mode (entries 8..15
// of a row are then -2, not sampled). A grid drawn stretched by `scale` is sampled at the
// default points times the scale.
std::vector<int> SampleStates(const ScreenImage& grid, bool fx, double scale = 1.0);

// A foreground request for a window, as Windows treats it: its top-level window comes to the
// front and is activated.
void BringToFront(HWND wnd);
// Pelkan's key press: foreground request on the window, then key down and key up.
void PressKey(HWND wnd, BYTE key);
// A left click at a screen point: cursor there, button down, button up.
void ClickAt(int x, int y);
void ShiftEnter();

}  // namespace standin_test
