// LocalEvent on Windows: a flag under a slim reader/writer lock with a condition variable, both
// of which wait in the process (futexes under Wine).
#include "platform/local_event.h"

#include <windows.h>

namespace platform {

struct LocalEvent::Impl {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE cv = CONDITION_VARIABLE_INIT;
    bool signaled = false;  // guarded by lock
    bool manual = false;    // set once at construction
};

LocalEvent::LocalEvent(Event::Reset mode) : impl_(std::make_unique<Impl>()) {
    impl_->manual = mode == Event::Reset::Manual;
}

LocalEvent::~LocalEvent() = default;

void LocalEvent::Set() {
    AcquireSRWLockExclusive(&impl_->lock);
    impl_->signaled = true;
    ReleaseSRWLockExclusive(&impl_->lock);
    if (impl_->manual)
        WakeAllConditionVariable(&impl_->cv);
    else
        WakeConditionVariable(&impl_->cv);
}

void LocalEvent::ResetEvent() {
    AcquireSRWLockExclusive(&impl_->lock);
    impl_->signaled = false;
    ReleaseSRWLockExclusive(&impl_->lock);
}

WaitResult LocalEvent::Wait(uint32_t timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    AcquireSRWLockExclusive(&impl_->lock);
    // Wake-ups may be spurious: the flag decides, and the time left is counted from the start.
    while (!impl_->signaled) {
        DWORD left = INFINITE;
        if (timeoutMs != kInfinite) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs) break;
            left = static_cast<DWORD>(timeoutMs - spent);
        }
        SleepConditionVariableSRW(&impl_->cv, &impl_->lock, left, 0);
    }
    const bool signaled = impl_->signaled;
    if (signaled && !impl_->manual) impl_->signaled = false;
    ReleaseSRWLockExclusive(&impl_->lock);
    return signaled ? WaitResult::Signaled : WaitResult::TimedOut;
}

}  // namespace platform
