// The direct probe on Windows: the device's default configuration, or an exclusive open.
#include <windows.h>

#include <string>

#include "platform/unique_handle.h"
#include "serial/port/port_probe.h"

bool ProbePortDirect(int32_t ComNumber, bool CountInUse) {
    if (CountInUse) {
        // The record's documented size; a driver that wants more answers no, and the port is
        // not counted.
        const std::wstring name = L"COM" + std::to_wstring(ComNumber);
        COMMCONFIG config{};
        config.dwSize = sizeof(COMMCONFIG);
        DWORD size = sizeof(COMMCONFIG);
        return GetDefaultCommConfigW(name.c_str(), &config, &size) != FALSE;
    }
    const std::wstring device = L"\\\\.\\COM" + std::to_wstring(ComNumber);
    platform::UniqueFileHandle h(
        CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(h);
}
