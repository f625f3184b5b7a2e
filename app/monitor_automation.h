// The two actions that drive the monitor with synthesised input: "先頭変更" types a new first
// device into the monitor's field, "反転" clicks a grid cell and toggles its bit with Shift+Enter.
// Both dismiss the dialogs the monitor may raise, and both pause the timer while they run.
#pragma once
#include <span>
#include <string>

#include "app/grid_capture.h"

// The titles under which the monitor's message box rejects a typed first device; the first is
// looked for first. They come from the settings file.
struct RejectionTitles {
    std::wstring first;
    std::wstring second;
};

// What the actions read and write besides the desktop and the main window.
struct AutomationContext {
    Desktop& desktop;
    BridgeView& view;
    const CaptureSettings& settings;
    // The windows the latest tick found, and its frame for "先頭変更"'s click; "反転" reads the
    // first device and the grid's place itself when it runs.
    const GridCapture& capture;
    std::wstring& SavedFirstDevice;  // read and written by "先頭変更"
    const RejectionTitles& rejection;
    // Receives the dialog of the application that "先頭変更" found new and left alone (one it
    // has no evidence its Enter caused); not set when there is none. Null: nobody asks.
    Wnd* WaitingDialog = nullptr;
};

// Makes the requested first device the monitor's first device.
void ChangeFirstDevice(AutomationContext& context);
// Toggles the toggle target's bit on the monitor.
void ToggleDevice(AutomationContext& context);

// A visible "#32770" top-level window with the given title, or null.
Wnd FindDialog(Desktop& desktop, const std::wstring& title);
