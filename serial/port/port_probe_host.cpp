// The direct probe on the host: the termios device the port number maps to exists (counted when
// in use), or can be opened now.
#include "serial/device/posix_dispatcher.h"
#include "serial/port/port_probe.h"

bool ProbePortDirect(int32_t ComNumber, bool CountInUse) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(ComNumber);
    TSioPosixDispatcher d(nullptr);
    if (CountInUse) return d.CheckPort(name);
    if (d.OpenCom(name, 64, 64) < 0) return false;
    (void)d.CloseCom();  // the probe's answer is the open's; the close only lets go again
    return true;
}
