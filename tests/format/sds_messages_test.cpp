#include "format/sds_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes slice(const uint8_t* p, size_t n) {
    return Bytes(p, p + n);
}

TEST(SdsMessages, SevenBitGroups) {
    struct Case {
        const char* description;
        int32_t value;
        int groups;
        Bytes want;
    } cases[] = {
        {"period 22676 ns", 22676, 3, {0x14, 0x31, 0x01}},
        {"below 2^28: fifth group 0", (1 << 28) - 1, 5, {0x7F, 0x7F, 0x7F, 0x7F, 0x00}},
        {"2^28 in the fifth group", 1 << 28, 5, {0x00, 0x00, 0x00, 0x00, 0x01}},
        {"top bits in the fifth group", int32_t(0x7FFFFFFF), 5, {0x7F, 0x7F, 0x7F, 0x7F, 0x07}},
        {"negative: sign bits in the fifth group", -1, 5, {0x7F, 0x7F, 0x7F, 0x7F, 0x7F}},
    };
    for (const Case& c : cases) {
        Bytes got(size_t(c.groups));
        write_7bit_groups_signed(got.data(), c.value, c.groups);
        EXPECT_EQ(got, c.want) << c.description;
        if (c.value >= 0) {
            EXPECT_EQ(read_7bit_groups_wide(got.data(), c.groups), uint64_t(c.value))
                << c.description;
        }
    }
}

TEST(SdsMessages, SampleWords) {
    struct Case {
        const char* description;
        int32_t sample;
        int32_t bits;
        Bytes want;
    } cases[] = {
        {"16-bit zero", 0, 16, {0x40, 0x00, 0x00}},
        {"16-bit most negative", -32768, 16, {0x00, 0x00, 0x00}},
        {"16-bit most positive", 32767, 16, {0x7F, 0x7F, 0x60}},
        {"8-bit zero", 0, 8, {0x40, 0x00}},
        {"24-bit zero", 0, 24, {0x40, 0x00, 0x00, 0x00}},
        {"12-bit 2047", 2047, 12, {0x7F, 0x7C}},
        {"28-bit most negative", -(1 << 27), 28, {0x00, 0x00, 0x00, 0x00}},
        {"28-bit most positive", (1 << 27) - 1, 28, {0x7F, 0x7F, 0x7F, 0x7F}},
        {"1-bit high", 0, 1, {0x40, 0x00}},
    };
    for (const Case& c : cases) {
        SdsGeometry g = sds_geometry(c.bits);
        ASSERT_EQ(size_t(g.word_bytes), c.want.size()) << c.description;
        Bytes got(c.want.size());
        encode_sds_word(got.data(), c.sample, c.bits, g.word_bytes);
        EXPECT_EQ(got, c.want) << c.description;
        uint32_t back = decode_sds_word(got.data(), c.bits, g.word_bytes);
        EXPECT_EQ(int64_t(back) - (int64_t(1) << (c.bits - 1)), c.sample) << c.description;
    }
}

TEST(SdsMessages, Geometry) {
    struct Case {
        int32_t bits, word_bytes, words_per_packet;
    } cases[] = {{0, 0, 0},   {1, 2, 60},  {8, 2, 60},  {14, 2, 60}, {15, 3, 40},
                 {21, 3, 40}, {22, 4, 30}, {28, 4, 30}, {29, 0, 0},  {-3, 0, 0}};
    for (const Case& c : cases) {
        SdsGeometry g = sds_geometry(c.bits);
        EXPECT_EQ(g.word_bytes, c.word_bytes) << c.bits << " bits";
        EXPECT_EQ(g.words_per_packet, c.words_per_packet) << c.bits << " bits";
    }
}

SdsDumpHeader header_200() {
    SdsDumpHeader h;
    h.channel = 3;
    h.sample_number = 200;
    h.bits = 16;
    h.period_ns = 22676;
    h.rate_hz = 44100;
    h.length = 1000;
    h.loop_start = 10;
    h.loop_end = 999;
    h.loop_type = 0x00;
    return h;
}

TEST(SdsMessages, StandardHeaderLayout) {
    uint8_t out[kSdsStandardHeaderSize];
    ASSERT_EQ(build_standard_header(out, header_200()), 21u);
    Bytes want = {0xF0, 0x7E, 0x03, 0x01, 0x48, 0x01,  // sample 200, low group first
                  0x10, 0x14, 0x31, 0x01,              // 16 bits, 22676 ns
                  0x68, 0x07, 0x00,                    // 1000 words
                  0x0A, 0x00, 0x00, 0x67, 0x07, 0x00,  // loop 10 .. 999
                  0x00, 0xF7};
    EXPECT_EQ(slice(out, 21), want);

    SdsDumpHeader back;
    ASSERT_TRUE(read_dump_header(out, 21, back));
    EXPECT_FALSE(back.extended);
    EXPECT_EQ(back.sample_number, 200);
    EXPECT_EQ(back.period_ns, 22676);
    EXPECT_EQ(back.length, 1000);
    EXPECT_EQ(back.loop_start, 10);
    EXPECT_EQ(back.loop_end, 999);
    EXPECT_EQ(back.loop_type, 0);
    EXPECT_FALSE(read_dump_header(out, 20, back)) << "one byte short";
}

TEST(SdsMessages, ExtendedHeaderLayout) {
    uint8_t out[kSdsExtendedHeaderSize];
    SdsDumpHeader h = header_200();
    h.length = (1 << 28) + 5;
    ASSERT_EQ(build_extended_header(out, h), 34u);
    Bytes want = {0xF0, 0x7E, 0x03, 0x05, 0x05, 0x01, 0x48,  // sample 200, high group first
                  0x10, 0x44, 0x58, 0x02, 0x00,              // 16 bits, 44100 Hz
                  0x00, 0x00, 0x00, 0x00,                    // fraction
                  0x05, 0x00, 0x00, 0x00, 0x01,              // 2^28 + 5 words
                  0x0A, 0x00, 0x00, 0x00, 0x00,              // loop start 10
                  0x67, 0x07, 0x00, 0x00, 0x00,              // loop end 999
                  0x00, 0x01, 0xF7};
    EXPECT_EQ(slice(out, 34), want);

    SdsDumpHeader back;
    ASSERT_TRUE(read_dump_header(out, 34, back));
    EXPECT_TRUE(back.extended);
    EXPECT_EQ(back.sample_number, 200);
    EXPECT_EQ(back.rate_hz, 44100);
    EXPECT_EQ(back.length, (1 << 28) + 5);
    EXPECT_TRUE(is_sds_dump_header(out, 34));
    EXPECT_FALSE(read_dump_header(out, 33, back)) << "one byte short";
}

TEST(SdsMessages, SampleNameMessage) {
    struct Case {
        const char* description;
        std::string name;
        Bytes want_name;
    } cases[] = {
        {"plain name", "Kick1", {'K', 'i', 'c', 'k', '1'}},
        {"empty name", "", {}},
        {"Mac Roman letter is no status byte", "\x81sa", {'_', 's', 'a'}},
        {"130 bytes cut at 127", std::string(130, 'x'), Bytes(127, 'x')},
    };
    for (const Case& c : cases) {
        uint8_t out[kSdsSampleNameBaseSize + kSdsSampleNameMax];
        size_t n = build_sample_name_message(out, 2, 200, c.name);
        Bytes want = {0xF0, 0x7E, 0x02, 0x05, 0x03, 0x01, 0x48, 0x00, uint8_t(c.want_name.size())};
        for (uint8_t b : c.want_name) want.push_back(b);
        want.push_back(0xF7);
        EXPECT_EQ(slice(out, n), want) << c.description;

        int32_t number = 0;
        std::string name;
        ASSERT_TRUE(read_sample_name_message(out, n, number, name)) << c.description;
        EXPECT_EQ(number, 200) << c.description;
        EXPECT_EQ(name, std::string(c.want_name.begin(), c.want_name.end())) << c.description;
    }
}

TEST(SdsMessages, DeviceNameMessage) {
    struct Case {
        const char* description;
        int32_t sample_number;
        uint8_t want_number;
    } cases[] = {
        {"sample 5", 5, 0x05},
        {"sample 127", 127, 0x7F},
        {"sample 200 stays a data byte", 200, 0x48},
    };
    uint32_t code = uint32_t('K') << 24 | uint32_t('I') << 16 | uint32_t('X') << 8 | '[';
    for (const Case& c : cases) {
        uint8_t out[kSdsDeviceNameSize];
        ASSERT_EQ(build_device_name_message(out, c.sample_number, code | 0x80808080u), 13u);
        Bytes want = {0xF0,          0x00, 0x20, 0x3C, 0x02, 0x00, 0x73,
                      c.want_number, 'K',  'I',  'X',  '[',  0xF7};
        EXPECT_EQ(slice(out, 13), want) << c.description;
        uint8_t number;
        uint32_t got_code;
        ASSERT_TRUE(read_device_name_message(out, 13, number, got_code)) << c.description;
        EXPECT_EQ(got_code, code) << c.description;
    }
}

TEST(SdsMessages, PacketChecksumSpansBytes1To124) {
    uint8_t packet[kSdsPacketSize] = {};
    for (size_t i = 5; i < 125; ++i) packet[i] = uint8_t(i & 0x7F);
    finish_data_packet(packet, 0x11, 0x22);
    uint8_t want = 0;
    for (size_t i = 1; i <= 124; ++i) want ^= packet[i];
    EXPECT_EQ(packet[125], want & 0x7F);
    EXPECT_EQ(packet[126], 0xF7);

    SdsPacketView view;
    ASSERT_TRUE(read_data_packet(packet, sizeof packet, view));
    EXPECT_TRUE(view.checksum_ok);
    EXPECT_EQ(view.packet_number, 0x22);
    EXPECT_EQ(view.channel, 0x11);

    struct Case {
        const char* description;
        size_t byte;
        bool still_ok;
    } cases[] = {
        {"leading F0 is outside the span", 0, true},
        {"7E is inside", 1, false},
        {"channel is inside", 2, false},
        {"packet number is inside", 4, false},
        {"last data byte is inside", 124, false},
    };
    for (const Case& c : cases) {
        uint8_t changed[kSdsPacketSize];
        std::copy(packet, packet + kSdsPacketSize, changed);
        changed[c.byte] ^= 0x01;
        EXPECT_EQ(sds_packet_checksum(changed) == packet[125], c.still_ok) << c.description;
    }
    EXPECT_FALSE(read_data_packet(packet, 126, view)) << "one byte short";
}

TEST(SdsMessages, Handshake) {
    struct Case {
        SdsMessageId type;
        uint8_t byte;
    } cases[] = {{kSdsIdAck, 0x7F}, {kSdsIdNak, 0x7E}, {kSdsIdCancel, 0x7D}, {kSdsIdWait, 0x7C}};
    for (const Case& c : cases) {
        uint8_t out[kSdsHandshakeSize];
        build_handshake(out, 9, c.type, 0x45);
        EXPECT_EQ(slice(out, 6), (Bytes{0xF0, 0x7E, 0x09, c.byte, 0x45, 0xF7}));
        uint8_t channel, packet;
        SdsMessageId type;
        ASSERT_TRUE(read_handshake(out, 6, channel, type, packet));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(packet, 0x45);
    }
}

}  // namespace
}  // namespace j3
