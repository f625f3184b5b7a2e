// The direct probe on the host: the host has no serial devices of its own, so the in-memory
// device layer's view of the ports answers, as the probe through a dispatcher does.
#include "serial/device/memory_device.h"
#include "serial/port/port_probe.h"

bool ProbePortDirect(int32_t ComNumber, bool CountInUse) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(ComNumber);
    TSioMemoryDispatcher d(nullptr);
    if (CountInUse) return d.CheckPort(name);
    if (d.OpenCom(name, 64, 64) < 0) return false;
    (void)d.CloseCom();  // the probe's answer is the open's; the close only lets go again
    return true;
}
