// Every analysis reads only inside its buffer, whatever the bytes: each input
// here lives in an allocation of exactly its size, so the sanitizer build
// catches any read past the end.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "analysis/device_family.h"
#include "analysis/inventory_text.h"
#include "analysis/item_info.h"
#include "analysis/message_index.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"

namespace j3 {
namespace {

using namespace j3::testing;

void run_every_analysis(const Bytes& bytes) {
    // An exact-size copy: a vector's spare capacity would hide overreads.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    const uint8_t* data = copy.get();
    const size_t size = bytes.size();
    (void)type_tag_for_buffer(data, size);
    (void)analyse_kx_sysex(data, size);
    (void)analyse_ly_sysex(data, size);
    (void)analyse_pw_sysex(data, size);
    (void)analyse_zb_sysex(data, size);
    (void)analyse_device07_sysex(data, size);
    (void)analyse_sds_dump(data, size);
    SampleInfo info;
    (void)item_info_for_buffer(data, size, info);
    for (const MessageSpan& m : index_messages(data, size)) (void)describe_message(data, size, m);
}

TEST(Bounds, EveryPrefixOfEveryFixture) {
    const Bytes fixtures[] = {
        cat({family_block(0x02, 0x52), family_block(0x03, 0x69)}),
        ly_waveform(3),
        cat({family_block(0x06, 0x53), family_block(0x07, 0x56)}),
        upgrade_a(0x02, {6, 4}),
        upgrade_a(0x05, {9, 2}),
        upgrade_b(0x06, 4, 1),
        upgrade_b(0x07, 2, 1),
        sds_dump(2),
    };
    for (const Bytes& f : fixtures) {
        for (size_t n = 0; n <= f.size(); ++n)
            run_every_analysis(Bytes(f.begin(), f.begin() + long(n)));
    }
}

TEST(Bounds, RandomBytesRichInMessageStarts) {
    std::mt19937 random(5);
    const uint8_t alphabet[] = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x03, 0x05, 0x06,
                                0x07, 0x7E, 0x7F, 0x01, 0x52, 0x5D, 0xF7, 0x55};
    for (int round = 0; round < 3000; ++round) {
        Bytes b(random() % 200);
        for (uint8_t& x : b) x = alphabet[random() % 16];
        // Plant a header now and then so the walks get past the pattern test.
        if (b.size() > 8 && random() % 2) {
            const size_t at = random() % (b.size() - 6);
            const uint8_t ids[] = {0x02, 0x03, 0x05, 0x06, 0x07};
            const Bytes h = device_header(ids[random() % 5], alphabet[random() % 16]);
            std::copy(h.begin(), h.end(), b.begin() + long(at));
        }
        run_every_analysis(b);
    }
}

}  // namespace
}  // namespace j3
