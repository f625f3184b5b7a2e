// A device reader's hold at the input queue's bound, shared by the device layers.
//
// The reader stops taking bytes from the device while the I/O queue holds its bound, and waits
// to be woken; the consumer (ReadCom, an input purge) wakes it once there is room again. The
// hold is marked before the reader's deciding look at the queue and taken off only when there
// was room: a consumer that makes room after that look therefore always finds the hold, and no
// wake-up is lost between the two threads. Marked after the look instead, a consumer could take
// bytes between the look and the mark, find no hold and wake nobody, and the reader would wait
// for a wake-up that never comes (or until its own time-out).
//
// Threads: Room on the reader thread only; Release on any thread. Exactly one Release answers
// true for one hold, so the reader is woken once.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "serial/dispatch/io_queue.h"

class TReaderHold {
  public:
    // The bytes the input queue may hold before the reader stops taking more: the driver's input
    // size, and at least four reads' worth. With a bound of one read, every read fills the queue,
    // and reader and consumer then hand the bytes over block by block.
    static constexpr uint32_t kLeastBound = 4 * 4096;
    static int32_t BoundFor(uint32_t InQue) {
        return static_cast<int32_t>(InQue > kLeastBound ? InQue : kLeastBound);
    }

    // Reader: true when the queue holds fewer than Bound bytes. Otherwise the reader stays held
    // and must wait for its wake-up before it looks again.
    [[nodiscard]] bool Room(const TIOQueue& Queue, int32_t Bound) {
        // Most looks find room: they mark nothing, so a consumer never sees a hold that is only
        // the reader passing by (it would count, and signal, a wake-up nobody waits for).
        if (Queue.BytesQueued() < Bound) return true;
        FHeld.store(true);
        const bool full = Queue.BytesQueued() >= Bound;
        if (AfterLookHook) AfterLookHook();
        if (full) return false;
        FHeld.store(false);
        return true;
    }

    // Consumer: true when the reader is held and the queue holds at most Level bytes; the hold is
    // then taken off, and the caller wakes the reader.
    [[nodiscard]] bool Release(const TIOQueue& Queue, int32_t Level) {
        if (!FHeld.load() || Queue.BytesQueued() > Level) return false;
        if (!FHeld.exchange(false)) return false;
        FReleases.fetch_add(1, std::memory_order_relaxed);
        return true;
    }

    // Consumer, after taking bytes: Release once the queue has drained to half of Bound, not as
    // soon as one block has left, so that the reader reads many blocks per wake-up.
    [[nodiscard]] bool ReleaseAfterTake(const TIOQueue& Queue, int32_t Bound) {
        return Release(Queue, Bound / 2);
    }

    // Consumer, after an input purge emptied the queue: Release whatever is left queued (items
    // the purge could not drop are the consumer's own).
    [[nodiscard]] bool ReleaseAfterPurge(const TIOQueue& Queue) {
        return Release(Queue, INT32_MAX);
    }

    // How many times a consumer has released the reader: one wake-up each.
    uint32_t Releases() const { return FReleases.load(std::memory_order_relaxed); }

    // Whether the reader waits to be woken (or is about to look at the queue).
    bool Held() const { return FHeld.load(); }

    // Test seam: runs on the reader's thread right after Room has looked at the queue, where a
    // consumer's take races the reader's decision. Empty in the program.
    std::function<void()> AfterLookHook;

  private:
    std::atomic<bool> FHeld{false};
    std::atomic<uint32_t> FReleases{0};
};
