// The message table of a buffer: where each message lies and what is told
// of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/message_index.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"

namespace j3 {
namespace {

using namespace j3::testing;

TEST(MessageIndex, MixedBuffer) {
    const Bytes junk = {0x01, 0x02, 0xF7, 0x45};
    const Bytes yamaha = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};
    Bytes long_message = {0xF0, 0x41, 0x10};
    long_message.resize(5000, 0x22);
    long_message.push_back(0xF7);
    const Bytes ack = {0xF0, 0x7E, 0x00, 0x7F, 0x03, 0xF7};
    const Bytes empty = {0xF0, 0xF7};
    const Bytes three_byte_maker_cut = {0xF0, 0x00, 0x20, 0xF7};
    const Bytes nested = {0xF0, 0x42, 0x01, 0xF0, 0x42, 0x02, 0xF7};

    struct Row {
        const char* description;
        Bytes message;
        const char* maker;
        const char* maker_name;
        const char* family;
        const char* kind;
        MessageCheck check;
    } rows[] = {
        {"KX kit", family_block(0x02, 0x52), "00 20 3C", "", "KX", "Kit", MessageCheck::kGood},
        {"LY song", family_block(0x03, 0x69, 40, 2), "00 20 3C", "", "LY", "Song",
         MessageCheck::kGood},
        {"ZB pattern with a wrong length", block({0x06, 0x54, block_data(30), 10, 0, 1}),
         "00 20 3C", "", "ZB", "Pattern", MessageCheck::kBad},
        {"LY kit with a wrong checksum", block({0x03, 0x52, block_data(20), 9, 5}), "00 20 3C", "",
         "LY", "Kit", MessageCheck::kBad},
        {"LY waveform", ly_waveform(4), "00 20 3C", "", "LY", "Waveform", MessageCheck::kGood},
        {"KX upgrade data", upgrade_a_data({0x02, upgrade_payload(9)}), "00 20 3C", "", "KX",
         "Upgrade data", MessageCheck::kNone},
        {"family message of an id not counted", family_block(0x02, 0x10), "00 20 3C", "", "KX",
         "Message 10", MessageCheck::kNone},
        {"SDS header", sds_header({}), "7E", "Universal non-real-time", "SDS", "Dump header",
         MessageCheck::kNone},
        {"SDS packet", sds_packet(0), "7E", "Universal non-real-time", "SDS", "Data packet",
         MessageCheck::kGood},
        {"SDS packet with a wrong checksum", sds_packet(1, 0, 4), "7E", "Universal non-real-time",
         "SDS", "Data packet", MessageCheck::kBad},
        {"ACK", ack, "7E", "Universal non-real-time", "SDS", "ACK", MessageCheck::kNone},
        {"one-byte maker", yamaha, "43", "Yamaha", "", "", MessageCheck::kNone},
        {"over 4096 bytes", long_message, "41", "Roland", "", "", MessageCheck::kNone},
        {"F0 F7", empty, "", "", "", "", MessageCheck::kNone},
        {"three-byte maker cut by the F7", three_byte_maker_cut, "00 20", "", "", "",
         MessageCheck::kNone},
        {"an F0 inside a message belongs to it", nested, "42", "Korg", "", "", MessageCheck::kNone},
    };
    Bytes buffer = junk;
    std::vector<MessageSpan> want;
    for (const Row& r : rows) {
        want.push_back({uint32_t(buffer.size()), uint32_t(r.message.size())});
        buffer.insert(buffer.end(), r.message.begin(), r.message.end());
        buffer.insert(buffer.end(), junk.begin(), junk.end());  // junk between messages
    }
    const Bytes tail = {0xF0, 0x43, 0x00, 0x01};
    buffer.insert(buffer.end(), tail.begin(), tail.end());  // an unterminated tail

    const std::vector<MessageSpan> got = index_messages(buffer.data(), buffer.size());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Row& r = rows[i];
        EXPECT_EQ(got[i].offset, want[i].offset) << r.description;
        EXPECT_EQ(got[i].length, want[i].length) << r.description;
        const MessageFacts f = describe_message(buffer.data(), buffer.size(), got[i]);
        EXPECT_EQ(f.maker, r.maker) << r.description;
        EXPECT_EQ(f.maker_name, r.maker_name) << r.description;
        EXPECT_EQ(f.family, r.family) << r.description;
        EXPECT_EQ(f.kind, r.kind) << r.description;
        EXPECT_EQ(f.check, r.check) << r.description;
    }
}

TEST(MessageIndex, EdgesOfTheBuffer) {
    struct Case {
        const char* description;
        Bytes buffer;
        std::vector<std::pair<uint32_t, uint32_t>> spans;
    } cases[] = {
        {"empty", {}, {}},
        {"no F0", {0x01, 0xF7, 0x02}, {}},
        {"only an unterminated message", {0xF0, 0x01, 0x02}, {}},
        {"a lone F0 at the end", {0xF0, 0x01, 0xF7, 0xF0}, {{0, 3}}},
        {"F7 first, then a message", {0xF7, 0xF0, 0xF7}, {{1, 2}}},
        {"back to back", {0xF0, 0xF7, 0xF0, 0x01, 0xF7}, {{0, 2}, {2, 3}}},
    };
    for (const Case& c : cases) {
        const std::vector<MessageSpan> got = index_messages(c.buffer.data(), c.buffer.size());
        ASSERT_EQ(got.size(), c.spans.size()) << c.description;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].offset, c.spans[i].first) << c.description;
            EXPECT_EQ(got[i].length, c.spans[i].second) << c.description;
        }
    }
    const Bytes b = {0xF0, 0x43, 0xF7};
    EXPECT_EQ(describe_message(b.data(), b.size(), {1, 5}).maker, "") << "a span past the end";
}

}  // namespace
}  // namespace j3
