#include "analysis/device_family.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/list_commands.h"
#include "fixtures/audio_files.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"

namespace j3 {
namespace {

using namespace j3::testing;

TEST(TypeTag, FirstTestThatHolds) {
    const Bytes ly_pattern = {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00};
    struct Case {
        const char* description;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"empty buffer", {}, "-"},
        {"KX header missing its final 00", {0x11, 0xF0, 0x00, 0x20, 0x3C, 0x02}, "-"},
        {"a buffer ending right after the KX pattern", {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00}, "KX"},
        {"KX then LY", cat({family_block(0x02, 0x52), family_block(0x03, 0x52)}), "KX"},
        {"ZB then KX: KX is tested first",
         cat({family_block(0x06, 0x52), family_block(0x02, 0x52)}), "KX"},
        {"LY then PW", cat({family_block(0x03, 0x52), family_block(0x05, 0x7E)}), "LY"},
        {"PW then VQR", cat({family_block(0x05, 0x7E), family_block(0x01, 0x10)}), "PW"},
        {"VQR before an SDS header test", cat({sds_header({}), family_block(0x01, 0x10)}), "VQR"},
        {"SDS before ZB", cat({sds_header({}), family_block(0x06, 0x52)}), "SDS"},
        {"ZB alone", family_block(0x06, 0x52), "ZB"},
        {"device id 07 only", upgrade_b(0x07, 2, 1), "-"},
        {"device id 04 is no family", family_block(0x04, 0x52), "-"},
        {"pattern after a stray F0", cat({Bytes{0xF0, 0xF0}, family_block(0x03, 0x52)}), "LY"},
        {"SDS header on channel 5", {0xF0, 0x7E, 0x05, 0x01, 0x00}, "SDS"},
        {"SDS data packet first", {0xF0, 0x7E, 0x05, 0x02, 0x00}, "-"},
        {"extended SDS header", sds_extended_header(48000, 60), "SDS"},
        {"extended header's first five bytes", {0xF0, 0x7E, 0x00, 0x05, 0x05}, "SDS"},
        {"sample name message first", {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00}, "-"},
        {"four bytes of an extended header", {0xF0, 0x7E, 0x00, 0x05}, "-"},
        {"three bytes of an SDS header", {0xF0, 0x7E, 0x05}, "-"},
        {"WAV holding the LY pattern in its samples", wav({data(ly_pattern)}), "WAV"},
        {"AIFF", aiff({}), "AIFF"},
        {"AIFC holding the KX pattern", aifc({ssnd(Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00})}),
         "AIFC"},
        {"eleven bytes of a WAV header", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}, "-"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(type_tag_for_buffer(c.buffer.data(), c.buffer.size()), c.want) << c.description;
    }
}

// The one-pass presence mask must say what the six separate searches say,
// whatever the bytes: random buffers dense in F0 and pattern pieces.
TEST(DeviceFamily, PresenceMaskMatchesEachSearch) {
    std::mt19937 random(11);
    const uint8_t alphabet[] = {0xF0, 0x00, 0x20, 0x3C, 0x01, 0x02,
                                0x03, 0x04, 0x05, 0x06, 0x07, 0xF7};
    for (int round = 0; round < 2000; ++round) {
        Bytes buffer(random() % 40);
        for (uint8_t& b : buffer) b = alphabet[random() % 12];
        if (!buffer.empty() && random() % 2) {
            const Bytes p = {0xF0, 0x00, 0x20, 0x3C, uint8_t(random() % 9), 0x00};
            const size_t at = random() % buffer.size();
            for (size_t k = 0; k < p.size() && at + k < buffer.size(); ++k) buffer[at + k] = p[k];
        }
        uint32_t want = 0;
        for (uint8_t id = 0; id < 9; ++id) {
            if (is_device_sysex(buffer.data(), buffer.size(), id)) want |= 1u << id;
        }
        EXPECT_EQ(device_ids_present(buffer.data(), buffer.size()), want) << "round " << round;
    }
}

// Read a piece at a time, the bytes say what they say whole: headers that
// span two or more pieces included.
TEST(DeviceFamily, PiecesSayWhatTheWholeSays) {
    std::mt19937 random(12);
    const uint8_t alphabet[] = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x03, 0x06, 0x07, 0x11};
    for (int round = 0; round < 2000; ++round) {
        Bytes buffer(random() % 60);
        for (uint8_t& b : buffer) b = alphabet[random() % 9];
        if (buffer.size() >= 6 && random() % 2) {
            const Bytes p = {0xF0, 0x00, 0x20, 0x3C, uint8_t(2 + random() % 6), 0x00};
            const size_t at = random() % (buffer.size() - 5);
            std::copy(p.begin(), p.end(), buffer.begin() + long(at));
        }
        DeviceIdScan scan;
        for (size_t at = 0; at < buffer.size();) {
            const size_t n = std::min(buffer.size() - at, size_t(random() % 8));
            scan_device_ids(scan, buffer.data() + at, n);
            at += n;
        }
        EXPECT_EQ(scan.present, device_ids_present(buffer.data(), buffer.size()))
            << "round " << round;
    }
}

TEST(DeviceFamily, PatternTableAndSearch) {
    const uint8_t order[] = {0x07, 0x06, 0x05, 0x03, 0x02, 0x01};
    for (size_t k = 0; k < device_pattern_table.size(); ++k) {
        EXPECT_EQ(device_pattern_table[k], (DevicePattern{0x05, 0x00, 0x20, 0x3C, order[k], 0x00}))
            << "entry " << k;
    }
    const Bytes tail = {0x00, 0xF0, 0x00, 0x20, 0x3C, 0x06, 0x00};
    EXPECT_TRUE(find_device_pattern(tail.data(), tail.size(), device_pattern_table[1]));
    EXPECT_FALSE(find_device_pattern(tail.data(), tail.size() - 1, device_pattern_table[1]));
    EXPECT_FALSE(is_device_sysex(tail.data(), tail.size(), 0x04));
}

TEST(DeviceFamily, EntryTypeTagIsKeptUntilTheDataChanges) {
    FileEntry entry;
    set_entry_data(entry, family_block(0x03, 0x52));
    EXPECT_EQ(entry_type_tag(entry), "LY");
    EXPECT_TRUE(entry.type_tag_valid);
    // A kept tag is served without looking at the data again.
    entry.data = family_block(0x02, 0x52);
    EXPECT_EQ(entry_type_tag(entry), "LY");
    EXPECT_EQ(entry_type_tag(static_cast<const FileEntry&>(entry)), "LY");
    set_entry_data(entry, family_block(0x02, 0x52));
    EXPECT_EQ(entry_type_tag(static_cast<const FileEntry&>(entry)), "KX");
    EXPECT_FALSE(entry.type_tag_valid);  // a const entry is not written
    EXPECT_EQ(entry_type_tag(entry), "KX");
    EXPECT_TRUE(entry.type_tag_valid);
}

}  // namespace
}  // namespace j3
