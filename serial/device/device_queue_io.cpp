// The byte paths shared by the device layers.
#include "serial/device/device_queue_io.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "serial/dispatch/io_queue.h"
#include "serial/dispatch/base_dispatcher.h"

int32_t HeadBlockBytes(TIOQueue& Queue) {
    TIOBuffer* head = Queue.Peek();
    if (!head) return 0;
    int32_t n = 0;
    if (auto* block = ItemAs<TDataBuffer>(head)) n = block->BytesUsed() - block->BytesRead();
    head->SetInUse(false);
    return n;
}

bool QueueReadBlocks(TIOQueue& Queue, TReadBlocks& Blocks, const uint8_t* Bytes, int32_t N,
                     uint32_t Clears, bool Wake) {
    if (N <= 0) return true;
    const size_t need = (static_cast<size_t>(N) + kReadBlockSize - 1) / kReadBlockSize;
    try {
        // Both lists at their full size at once, not grown a step at a time as reads get larger.
        const size_t most = std::max(need, TIOQueue::kMaxSpares);
        Blocks.Spares.reserve(most);
        Blocks.Filled.reserve(most);
        // Short of blocks: take every spare the queue holds, so that the next reads need not ask.
        if (Blocks.Spares.size() < need)
            Queue.TakeSpares(Blocks.Spares, TIOQueue::kMaxSpares - Blocks.Spares.size());
        while (Blocks.Spares.size() < need)
            Blocks.Spares.push_back(std::make_unique<TDataBuffer>(kReadBlockSize));
    } catch (const std::exception&) {
        return false;
    }
    for (int32_t done = 0; done < N;) {
        std::unique_ptr<TDataBuffer> block = std::move(Blocks.Spares.back());
        Blocks.Spares.pop_back();
        const int32_t n = std::min<int32_t>(N - done, block->Size());
        std::memcpy(block->Data(), Bytes + done, static_cast<size_t>(n));
        block->SetBytesUsed(n);
        Blocks.Filled.push_back(std::move(block));
        done += n;
    }
    // Bytes from before a purge are dropped (freed here, not on the queue's lock).
    if (!Queue.PushAllUnlessClearedSince(Blocks.Filled, Clears, Wake)) Blocks.Filled.clear();
    return true;
}

int32_t AppendToOutputRing(TSioBaseDispatcher& D, const uint8_t* Buf, int32_t Size) {
    std::lock_guard lock(D.OutputSection);
    if (!D.OBuffer || D.OutQue == 0 || Size <= 0) return 0;
    uint32_t n = static_cast<uint32_t>(Size);
    uint32_t first = std::min(n, D.OutQue - D.OBufHead);
    std::memcpy(D.OBuffer.get() + D.OBufHead, Buf, first);
    std::memcpy(D.OBuffer.get(), Buf + first, n - first);
    D.OBufHead = (D.OBufHead + n) % D.OutQue;
    return Size;
}

int32_t OutputRingUsed(TSioBaseDispatcher& D) {
    std::lock_guard lock(D.OutputSection);
    if (D.OBufFull) return static_cast<int32_t>(D.OutQue);
    if (D.OBufTail <= D.OBufHead) return static_cast<int32_t>(D.OBufHead - D.OBufTail);
    return static_cast<int32_t>(D.OutQue - D.OBufTail + D.OBufHead);
}

std::unique_ptr<uint8_t[]> TakeOutputRing(TSioBaseDispatcher& D, size_t& Count) {
    std::lock_guard lock(D.OutputSection);
    Count = 0;
    if (!D.OBuffer || !(D.OBufFull || D.OBufHead != D.OBufTail)) return nullptr;
    const uint32_t size = D.OutQue, head = D.OBufHead, tail = D.OBufTail;
    Count = head > tail ? head - tail : size - tail + head;
    auto block = std::make_unique<uint8_t[]>(Count);
    if (head > tail) {
        std::memcpy(block.get(), D.OBuffer.get() + tail, Count);
    } else {
        std::memcpy(block.get(), D.OBuffer.get() + tail, size - tail);
        std::memcpy(block.get() + (size - tail), D.OBuffer.get(), head);
    }
    D.OBufHead = D.OBufTail = 0;
    D.OBufFull = false;
    return block;
}
