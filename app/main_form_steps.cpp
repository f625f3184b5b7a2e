// The step buttons of the main page: they move the toggle target (Edit4) and the requested first
// device (Edit5) by a grid row, a device or a block, or change Edit5's letter. A change of Edit5
// is followed by "先頭変更", pressed through its button.
#include <cstdint>
#include <limits>
#include <optional>

#include "app/device_address.h"
#include "app/main_form.h"

namespace {
bool FitsInt32(int64_t value) {
    return value >= std::numeric_limits<int32_t>::min() &&
           value <= std::numeric_limits<int32_t>::max();
}

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }
}  // namespace

void TForm4::SpeedButton1Click(ui::Object* sender) {
    const bool fx = FxMode();
    // A first device past what a monitor shows is no view: no step has a device to land on.
    const std::optional<int32_t> first = DeviceNumberInView(Edit1.Text(), fx, 0);
    if (!first) return;
    const int64_t t =
        int64_t{DeviceNumber(Edit4.Text(), fx, 0)} + (sender == &SpeedButton1 ? 1 : (fx ? 8 : 16));
    // Only onto a device the grid shows with a decided state; a target before the first device
    // or past the last sampled one has no state to look at and is refused.
    const int64_t offset = t - *first;
    if (offset < 0 || offset >= SampledDeviceCount(fx) || !FitsInt32(t)) return;
    const int8_t state =
        BitStates[static_cast<size_t>(BitStateIndex(static_cast<int32_t>(offset), fx))];
    if (state != 0 && state != 1) return;
    Edit4.SetText(DeviceLetter(Edit4.Text()) + DeviceNumberText(static_cast<int32_t>(t), fx, 3));
}

void TForm4::SpeedButton2Click(ui::Object* sender) {
    const bool fx = FxMode();
    const std::optional<int32_t> first = DeviceNumberInView(Edit1.Text(), fx, 0);
    if (!first) return;
    const int64_t t =
        int64_t{DeviceNumber(Edit4.Text(), fx, 0)} - (sender == &SpeedButton2 ? 1 : (fx ? 8 : 16));
    if (t - *first < 0 || !FitsInt32(t)) return;
    Edit4.SetText(DeviceLetter(Edit4.Text()) + DeviceNumberText(static_cast<int32_t>(t), fx, 3));
}

void TForm4::SpeedButton5Click(ui::Object* sender) {
    const bool fx = FxMode();
    // "+80"/"+40" and "+100" read in the base of the mode.
    const int32_t amount = sender == &SpeedButton5 ? (fx ? 32 : 128) : (fx ? 64 : 256);
    SavedFirstDevice = Edit5.Text();
    const int64_t a = int64_t{DeviceNumber(Edit5.Text(), fx, 0)} + amount;
    if (!FitsInt32(a)) return;
    Edit5.SetText(DeviceLetter(Edit5.Text()) + DeviceNumberText(static_cast<int32_t>(a), fx, 1));
    Button1.Click();
}

void TForm4::SpeedButton7Click(ui::Object* sender) {
    const bool fx = FxMode();
    const int32_t amount = sender == &SpeedButton7 ? (fx ? 32 : 128) : (fx ? 64 : 256);
    const int64_t a = int64_t{DeviceNumber(Edit5.Text(), fx, 0)} - amount;
    if (a < 0) return;
    Edit5.SetText(DeviceLetter(Edit5.Text()) + DeviceNumberText(static_cast<int32_t>(a), fx, 1));
    Button1.Click();
}

namespace {
// Edit5 with a new letter, or nothing when it already has that letter (either case).
bool Reletter(ui::Edit& field, wchar_t letter) {
    const std::wstring& text = field.Text();
    if (!text.empty() && AsciiUpper(text[0]) == letter) return false;
    field.SetText(std::wstring(1, letter) + (text.empty() ? std::wstring() : text.substr(1)));
    return true;
}
}  // namespace

void TForm4::SpeedButton9Click(ui::Object*) {
    if (Reletter(Edit5, L'X')) Button1.Click();
}

void TForm4::SpeedButton10Click(ui::Object*) {
    if (Reletter(Edit5, L'Y')) Button1.Click();
}
