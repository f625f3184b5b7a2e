// The dispatch buffer (the 8192-byte ring of received bytes) and the output path.
//
// DispSection guards the ring and its read state; OutputSection makes PutBlock's room check and
// WriteCom one step. A port whose buffers were released (a device thread ended it on an error)
// answers every read, write, count and flush with -2007: each operation checks for the buffer
// under the section that the release also holds.
#include <cstring>

#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/dispatch_codes.h"
#include "serial/dispatch/io_queue.h"

namespace {
constexpr uint32_t kRing = DispatchBufferSize;

uint32_t RingCount(uint32_t Head, uint32_t Tail, bool Full) {
    if (Head == Tail) return Full ? kRing : 0;
    return Head > Tail ? Head - Tail : Head + kRing - Tail;
}
}  // namespace

uint32_t TSioBaseDispatcher::UnreadCount() const {
    return RingCount(DBufHead, DBufTail, DispatchFull);
}

uint32_t TSioBaseDispatcher::UnscannedCount() const {
    uint32_t unscanned = (DBufHead + kRing - LastTailData) % kRing;
    // The head on the scan's position with bytes added since: a whole ring to scan.
    return unscanned == 0 && FilledSinceScan ? kRing : unscanned;
}

void TSioBaseDispatcher::ConsumeInput(uint32_t Count) {
    if (Count == 0) return;
    const uint32_t scannedAhead = UnreadCount() - UnscannedCount();
    DBufTail = (DBufTail + Count) % kRing;
    WakeIfFull();
    if (Count <= scannedAhead) return;
    // Bytes were taken unscanned: the scan goes on from the tail, and what it had matched in
    // part does not carry over the gap.
    LastTailData = DBufTail;
    FilledSinceScan = false;
    std::lock_guard data(DataSection);
    DataScan.Reset();
}

uint32_t TSioBaseDispatcher::CountThrough(uint32_t Pos) const {
    uint32_t through = (Pos + kRing - DBufTail) % kRing + 1;
    return InAvailMessage ? through - GetCount : through;
}

void TSioBaseDispatcher::WakeIfFull() {
    // The dispatcher thread waits while the ring is full; bytes taken make room for it.
    if (DispatchFull) FQueue->Wake();
    DispatchFull = false;
}

bool TSioBaseDispatcher::CharReady() {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return false;
    if (!InAvailMessage) return DBufHead != DBufTail || DispatchFull;
    uint32_t p = (DBufTail + GetCount) % kRing;
    return p != DBufHead || (DispatchFull && GetCount < kRing);
}

int32_t TSioBaseDispatcher::PeekAt(char& C, uint32_t N) {
    std::lock_guard lock(DispSection);
    if (N == 0) return ecBadArgument;  // would name the byte before the tail
    if (N > UnreadCount()) return ecBufferIsEmpty;
    C = static_cast<char>(DBuffer[(DBufTail + N - 1) % kRing]);
    return 0;
}

int32_t TSioBaseDispatcher::PeekChar(char& C, uint32_t Count) {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    if (Count == 0) return ecBadArgument;
    if (InAvailMessage) Count += GetCount;
    return PeekAt(C, Count);
}

int32_t TSioBaseDispatcher::GetChar(char& C) {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    int32_t r;
    if (InAvailMessage) {
        ++GetCount;
        r = PeekAt(C, GetCount);
        if (r != 0) --GetCount;
    } else {
        r = PeekAt(C, 1);
        if (r == 0) ConsumeInput(1);
    }
    if (r == 0 && TracingOn.load()) {
        std::lock_guard data(DataSection);
        if (TracingOn.load()) AddTraceEntry('R', C);
    }
    return r;
}

int32_t TSioBaseDispatcher::CopyFromBuffer(void* Block, uint32_t Offset, uint32_t& NewTail,
                                           uint32_t Len) {
    NewTail = (DBufTail + Offset) % kRing;
    uint32_t unread = UnreadCount();
    uint32_t avail = unread > Offset ? unread - Offset : 0;
    if (Len > avail) return ecBufferIsEmpty;
    auto* out = static_cast<uint8_t*>(Block);
    if (NewTail + Len < kRing) {
        std::memcpy(out, &DBuffer[NewTail], Len);
    } else {
        uint32_t first = kRing - NewTail;
        std::memcpy(out, &DBuffer[NewTail], first);
        std::memcpy(out + first, &DBuffer[0], Len - first);
    }
    NewTail = (NewTail + Len) % kRing;
    return static_cast<int32_t>(Len);
}

int32_t TSioBaseDispatcher::PeekBlock(void* Block, uint32_t Len) {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    if (Len == 0) return 0;
    uint32_t newTail;
    return CopyFromBuffer(Block, InAvailMessage ? GetCount : 0, newTail, Len);
}

int32_t TSioBaseDispatcher::GetBlock(void* Block, uint32_t Len) {
    int32_t r;
    {
        std::lock_guard lock(DispSection);
        if (!DBuffer) return ecCommNotOpen;
        if (Len == 0) return 0;
        uint32_t newTail;
        if (InAvailMessage) {
            r = CopyFromBuffer(Block, GetCount, newTail, Len);
            if (r > 0) GetCount += static_cast<uint32_t>(r);
        } else {
            r = CopyFromBuffer(Block, 0, newTail, Len);
            if (r > 0) ConsumeInput(static_cast<uint32_t>(r));
        }
    }
    if (r > 0 && TracingOn.load()) {
        std::lock_guard data(DataSection);
        const auto* bytes = static_cast<const char*>(Block);
        if (TracingOn.load())
            for (int32_t i = 0; i < r; ++i) AddTraceEntry('R', bytes[i]);
    }
    return r;
}

int32_t TSioBaseDispatcher::InBuffUsed() {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    uint32_t used = UnreadCount();
    return static_cast<int32_t>(InAvailMessage ? used - GetCount : used);
}

int32_t TSioBaseDispatcher::InBuffFree() {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    uint32_t free = kRing - UnreadCount();
    return static_cast<int32_t>(InAvailMessage ? free + GetCount : free);
}

int32_t TSioBaseDispatcher::FlushInBuffer() {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return ecCommNotOpen;
    int32_t r = PurgeQueue(1);
    if (InAvailMessage) {
        // The notification's end takes the bytes (and wakes the dispatcher thread when the ring
        // was full). Until then a full ring stays full: counted empty now, its flushed bytes
        // would lie between the tail and the scan position, and be scanned again. The handler
        // that flushed and those after it read on behind the flushed bytes.
        FlushedInNotification = MaxGetCount = GetCount = UnreadCount();
    } else {
        ConsumeInput(UnreadCount());
        GetCount = 0;
    }
    ResetDataMatches();
    return r;
}

bool TSioBaseDispatcher::FillDispatchBuffer() {
    std::lock_guard lock(DispSection);
    if (!DBuffer) return false;
    if (DispatchFull) {
        static constexpr char kFull[] = "Dispatch buffer full.";
        if (DLoggingOn.load())
            AddDispatchEntry(TDispatchType::dtDispatch, TDispatchSubType::dstStatus, 0, kFull, 21);
        return true;
    }
    int32_t n = InputAvailable();
    {
        std::lock_guard data(DataSection);
        ComStatus.cbInQue = n > 0 ? static_cast<uint32_t>(n) : 0;
    }
    if (n <= 0) return false;
    uint32_t freeSpace, p1;
    if (DBufTail == DBufHead) {
        freeSpace = kRing;
        p1 = kRing - DBufHead;
    } else if (DBufTail < DBufHead) {
        freeSpace = DBufTail + kRing - DBufHead;
        p1 = kRing - DBufHead;
    } else {
        freeSpace = p1 = DBufTail - DBufHead;
    }
    uint32_t c = std::min(freeSpace, static_cast<uint32_t>(n));
    uint32_t p2 = c > p1 ? c - p1 : 0;

    // A device layer that reports a failed read (a negative count) delivered nothing.
    auto read = [this](uint32_t size) {
        int32_t r = ReadCom(&DBuffer[DBufHead], static_cast<int32_t>(size));
        if (r < 0) {
            // The hook only records the failure with the device layer; nothing to answer.
            (void)ReadErrorHook(-1);
            r = 0;
        }
        if (static_cast<uint32_t>(r) > size) r = static_cast<int32_t>(size);
        if (DLoggingOn.load())
            AddDispatchEntry(TDispatchType::dtDispatch, TDispatchSubType::dstReadCom,
                             static_cast<uint32_t>(r), r > 0 ? &DBuffer[DBufHead] : nullptr,
                             static_cast<uint32_t>(r));
        return static_cast<uint32_t>(r);
    };
    uint32_t r1 = read(p1);
    DBufHead = (DBufHead + r1) % kRing;
    if (r1 < p1) p2 = 0;
    if (r1 > 0) DispatchFull = DBufHead == DBufTail;
    if (p2 > 0) {
        uint32_t r2 = read(p2);
        DBufHead = (DBufHead + r2) % kRing;
        DispatchFull = DBufHead == DBufTail;
        if (r2 > 0) FilledSinceNotify = FilledSinceScan = true;
    }
    if (r1 > 0) FilledSinceNotify = FilledSinceScan = true;
    return true;
}

int32_t TSioBaseDispatcher::PutBlock(const void* Block, uint32_t Len) {
    if (Len == 0) {
        std::lock_guard lock(OutputSection);
        return OBuffer ? 0 : ecCommNotOpen;
    }
    int32_t result = 0;
    int32_t written;
    bool failed = false;
    TSioComStat stat;
    int32_t errors = 0;
    {
        std::lock_guard lock(OutputSection);
        if (!OBuffer) return ecCommNotOpen;
        int32_t pending = OutputPending();
        uint32_t freeSpace = pending >= 0 && static_cast<uint32_t>(pending) < OutQue
                                 ? OutQue - static_cast<uint32_t>(pending)
                                 : 0;
        if (Len > freeSpace) return ecOutputBufferTooSmall;
        if (Len == freeSpace) OBufFull = true;
        written = WriteCom(static_cast<const uint8_t*>(Block), static_cast<int32_t>(Len));
        if (written <= 0) {
            written = -written;
            result = ecPutBlockFail;
            failed = true;
            errors = ReadErrors(stat);
        }
        OutSentPending = true;
    }
    std::lock_guard data(DataSection);
    if (failed) {
        LastError = static_cast<uint32_t>(errors);
        ComStatus = stat;
    }
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtDispatch, TDispatchSubType::dstWriteCom,
                         static_cast<uint32_t>(written), written > 0 ? Block : nullptr,
                         static_cast<uint32_t>(written));
    if (TracingOn.load()) {
        const auto* bytes = static_cast<const char*>(Block);
        for (int32_t i = 0; i < written; ++i) AddTraceEntry('T', bytes[i]);
    }
    return result;
}

int32_t TSioBaseDispatcher::PutChar(char C) { return PutBlock(&C, 1); }

int32_t TSioBaseDispatcher::PutString(const std::string& S) {
    return PutBlock(S.data(), static_cast<uint32_t>(S.size()));
}

int32_t TSioBaseDispatcher::OutBuffUsed() {
    std::lock_guard data(DataSection);
    std::lock_guard output(OutputSection);
    if (!OBuffer) return ecCommNotOpen;
    RefreshLineErrors();
    return static_cast<int32_t>(ComStatus.cbOutQue);
}

int32_t TSioBaseDispatcher::OutBuffFree() {
    int32_t used = OutBuffUsed();
    if (used < 0) return used;
    return static_cast<int32_t>(OutQue) - used;
}

int32_t TSioBaseDispatcher::FlushOutBuffer() {
    {
        std::lock_guard lock(OutputSection);
        if (!OBuffer) return ecCommNotOpen;
    }
    return PurgeQueue(0);
}
