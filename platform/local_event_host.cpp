// LocalEvent on the host: Event is already a flag, a mutex and a condition variable there.
#include "platform/local_event.h"

namespace platform {

struct LocalEvent::Impl {
    explicit Impl(Event::Reset mode) : event(mode) {}
    Event event;
};

LocalEvent::LocalEvent(Event::Reset mode) : impl_(std::make_unique<Impl>(mode)) {}
LocalEvent::~LocalEvent() = default;
void LocalEvent::Set() { impl_->event.Set(); }
void LocalEvent::ResetEvent() { impl_->event.ResetEvent(); }
WaitResult LocalEvent::Wait(uint32_t timeoutMs) { return impl_->event.Wait(timeoutMs); }

}  // namespace platform
