// TSioBaseComponent: the common base of the serial components; it adds only the version text.
#pragma once
#include <functional>
#include <string>

#include "serial/component/component.h"

// An event that only names its sender.
using TNotifyEvent = std::function<void(TComponent* Sender)>;

class TSioBaseComponent : public TComponent {
  public:
    using TComponent::TComponent;
    // Always "v5.00"; never stored, and writes are ignored.
    std::string Version() const { return "v5.00"; }
    void SetVersion(const std::string& /*Value*/) {}
};
