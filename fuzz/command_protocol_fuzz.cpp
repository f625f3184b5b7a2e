// The command protocol and the device-address readers, through the main window over the serial
// services double and a fake desktop with the monitor: fuzzed capture settings in the settings
// file and on the settings page, fuzzed device texts in the fields, fuzzed command lines, ticks
// and step buttons in a fuzzed order. Every reply must be one the protocol knows; the sanitizers
// watch the arithmetic.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/desktop.h"
#include "app/fake_desktop.h"
#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "fuzz/fuzz_check.h"
#include "tests/app_capture/monitor_scene.h"
#include "ui/form.h"
#include "ui/message_box.h"

namespace {

const std::string& SettingsPath() {
    static const std::string path =
        "/tmp/pelkan-protocol-fuzz-" + std::to_string(static_cast<long>(getpid())) + ".ini";
    return path;
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    for (unsigned char c : s) w += static_cast<wchar_t>(c);
    return w;
}

// A setting's text: a number of a plausible size, a number anywhere in its type, or any short
// text.
std::string SettingText(FuzzedDataProvider& in, bool decimal) {
    if (in.ConsumeBool()) {
        if (!decimal) return std::to_string(in.ConsumeIntegralInRange<int32_t>(0, 1200));
        return std::to_string(in.ConsumeIntegralInRange<int32_t>(1, 4000) / 1000.0);
    }
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return std::to_string(in.ConsumeIntegral<int32_t>());
        case 1:
            return std::to_string(in.ConsumeIntegralInRange<int32_t>(-2, 2000));
        case 2:
            if (decimal) {
                char text[64];
                std::snprintf(text, sizeof text, "%.15g", in.ConsumeFloatingPoint<double>());
                return text;
            }
            return "0x" + std::to_string(in.ConsumeIntegral<uint16_t>());
        default:
            return FuzzBytes(in, 12);
    }
}

// A device text: a letter and digits, or anything short.
std::wstring DeviceText(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return Wide(FuzzBytes(in, 10));
    std::string text(1, in.PickValueInArray({'X', 'Y', 'M', 'x'}));
    const size_t digits = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < digits; ++i) text += in.PickValueInArray({'0', '1', '7', '8', 'F', 'f'});
    return Wide(text);
}

bool KnownReply(const std::string& r) {
    if (r == "QL\r\n" || r == "FX\r\n" || r == "OK\r\n" || r == "??\r\n") return true;
    if (r.size() != 90 || (r.rfind("QR", 0) != 0 && r.rfind("FX", 0) != 0)) return false;
    if (r.compare(88, 2, "\r\n") != 0) return false;
    for (size_t i = 8; i < 88; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(r[i])) || std::islower(r[i])) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ui::SetScreenSizeForTest(1920, 1080);
    ui::SetMessageDisplay([](const std::wstring&) {});

    std::string ini = "[Capt]\r\nScale=" + SettingText(in, true) + "\r\n";
    for (const char* key : {"captW", "captH", "captL", "pickXOff", "pickYOff"})
        ini += std::string(key) + "=" + SettingText(in, false) + "\r\n";
    if (FILE* f = std::fopen(SettingsPath().c_str(), "wb")) {
        std::fwrite(ini.data(), 1, ini.size(), f);
        std::fclose(f);
    }

    // The scene's frame window is 1200 × 800: a screen of that size is all it needs, and a smaller
    // one is cheaper to build for every input.
    FakeDesktop desktop(1200, 800);
    MonitorScene scene(desktop);
    scene.fx = in.ConsumeBool();
    for (int8_t& s : scene.states) s = static_cast<int8_t>(in.ConsumeIntegralInRange<int>(-1, 1));
    scene.Paint();
    SetDesktopForTest(&desktop);

    SerialServicesDouble serial;
    serial.ports->AddPort(1);
    {
        MainWindow form(serial.services, Wide(SettingsPath()));
        form.Create();
        form.StartStop();  // START
        ui::Edit* const fields[] = {
            &form.ControlsForTest().scaleEdit, &form.ControlsForTest().captWEdit,
            &form.ControlsForTest().captHEdit, &form.ControlsForTest().captLEdit,
            &form.ControlsForTest().pickXEdit, &form.ControlsForTest().pickYEdit};
        while (in.remaining_bytes() > 0) {
            switch (in.ConsumeIntegralInRange<int>(0, 6)) {
                case 0:
                    form.SampleMonitor();
                    break;
                case 1:
                    serial.packet->Receive(FuzzBytes(in, 16) + "\r\n");
                    break;
                case 2: {
                    const std::string command = in.PickValueInArray({"BTRV", "DEVN", "BTRV "});
                    serial.packet->Receive(command + FuzzBytes(in, 14) + "\r\n");
                    break;
                }
                case 3:
                    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
                        case 0:
                            form.ControlsForTest().targetUpButton.Click();
                            break;
                        case 1:
                            form.ControlsForTest().targetDownButton.Click();
                            break;
                        case 2:
                            form.ControlsForTest().firstUpButton.Click();
                            break;
                        case 3:
                            form.ControlsForTest().firstDownButton.Click();
                            break;
                        case 4:
                            form.ControlsForTest().letterXButton.Click();
                            break;
                        default:
                            form.ControlsForTest().letterYButton.Click();
                    }
                    break;
                case 4:
                    (in.ConsumeBool() ? form.ControlsForTest().toggleTargetEdit
                                      : form.ControlsForTest().requestedFirstEdit)
                        .SetText(DeviceText(in));
                    break;
                case 5:
                    for (ui::Edit* e : fields)
                        e->SetText(Wide(SettingText(in, e == &form.ControlsForTest().scaleEdit)));
                    form.ApplySettings();  // "更新"
                    break;
                default:
                    in.ConsumeBool() ? form.ToggleDevice() : form.ChangeFirstDevice();
            }
        }
        for (const std::string& reply : serial.port->Sent())
            FuzzCheck(KnownReply(reply), "a reply the protocol does not know: " + reply);
    }
    SetDesktopForTest(nullptr);
    ui::SetMessageDisplay(nullptr);
    std::remove(SettingsPath().c_str());
    return 0;
}
