// The byte path a device reader shares with the dispatcher thread, under load from two threads:
// reads cut into blocks and pushed together, blocks reused once read, status words queued in
// between, and a consumer that takes everything in front of a status word in one go.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "serial/device/device_queue_io.h"
#include "serial/dispatch/io_queue.h"

namespace {

// The stream's byte at position K: no period of 256, so a block out of place shows.
uint8_t StreamByte(uint32_t K) { return static_cast<uint8_t>(K ^ (K >> 8) ^ (K >> 16)); }

TEST(ReadBlocks, BytesAndStatusWordsArriveInOrderWhileBlocksAreReused) {
    constexpr uint32_t kTotal = 2u << 20;
    constexpr size_t kStage = 16 * kReadBlockSize;
    TIOQueue q;
    // The reader: reads of every size up to a full stage; after some of them a status word
    // carrying the count of bytes queued before it. Every other read is pushed without a
    // wake-up and announced afterwards, as the termios reader does.
    std::thread reader([&] {
        TReadBlocks blocks;
        uint8_t stage[kStage];
        uint32_t seed = 12345, sent = 0;
        for (int read = 0; sent < kTotal; ++read) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t n = std::min<uint32_t>(1 + (seed >> 8) % kStage, kTotal - sent);
            for (uint32_t i = 0; i < n; ++i) stage[i] = StreamByte(sent + i);
            const bool wake = read % 2 == 0;
            ASSERT_TRUE(
                QueueReadBlocks(q, blocks, stage, static_cast<int32_t>(n), q.Clears(), wake));
            if (!wake) q.Wake();
            sent += n;
            if (read % 7 == 3) {
                auto status = std::make_unique<TStatusBuffer>();
                status->SetStatus(sent);
                q.Push(std::move(status));
            }
        }
    });

    std::vector<uint8_t> buf(8192);
    uint32_t got = 0, wrong = 0, words = 0, misplacedWords = 0;
    while (got < kTotal) {
        if (q.WaitForBuffer(10 * 60 * 1000) != platform::WaitResult::Signaled) break;
        const int32_t n = q.UnreadBytesBeforeStatus(static_cast<int32_t>(buf.size()));
        const int32_t taken = q.TakeBytes(buf.data(), n);
        ASSERT_EQ(taken, n) << "every byte counted in front of a status word can be taken";
        for (int32_t i = 0; i < taken; ++i)
            if (buf[static_cast<size_t>(i)] != StreamByte(got + static_cast<uint32_t>(i))) ++wrong;
        got += static_cast<uint32_t>(taken);
        if (TIOBuffer* head = q.Peek()) {
            if (auto* status = dynamic_cast<TStatusBuffer*>(head)) {
                if (status->Status() != got) ++misplacedWords;
                ++words;
                q.Pop();
            } else {
                head->SetInUse(false);
            }
        }
    }
    reader.join();
    EXPECT_EQ(got, kTotal);
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(words, 0u);
    EXPECT_EQ(misplacedWords, 0u);
}

}  // namespace
