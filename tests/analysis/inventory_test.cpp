#include "analysis/inventory.h"

#include <gtest/gtest.h>

#include <random>

#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"
#include "format/sample_period.h"

namespace j3 {
namespace {

using namespace j3::testing;

constexpr uint8_t KX = 0x02, PW = 0x05, ZB = 0x06;

TEST(BlockCheck, ChecksumLengthAndEnd) {
    const Bytes good = family_block(KX, 0x52);
    Bytes cut = good;
    cut.pop_back();
    struct Case {
        const char* description;
        Bytes message;
        int checksum_offset;
        bool valid;
    } cases[] = {
        {"correct KX kit", good, 9, true},
        {"checksum one too high", block({KX, 0x52, block_data(40), 9, 1}), 9, false},
        {"stored length N - 9 with a right checksum", block({KX, 0x52, block_data(40), 9, 0, 1}), 9,
         false},
        {"stored length N - 11", block({KX, 0x52, block_data(40), 9, 0, -1}), 9, false},
        {"no F7 before the buffer ends", cut, 9, false},
        {"checksum from offset 10 checked from offset 9", family_block(ZB, 0x52), 9, false},
        {"checksum from offset 10", family_block(ZB, 0x52), 10, true},
        {"no block data at all", block({KX, 0x50, {}, 9}), 9, true},
        {"a checksum that needs all 14 bits", block({KX, 0x67, Bytes(300, 0x7F), 9}), 9, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_block_message(c.message.data(), c.message.size(), 6, c.checksum_offset),
                  c.valid)
            << c.description;
    }
}

// The walk keeps running sums so that messages nested inside one another stay
// linear; it must still give what checking each message on its own gives.
TEST(Inventory, NestedMessagesCountAsEachMessageAlone) {
    std::mt19937 random(7);
    const uint8_t ids[] = {0x50, 0x52, 0x67, 0x69, 0x5D, 0x7E};
    for (int round = 0; round < 300; ++round) {
        Bytes buffer;
        const int pieces = 1 + int(random() % 8);
        for (int k = 0; k < pieces; ++k) {
            Bytes m = family_block(KX, ids[random() % 6], random() % 30, uint8_t(random()));
            // Cut some messages short so that the next one lies inside them.
            if (random() % 2) m.resize(random() % m.size());
            buffer = cat({buffer, m});
        }
        SysexInventory want;
        for (size_t i = 0; i + 6 < buffer.size(); ++i) {
            if (buffer[i] != 0xF0 || buffer[i + 1] != 0x00 || buffer[i + 2] != 0x20 ||
                buffer[i + 3] != 0x3C || buffer[i + 4] != KX || buffer[i + 5] != 0x00) {
                continue;
            }
            int kind = -1;
            switch (buffer[i + 6]) {
                case 0x50:
                    kind = kGlobals;
                    break;
                case 0x52:
                    kind = kKits;
                    break;
                case 0x67:
                    kind = kPatterns;
                    break;
                case 0x69:
                    kind = kSongs;
                    break;
            }
            if (kind < 0) continue;
            if (check_block_message(buffer.data(), buffer.size(), i + 6, 9)) {
                ++want.normal[kind];
            } else {
                ++want.broken[kind];
            }
        }
        const SysexInventory got = take_sysex_inventory(buffer.data(), buffer.size(), KX);
        EXPECT_EQ(got.normal, want.normal) << "round " << round;
        EXPECT_EQ(got.broken, want.broken) << "round " << round;
    }
}

// Straight from the format: the sum a scheme A data message with its id at p
// is checked against, and the payload bytes it adds to the total.
struct ReferenceA {
    uint32_t sum = 0;
    int64_t payload = 0;
};
ReferenceA reference_a(const Bytes& b, size_t p, bool eight_byte_groups) {
    auto nibble_pair = [&](size_t x) { return uint32_t(b[x] & 0x0F) << 4 | (b[x + 1] & 0x0F); };
    ReferenceA r;
    r.sum = nibble_pair(p + 3) + nibble_pair(p + 5) + nibble_pair(p + 7);
    size_t q = p + 3;
    while (q < b.size() && b[q] != 0xF7) ++q;
    if (eight_byte_groups) {
        for (size_t s = p + 9; s < q; s += 8) {
            for (size_t j = 1; j < 8 && s + j < q; ++j) {
                r.sum += (b[s + j] & 0x7F) | ((b[s] >> (7 - j)) & 1) << 7;
                ++r.payload;
            }
        }
    } else {
        for (size_t s = p + 9; s + 2 < q; s += 3) {
            const uint32_t v = uint32_t(b[s]) << 14 | uint32_t(b[s + 1]) << 7 | b[s + 2];
            r.sum += (v & 0xFF) + (v >> 8 & 0xFF);
        }
        r.payload = (2 * (int64_t(q) - int64_t(p)) - 16) / 3;
    }
    return r;
}

// Data messages nested in one another (each cut before its F7, so the next
// one's F7 ends them all) reuse running sums in the walk. With every check
// byte made to fit what its message spans, the upgrade must come out intact,
// for every cut and so every alignment of the groups.
TEST(Upgrade, NestedDataMessagesKeepTheirSums) {
    for (uint8_t device : {KX, PW}) {
        for (size_t cut1 = 9; cut1 < 30; ++cut1) {
            for (size_t cut2 : {9, 13, 20, 26}) {
                Bytes outer = upgrade_a_data({device, upgrade_payload(24, 1)});
                Bytes middle = upgrade_a_data({device, upgrade_payload(18, 2)});
                outer.resize(cut1);
                middle.resize(cut2);
                const Bytes inner = upgrade_a_data({device, upgrade_payload(12, 3)});
                Bytes buffer = cat({outer, middle, inner});
                const size_t ids[] = {6, cut1 + 6, cut1 + cut2 + 6};
                int64_t total = 0;
                for (int k = 2; k >= 0; --k) {  // inner first: outer sums span inner checks
                    const ReferenceA r = reference_a(buffer, ids[k], device == PW);
                    buffer[ids[k] + 1] = uint8_t(r.sum >> 4 & 0x0F);
                    buffer[ids[k] + 2] = uint8_t(r.sum & 0x0F);
                    total += r.payload;
                }
                buffer = cat({buffer, upgrade_a_control(device, uint32_t(total))});
                const SysexInventory inv =
                    take_sysex_inventory(buffer.data(), buffer.size(), device);
                EXPECT_EQ(inv.upgrade_data, 3) << int(device) << " " << cut1 << " " << cut2;
                EXPECT_FALSE(inv.upgrade_error) << int(device) << " " << cut1 << " " << cut2;
            }
        }
    }
}

TEST(SdsDump, SampleRateRounding) {
    struct Case {
        int32_t period_ns;
        int32_t rate;
    } cases[] = {
        {22676, 44100},  // the division gives 44099
        {20833, 48000},  // 48001
        {22675, 44101},  {22727, 44001}, {20834, 47998},
        {1, 1000000000}, {2097151, 477},  // the largest three-group period
        {0, 0},                           // no period: no rate rather than a division by zero
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sds_rate_from_period(c.period_ns), c.rate) << "period " << c.period_ns;
        const Bytes dump = sds_dump(1, {.period_ns = uint32_t(c.period_ns)});
        EXPECT_EQ(summarise_sds_dump(dump.data(), dump.size()).sample_rate, c.rate)
            << "period " << c.period_ns;
    }
}

}  // namespace
}  // namespace j3
