// The dispatch buffer and the output path: the ring's edges, the read mode during a notification,
// PutBlock's all-or-nothing rule, flushes, and a port whose buffers were released.
#include <gtest/gtest.h>

#include "serial/dispatch/io_queue.h"
#include "tests/serial/dispatch/dispatch_fixture.h"

namespace {

std::string Bytes(size_t n, size_t seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + (i + seed) % 26);
    return s;
}

using DispatchBuffer = OpenPort;

TEST_F(DispatchBuffer, BlockReadIsAllOrNothing) {
    ReceiveAndPass("hello");
    char buf[8] = {};
    EXPECT_EQ(-3007, d->GetBlock(buf, 6));
    EXPECT_EQ(5, d->InBuffUsed());
    EXPECT_EQ(0, d->GetBlock(buf, 0));
    EXPECT_EQ(5, d->GetBlock(buf, 5));
    EXPECT_EQ("hello", std::string(buf, 5));
    EXPECT_EQ(0, d->InBuffUsed());
    EXPECT_FALSE(d->CharReady());
    EXPECT_EQ(-3007, d->GetBlock(buf, 1));
}

TEST_F(DispatchBuffer, CharactersPeekedThenTaken) {
    ReceiveAndPass("xyz");
    char c = 0;
    EXPECT_EQ(0, d->PeekChar(c, 2));
    EXPECT_EQ('y', c);
    EXPECT_EQ(-1002, d->PeekChar(c, 0)) << "Count 0 names no byte";
    EXPECT_EQ(-3007, d->PeekChar(c, 4));
    EXPECT_EQ(0, d->GetChar(c));
    EXPECT_EQ('x', c);
    char two[2];
    EXPECT_EQ(2, d->PeekBlock(two, 2));
    EXPECT_EQ("yz", std::string(two, 2));
    EXPECT_EQ(2, d->InBuffUsed());
}

TEST_F(DispatchBuffer, ReadsCrossTheEndOfTheRingInOrder) {
    ReceiveAndPass(Bytes(8000));
    EXPECT_EQ(Bytes(8000), ReadAll());
    std::string crossing = Bytes(300, 7);
    ReceiveAndPass(crossing);
    // One pass reads as much as the device's first block holds, here in two pieces (192 to the
    // end of the ring and 64 from its start); the rest comes with the next pass.
    EXPECT_EQ(256, d->InBuffUsed());
    EXPECT_EQ(64u, d->DBufHead);
    Pass();
    EXPECT_EQ(300, d->InBuffUsed());
    EXPECT_EQ(crossing, ReadAll());
    EXPECT_EQ((8000u + 300u) % 8192u, d->DBufTail);
}

TEST_F(DispatchBuffer, FullRingStopsReadingUntilBytesAreTaken) {
    d->InitDispatchLogging(0);
    ReceiveAndPass(Bytes(8192));
    EXPECT_TRUE(d->CharReady());
    EXPECT_EQ(8192, d->InBuffUsed());
    EXPECT_EQ(0, d->InBuffFree());
    ReceiveAndPass("more");
    EXPECT_EQ(8192, d->InBuffUsed()) << "nothing read into a full ring";

    // The full ring is logged on every pass.
    int fullEntries = 0;
    while (auto item = d->DLoggingQueue->Pop()) {
        auto* entry = dynamic_cast<TLogBuffer*>(item.get());
        if (entry && entry->drSubType() == TDispatchSubType::dstStatus &&
            std::string(reinterpret_cast<const char*>(entry->drBuffer()), entry->drMoreData()) ==
                "Dispatch buffer full.")
            ++fullEntries;
    }
    EXPECT_EQ(1, fullEntries);

    std::string all(8192, '\0');
    EXPECT_EQ(8192, d->GetBlock(all.data(), 8192));
    EXPECT_EQ(0u, d->DBufTail) << "a read ending at the end of the ring leaves the tail at 0";
    EXPECT_EQ(Bytes(8192), all);
    Pass();
    EXPECT_EQ("more", ReadAll());
}

// Every handler of one notification sees the same bytes; the tail then moves by the most any
// handler took.
TEST_F(DispatchBuffer, HandlersOfOneNotificationReadTheSameBytes) {
    struct Case {
        uint32_t first, second, advance;
    } cases[] = {{5, 5, 5}, {3, 5, 5}, {5, 3, 5}, {0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << "/" << c.second);
        d = std::make_unique<TSioMemoryDispatcher>();
        d->SetRunThreads(false);
        ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3));
        d->ChangeLengthTrigger(1);
        Recorder a(d.get()), b(d.get());
        a.Reading = [&](const Notice& n) { return n.Msg == TriggerAvailMsg ? c.first : 0u; };
        b.Reading = [&](const Notice& n) { return n.Msg == TriggerAvailMsg ? c.second : 0u; };
        d->RegisterEventTriggerHandler(a.Event());
        d->RegisterEventTriggerHandler(b.Event());
        ReceiveAndPass("0123456789");
        ASSERT_EQ(1u, a.Notices.size());
        ASSERT_EQ(1u, b.Notices.size());
        EXPECT_EQ(std::string("01234").substr(0, c.first), a.Notices[0].Read);
        EXPECT_EQ(std::string("01234").substr(0, c.second), b.Notices[0].Read);
        EXPECT_EQ(10 - static_cast<int32_t>(c.advance), d->InBuffUsed());
    }
}

TEST_F(DispatchBuffer, CountsDuringANotificationLeaveOutWhatTheHandlerTook) {
    d->ChangeLengthTrigger(1);
    Recorder r(d.get());
    int32_t used = -1, freeBytes = -1;
    bool ready = true;
    r.Reading = [](const Notice&) { return 4u; };
    r.After = [&](const Notice&) {
        used = d->InBuffUsed();
        freeBytes = d->InBuffFree();
        ready = d->CharReady();
    };
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("abcd");
    EXPECT_EQ(0, used);
    EXPECT_EQ(8192, freeBytes);
    EXPECT_FALSE(ready);
}

// A flush inside a notification takes its bytes from every handler of it: neither the handler
// that flushed nor one called after it reads a byte from before the flush, and bytes that come
// after it reach them all.
TEST_F(DispatchBuffer, AFlushDuringANotificationLeavesNoHandlerTheFlushedBytes) {
    std::string fullRing(DispatchBufferSize, 'x');
    fullRing.replace(100, 2, "OK");
    const struct {
        const char* what;
        uint32_t lengthTrigger;  // 0: the trigger "OK" announces the bytes
        std::string input;
        uint32_t readFirst;  // bytes the flushing handler takes before it flushes
    } cases[] = {
        {"a data notification", 0, "xxOKyy", 0},
        {"a data notification, read from before the flush", 0, "xxOKyy", 2},
        {"a data notification on a full ring", 0, fullRing, 0},
        {"a data-available notification", 4, "xxOKyy", 0},
        {"a data-available notification, read from before the flush", 4, "xxOKyy", 3},
        {"a data-available notification on a full ring", 4, fullRing, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        d = std::make_unique<TSioMemoryDispatcher>();
        d->SetRunThreads(false);
        ASSERT_EQ(0, d->InitPort(L"\\\\.\\COM1", 9600, 0, 8, 1, 4096, 4096, 3));
        d->ChangeLengthTrigger(c.lengthTrigger);
        if (c.lengthTrigger == 0) {
            ASSERT_GT(d->AddDataTrigger("OK", false), 0);
        }
        // What a handler finds once the flush has run.
        struct Found {
            int32_t used = -1;
            int32_t block = 0;  // GetBlock of four bytes
            bool ready = true;
        } flusher, later;
        auto look = [&](Found& f) {
            f.used = d->InBuffUsed();
            char four[4];
            f.block = d->GetBlock(four, 4);
            f.ready = d->CharReady();
        };
        Recorder first(d.get()), second(d.get());
        first.Reading = [&](const Notice&) { return first.Notices.empty() ? c.readFirst : 2u; };
        first.After = [&](const Notice&) {
            if (first.Notices.size() > 1) return;
            EXPECT_GE(d->FlushInBuffer(), 0);
            look(flusher);
        };
        second.Reading = [](const Notice&) { return 2u; };
        second.After = [&](const Notice&) {
            if (second.Notices.size() == 1) look(later);
        };
        d->RegisterEventTriggerHandler(first.Event());
        d->RegisterEventTriggerHandler(second.Event());

        ReceiveAndPass(c.input);
        Pass();
        ASSERT_EQ(1u, first.Notices.size());
        ASSERT_EQ(1u, second.Notices.size());
        EXPECT_EQ(c.input.substr(0, c.readFirst), first.Notices[0].Read);
        EXPECT_EQ(0, flusher.used) << "the handler that flushed";
        EXPECT_EQ(-3007, flusher.block) << "the handler that flushed";
        EXPECT_FALSE(flusher.ready) << "the handler that flushed";
        EXPECT_EQ("", second.Notices[0].Read) << "the handler after it";
        EXPECT_EQ(0, later.used) << "the handler after it";
        EXPECT_EQ(-3007, later.block) << "the handler after it";
        EXPECT_FALSE(later.ready) << "the handler after it";
        EXPECT_EQ(0, d->InBuffUsed());

        ReceiveAndPass("OKyy");
        Pass();
        ASSERT_EQ(2u, first.Notices.size()) << "bytes after the flush are announced";
        ASSERT_EQ(2u, second.Notices.size());
        EXPECT_EQ("OK", first.Notices[1].Read);
        EXPECT_EQ("OK", second.Notices[1].Read);
        EXPECT_EQ("yy", ReadAll());
    }
}

TEST_F(DispatchBuffer, PutBlockFillsTheOutputRingExactlyAndRefusesOneByteMore) {
    d->InitDispatchLogging(0);
    EXPECT_GE(d->InitTracing(100), 0);
    EXPECT_EQ(0, d->PutBlock("", 0));
    EXPECT_EQ(0, d->DLoggingQueue->Count()) << "an empty block is neither logged nor traced";
    EXPECT_EQ(0u, d->TraceIndex);

    std::string block = Bytes(4096);
    EXPECT_EQ(-3006, d->PutBlock(block.data(), 4097));
    EXPECT_EQ(0, d->OutBuffUsed()) << "nothing written";
    EXPECT_EQ(0, d->DLoggingQueue->Count());

    EXPECT_EQ(0, d->PutBlock(block.data(), 4096));
    EXPECT_TRUE(d->OBufFull);
    EXPECT_EQ(4096, d->OutBuffUsed());
    EXPECT_EQ(0, d->OutBuffFree());
    EXPECT_EQ(-3006, d->PutChar('x'));
    EXPECT_EQ(block, d->Transmit());
    EXPECT_EQ(4096, d->OutBuffFree());
}

TEST_F(DispatchBuffer, DeviceTakingLessFailsTheBlockAndRecordsLineErrors) {
    EXPECT_GE(d->InitTracing(100), 0);
    d->LimitWriteCom(3);
    d->AddLineErrors(2);
    EXPECT_EQ(-3004, d->PutString("abcdef"));
    EXPECT_EQ(3u, d->TraceIndex) << "the part taken is traced";
    EXPECT_EQ(2u, d->LastError) << "the device's error bits replace LastError";
    EXPECT_EQ("abc", d->Transmit());
}

TEST_F(DispatchBuffer, TraceRecordsBytesTakenAndSent) {
    EXPECT_GE(d->InitTracing(10), 0);
    ReceiveAndPass("ab");
    char c;
    EXPECT_EQ(0, d->GetChar(c));
    char rest;
    EXPECT_EQ(1, d->GetBlock(&rest, 1));
    EXPECT_EQ(0, d->PutString("T"));
    ASSERT_EQ(3u, d->TraceIndex);
    EXPECT_EQ('R', d->TraceQueue[0].EventType);
    EXPECT_EQ('a', d->TraceQueue[0].C);
    EXPECT_EQ('b', d->TraceQueue[1].C);
    EXPECT_EQ('T', d->TraceQueue[2].EventType);
    EXPECT_EQ(-3007, d->GetChar(c));
    EXPECT_EQ(3u, d->TraceIndex) << "a failed read records nothing";
}

TEST_F(DispatchBuffer, FlushInputDropsBytesAndPartialMatches) {
    d->ChangeLengthTrigger(0);
    uint32_t ok = static_cast<uint32_t>(d->AddDataTrigger("OK", false));
    Recorder r(d.get());
    d->RegisterEventTriggerHandler(r.Event());
    ReceiveAndPass("xO");
    Receive("queued");
    EXPECT_EQ(1, d->FlushInBuffer());
    EXPECT_EQ(0, d->InBuffUsed());
    EXPECT_EQ(0, d->FQueue->Count()) << "the device layer's queued input is purged too";
    ReceiveAndPass("K");
    EXPECT_TRUE(r.Notices.empty()) << "'K' alone must not complete 'OK'";
    ReceiveAndPass("OK");
    ASSERT_EQ(1u, r.Notices.size());
    EXPECT_EQ(ok, r.Notices[0].wParam);
}

TEST_F(DispatchBuffer, FlushOutputEmptiesTheRing) {
    EXPECT_EQ(0, d->PutString("pending"));
    EXPECT_EQ(7, d->OutBuffUsed());
    EXPECT_EQ(1, d->FlushOutBuffer());
    EXPECT_EQ(0, d->OutBuffUsed());
    EXPECT_EQ("", d->Transmit());
}

// After the port's buffers are released while the port still counts as open, every read, write,
// count and flush answers -2007 and touches nothing.
TEST_F(DispatchBuffer, ReleasedPortAnswersNotOpen) {
    ReceiveAndPass("abc");
    d->DonePortPrim();
    char buf[4];
    char c;
    EXPECT_EQ(-2007, d->GetBlock(buf, 1));
    EXPECT_EQ(-2007, d->GetBlock(buf, 0));
    EXPECT_EQ(-2007, d->PeekBlock(buf, 1));
    EXPECT_EQ(-2007, d->GetChar(c));
    EXPECT_EQ(-2007, d->PeekChar(c, 1));
    EXPECT_FALSE(d->CharReady());
    EXPECT_EQ(-2007, d->InBuffUsed());
    EXPECT_EQ(-2007, d->InBuffFree());
    EXPECT_EQ(-2007, d->PutString("x"));
    EXPECT_EQ(-2007, d->PutBlock("", 0));
    EXPECT_EQ(-2007, d->OutBuffUsed());
    EXPECT_EQ(-2007, d->OutBuffFree());
    EXPECT_EQ(-2007, d->FlushInBuffer());
    EXPECT_EQ(-2007, d->FlushOutBuffer());
    ReceiveAndPass("late bytes");  // the dispatcher's pass must not touch the ring either
}

}  // namespace
