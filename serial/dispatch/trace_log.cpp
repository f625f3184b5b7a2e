// The dispatcher's side of the trace and the dispatch log: recording entries, their switches
// and budgets, and the state rules around writing the files (the formatting is the file
// writers').
#include <cstdio>

#include "platform/clock.h"
#include "serial/dispatch/base_dispatcher.h"
#include "serial/dispatch/dispatch_codes.h"
#include "serial/dispatch/dispatch_log_file.h"
#include "serial/dispatch/io_queue.h"

namespace {
constexpr uint32_t kMaxTraceEntries = 4000000;
}

int32_t TSioBaseDispatcher::InitTracing(uint32_t NumEntries) {
    std::lock_guard lock(DataSection);
    if (TraceAllocated) {
        (void)ClearTracing();  // cannot fail
    } else {
        if (NumEntries > kMaxTraceEntries) return ecBadArgument;
        TraceMax = NumEntries;
        TraceIndex = 0;
        TraceWrapped = false;
        TraceQueue.assign(NumEntries, TTraceRecord{0, 0});
        TraceAllocated = NumEntries > 0;
    }
    TracingOn.store(true);
    return 0;
}

void TSioBaseDispatcher::AddTraceEntry(char CurEntry, char CurCh) {
    std::lock_guard lock(DataSection);
    if (!TraceAllocated) return;
    TraceQueue[TraceIndex] = TTraceRecord{CurEntry, CurCh};
    if (++TraceIndex >= TraceMax) {
        TraceIndex = 0;
        TraceWrapped = true;
    }
}

void TSioBaseDispatcher::StartTracing() {
    std::lock_guard lock(DataSection);
    if (TraceAllocated) TracingOn.store(true);
}

void TSioBaseDispatcher::StopTracing() {
    std::lock_guard lock(DataSection);
    TracingOn.store(false);
}

int32_t TSioBaseDispatcher::ClearTracing() {
    std::lock_guard lock(DataSection);
    TraceIndex = 0;
    TraceWrapped = false;
    return 0;
}

void TSioBaseDispatcher::AbortTracing() {
    std::lock_guard lock(DataSection);
    TracingOn.store(false);
    TraceQueue.clear();
    TraceQueue.shrink_to_fit();
    TraceAllocated = false;
    TraceIndex = 0;
    TraceMax = 0;
    TraceWrapped = false;
}

int32_t TSioBaseDispatcher::DumpTrace(const std::string& FName, bool InHex, bool AllHex) {
    return WriteTraceFile(FName, false, InHex, AllHex);
}

int32_t TSioBaseDispatcher::AppendTrace(const std::string& FName, bool InHex, bool AllHex) {
    return WriteTraceFile(FName, true, InHex, AllHex);
}

int32_t TSioBaseDispatcher::WriteTraceFile(const std::string& FName, bool Append, bool InHex,
                                           bool AllHex) {
    // Held for the whole write: reads and writes that trace wait until the file is written.
    std::lock_guard lock(DataSection);
    if (!TraceAllocated) return 0;
    if (!TraceWrapped && TraceIndex == 0) return 0;
    std::span<const TTraceRecord> all(TraceQueue.data(), TraceMax);
    std::span<const TTraceRecord> older =
        TraceWrapped ? all.subspan(TraceIndex) : all.first(TraceIndex);
    std::span<const TTraceRecord> newer =
        TraceWrapped ? all.first(TraceIndex) : std::span<const TTraceRecord>{};
    int32_t r = WriteTraceRecords(FName, Append, InHex, AllHex, older, newer);
    if (r != 0) {
        // The writer reports one code for a failed open and a failed write; a file that cannot
        // even be opened for appending now is taken as a failed open.
        std::FILE* probe = std::fopen(FName.c_str(), "ab");
        if (!probe) {
            AbortTracing();
            return r;
        }
        std::fclose(probe);
    }
    uint32_t max = TraceMax;
    (void)InitTracing(max);  // the size tracing already had: cannot be refused
    return r;
}

uint32_t TSioBaseDispatcher::LogTime() const { return platform::NowMs() - TimeBase; }

void TSioBaseDispatcher::InitDispatchLogging(uint32_t QueueSize) {
    ClearDispatchLogging();
    DLoggingMax.store(QueueSize);
    DLoggingOn.store(true);
}

void TSioBaseDispatcher::StartDispatchLogging() { DLoggingOn.store(true); }
void TSioBaseDispatcher::StopDispatchLogging() { DLoggingOn.store(false); }
void TSioBaseDispatcher::ClearDispatchLogging() { DLoggingQueue->Clear(); }

void TSioBaseDispatcher::AbortDispatchLogging() {
    DLoggingOn.store(false);
    DLoggingQueue->Clear();
}

void TSioBaseDispatcher::AddDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Data,
                                          const void* Buffer, uint32_t BufferLen) {
    if (!DLoggingOn.load()) return;
    uint32_t max = DLoggingMax.load();
    while (max > 0 && static_cast<uint32_t>(DLoggingQueue->BytesQueued()) > max) {
        if (!DLoggingQueue->Pop()) break;
    }
    DLoggingQueue->Push(std::make_unique<TLogBuffer>(DT, DST, LogTime(), Data,
                                                     static_cast<const uint8_t*>(Buffer),
                                                     static_cast<int32_t>(BufferLen)));
}

void TSioBaseDispatcher::AddStringToLog(const std::string& S) {
    if (DLoggingOn.load())
        AddDispatchEntry(TDispatchType::dtUser, TDispatchSubType::dstNone, 0, S.data(),
                         static_cast<uint32_t>(S.size()));
}

int32_t TSioBaseDispatcher::DumpDispatchLog(const std::string& FName, bool InHex, bool AllHex) {
    return WriteDispatchLog(FName, false, InHex, AllHex);
}

int32_t TSioBaseDispatcher::AppendDispatchLog(const std::string& FName, bool InHex, bool AllHex) {
    return WriteDispatchLog(FName, true, InHex, AllHex);
}

int32_t TSioBaseDispatcher::WriteDispatchLog(const std::string& FName, bool Append, bool InHex,
                                             bool AllHex) {
    std::lock_guard lock(DataSection);
    return WriteDispatchLogFile(FName, Append, InHex, AllHex, DeviceName, *DLoggingQueue);
}
