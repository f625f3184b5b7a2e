// The host build's device layer.
#include "serial/device/memory_device.h"
#include "serial/port/device_factory.h"

std::unique_ptr<TSioBaseDispatcher> CreateSystemDispatcher(TComponent* Owner) {
    return std::make_unique<TSioMemoryDispatcher>(Owner);
}
