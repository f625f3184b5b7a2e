#include "app/display_scale.h"

double DisplayStretch(const std::optional<WindowDpi>& dpi) {
    if (!dpi || dpi->windowDpi == 0 || dpi->monitorDpi == 0) return 1.0;
    switch (dpi->awareness) {
        case DpiAwareness::Unaware: return dpi->monitorDpi / 96.0;
        case DpiAwareness::SystemAware:
            return static_cast<double>(dpi->monitorDpi) / static_cast<double>(dpi->windowDpi);
        case DpiAwareness::PerMonitorAware: return 1.0;
    }
    return 1.0;
}

CaptureSettings SettingsForGrid(Desktop& desktop, Wnd grid, const CaptureSettings& stored) {
    if (!stored.AutoScale) return stored;
    CaptureSettings used = stored;
    used.Scale = DisplayStretch(desktop.GetWindowDpi(grid));
    return used;
}
