// The byte paths shared by the device layers.
#include "serial/device/device_queue_io.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "serial/dispatch/io_queue.h"
#include "serial/dispatch/base_dispatcher.h"

int32_t TakeQueuedBytes(TIOQueue& Queue, uint8_t* Buf, int32_t Size) {
    int32_t copied = 0;
    while (copied < Size) {
        TIOBuffer* head = Queue.Peek();
        if (!head) break;
        auto* block = dynamic_cast<TDataBuffer*>(head);
        if (!block) {
            head->SetInUse(false);
            break;
        }
        int32_t n = std::min(Size - copied, block->BytesUsed() - block->BytesRead());
        std::memcpy(Buf + copied, block->Data() + block->BytesRead(), static_cast<size_t>(n));
        copied += n;
        block->SetBytesRead(block->BytesRead() + n);
        if (block->BytesRead() == block->BytesUsed())
            Queue.Pop();
        else
            block->SetInUse(false);
    }
    return copied;
}

int32_t HeadBlockBytes(TIOQueue& Queue) {
    TIOBuffer* head = Queue.Peek();
    if (!head) return 0;
    int32_t n = 0;
    if (auto* block = dynamic_cast<TDataBuffer*>(head)) n = block->BytesUsed() - block->BytesRead();
    head->SetInUse(false);
    return n;
}

bool QueueReadBlocks(TIOQueue& Queue, std::unique_ptr<TDataBuffer>& Spare, const uint8_t* Bytes,
                     int32_t N, uint32_t Clears) {
    constexpr uint32_t kBlockSize = 256;
    for (int32_t done = 0; done < N;) {
        if (!Spare) {
            try {
                Spare = std::make_unique<TDataBuffer>(kBlockSize);
            } catch (const std::exception&) {
                return false;
            }
        }
        int32_t n = std::min<int32_t>(N - done, Spare->Size());
        std::memcpy(Spare->Data(), Bytes + done, static_cast<size_t>(n));
        Spare->SetBytesUsed(n);
        if (!Queue.PushUnlessClearedSince(std::move(Spare), Clears)) return true;
        done += n;
    }
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
