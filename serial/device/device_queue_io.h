// The byte paths every device layer shares with the dispatcher: received blocks taken off the
// I/O queue, and the output ring filled by WriteCom and emptied by a writer.
#pragma once
#include <cstdint>
#include <memory>

class TDataBuffer;
class TIOQueue;
class TSioBaseDispatcher;

// Copies up to Size received bytes from the queue's data blocks without waiting, stopping at a
// status word (the dispatcher thread's to take); frees each block it empties. The count.
int32_t TakeQueuedBytes(TIOQueue& Queue, uint8_t* Buf, int32_t Size);
// The unread bytes of the head block; 0 when the head is a status word or the queue is empty.
int32_t HeadBlockBytes(TIOQueue& Queue);

// Cuts the N bytes a reader has read into 256-byte blocks and pushes them, or drops the rest
// once the queue has been cleared since Clears was taken (those bytes came before the purge).
// Spare is the reader's next block, kept across calls. False when a block cannot be had.
bool QueueReadBlocks(TIOQueue& Queue, std::unique_ptr<TDataBuffer>& Spare, const uint8_t* Bytes,
                     int32_t N, uint32_t Clears);

// Under the dispatcher's OutputSection. Appends Size bytes to the output ring (the caller has
// checked the room); Size, or 0 when the ring is gone.
int32_t AppendToOutputRing(TSioBaseDispatcher& D, const uint8_t* Buf, int32_t Size);
// The bytes waiting in the output ring.
int32_t OutputRingUsed(TSioBaseDispatcher& D);
// Takes everything waiting in the output ring as one block and empties the ring; null (Count 0)
// when nothing waits.
std::unique_ptr<uint8_t[]> TakeOutputRing(TSioBaseDispatcher& D, size_t& Count);
