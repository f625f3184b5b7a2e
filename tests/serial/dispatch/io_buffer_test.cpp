// The I/O queue's items: data blocks and their counters, log entries and their private copies.
#include "serial/dispatch/io_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "serial/errors/sio_exception.h"

namespace {

TEST(TDataBuffer, StartsZeroFilledAndEmpty) {
    TDataBuffer b(256);
    EXPECT_EQ(b.Size(), 256);
    EXPECT_EQ(b.BytesUsed(), 0);
    EXPECT_EQ(b.BytesRead(), 0);
    EXPECT_FALSE(b.InUse());
    ASSERT_NE(b.Data(), nullptr);
    EXPECT_TRUE(std::all_of(b.Data(), b.Data() + 256, [](uint8_t c) { return c == 0; }));
}

TEST(TDataBuffer, CountersKeepReadWithinUsedWithinSize) {
    TDataBuffer b(16);
    b.SetBytesUsed(10);
    b.SetBytesRead(4);
    EXPECT_THROW(b.SetBytesRead(11), std::out_of_range);
    EXPECT_THROW(b.SetBytesRead(-1), std::out_of_range);
    EXPECT_THROW(b.SetBytesUsed(17), std::out_of_range);
    EXPECT_THROW(b.SetBytesUsed(3), std::out_of_range);  // below what was already read
    EXPECT_EQ(b.BytesUsed(), 10);
    EXPECT_EQ(b.BytesRead(), 4);
    b.SetBytesRead(10);
    EXPECT_EQ(b.BytesRead(), 10);
}

TEST(TDataBuffer, ABlockThatCannotBeHadRaisesAPlainException) {
    // Larger than the queue's 32-bit byte count can hold.
    try {
        TDataBuffer b(0x80000000u);
        FAIL() << "no exception";
    } catch (const ESioException&) {
        FAIL() << "raised inside the serial exception family";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Insufficient memory to allocate I/O buffer.");
    }
}

TEST(TDataBuffer, AnEmptyBlockIsAllowed) {
    TDataBuffer b(0);
    EXPECT_EQ(b.Size(), 0);
    EXPECT_THROW(b.SetBytesUsed(1), std::out_of_range);
}

TEST(TStatusBuffer, CarriesTheEventWordAndCountsNothing) {
    TStatusBuffer s;
    s.SetStatus(0x2000 | 0x0001);
    EXPECT_EQ(s.Status(), 0x2001u);
    EXPECT_EQ(s.Size(), 0);
}

TEST(TLogBuffer, KeepsItsOwnCopyOfTheBytes) {
    std::string bytes = "READ\r\n";
    TLogBuffer e(TDispatchType::dtDispatch, TDispatchSubType::dstReadCom, 1234, 6,
                 reinterpret_cast<const uint8_t*>(bytes.data()),
                 static_cast<int32_t>(bytes.size()));
    bytes.assign("XXXXXX");
    EXPECT_EQ(e.drType(), TDispatchType::dtDispatch);
    EXPECT_EQ(e.drSubType(), TDispatchSubType::dstReadCom);
    EXPECT_EQ(e.drTime(), 1234u);
    EXPECT_EQ(e.drData(), 6u);
    EXPECT_EQ(e.drMoreData(), 6);
    EXPECT_EQ(e.Size(), 6);
    ASSERT_NE(e.drBuffer(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.drBuffer()), 6), "READ\r\n");
}

TEST(TLogBuffer, AnEntryWithoutBytesHasNoBuffer) {
    const uint8_t byte = 7;
    const struct {
        const uint8_t* bfr;
        int32_t len;
    } cases[] = {{nullptr, 0}, {&byte, 0}, {&byte, -5}, {nullptr, 10}};
    for (const auto& c : cases) {
        TLogBuffer e(TDispatchType::dtThread, TDispatchSubType::dstThreadStart, 0, 0, c.bfr, c.len);
        EXPECT_EQ(e.drBuffer(), nullptr) << c.len;
        EXPECT_EQ(e.drMoreData(), 0) << c.len;
    }
}

}  // namespace
