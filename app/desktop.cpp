// The choice of desktop: the system's, or the one a test put in place.
#include "app/desktop.h"

#include <algorithm>

namespace {
Desktop* testDesktop = nullptr;  // main thread only
}

Desktop& DefaultDesktop();  // desktop_win.cpp or desktop_host.cpp

Desktop& SystemDesktop() { return testDesktop ? *testDesktop : DefaultDesktop(); }

void SetDesktopForTest(Desktop* desktop) { testDesktop = desktop; }

namespace {

// One axis: the centre of pixel (v - origin) of `extent` pixels, in 65536ths of the extent.
int32_t NormaliseAxis(int32_t v, int32_t origin, int32_t extent) {
    if (extent <= 0) return 0;
    const int64_t pixel = std::clamp<int64_t>(int64_t{v} - origin, 0, extent - 1);
    return static_cast<int32_t>(std::min<int64_t>((pixel * 65536 + 32768) / extent, 65535));
}

int32_t PixelOfAxis(int32_t n, int32_t origin, int32_t extent) {
    return static_cast<int32_t>(origin + (int64_t{n} * extent) / 65536);
}

}  // namespace

NormalisedPoint NormaliseToVirtualScreen(DesktopPoint point, const DesktopRect& screen) {
    return {NormaliseAxis(point.x, screen.left, screen.right - screen.left),
            NormaliseAxis(point.y, screen.top, screen.bottom - screen.top)};
}

DesktopPoint PixelOfNormalised(NormalisedPoint point, const DesktopRect& screen) {
    return {PixelOfAxis(point.dx, screen.left, screen.right - screen.left),
            PixelOfAxis(point.dy, screen.top, screen.bottom - screen.top)};
}
