// The I/O queue's items.
#include "serial/dispatch/io_buffer.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

int32_t CheckedSize(uint32_t size) {
    if (size > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        throw std::runtime_error("Insufficient memory to allocate I/O buffer.");
    return static_cast<int32_t>(size);
}

int32_t LogSize(const uint8_t* bfr, int32_t bfrLen) { return bfr && bfrLen > 0 ? bfrLen : 0; }

}  // namespace

TDataBuffer::TDataBuffer(uint32_t Size) : TIOBuffer(CheckedSize(Size), kKind) {
    // calloc(0) may give null or a unique pointer; a block of 0 bytes needs no memory.
    if (Size == 0) return;
    FData.reset(static_cast<uint8_t*>(std::calloc(Size, 1)));
    if (!FData) throw std::runtime_error("Insufficient memory to allocate I/O buffer.");
}

void TDataBuffer::SetBytesUsed(int32_t Value) {
    if (Value < FDataRead || Value > TIOBuffer::Size())
        throw std::out_of_range("TDataBuffer: BytesUsed outside BytesRead..Size");
    FDataUsed = Value;
}

void TDataBuffer::SetBytesRead(int32_t Value) {
    if (Value < 0 || Value > FDataUsed)
        throw std::out_of_range("TDataBuffer: BytesRead outside 0..BytesUsed");
    FDataRead = Value;
}

TLogBuffer::TLogBuffer(TDispatchType typ, TDispatchSubType styp, uint32_t tim, uint32_t data,
                       const uint8_t* bfr, int32_t bfrLen)
    : TIOBuffer(LogSize(bfr, bfrLen)), FType(typ), FSubType(styp), FTime(tim), FData(data) {
    if (Size() > 0) FBuffer.assign(bfr, bfr + Size());
}
