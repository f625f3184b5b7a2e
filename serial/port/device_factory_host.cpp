// The host build's device layer: termios devices. The in-memory device layer stays for tests,
// given to a port through its custom dispatcher.
#include "serial/device/posix_dispatcher.h"
#include "serial/port/device_factory.h"

std::unique_ptr<TSioBaseDispatcher> CreateSystemDispatcher(TComponent* Owner) {
    return std::make_unique<TSioPosixDispatcher>(Owner);
}
