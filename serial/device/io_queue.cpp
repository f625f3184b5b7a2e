// TIOQueue: the lock-guarded list of I/O buffers and its wake-up event.
#include "serial/device/io_queue.h"

#include <stdexcept>

TIOQueue::TIOQueue() = default;

TIOQueue::~TIOQueue() = default;

void TIOQueue::Push(std::unique_ptr<TIOBuffer> item) {
    if (!item) throw std::invalid_argument("TIOQueue::Push: no item");
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(FLock);
        wasEmpty = FItems.empty();
        FBytesQueued += item->Size();
        FItems.push_back(std::move(item));
        FCount.store(static_cast<int32_t>(FItems.size()));
    }
    // The waiter sleeps only on an empty queue, so only the push that ends emptiness has
    // anyone to wake; setting the event for every push would cost a system call per block.
    if (wasEmpty) FEvent.Set();
}

TIOBuffer* TIOQueue::Peek() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FItems.empty() || FItems.front()->InUse()) return nullptr;
    FItems.front()->SetInUse(true);
    return FItems.front().get();
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FItems.empty()) return nullptr;
    std::unique_ptr<TIOBuffer> item = std::move(FItems.front());
    FItems.pop_front();
    FBytesQueued -= item->Size();
    FCount.store(static_cast<int32_t>(FItems.size()));
    return item;
}

void TIOQueue::Clear() {
    std::deque<std::unique_ptr<TIOBuffer>> removed;  // freed after the lock is released
    {
        std::lock_guard<std::mutex> lock(FLock);
        std::deque<std::unique_ptr<TIOBuffer>> kept;
        for (auto& item : FItems) {
            if (item->InUse()) {
                kept.push_back(std::move(item));
            } else {
                FBytesQueued -= item->Size();
                removed.push_back(std::move(item));
            }
        }
        FItems.swap(kept);
        FCount.store(static_cast<int32_t>(FItems.size()));
    }
}

platform::WaitResult TIOQueue::WaitForBuffer(uint32_t tmo) {
    if (FCount.load() > 0) return platform::WaitResult::Signaled;
    return FEvent.Wait(tmo);
}

int32_t TIOQueue::BytesQueued() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FBytesQueued;
}

int32_t TIOQueue::Count() const { return FCount.load(); }
