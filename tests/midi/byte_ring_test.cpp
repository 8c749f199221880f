// The lock-free ring between J3's threads and JACK's process thread.
#include "midi/byte_ring.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace j3 {
namespace {

TEST(ByteRing, TakesAWholeRecordOrNothingAcrossTheWrap) {
    ByteRing ring(16);
    ASSERT_EQ(ring.capacity(), 16u);
    const uint8_t a[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(ring.write(a, 10));
    uint8_t out[16] = {};
    ASSERT_TRUE(ring.read(out, 4));
    // 6 bytes held, 10 free: a record of 11 does not go in at all.
    const uint8_t head[3] = {0xA, 0xB, 0xC};
    const uint8_t body[8] = {20, 21, 22, 23, 24, 25, 26, 27};
    EXPECT_FALSE(ring.write(head, 3, body, 8));
    EXPECT_EQ(ring.readable(), 6u);
    // One of 10 fits, and wraps.
    ASSERT_TRUE(ring.write(head, 3, body, 7));
    ASSERT_EQ(ring.readable(), 16u);
    ASSERT_TRUE(ring.read(out, 16));
    EXPECT_EQ(std::vector<uint8_t>(out, out + 16),
              (std::vector<uint8_t>{5, 6, 7, 8, 9, 10, 0xA, 0xB, 0xC, 20, 21, 22, 23, 24, 25, 26}));
    EXPECT_FALSE(ring.peek(out, 1));
}

// A producer and a consumer on two threads: every record arrives whole and in
// order (ThreadSanitizer checks the ordering in scripts/test).
TEST(ByteRing, RecordsCrossBetweenTwoThreadsWholeAndInOrder) {
    ByteRing ring(256);
    constexpr uint32_t kRecords = 20000;
    std::thread producer([&] {
        for (uint32_t i = 0; i < kRecords; ++i) {
            const uint32_t length = 1 + i % 50;
            std::vector<uint8_t> body(length, uint8_t(i));
            while (!ring.write(&length, sizeof length, body.data(), length))
                std::this_thread::yield();
        }
    });
    uint32_t seen = 0;
    std::vector<uint8_t> body;
    while (seen < kRecords) {
        uint32_t length;
        if (!ring.peek(&length, sizeof length)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(length, 1 + seen % 50);
        ASSERT_GE(ring.readable(), sizeof length + length);
        body.resize(length);
        ring.peek(body.data(), length, sizeof length);
        ring.skip(sizeof length + length);
        ASSERT_EQ(body, std::vector<uint8_t>(length, uint8_t(seen)));
        ++seen;
    }
    producer.join();
}

}  // namespace
}  // namespace j3
