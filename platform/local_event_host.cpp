// LocalEvent on the host: a flag word that waiters sleep on with futex(2). A set with nobody
// waiting makes no system call, and a wait ended by a set costs the waker one wake-up call and
// the woken thread none. With a mutex and a condition variable the woken thread comes back
// owning the mutex marked as contended and makes a second call to release it, once for every
// hand-over between the device reader and the dispatcher thread.
#include "platform/local_event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <ctime>

namespace platform {

namespace {

using Word = std::atomic<uint32_t>;
static_assert(sizeof(Word) == sizeof(uint32_t) && Word::is_always_lock_free,
              "the futex word must be a plain 32-bit integer");

uint32_t* Address(Word& word) { return reinterpret_cast<uint32_t*>(&word); }

// Sleeps while word holds expected, up to timeout (null: no limit). Returns early on a wake-up,
// on a signal, or at once when the word no longer holds expected; the caller looks again.
void FutexWait(Word& word, uint32_t expected, const timespec* timeout) {
    syscall(SYS_futex, Address(word), FUTEX_WAIT_PRIVATE, expected, timeout, nullptr, 0);
}

void FutexWake(Word& word, int count) {
    syscall(SYS_futex, Address(word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

}  // namespace

struct LocalEvent::Impl {
    // 1 while set. All accesses are sequentially consistent: a setter that finds no waiter and
    // a waiter that finds the flag clear cannot both miss each other.
    Word signaled{0};
    std::atomic<uint32_t> waiters{0};  // threads inside Wait
    bool manual = false;               // set once at construction

    // Takes the signal: an auto-reset event is reset by the wait that sees it set.
    bool Take() {
        if (manual) return signaled.load() == 1;
        uint32_t set = 1;
        return signaled.compare_exchange_strong(set, 0);
    }
};

LocalEvent::LocalEvent(Event::Reset mode) : impl_(std::make_unique<Impl>()) {
    impl_->manual = mode == Event::Reset::Manual;
}

LocalEvent::~LocalEvent() = default;

void LocalEvent::Set() {
    Impl& s = *impl_;
    // Already set: the set that made it so woke whoever was waiting then, and a second set
    // before a wait takes the first is not counted.
    if (s.signaled.exchange(1) == 1) return;
    if (s.waiters.load() > 0) FutexWake(s.signaled, s.manual ? INT_MAX : 1);
}

void LocalEvent::ResetEvent() { impl_->signaled.store(0); }

WaitResult LocalEvent::Wait(uint32_t timeoutMs) {
    Impl& s = *impl_;
    if (s.Take()) return WaitResult::Signaled;
    if (timeoutMs == 0) return WaitResult::TimedOut;
    using Clock = std::chrono::steady_clock;  // the clock a futex's relative time-out runs on
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    WaitResult result = WaitResult::TimedOut;
    s.waiters.fetch_add(1);
    for (;;) {
        if (s.Take()) {
            result = WaitResult::Signaled;
            break;
        }
        timespec left{};
        const timespec* limit = nullptr;
        if (timeoutMs != kInfinite) {
            const auto ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now())
                    .count();
            if (ns <= 0) break;
            left.tv_sec = static_cast<time_t>(ns / 1000000000);
            left.tv_nsec = static_cast<long>(ns % 1000000000);
            limit = &left;
        }
        // Another waiter may take a signal this one was woken for; then it sleeps again.
        FutexWait(s.signaled, 0, limit);
    }
    s.waiters.fetch_sub(1);
    return result;
}

}  // namespace platform
