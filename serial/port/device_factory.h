// The dispatcher of this build's device layer: the Windows comm device layer on Windows, the
// termios device layer on the host.
#pragma once
#include <memory>

class TSioBaseDispatcher;
class TComponent;

std::unique_ptr<TSioBaseDispatcher> CreateSystemDispatcher(TComponent* Owner);
