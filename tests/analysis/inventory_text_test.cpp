#include "analysis/inventory_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"

namespace j3 {
namespace {

using namespace j3::testing;

constexpr uint8_t KX = 0x02, LY = 0x03, PW = 0x05, ZB = 0x06, D07 = 0x07;

// Expected four-kind text: normal globals, kits, patterns, songs, then broken.
std::string kx_text(std::array<int, 8> c) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Normal Globals: %i Kits: %i Patterns: %i Songs: %i \nBroken Globals: %i Kits: "
                  "%i Patterns: %i Songs: %i",
                  c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    return text;
}

// Expected six-kind text: normal globals, kits, sounds, patterns, songs, settings, then broken.
std::string zb_text(std::array<int, 12> c) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "Normal Globals: %i Kits: %i Sounds: %i\n       Patterns: %i Songs: %i Settings: "
                  "%i\nBroken Globals: %i Kits: %i Sounds: %i\n       Patterns: %i Songs: %i "
                  "Settings: %i",
                  c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11]);
    return text;
}

TEST(Inventory, KxCountsNormalAndBrokenBlocks) {
    const Bytes bad_kit = block({KX, 0x52, block_data(40), 9, 5});
    struct Case {
        const char* description;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"three kits and one with a wrong checksum",
         cat({family_block(KX, 0x52), family_block(KX, 0x52, 50, 2), bad_kit,
              family_block(KX, 0x52, 60, 3)}),
         kx_text({0, 3, 0, 0, 0, 1, 0, 0})},
        {"one of each kind",
         cat({family_block(KX, 0x50), family_block(KX, 0x52), family_block(KX, 0x67),
              family_block(KX, 0x69)}),
         kx_text({1, 1, 1, 1, 0, 0, 0, 0})},
        {"length off by one breaks a pattern",
         cat({family_block(KX, 0x67), block({KX, 0x67, block_data(40), 9, 0, 1})}),
         kx_text({0, 0, 1, 0, 0, 0, 1, 0})},
        {"song cut off by the end of the buffer",
         [] {
             Bytes b = family_block(KX, 0x69);
             b.resize(b.size() - 3);
             return b;
         }(),
         kx_text({0, 0, 0, 0, 0, 0, 0, 1})},
        {"other ids and other families are not counted",
         cat({family_block(KX, 0x51), family_block(LY, 0x52), family_block(ZB, 0x57)}),
         kx_text({0, 0, 0, 0, 0, 0, 0, 0})},
        {"header whose id is the last byte", device_header(KX, 0x52),
         kx_text({0, 0, 0, 0, 0, 1, 0, 0})},
        {"header without its id", Bytes{0xF0, 0x00, 0x20, 0x3C, KX, 0x00},
         kx_text({0, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(analyse_kx_sysex(c.buffer.data(), c.buffer.size()), c.want) << c.description;
    }
}

TEST(Inventory, LyWaveformLines) {
    const std::string none = kx_text({0, 0, 0, 0, 0, 0, 0, 0});
    const std::string one_kit = kx_text({0, 1, 0, 0, 0, 0, 0, 0});
    struct Case {
        const char* description;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"one waveform in slot 0 alone: the text opens with a line break", ly_waveform(0),
         "\nZentrix waveform at position 1"},
        {"one waveform in slot 63 beside a kit", cat({family_block(LY, 0x52), ly_waveform(63)}),
         one_kit + "\nZentrix waveform at position 64"},
        {"one broken waveform alone", ly_waveform(4, 1), "\nZentrix waveform (broken)"},
        {"two waveforms and a valid kit",
         cat({ly_waveform(0), family_block(LY, 0x52), ly_waveform(1)}),
         one_kit + "\nNormal ZTRX waveforms: 2, broken ZTRX waveforms: 0"},
        {"one normal and one broken waveform", cat({ly_waveform(2), ly_waveform(3, 1)}),
         "\nNormal ZTRX waveforms: 1, broken ZTRX waveforms: 1"},
        {"waveform checked from offset 10, so one checked from 9 is broken",
         block({LY, 0x5D, Bytes{5, 1, 2, 3}, 9}), "\nZentrix waveform (broken)"},
        {"no waveform: the plain inventory", family_block(LY, 0x52), one_kit},
        {"a broken kit keeps the inventory before the line",
         cat({block({LY, 0x52, block_data(9), 9, 1}), ly_waveform(7)}),
         kx_text({0, 0, 0, 0, 0, 1, 0, 0}) + "\nZentrix waveform at position 8"},
        {"nothing of the family", Bytes{0xF0, 0x7E, 0x00, 0x01, 0xF7}, none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(analyse_ly_sysex(c.buffer.data(), c.buffer.size()), c.want) << c.description;
    }
}

TEST(Inventory, SixKindFamilies) {
    const Bytes zb = cat({family_block(ZB, 0x57), family_block(ZB, 0x52), family_block(ZB, 0x53),
                          family_block(ZB, 0x54), family_block(ZB, 0x55), family_block(ZB, 0x56),
                          block({ZB, 0x53, block_data(20), 10, 1}), family_block(ZB, 0x50)});
    EXPECT_EQ(analyse_zb_sysex(zb.data(), zb.size()),
              zb_text({1, 1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0}));

    const Bytes d07 = cat({family_block(D07, 0x56), family_block(D07, 0x56, 80, 2),
                           block({D07, 0x57, block_data(20), 9})});
    EXPECT_EQ(analyse_device07_sysex(d07.data(), d07.size()),
              zb_text({0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0}));
}

TEST(Upgrade, SchemeA) {
    const Bytes kx_upgrade = upgrade_a(KX, {30, 60, 2});
    Bytes cut_data = upgrade_a_data({KX, upgrade_payload(30)});
    cut_data.pop_back();
    Bytes empty_data = device_header(KX, 0x7E);
    empty_data.push_back(0xF7);
    struct Case {
        const char* description;
        uint8_t device;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"KX: data messages and a control message with the total", KX, kx_upgrade, "Sysex Upgrade"},
        {"LY: the same scheme", LY, upgrade_a(LY, {100, 4}), "Sysex Upgrade"},
        {"KX: no control message, beside valid kits", KX,
         cat({family_block(KX, 0x52), upgrade_a_data({KX, upgrade_payload(30)}),
              family_block(KX, 0x52)}),
         "Sysex Upgrade (Broken!)"},
        {"KX: check byte off by one", KX,
         cat({upgrade_a_data({KX, upgrade_payload(30), {1, 2, 3}, 1}), upgrade_a_control(KX, 30)}),
         "Sysex Upgrade (Broken!)"},
        {"KX: control total one short", KX,
         cat({upgrade_a_data({KX, upgrade_payload(30)}), upgrade_a_control(KX, 29)}),
         "Sysex Upgrade (Broken!)"},
        {"KX: two control messages", KX, cat({kx_upgrade, upgrade_a_control(KX, 92)}),
         "Sysex Upgrade (Broken!)"},
        {"KX: an empty data message counts and is not examined", KX,
         cat({empty_data, upgrade_a_control(KX, 0)}), "Sysex Upgrade"},
        {"KX: data message cut off by the end of the buffer", KX,
         cat({upgrade_a_control(KX, 0), cut_data}), "Sysex Upgrade (Broken!)"},
        {"KX: data message whose nibble pairs run past the buffer", KX,
         cat({upgrade_a_control(KX, 0), device_header(KX, 0x7E), Bytes{0x01, 0x02, 0x03}}),
         "Sysex Upgrade (Broken!)"},
        {"KX: data message ending at its id", KX,
         cat({upgrade_a_control(KX, 0), device_header(KX, 0x7E)}), "Sysex Upgrade (Broken!)"},
        {"KX: control message cut off before its last nibble", KX,
         cat({upgrade_a_data({KX, upgrade_payload(4)}), device_header(KX, 0x7F),
              Bytes{0, 0, 0, 0, 4}}),
         "Sysex Upgrade (Broken!)"},
        {"PW: full groups of eight", PW, upgrade_a(PW, {70, 14}), "Sysex Upgrade"},
        {"PW: a last, shorter group", PW, upgrade_a(PW, {30, 1, 13}), "Sysex Upgrade"},
        {"PW: check byte off", PW,
         cat({upgrade_a_data({PW, upgrade_payload(30), {1, 2, 3}, 255}),
              upgrade_a_control(PW, 30)}),
         "Sysex Upgrade (Broken!)"},
        {"PW: total counted in decoded bytes", PW,
         cat({upgrade_a_data({PW, upgrade_payload(30)}), upgrade_a_control(PW, 35)}),
         "Sysex Upgrade (Broken!)"},
    };
    for (const Case& c : cases) {
        std::string got;
        if (c.device == KX) got = analyse_kx_sysex(c.buffer.data(), c.buffer.size());
        if (c.device == LY) got = analyse_ly_sysex(c.buffer.data(), c.buffer.size());
        if (c.device == PW)
            got = analyse_pw_sysex(c.buffer.data(), c.buffer.size()).value_or("none");
        EXPECT_EQ(got, c.want) << c.description;
    }
}

TEST(Upgrade, PwWithoutUpgradeDataSetsNoText) {
    const Bytes control_only = upgrade_a_control(PW, 0);
    EXPECT_FALSE(analyse_pw_sysex(control_only.data(), control_only.size()).has_value());
    const Bytes blocks = family_block(PW, 0x52);
    EXPECT_FALSE(analyse_pw_sysex(blocks.data(), blocks.size()).has_value());
}

TEST(Upgrade, SchemeB) {
    const Bytes zb_ok = upgrade_b(ZB, 9, 3);
    const Bytes d07_ok = upgrade_b(D07, 2, 3);
    Bytes cut_packet = upgrade_b_packet(ZB, 9, 243);
    cut_packet.resize(120);
    struct Case {
        const char* description;
        uint8_t device;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"ZB: packets from 242 between start and end", ZB, zb_ok, "Sysex Upgrade"},
        {"ZB: a third control message", ZB, cat({zb_ok, upgrade_b_control(ZB, 0x02, 9, 3)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: inventory blocks beside the upgrade do not matter", ZB,
         cat({family_block(ZB, 0x52), zb_ok}), "Sysex Upgrade"},
        {"ZB: check byte off", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 2), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_packet(ZB, 9, 243, 1), upgrade_b_control(ZB, 2, 9, 2)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: packet out of step", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 2), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_packet(ZB, 9, 244), upgrade_b_control(ZB, 2, 9, 2)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: end message count differs from the start's", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 1), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_control(ZB, 2, 9, 2)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: fewer valid packets than the count", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 2), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_control(ZB, 2, 9, 2)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: start base 241", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 1, 241), upgrade_b_packet(ZB, 9, 241),
              upgrade_b_control(ZB, 2, 9, 1)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: start without its F7 at offset 15", ZB,
         [] {
             Bytes b = upgrade_b(ZB, 9, 1);
             b[15] = 0x00;
             return b;
         }(),
         "Sysex Upgrade (Broken!)"},
        {"ZB: unknown control kind", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 1), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_control(ZB, 3, 9, 1)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: packets before the start message", ZB,
         cat({upgrade_b_packet(ZB, 0, 0), upgrade_b_control(ZB, 1, 0, 0),
              upgrade_b_control(ZB, 2, 0, 0)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: end before start", ZB,
         cat({upgrade_b_control(ZB, 2, 9, 0), upgrade_b_control(ZB, 1, 9, 1),
              upgrade_b_packet(ZB, 9, 242)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: a packet cut off before its check byte", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 1), upgrade_b_packet(ZB, 9, 242),
              upgrade_b_control(ZB, 2, 9, 1), cut_packet}),
         "Sysex Upgrade (Broken!)"},
        {"07: its own checksum with seed 2", D07, d07_ok, "Sysex Upgrade"},
        {"07: seed 3 is broken even with right checksums", D07, upgrade_b(D07, 3, 3),
         "Sysex Upgrade (Broken!)"},
        {"07: a ZB checksum does not pass", D07,
         cat({upgrade_b_control(D07, 1, 2, 1),
              [] {
                  Bytes p = upgrade_b_packet(ZB, 2, 242);
                  p[4] = D07;
                  return p;
              }(),
              upgrade_b_control(D07, 2, 2, 1)}),
         "Sysex Upgrade (Broken!)"},
        {"ZB: control messages only give the inventory", ZB,
         cat({upgrade_b_control(ZB, 1, 9, 0), upgrade_b_control(ZB, 2, 9, 0)}),
         zb_text({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        const std::string got = c.device == ZB
                                    ? analyse_zb_sysex(c.buffer.data(), c.buffer.size())
                                    : analyse_device07_sysex(c.buffer.data(), c.buffer.size());
        EXPECT_EQ(got, c.want) << c.description;
    }
}

TEST(SdsDump, Texts) {
    SdsHeader looped;
    looped.loop_type = 0x00;
    looped.loop_start = 10;
    looped.loop_end = 300;
    looped.length = 360;
    looped.bits = 24;

    const Bytes bad_checksum =
        cat({sds_header({}), sds_packet(0), sds_packet(1, 0, 1), sds_packet(2)});
    Bytes cut_packet = sds_dump(3);
    cut_packet.resize(cut_packet.size() - 50);
    Bytes cut_header = sds_header({});
    cut_header.resize(15);

    struct Case {
        const char* description;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"one dump, every packet right, no loop", sds_dump(3),
         "Dump length: 120 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"one dump with a loop", sds_dump(2, looped),
         "Dump length: 360 Sample Rate: 44100\nBits: 24 Loop ON. Loop start: 10 Loop end: 300"},
        {"one packet's checksum wrong", bad_checksum, "0 correct and 0 broken sample dumps."},
        {"one packet's number wrong, the rest in step",
         cat({sds_header({}), sds_packet(0), sds_packet(5), sds_packet(2)}), "Broken sample dump."},
        {"numbering off by one from the second packet on",
         cat({sds_header({}), sds_packet(0), sds_packet(2), sds_packet(3), sds_packet(4)}),
         "0 correct and 3 broken sample dumps."},
        {"numbers wrap from 127 to 0", sds_dump(130),
         "Dump length: 120 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"two dumps", cat({sds_dump(2), sds_dump(1)}), "2 correct and 0 broken sample dumps."},
        {"a good dump after a broken one", cat({sds_header({}), sds_packet(1), sds_dump(2)}),
         "1 correct and 1 broken sample dumps."},
        {"a packet ended early by F7",
         cat({sds_header({}), Bytes{0xF0, 0x7E, 0x00, 0x02, 0x00, 0x11, 0xF7}}),
         "Broken sample dump."},
        {"header only", sds_header({}),
         "Dump length: 120 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"last packet cut off by the end of the buffer", cut_packet, "Broken sample dump."},
        {"header cut off by the end of the buffer", cut_header, "Broken sample dump."},
        {"header ended early: missing fields read as 0", Bytes{0xF0, 0x7E, 0x00, 0x01, 0xF7},
         "Dump length: 0 Sample Rate: 0\nBits: 0 Loop ON. Loop start: 0 Loop end: 0"},
        {"an extended header: its rate and 5-group length",
         cat({sds_extended_header(96000, 120), sds_packet(0), sds_packet(1)}),
         "Dump length: 120 Sample Rate: 96000\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"an extended header longer than 3 groups hold", sds_extended_header(44100, 2097152, 24),
         "Dump length: 2097152 Sample Rate: 44100\nBits: 24 Loop OFF. Loop start: 0 Loop end: "
         "2097151"},
        {"two dumps with extended headers",
         cat({sds_extended_header(44100, 60), sds_packet(0), sds_extended_header(44100, 60),
              sds_packet(0)}),
         "2 correct and 0 broken sample dumps."},
        {"a sample name message is not a second dump",
         cat({sds_extended_header(44100, 60),
              Bytes{0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x01, 'A', 0xF7},
              sds_packet(0)}),
         "Dump length: 60 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 0 Loop end: 59"},
        {"other channels are read the same", sds_dump(1, {.channel = 9}),
         "Dump length: 120 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(analyse_sds_dump(c.buffer.data(), c.buffer.size()), c.want) << c.description;
    }
}

}  // namespace
}  // namespace j3
