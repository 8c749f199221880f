#include "format/instrument_requests.h"

#include <gtest/gtest.h>

#include <vector>

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(InstrumentRequests, DumpRequestCarriesDeviceAndNumberLowGroupFirst) {
    struct Case {
        uint8_t device;
        int32_t number;
        std::array<uint8_t, 7> want;
    };
    const Case cases[] = {
        {0, 0, {0xF0, 0x7E, 0x00, 0x03, 0x00, 0x00, 0xF7}},
        {5, 200, {0xF0, 0x7E, 0x05, 0x03, 0x48, 0x01, 0xF7}},
        {0x7F, 16383, {0xF0, 0x7E, 0x7F, 0x03, 0x7F, 0x7F, 0xF7}},
    };
    for (const Case& c : cases) EXPECT_EQ(sds_dump_request(c.device, c.number), c.want);
    EXPECT_EQ(identity_request(0x7F), (std::array<uint8_t, 6>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(identity_request(3), (std::array<uint8_t, 6>{0xF0, 0x7E, 0x03, 0x06, 0x01, 0xF7}));
}

TEST(InstrumentRequests, IdentityReplyIsReadExactlyOrNotAtAll) {
    struct Case {
        const char* description;
        Bytes bytes;
        std::optional<IdentityReply> want;
    };
    const Case cases[] = {
        {"one-byte maker",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0xF7},
         IdentityReply{0x10, {0x43, 0, 0}, 1, 0x101, 0xFF, {1, 0, 12, 0}}},
        {"three-byte maker",
         {0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x00, 0x20, 0x3C, 0x7F, 0x7F, 0, 0, 9, 8, 7, 6, 0xF7},
         IdentityReply{0x7F, {0x00, 0x20, 0x3C}, 3, 0x3FFF, 0, {9, 8, 7, 6}}},
        {"a byte short",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0xF7},
         std::nullopt},
        {"a byte long",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0, 0xF7},
         std::nullopt},
        {"three-byte maker cut to one",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x00, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0xF7},
         std::nullopt},
        {"the request, not a reply", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, std::nullopt},
        {"another sub-id",
         {0xF0, 0x7E, 0x10, 0x06, 0x03, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0xF7},
         std::nullopt},
        {"a status byte inside",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x81, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0xF7},
         std::nullopt},
        {"no end",
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0},
         std::nullopt},
        {"empty", {}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_identity_reply(c.bytes.data(), c.bytes.size()), c.want) << c.description;
}

TEST(InstrumentRequests, MakerAndVersionTexts) {
    IdentityReply one{0x10, {0x43, 0, 0}, 1, 0, 0, {1, 0, 12, 0}};
    IdentityReply three{0, {0x00, 0x20, 0x3C}, 3, 0, 0, {127, 2, 3, 4}};
    EXPECT_EQ(identity_maker_hex(one), "43");
    EXPECT_EQ(identity_maker_hex(three), "00 20 3C");
    EXPECT_EQ(identity_version_text(one), "1.0.12.0");
    EXPECT_EQ(identity_version_text(three), "127.2.3.4");
}

}  // namespace
}  // namespace j3
