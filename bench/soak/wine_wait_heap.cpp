// What waits for line events leave in the process heap under Wine, beside threads of our own
// started and ended as often: pelkan.exe's one growth over a long run was blocks of this heap that
// none of its own allocations account for. Run it beside a virtual line:
//   tests/support/virtual_line/run-with-line <build>/win 3
//   <build>/win/bench/soak/wine_wait_heap.exe
// Prints, per wait and per thread, the busy bytes the process heap gained.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/unique_handle.h"
#include "tests/support/virtual_line/vline_client.h"

namespace {

struct HeapUse {
    long blocks = 0;
    long long bytes = 0;
};

HeapUse ProcessHeapUse() {
    HeapUse use;
    HANDLE heap = GetProcessHeap();
    if (!HeapLock(heap)) return use;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heap, &e)) {
        if (!(e.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
        ++use.blocks;
        use.bytes += e.cbData;
    }
    HeapUnlock(heap);
    return use;
}

void Report(const char* what, int count, const HeapUse& from, const HeapUse& to) {
    std::printf("%-34s %5d: %+6ld blocks, %+8lld bytes, %7.1f bytes each\n", what, count,
                to.blocks - from.blocks, to.bytes - from.bytes,
                double(to.bytes - from.bytes) / count);
}

DWORD WINAPI NoWork(void*) { return 0; }

}  // namespace

int main() {
    if (!vline::VirtualLinePeer::Available()) {
        std::fprintf(stderr, "run it through run-with-line\n");
        return 2;
    }
    vline::VirtualLinePeer peer;
    platform::UniqueFileHandle dev(CreateFileW(vline::VirtualLinePeer::DeviceName().c_str(),
                                               GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!dev) {
        std::fprintf(stderr, "cannot open the line: error %lu\n", GetLastError());
        return 1;
    }
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(dev.get(), &timeouts);
    SetCommMask(dev.get(), EV_RXCHAR);
    platform::UniqueHandle waitDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    platform::UniqueHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));

    // One wait for a received byte; `byte` false: the wait is cancelled instead.
    auto wait = [&](bool byte) {
        OVERLAPPED waitRecord{};
        waitRecord.hEvent = waitDone.get();
        DWORD mask = 0, got = 0;
        const bool pending =
            !WaitCommEvent(dev.get(), &mask, &waitRecord) && GetLastError() == ERROR_IO_PENDING;
        if (byte) peer.Send("x");
        if (pending) {
            if (WaitForSingleObject(waitDone.get(), byte ? 2000 : 20) == WAIT_TIMEOUT)
                CancelIoEx(dev.get(), &waitRecord);
            GetOverlappedResult(dev.get(), &waitRecord, &got, TRUE);
        }
        if (!byte) return;
        Sleep(1);
        OVERLAPPED readRecord{};
        readRecord.hEvent = readDone.get();
        char buffer[16];
        if (!ReadFile(dev.get(), buffer, sizeof buffer, &got, &readRecord))
            GetOverlappedResult(dev.get(), &readRecord, &got, TRUE);
    };
    for (int i = 0; i < 50; ++i) wait(true);  // the line and the heap settle

    constexpr int kWaits = 1000, kCancelled = 300, kThreads = 300;
    HeapUse a = ProcessHeapUse();
    for (int i = 0; i < kWaits; ++i) wait(true);
    HeapUse b = ProcessHeapUse();
    for (int i = 0; i < kCancelled; ++i) wait(false);
    HeapUse c = ProcessHeapUse();
    for (int i = 0; i < kThreads; ++i) {
        platform::UniqueHandle thread(CreateThread(nullptr, 0, NoWork, nullptr, 0, nullptr));
        WaitForSingleObject(thread.get(), INFINITE);
    }
    HeapUse d = ProcessHeapUse();
    Report("waits ended by a received byte", kWaits, a, b);
    Report("waits cancelled", kCancelled, b, c);
    Report("threads of our own (baseline)", kThreads, c, d);
    return 0;
}
