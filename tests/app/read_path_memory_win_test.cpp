// The bridge's serial services on a virtual serial line under Wine, answering many command lines
// the way the main window does (one packet per line, a reply of READ's length for each): what the
// exchanges leave behind in this process's memory once they are over.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "app/serial_services_sio.h"
#include "tests/support/pump_until.h"
#include "tests/support/virtual_line/line_test.h"
#include "tests/support/virtual_line/vline_client.h"

// Every C++ allocation of the program is counted: what is still allocated after a run of
// exchanges, and was not before, is what the exchanges keep.
namespace {
std::atomic<long> liveNews{0};
std::atomic<long long> liveNewBytes{0};

struct Header {
    size_t size;
    size_t pad;  // keeps the block 16-byte aligned
};

void* Counted(size_t size) {
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) throw std::bad_alloc();
    h->size = size;
    liveNews.fetch_add(1, std::memory_order_relaxed);
    liveNewBytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
    return h + 1;
}

void Uncounted(void* p) {
    if (!p) return;
    Header* h = static_cast<Header*>(p) - 1;
    liveNews.fetch_sub(1, std::memory_order_relaxed);
    liveNewBytes.fetch_sub(static_cast<long long>(h->size), std::memory_order_relaxed);
    std::free(h);
}
}  // namespace

void* operator new(size_t size) { return Counted(size); }
void* operator new[](size_t size) { return Counted(size); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t) noexcept { Uncounted(p); }

namespace {

using testsupport::PumpUntil;

// What the process holds that the exchanges could leave behind.
struct Holdings {
    long blocks;           // C++ allocations
    long long bytes;       // their size
    uintptr_t nextHandle;  // the value a new handle gets
};

// Handles are given the lowest free slot of the process's table, so handles left open move the
// next one up. (Wine does not count a process's handles: GetProcessHandleCount gives 0.)
uintptr_t NextHandleValue() {
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<uintptr_t>(probe);
}

Holdings Now() { return {liveNews.load(), liveNewBytes.load(), NextHandleValue()}; }

using ReadPathOnLine = vline::MainThreadOnLine;

// A program that answers ten lines a second for weeks keeps nothing per line: once the buffers
// and queues have their size, every allocation and handle a line takes is given back.
TEST_F(ReadPathOnLine, ExchangesLeaveNoAllocationOrHandleBehind) {
    SioSerialServices sio;
    ComPortService& port = *sio.services.port;
    DataPacketService& packet = *sio.services.packet;
    port.SetComNumber(com);
    port.SetBaud(9600);
    packet.SetEndCond({TPacketEndCond::ecString});
    packet.SetEndString("\r\n");
    packet.SetStartCond(TPacketStartCond::scAnyData);
    const std::string reply = "FX" + std::string(86, '0') + "\r\n";  // READ's length
    long answered = 0;
    packet.SetOnStringPacket([&](DataPacketService*, const std::string& data) {
        // The packet keeps the line end, as the command protocol sees it.
        if (data == "READ\r\n") port.PutString(reply);
        ++answered;
    });
    const uintptr_t handleBeforeOpen = NextHandleValue();
    port.SetOpen(true);
    packet.SetEnabled(true);

    // The number of exchanges answered with the reply.
    auto exchange = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const long before = answered;
            peer->Send("READ\r\n");
            if (!PumpUntil([&] { return answered > before; }, std::chrono::seconds(10))) return i;
            if (peer->Receive(reply.size(), 5000) != reply) return i;
        }
        return count;
    };
    ASSERT_EQ(exchange(200), 200);  // the first exchanges size the buffers and queues for good
    const Holdings before = Now();
    constexpr int kMany = 1000;
    ASSERT_EQ(exchange(kMany), kMany);
    testsupport::PumpFor(std::chrono::milliseconds(200));
    const Holdings after = Now();
    // A container that keeps growing holds the same number of blocks, only larger ones.
    EXPECT_TRUE(after.blocks <= before.blocks && after.bytes <= before.bytes)
        << "kept " << after.blocks - before.blocks << " allocations (" << after.bytes - before.bytes
        << " bytes) over " << kMany << " exchanges";
    // Under Wine a line-event wait that has to wait holds a thread handle of the process for as
    // long as it lasts, so while the port is open one sample may see one handle more than the
    // other. A handle kept per exchange would show as a thousand.
    constexpr uintptr_t kOneHandle = 4;  // handle values step by four
    EXPECT_LE(after.nextHandle, before.nextHandle + kOneHandle) << "handles stayed open";
    // Closed, the port gives back the handles it took, its threads' and the system's among them.
    port.SetOpen(false);
    EXPECT_TRUE(PumpUntil([&] { return NextHandleValue() <= handleBeforeOpen; },
                          std::chrono::seconds(5)))
        << "a handle outlived the port";
}

}  // namespace
