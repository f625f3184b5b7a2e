// The Windows build's device layer.
#include "serial/device/win32_dispatcher.h"
#include "serial/port/device_factory.h"

std::unique_ptr<TSioBaseDispatcher> CreateSystemDispatcher(TComponent* Owner) {
    return std::make_unique<TSioWin32Dispatcher>(Owner);
}
