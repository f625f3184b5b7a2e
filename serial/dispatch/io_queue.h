// TIOQueue: the first-in first-out queue of I/O buffers between the device threads and the
// dispatcher thread, and of dispatch-log entries.
//
// Threads: any thread may Push, Peek, Pop and Clear; one thread (the dispatcher's) waits with
// WaitForBuffer. FLock guards the list and the spare blocks; it is taken while the dispatcher's
// DispSection may be held and takes no other lock itself. FEvent is auto-reset: a Push onto an
// empty queue sets it, so that push wakes the one waiter (WaitForBuffer waits only while the
// queue is empty, and the queue becomes non-empty only by such a push, or by a silent one whose
// producer calls Wake before it waits itself); a signal left over after the waiter emptied the
// queue only makes the next wait return at once, and the waiter then finds nothing to do. A
// waiter that cannot take data for now (its dispatch buffer is full) waits with WaitForStatus
// instead: then a pushed status word, and Wake, set FEvent too.
//
// Consumer protocol: Peek marks the head item InUse and lends it (the queue keeps it); a
// consumer that uses only part of it records its progress in the item and clears InUse, leaving
// it at the head; one that has finished with it Pops it. A head item in use is not lent twice.
// Pop takes the head whether it is in use or not, so only the consumer that holds the item may
// pop it. TakeBytes does all of that for received bytes under one lock.
//
// Spares: data blocks of kReadBlockSize that the consumer has read to their end are kept (a
// bounded number) and handed back to a reader, so that a steady flow of bytes makes and frees
// no blocks.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/local_event.h"
#include "serial/dispatch/io_buffer.h"

class TIOQueue {
  public:
    TIOQueue();
    // Frees every item still queued, lent ones included: nobody may hold a lent item past the
    // queue's life.
    ~TIOQueue();
    TIOQueue(const TIOQueue&) = delete;
    TIOQueue& operator=(const TIOQueue&) = delete;

    // Appends item at the tail (it must not be null: std::invalid_argument) and wakes the waiter.
    void Push(std::unique_ptr<TIOBuffer> item);
    // The head item, marked InUse and still owned by the queue; null when the queue is empty or
    // the head is already in use.
    TIOBuffer* Peek();
    // Removes and returns the head item; null when the queue is empty.
    std::unique_ptr<TIOBuffer> Pop();
    // Removes and returns the first status word not in use, wherever it stands; null when there
    // is none. For a consumer that cannot take the data in front of it.
    std::unique_ptr<TStatusBuffer> PopStatus();
    // Frees every item that is not in use; items in use stay, in their order. Counts as a clear
    // for PushUnlessClearedSince.
    void Clear();
    // How many clears this queue has seen. A producer takes it when its data has been read and
    // hands it to PushUnlessClearedSince, so that data read before a clear never lands after it.
    uint32_t Clears() const { return FClears.load(); }
    // Push, unless Clear has run since the producer took Clears (then the item is freed): the
    // check and the append are one step under the queue's lock. True when pushed.
    bool PushUnlessClearedSince(std::unique_ptr<TIOBuffer> item, uint32_t clears);
    // PushUnlessClearedSince for all of items in their order, under one lock and with at most
    // one wake-up: a reader's blocks of one read arrive together. On a clear since Clears the
    // items stay with the caller and the result is false; else items is left empty. With Wake
    // false the waiter is not woken: the producer then owes it a Wake before it waits itself.
    bool PushAllUnlessClearedSince(std::vector<std::unique_ptr<TIOBuffer>>& items, uint32_t clears,
                                   bool Wake = true);
    // For the one consumer: copies up to Size bytes from the data blocks at the head, in order,
    // stopping at a status word or a lent head. Each block read to its end leaves the queue: one
    // of kReadBlockSize bytes is kept as a spare for the reader (up to kMaxSpares of them), any
    // other is freed. A block read in part stays at the head with its BytesRead advanced. One
    // lock for the whole copy. The count.
    int32_t TakeBytes(uint8_t* Buf, int32_t Size);
    // Moves up to Count spare blocks onto the end of Spares, emptied (BytesUsed and BytesRead
    // 0); the reader makes what it lacks.
    void TakeSpares(std::vector<std::unique_ptr<TDataBuffer>>& Spares, size_t Count);
    // Blocks kept for reuse at most: a bound's worth at the least input queue size, so that a
    // steady flow makes and frees no blocks.
    static constexpr size_t kMaxSpares = 64;
    // Signaled at once when the queue holds an item; otherwise waits up to tmo milliseconds for
    // a Push and returns the wait's result.
    platform::WaitResult WaitForBuffer(uint32_t tmo);
    // For a waiter that cannot take data now: signaled at once when a status word is queued;
    // otherwise waits up to tmo milliseconds for a status word, a push onto an empty queue or
    // Wake.
    platform::WaitResult WaitForStatus(uint32_t tmo);
    // Ends the waiter's wait (or the next one): what kept it from the data may have changed.
    void Wake();

    // The unread bytes of the data blocks in front of the first status word, counted up to Limit
    // (a consumer that can take no more than Limit needs no exact figure beyond it). For the one
    // consumer, which alone advances a block's BytesRead.
    int32_t UnreadBytesBeforeStatus(int32_t Limit) const;

    // The sum of Size over the queued items.
    int32_t BytesQueued() const;
    int32_t Count() const;

  private:
    mutable std::mutex FLock;
    platform::LocalEvent FEvent{platform::Event::Reset::Auto};  // in-process: no system call
    std::deque<std::unique_ptr<TIOBuffer>> FItems;              // guarded by FLock
    // Written under FLock whenever FItems changes; read without it (a reader's look at its
    // bound must not wait for the consumer's copy).
    std::atomic<int32_t> FBytesQueued{0};
    // Written under FLock whenever FItems changes; read without it by the waits.
    std::atomic<int32_t> FCount{0};
    std::atomic<int32_t> FStatusCount{0};               // the status words among them
    std::atomic<uint32_t> FClears{0};                   // written under FLock by Clear
    std::vector<std::unique_ptr<TDataBuffer>> FSpares;  // guarded by FLock
    // Push and PushUnlessClearedSince; the caller holds FLock. Whether the waiter needs waking.
    bool Append(std::unique_ptr<TIOBuffer> item);
    // Pops the head, spent, for TakeBytes (keeping a read block as a spare); the caller holds
    // FLock. The item to free once the lock is released, or null.
    std::unique_ptr<TIOBuffer> PopSpentLocked();
};
