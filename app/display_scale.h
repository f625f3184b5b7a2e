// The display scale: how much larger than the application's own pixels its grid appears on the
// screen, read from the grid window's DPI when the settings ask for it ("auto").
#pragma once
#include <optional>

#include "app/desktop.h"
#include "app/settings.h"

// The stretch the system applies to a window, in the screen's physical pixels (Pelkan is
// per-monitor aware, so it sees every window that way): an unaware window is drawn at 96 DPI and
// stretched to its monitor's DPI, a system-aware one is drawn at the system DPI (its window DPI)
// and stretched to its monitor's, a per-monitor-aware one draws at its monitor's DPI itself and is
// not stretched. 1 when the DPI is unknown.
double DisplayStretch(const std::optional<WindowDpi>& dpi);

// The settings to sample and click the grid with: as stored when the scale is a number; with the
// scale set to the grid window's stretch when it is automatic.
CaptureSettings SettingsForGrid(Desktop& desktop, Wnd grid, const CaptureSettings& stored);
