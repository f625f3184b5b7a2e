// Event: a Windows event object, or its host equivalent.
#include "platform/event.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include "platform/unique_handle.h"
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#endif

namespace platform {

#ifdef _WIN32
struct Event::Impl {
    UniqueHandle handle;
};

Event::Event(Reset mode) : impl_(std::make_unique<Impl>()) {
    impl_->handle.reset(CreateEventW(nullptr, mode == Reset::Manual, FALSE, nullptr));
    if (!impl_->handle)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateEvent");
}
Event::~Event() = default;
void Event::Set() { SetEvent(impl_->handle.get()); }
void Event::ResetEvent() { ::ResetEvent(impl_->handle.get()); }
WaitResult Event::Wait(uint32_t timeoutMs) {
    switch (WaitForSingleObject(impl_->handle.get(), timeoutMs)) {
        case WAIT_OBJECT_0: return WaitResult::Signaled;
        case WAIT_TIMEOUT: return WaitResult::TimedOut;
        case WAIT_ABANDONED: return WaitResult::Abandoned;
        default: return WaitResult::Failed;
    }
}
void* Event::NativeHandle() const { return impl_->handle.get(); }
#else
struct Event::Impl {
    std::mutex mutex;
    std::condition_variable cv;
    bool signaled = false;  // guarded by mutex
    bool manual = false;    // set once at construction
};

Event::Event(Reset mode) : impl_(std::make_unique<Impl>()) {
    impl_->manual = mode == Reset::Manual;
}
Event::~Event() = default;
void Event::Set() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->signaled = true;
    }
    if (impl_->manual)
        impl_->cv.notify_all();
    else
        impl_->cv.notify_one();
}
void Event::ResetEvent() {
    std::lock_guard lock(impl_->mutex);
    impl_->signaled = false;
}
WaitResult Event::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(impl_->mutex);
    auto ready = [this] { return impl_->signaled; };
    if (timeoutMs == kInfinite)
        impl_->cv.wait(lock, ready);
    else if (!impl_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return WaitResult::TimedOut;
    if (!impl_->manual) impl_->signaled = false;
    return WaitResult::Signaled;
}
#endif

}  // namespace platform
