// The step buttons of the main page: they move the toggle target and the requested first device
// by a device, a grid row or a block, or change the requested first device's letter. A change of
// the requested first device is followed by "先頭変更", pressed through its button.
#include <cstdint>
#include <limits>
#include <optional>

#include "app/device_address.h"
#include "app/main_window.h"

namespace {
bool FitsInt32(int64_t value) {
    return value >= std::numeric_limits<int32_t>::min() &&
           value <= std::numeric_limits<int32_t>::max();
}

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }
}  // namespace

void MainWindow::StepToggleTarget(int devices) {
    const bool fx = FxMode();
    // A first device past what a monitor shows is no view: no step has a device to land on.
    const std::optional<int32_t> first = DeviceNumberInView(ui_.firstDeviceEdit.Text(), fx, 0);
    if (!first) return;
    const int64_t t = int64_t{DeviceNumber(ui_.toggleTargetEdit.Text(), fx, 0)} + devices;
    const int64_t offset = t - *first;
    if (offset < 0 || !FitsInt32(t)) return;
    if (devices > 0) {
        // Upwards only onto a device the grid shows with a decided state: a target past the
        // last sampled one has no state to look at. Downwards, any device from the first on.
        if (offset >= SampledDeviceCount(fx)) return;
        const int8_t state =
            bridge_.Capture()
                .BitStates[static_cast<size_t>(BitStateIndex(static_cast<int32_t>(offset), fx))];
        if (state != 0 && state != 1) return;
    }
    ui_.toggleTargetEdit.SetText(DeviceLetter(ui_.toggleTargetEdit.Text()) +
                                 DeviceNumberText(static_cast<int32_t>(t), fx, 3));
}

void MainWindow::StepFirstDevice(int devices) {
    const bool fx = FxMode();
    // A step up keeps the device it started from: "先頭変更" goes back to it when the monitor
    // rejects the new one.
    if (devices > 0) bridge_.SavedFirstDevice() = ui_.requestedFirstEdit.Text();
    const int64_t a = int64_t{DeviceNumber(ui_.requestedFirstEdit.Text(), fx, 0)} + devices;
    // Upwards the sum must stay a number; downwards it must not drop below device 0.
    if (devices > 0 ? !FitsInt32(a) : a < 0) return;
    ui_.requestedFirstEdit.SetText(DeviceLetter(ui_.requestedFirstEdit.Text()) +
                                   DeviceNumberText(static_cast<int32_t>(a), fx, 1));
    ui_.changeFirstButton.Click();
}

void MainWindow::SetFirstLetter(wchar_t letter) {
    // Nothing to change when the field already has that letter (either case).
    const std::wstring text = ui_.requestedFirstEdit.Text();
    if (!text.empty() && AsciiUpper(text[0]) == letter) return;
    ui_.requestedFirstEdit.SetText(std::wstring(1, letter) +
                                   (text.empty() ? std::wstring() : text.substr(1)));
    ui_.changeFirstButton.Click();
}
