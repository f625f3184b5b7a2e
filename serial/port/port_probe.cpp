// ProbePort through a temporary dispatcher or directly, and MakeComName.
#include "serial/port/port_probe.h"

#include <memory>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/port/device_factory.h"

bool ProbeThroughDispatcher = true;
bool CountPortsInUse = true;

bool ProbePort(int32_t ComNumber) {
    if (ComNumber == 0) return false;
    if (!ProbeThroughDispatcher) return ProbePortDirect(ComNumber, CountPortsInUse);
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(ComNumber);
    std::unique_ptr<TSioBaseDispatcher> d = CreateSystemDispatcher(nullptr);
    if (CountPortsInUse) return d->CheckPort(name);
    if (d->OpenCom(name, 64, 64) < 0) return false;
    (void)d->CloseCom();  // the probe's answer is the open's; the close only lets go again
    return true;
}

std::wstring MakeComName(uint16_t ComNumber) { return L"COM" + std::to_wstring(ComNumber); }
