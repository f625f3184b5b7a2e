// The items of the I/O queue: received data blocks, comm-event words and dispatch-log entries.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "serial/dispatch/dispatch_types.h"

// Base of every item. An item is owned by its TIOQueue from Push until Pop hands it back.
class TIOBuffer {
  public:
    virtual ~TIOBuffer() = default;
    TIOBuffer(const TIOBuffer&) = delete;
    TIOBuffer& operator=(const TIOBuffer&) = delete;

    // Set by TIOQueue::Peek under the queue's lock; cleared by the consumer that holds the item
    // when it gives the item back without popping it.
    bool InUse() const { return FInUse.load(); }
    void SetInUse(bool Value) { FInUse.store(Value); }
    // What the item counts for in the queue's BytesQueued; fixed at creation.
    int32_t Size() const { return FDataSize; }

    // What the item is, for ItemAs: the queue asks this of every 256-byte block several times,
    // and a compare costs less than a dynamic_cast's walk through the type information.
    enum class Kind : uint8_t { Data, Status, Other };
    Kind ItemKind() const { return FKind; }

  protected:
    explicit TIOBuffer(int32_t DataSize, Kind ItemKind = Kind::Other)
        : FDataSize(DataSize), FKind(ItemKind) {}

  private:
    std::atomic<bool> FInUse{false};
    const int32_t FDataSize;
    const Kind FKind;
};

// The size of the blocks a device reader queues: no data block on the queue holds more.
inline constexpr uint32_t kReadBlockSize = 256;

// A block of received bytes. The producer fills Data and sets BytesUsed before it pushes the
// block; the consumer that holds it advances BytesRead. 0 <= BytesRead <= BytesUsed <= Size;
// the setters throw std::out_of_range for a value that breaks this.
class TDataBuffer : public TIOBuffer {
  public:
    static constexpr Kind kKind = Kind::Data;
    // Size zero-filled bytes. Throws std::runtime_error "Insufficient memory to allocate I/O
    // buffer." when they cannot be had (or Size does not fit the queue's 32-bit count).
    explicit TDataBuffer(uint32_t Size);

    uint8_t* Data() const { return FData.get(); }
    int32_t BytesUsed() const { return FDataUsed; }
    void SetBytesUsed(int32_t Value);
    int32_t BytesRead() const { return FDataRead; }
    void SetBytesRead(int32_t Value);

  private:
    struct FreeBytes {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // Owned; calloc, so that a large block costs nothing until it is written.
    std::unique_ptr<uint8_t, FreeBytes> FData;
    int32_t FDataUsed = 0;
    int32_t FDataRead = 0;
};

// One comm-event word, as reported by the device. Counts 0 bytes in the queue.
class TStatusBuffer : public TIOBuffer {
  public:
    static constexpr Kind kKind = Kind::Status;
    TStatusBuffer() : TIOBuffer(0, kKind) {}
    uint32_t Status() const { return FStatus; }
    void SetStatus(uint32_t Value) { FStatus = Value; }

  private:
    uint32_t FStatus = 0;
};

// The item as a TDataBuffer or TStatusBuffer (T), or null when it is something else.
template <typename T>
T* ItemAs(TIOBuffer* item) {
    return item && item->ItemKind() == T::kKind ? static_cast<T*>(item) : nullptr;
}
template <typename T>
const T* ItemAs(const TIOBuffer* item) {
    return item && item->ItemKind() == T::kKind ? static_cast<const T*>(item) : nullptr;
}

// One dispatch-log entry with a private copy of its bytes. Counts its byte count in the queue,
// which is what the log's size limit is measured in.
class TLogBuffer : public TIOBuffer {
  public:
    // A null bfr or a bfrLen of 0 or less makes an entry without bytes.
    TLogBuffer(TDispatchType typ, TDispatchSubType styp, uint32_t tim, uint32_t data,
               const uint8_t* bfr, int32_t bfrLen);

    TDispatchType drType() const { return FType; }
    TDispatchSubType drSubType() const { return FSubType; }
    uint32_t drTime() const { return FTime; }  // milliseconds since the port was opened
    uint32_t drData() const { return FData; }
    const uint8_t* drBuffer() const { return FBuffer.empty() ? nullptr : FBuffer.data(); }
    int32_t drMoreData() const { return Size(); }

  private:
    TDispatchType FType;
    TDispatchSubType FSubType;
    uint32_t FTime;
    uint32_t FData;
    std::vector<uint8_t> FBuffer;
};
