// The byte paths every device layer shares with the dispatcher: a reader's blocks onto the I/O
// queue (taken off it again by TIOQueue::TakeBytes), and the output ring filled by WriteCom and
// emptied by a writer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "serial/dispatch/io_buffer.h"

class TIOQueue;
class TSioBaseDispatcher;

// A reader's blocks between its reads, kept so that a read makes no allocation: the spares it
// fills next and the list it pushes them in. Reader thread only.
struct TReadBlocks {
    std::vector<std::unique_ptr<TDataBuffer>> Spares;
    std::vector<std::unique_ptr<TIOBuffer>> Filled;
};

// The unread bytes of the head block; 0 when the head is a status word or the queue is empty.
int32_t HeadBlockBytes(TIOQueue& Queue);

// Cuts the N bytes a reader has read into 256-byte blocks and pushes them all in one step, or
// drops them when the queue has been cleared since Clears was taken (those bytes came before
// the purge). Blocks come from the queue's spares, else are made. False when a block cannot be
// had (then nothing is pushed).
// With Wake false the dispatcher thread is not woken: the reader calls Queue.Wake before it
// waits itself.
bool QueueReadBlocks(TIOQueue& Queue, TReadBlocks& Blocks, const uint8_t* Bytes, int32_t N,
                     uint32_t Clears, bool Wake = true);

// Under the dispatcher's OutputSection. Appends Size bytes to the output ring (the caller has
// checked the room); Size, or 0 when the ring is gone.
int32_t AppendToOutputRing(TSioBaseDispatcher& D, const uint8_t* Buf, int32_t Size);
// The bytes waiting in the output ring.
int32_t OutputRingUsed(TSioBaseDispatcher& D);
// Takes everything waiting in the output ring as one block and empties the ring; null (Count 0)
// when nothing waits.
std::unique_ptr<uint8_t[]> TakeOutputRing(TSioBaseDispatcher& D, size_t& Count);
