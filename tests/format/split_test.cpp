#include <gtest/gtest.h>

#include <vector>

#include "engine/send_loop.h"
#include "fixtures/sysex_blocks.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

using namespace testing;

struct Piece {
    size_t offset;
    size_t length;
};

// Splits the whole buffer as the send loop does.
std::vector<Piece> split_all(const Bytes& buffer) {
    SplitState split;
    std::vector<Piece> pieces;
    int32_t pos = 0;
    const uint8_t* ptr = buffer.data();
    for (;;) {
        int32_t length = split_next_message(split, pos, int32_t(buffer.size()), ptr);
        if (length == 0) break;
        pieces.push_back({size_t(ptr - buffer.data()), size_t(length)});
        if (pos >= int32_t(buffer.size())) break;
    }
    return pieces;
}

TEST(SplitNextMessage, CutsBuffersIntoPieces) {
    Bytes long_message = sysex(5000);
    Bytes exact = sysex(4096);
    Bytes one_over = sysex(4097);
    struct Case {
        const char* description;
        Bytes buffer;
        std::vector<Piece> want;
    } cases[] = {
        {"two messages", {0xF0, 0x01, 0x02, 0xF7, 0xF0, 0x03, 0xF7}, {{0, 4}, {4, 3}}},
        {"leading bytes skipped", {0x00, 0x00, 0xF0, 0x01, 0xF7}, {{2, 3}}},
        {"bytes between messages skipped",
         {0xF0, 0xF7, 0x55, 0x66, 0xF0, 0x01, 0xF7},
         {{0, 2}, {4, 3}}},
        {"unterminated last message not sent", {0xF0, 0x01, 0xF7, 0xF0, 0x02}, {{0, 3}}},
        {"no F0 at all", {0x01, 0x02, 0x03}, {}},
        {"only an unterminated message", {0xF0, 0x01, 0x02}, {}},
        {"empty buffer", {}, {}},
        {"5000-byte message in two pieces", long_message, {{0, 4096}, {4096, 904}}},
        {"4096-byte message is one piece", exact, {{0, 4096}}},
        {"4096-byte message then gap then message",
         cat({exact, {0x00, 0x00}, sysex(3)}),
         {{0, 4096}, {4098, 3}}},
        {"F7 exactly 4096 bytes after F0 closes with a one-byte piece",
         cat({one_over, sysex(3)}),
         {{0, 4096}, {4096, 1}, {4097, 3}}},
    };
    for (const Case& c : cases) {
        auto got = split_all(c.buffer);
        ASSERT_EQ(got.size(), c.want.size()) << c.description;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].offset, c.want[i].offset) << c.description << " piece " << i;
            EXPECT_EQ(got[i].length, c.want[i].length) << c.description << " piece " << i;
        }
    }
}

TEST(SplitNextMessage, OnlyTheFirstPieceOfALongMessageStartsWithF0) {
    Bytes buffer = sysex(10000);
    auto pieces = split_all(buffer);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(buffer[pieces[0].offset], 0xF0);
    EXPECT_NE(buffer[pieces[1].offset], 0xF0);
    EXPECT_EQ(buffer[pieces[2].offset + pieces[2].length - 1], 0xF7);
    EXPECT_EQ(pieces[0].length + pieces[1].length + pieces[2].length, 10000u);
}

}  // namespace
}  // namespace j3
