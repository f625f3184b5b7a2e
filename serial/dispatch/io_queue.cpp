// TIOQueue: the lock-guarded list of I/O buffers and its wake-up event.
#include "serial/dispatch/io_queue.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

// The spares' list has its full size from the start: a port that has run for a while holds
// the same allocations whether or not more blocks have come back since.
TIOQueue::TIOQueue() { FSpares.reserve(kMaxSpares); }

TIOQueue::~TIOQueue() = default;

bool TIOQueue::Append(std::unique_ptr<TIOBuffer> item) {
    const bool status = ItemAs<TStatusBuffer>(item.get()) != nullptr;
    const bool wasEmpty = FItems.empty();
    FBytesQueued += item->Size();
    FItems.push_back(std::move(item));
    FCount.store(static_cast<int32_t>(FItems.size()));
    if (status) FStatusCount.fetch_add(1);
    // The waiter sleeps on an empty queue, or with data it cannot take yet while it waits for a
    // status word: only those pushes have anyone to wake. Setting the event for every data block
    // would cost a wake-up per block.
    return wasEmpty || status;
}

void TIOQueue::Push(std::unique_ptr<TIOBuffer> item) {
    if (!item) throw std::invalid_argument("TIOQueue::Push: no item");
    bool wake;
    {
        std::lock_guard<std::mutex> lock(FLock);
        wake = Append(std::move(item));
    }
    if (wake) FEvent.Set();
}

bool TIOQueue::PushUnlessClearedSince(std::unique_ptr<TIOBuffer> item, uint32_t clears) {
    if (!item) throw std::invalid_argument("TIOQueue::Push: no item");
    bool wake;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FClears.load() != clears) return false;  // item freed after the lock is released
        wake = Append(std::move(item));
    }
    if (wake) FEvent.Set();
    return true;
}

bool TIOQueue::PushAllUnlessClearedSince(std::vector<std::unique_ptr<TIOBuffer>>& items,
                                         uint32_t clears, bool Wake) {
    for (const auto& item : items)
        if (!item) throw std::invalid_argument("TIOQueue::Push: no item");
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FClears.load() != clears) return false;
        for (auto& item : items) wake = Append(std::move(item)) || wake;
    }
    items.clear();
    if (wake && Wake) FEvent.Set();
    return true;
}

std::unique_ptr<TIOBuffer> TIOQueue::PopSpentLocked() {
    if (FItems.empty()) return nullptr;
    std::unique_ptr<TIOBuffer> item = std::move(FItems.front());
    FItems.pop_front();
    FBytesQueued -= item->Size();
    FCount.store(static_cast<int32_t>(FItems.size()));
    auto* block = ItemAs<TDataBuffer>(item.get());
    if (!block) {
        if (ItemAs<TStatusBuffer>(item.get())) FStatusCount.fetch_sub(1);
        return item;
    }
    if (block->Size() != static_cast<int32_t>(kReadBlockSize) || FSpares.size() >= kMaxSpares)
        return item;
    (void)item.release();  // now owned by the spares
    FSpares.emplace_back(block);
    return nullptr;
}

int32_t TIOQueue::TakeBytes(uint8_t* Buf, int32_t Size) {
    std::vector<std::unique_ptr<TIOBuffer>> freed;  // after the lock is released
    std::lock_guard<std::mutex> lock(FLock);
    int32_t copied = 0;
    while (copied < Size && !FItems.empty() && !FItems.front()->InUse()) {
        auto* block = ItemAs<TDataBuffer>(FItems.front().get());
        if (!block) break;
        const int32_t n = std::min(Size - copied, block->BytesUsed() - block->BytesRead());
        std::memcpy(Buf + copied, block->Data() + block->BytesRead(), static_cast<size_t>(n));
        copied += n;
        block->SetBytesRead(block->BytesRead() + n);
        if (block->BytesRead() < block->BytesUsed()) break;
        if (auto item = PopSpentLocked()) freed.push_back(std::move(item));
    }
    return copied;
}

void TIOQueue::TakeSpares(std::vector<std::unique_ptr<TDataBuffer>>& Spares, size_t Count) {
    std::lock_guard<std::mutex> lock(FLock);
    for (; Count > 0 && !FSpares.empty(); --Count) {
        std::unique_ptr<TDataBuffer> block = std::move(FSpares.back());
        FSpares.pop_back();
        block->SetBytesRead(0);
        block->SetBytesUsed(0);
        block->SetInUse(false);
        Spares.push_back(std::move(block));
    }
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
    if (ItemAs<TStatusBuffer>(item.get())) FStatusCount.fetch_sub(1);
    return item;
}

std::unique_ptr<TStatusBuffer> TIOQueue::PopStatus() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FStatusCount.load() == 0) return nullptr;
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
        auto* status = ItemAs<TStatusBuffer>(it->get());
        if (!status || status->InUse()) continue;
        std::unique_ptr<TStatusBuffer> taken(status);
        (void)it->release();  // now owned by taken
        FItems.erase(it);
        FBytesQueued -= taken->Size();
        FCount.store(static_cast<int32_t>(FItems.size()));
        FStatusCount.fetch_sub(1);
        return taken;
    }
    return nullptr;
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
                if (ItemAs<TStatusBuffer>(item.get())) FStatusCount.fetch_sub(1);
                removed.push_back(std::move(item));
            }
        }
        FItems.swap(kept);
        FCount.store(static_cast<int32_t>(FItems.size()));
        FClears.fetch_add(1);
    }
}

platform::WaitResult TIOQueue::WaitForBuffer(uint32_t tmo) {
    if (FCount.load() > 0) return platform::WaitResult::Signaled;
    return FEvent.Wait(tmo);
}

platform::WaitResult TIOQueue::WaitForStatus(uint32_t tmo) {
    if (FStatusCount.load() > 0) return platform::WaitResult::Signaled;
    return FEvent.Wait(tmo);
}

void TIOQueue::Wake() { FEvent.Set(); }

int32_t TIOQueue::UnreadBytesBeforeStatus(int32_t Limit) const {
    std::lock_guard<std::mutex> lock(FLock);
    int32_t n = 0;
    for (const auto& item : FItems) {
        if (n >= Limit) break;
        const auto* block = ItemAs<TDataBuffer>(item.get());
        if (!block) break;
        n += block->BytesUsed() - block->BytesRead();
    }
    return std::min(n, Limit);
}

int32_t TIOQueue::BytesQueued() const { return FBytesQueued.load(); }

int32_t TIOQueue::Count() const { return FCount.load(); }
