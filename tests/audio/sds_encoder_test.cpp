#include "audio/sds_encoder.h"

#include <gtest/gtest.h>

#include "fakes/test_context.h"
#include "fixtures/audio_files.h"
#include "fixtures/libsndfile_oracle.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

std::vector<int32_t> ramp(size_t n, int32_t bits, int32_t step = 7) {
    std::vector<int32_t> s(n);
    const int64_t span = int64_t(1) << bits;
    for (size_t i = 0; i < n; ++i) s[i] = int32_t((int64_t(i) * step) % span - (span >> 1));
    return s;
}

Bytes mono16(size_t frames, std::optional<Loop> loop = std::nullopt) {
    WavFile w;
    w.samples = ramp(frames, 16, 101);
    w.loop = loop;
    return make_wav(w);
}

// The signed samples a packet carries.
std::vector<int32_t> packet_samples(const Bytes& p, int32_t bits) {
    SdsGeometry g = sds_geometry(bits);
    std::vector<int32_t> out;
    for (int32_t i = 0; i < g.words_per_packet; ++i)
        out.push_back(
            int32_t(decode_sds_word(p.data() + 5 + i * g.word_bytes, bits, g.word_bytes)) -
            (1 << (bits - 1)));
    return out;
}

TEST(SdsEncoder, SixteenBitMonoItem) {
    Dump d = encode_item(mono16(1000));
    ASSERT_EQ(d.first_result, 21);
    Bytes want = {0xF0, 0x7E, 0x00, 0x01, 0x00, 0x00, 0x10, 0x14, 0x31, 0x01, 0x68,
                  0x07, 0x00, 0x00, 0x00, 0x00, 0x67, 0x07, 0x00, 0x7F, 0xF7};
    EXPECT_EQ(d.first, want);
    EXPECT_EQ(d.length, 1000);
    ASSERT_EQ(d.packets.size(), 25u);
    for (size_t i = 0; i < d.packets.size(); ++i) {
        EXPECT_EQ(d.packets[i].size(), kSdsPacketSize);
        EXPECT_EQ(d.packets[i][4], i) << "packet " << i;
        EXPECT_EQ(d.positions[i], int32_t(40 * (i + 1))) << "packet " << i;
        EXPECT_EQ(d.packets[i][125], sds_packet_checksum(d.packets[i].data()));
    }
    std::vector<int32_t> first = packet_samples(d.packets[0], 16);
    std::vector<int32_t> want_first = ramp(40, 16, 101);
    EXPECT_EQ(first, want_first);
}

TEST(SdsEncoder, EightBitItemPadsTheLastPacket) {
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples = ramp(1000, 8, 3);
    Dump d = encode_item(make_wav(w));
    ASSERT_EQ(d.first_result, 21);
    EXPECT_EQ(d.first[6], 8);
    ASSERT_EQ(d.packets.size(), 17u);
    const Bytes& last = d.packets.back();
    std::vector<int32_t> got = packet_samples(last, 8);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(got[size_t(i)], w.samples[size_t(960 + i)]);
    for (int i = 40; i < 60; ++i) {
        EXPECT_EQ(last[size_t(5 + 2 * i)], 0x40) << "word " << i;
        EXPECT_EQ(last[size_t(6 + 2 * i)], 0x00) << "word " << i;
    }
}

TEST(SdsEncoder, LoopChoices) {
    Loop forward{100, 500, 0};
    Loop alternating{100, 500, 1};
    struct Case {
        const char* description;
        std::optional<Loop> file_loop;
        int32_t choice;
        int32_t want_start, want_end;
        uint8_t want_type;
    } cases[] = {
        {"file loop kept", forward, kLoopFile, 100, 500, 0x00},
        {"file without loop", std::nullopt, kLoopFile, 0, 999, 0x7F},
        {"file's alternating loop", alternating, kLoopFile, 100, 500, 0x01},
        {"loop off keeps the points", forward, kLoopOff, 100, 500, 0x7F},
        {"loop on, unlooped file", std::nullopt, kLoopOn, 0, 999, 0x00},
        {"loop on, looped file", alternating, kLoopOn, 100, 500, 0x00},
        {"loop on, loop ending at 0 spans the sample", Loop{0, 0, 0}, kLoopOn, 0, 999, 0x00},
    };
    for (const Case& c : cases) {
        SdsItemParams item;
        item.loop_choice = c.choice;
        Dump d = encode_item(mono16(1000, c.file_loop), item);
        ASSERT_EQ(d.first_result, 21) << c.description;
        SdsDumpHeader h;
        ASSERT_TRUE(read_dump_header(d.first.data(), d.first.size(), h)) << c.description;
        EXPECT_EQ(h.loop_start, c.want_start) << c.description;
        EXPECT_EQ(h.loop_end, c.want_end) << c.description;
        EXPECT_EQ(h.loop_type, c.want_type) << c.description;
    }
}

TEST(SdsEncoder, StereoChoices) {
    WavFile w;
    w.channels = 2;
    w.samples = {1000, -3001, -32768, 32767, 5, 6};
    Bytes file = make_wav(w);
    struct Case {
        const char* description;
        int32_t choice;
        std::vector<int32_t> want;
    } cases[] = {
        {"L + R", kStereoMix, {-1000, 0, 5}},
        {"Left", kStereoLeft, {1000, -32768, 5}},
        {"Right", kStereoRight, {-3001, 32767, 6}},
    };
    for (const Case& c : cases) {
        SdsItemParams item;
        item.stereo_choice = c.choice;
        Dump d = encode_item(file, item);
        ASSERT_EQ(d.packets.size(), 1u) << c.description;
        EXPECT_EQ(d.length, 3) << c.description << ": frames, not samples";
        std::vector<int32_t> got = packet_samples(d.packets[0], 16);
        got.resize(3);
        EXPECT_EQ(got, c.want) << c.description;
    }
}

TEST(SdsEncoder, FirstMessageGroup) {
    const std::string five = "Kick1";
    const std::string long_name(130, 'n');
    struct Case {
        const char* description;
        const std::string* name_text;
        uint32_t name_code;
        int32_t sample_number;
        int32_t want_size;
        Bytes want_number;       // the header's sample-number bytes
        int want_name_length;    // -1: no sample name message
        int want_device_number;  // -1: no device name message
    } cases[] = {
        {"standard, sample 200", nullptr, 0, 200, 21, {0x48, 0x01}, -1, -1},
        {"extended, 5-character name", &five, 0, 200, 49, {0x01, 0x48}, 5, -1},
        {"extended, 130-byte name", &long_name, 0, 0, 171, {0x00, 0x00}, 127, -1},
        {"standard with device name, sample 5", nullptr, 0x4B494331, 5, 34, {0x05, 0x00}, -1, 5},
        {"extended with both names", &five, 0x4B494331, 5, 62, {0x00, 0x05}, 5, 5},
        {"device name of sample 130", nullptr, 0x4B494331, 130, 34, {0x02, 0x01}, -1, 2},
    };
    for (const Case& c : cases) {
        SdsItemParams item;
        item.name_text = c.name_text;
        item.name_code = c.name_code;
        item.sample_number = c.sample_number;
        Dump d = encode_item(mono16(100), item);
        ASSERT_EQ(d.first_result, c.want_size) << c.description;
        size_t at = c.name_text ? 5 : 4;
        EXPECT_EQ(Bytes(d.first.begin() + long(at), d.first.begin() + long(at) + 2), c.want_number)
            << c.description;
        std::vector<Bytes> messages = split_messages(d.first.data(), d.first.size());
        size_t next = 1;
        if (c.want_name_length >= 0) {
            ASSERT_GT(messages.size(), next) << c.description;
            EXPECT_EQ(messages[next][8], c.want_name_length) << c.description;
            EXPECT_EQ(messages[next].size(), size_t(10 + c.want_name_length)) << c.description;
            EXPECT_EQ(Bytes(messages[next].begin() + 5, messages[next].begin() + 7),
                      Bytes(d.first.begin() + 5, d.first.begin() + 7))
                << c.description << ": same sample number order as the extended header";
            ++next;
        }
        if (c.want_device_number >= 0) {
            ASSERT_GT(messages.size(), next) << c.description;
            uint8_t number = 0;
            uint32_t code = 0;
            ASSERT_TRUE(read_device_name_message(messages[next].data(), messages[next].size(),
                                                 number, code))
                << c.description;
            EXPECT_EQ(number, c.want_device_number) << c.description;
            EXPECT_EQ(code, 0x4B494331u) << c.description;
            ++next;
        }
        EXPECT_EQ(messages.size(), next) << c.description;
    }
}

TEST(SdsEncoder, PacketNumbersWrap) {
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples = ramp(60 * 130, 8);
    Dump d = encode_item(make_wav(w));
    ASSERT_EQ(d.packets.size(), 130u);
    EXPECT_EQ(d.packets[127][4], 127);
    EXPECT_EQ(d.packets[128][4], 0);
    EXPECT_EQ(d.packets[129][4], 1);
}

TEST(SdsEncoder, FloatFileGoesAs24BitWords) {
    WavFile w;
    w.floats = {0.0f, 1.0f, -1.0f, 0.5f, -2.5f};
    Dump d = encode_item(make_wav(w));
    ASSERT_EQ(d.first_result, 21);
    EXPECT_EQ(d.first[6], 24);
    ASSERT_EQ(d.packets.size(), 1u);
    std::vector<int32_t> got = packet_samples(d.packets[0], 24);
    ASSERT_EQ(got.size(), 30u);
    got.resize(5);
    EXPECT_EQ(got, (std::vector<int32_t>{0, 8388607, -8388608, 4194304, -8388608}));
}

TEST(SdsEncoder, ItemsThatAreNotSent) {
    Bytes damaged = mono16(100);
    write_le32(damaged.data() + 40, 100000);  // data chunk runs past the end
    Bytes aiff_as_wav = make_aiff_with_libsndfile(1, 16, 44100, ramp(10, 16));
    aiff_as_wav[8] = 'X';  // neither AIFF nor AIFC any more
    WavFile empty_file;
    Bytes empty = make_wav(empty_file);
    struct Case {
        const char* description;
        Bytes file;
    } cases[] = {
        {"damaged WAV", damaged},
        {"not audio", {0xF0, 0x7E, 0x00, 0x01, 0xF7}},
        {"unknown form type", aiff_as_wav},
        {"no frames", empty},
        {"empty buffer", {}},
    };
    for (const Case& c : cases) {
        SdsEncoder enc;
        // A good item first: a refused one must not go on with its values.
        Dump good = encode_item(mono16(100), {}, enc);
        ASSERT_EQ(good.first_result, 21);
        int32_t pos = 0;
        int32_t length = int32_t(c.file.size());
        const uint8_t* msg = c.file.data();
        EXPECT_EQ(next_sds_message(enc, {}, pos, &length, msg), 0) << c.description;
        EXPECT_EQ(pos, 0) << c.description;
        pos = 1;
        EXPECT_EQ(next_sds_message(enc, {}, pos, nullptr, msg), 0)
            << c.description << ": no packets of the previous item";
    }
}

TEST(SdsEncoder, OneFrameSampleArrivesWhole) {
    WavFile w;
    w.samples = {1234};
    Dump d = encode_item(make_wav(w));
    ASSERT_EQ(d.first_result, 21);
    SdsDumpHeader h;
    ASSERT_TRUE(read_dump_header(d.first.data(), d.first.size(), h));
    EXPECT_EQ(h.length, 1);
    ASSERT_EQ(d.packets.size(), 1u) << "a loop while position < length asks for the packet";
    EXPECT_EQ(packet_samples(d.packets[0], 16)[0], 1234);

    Received r = receive_dump(d, kSdsFormatWav);
    EXPECT_EQ(r.results.back(), kSdsDumpComplete);
    EXPECT_EQ(r.bytes.size(), 44u + 2);
}

TEST(SdsEncoder, StandardHeaderLimits) {
    const int32_t frames = kStandardHeaderMaxWords + 10;
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples.assign(size_t(frames), 0);
    w.loop = Loop{frames - 5, frames - 1, 0};
    Bytes file = make_wav(w);
    struct Case {
        const char* description;
        bool extended;
        int32_t want_length;
        int32_t want_loop_end;
    } cases[] = {
        {"standard: the first 2^21 - 1 words", false, kStandardHeaderMaxWords,
         kStandardHeaderMaxWords - 1},
        {"extended: all of it", true, frames, frames - 1},
    };
    const std::string name = "long";
    for (const Case& c : cases) {
        SdsItemParams item;
        item.name_text = c.extended ? &name : nullptr;
        SdsEncoder enc;
        int32_t pos = 0, length = int32_t(file.size());
        const uint8_t* msg = file.data();
        int32_t n = next_sds_message(enc, item, pos, &length, msg);
        ASSERT_GT(n, 0) << c.description;
        SdsDumpHeader h;
        ASSERT_TRUE(read_dump_header(msg, size_t(n), h)) << c.description;
        EXPECT_EQ(h.length, c.want_length) << c.description;
        EXPECT_EQ(length, c.want_length) << c.description;
        EXPECT_EQ(h.loop_end, c.want_loop_end) << c.description;
        EXPECT_LE(h.loop_start, h.loop_end) << c.description;
    }
}

TEST(SdsEncoder, LoopPointsOutsideTheSampleAreClampedForBothHeaders) {
    struct Case {
        const char* description;
        Loop loop;
        int32_t want_start, want_end;
    } cases[] = {
        {"loop start negative as a 32-bit marker (0xFFFFFFF0)", {-16, 50, 0}, 0, 50},
        {"loop end beyond the last frame", {10, 5000, 0}, 10, 99},
        {"both beyond the sample", {400, 500, 0}, 99, 99},
        {"loop end negative", {10, -1, 0}, 0, 0},
    };
    const std::string name = "loop";
    for (const Case& c : cases) {
        AiffFile a;
        a.samples.assign(100, 5);
        a.loop = c.loop;
        const Bytes file = make_aiff(a);
        for (bool extended : {false, true}) {
            SdsItemParams item;
            item.name_text = extended ? &name : nullptr;
            Dump d = encode_item(file, item);
            ASSERT_GT(d.first_result, 0) << c.description;
            SdsDumpHeader h;
            ASSERT_TRUE(read_dump_header(d.first.data(), d.first.size(), h))
                << c.description << (extended ? " (extended)" : " (standard)")
                << ": J3 reads what it wrote";
            EXPECT_EQ(h.loop_start, c.want_start) << c.description;
            EXPECT_EQ(h.loop_end, c.want_end) << c.description;
            EXPECT_EQ(receive_dump(d, kSdsFormatWav).results.back(), kSdsDumpComplete)
                << c.description;
        }
    }
}

TEST(SdsEncoder, CutSampleIsAnnounced) {
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples.assign(size_t(kStandardHeaderMaxWords) + 10, 0);
    const Bytes file = make_wav(w);
    const std::string name = "long";
    for (bool extended : {false, true}) {
        SdsItemParams item;
        item.name_text = extended ? &name : nullptr;
        SdsEncoder enc;
        int32_t pos = 0, length = int32_t(file.size());
        const uint8_t* msg = file.data();
        ASSERT_GT(next_sds_message(enc, item, pos, &length, msg), 0);
        const std::string note = sample_cut_note(enc, "--extended");
        if (extended) {
            EXPECT_EQ(note, "");
        } else {
            EXPECT_NE(note.find("2097151 of 2097161 frames"), std::string::npos) << note;
            EXPECT_NE(note.find("extended header (--extended)"), std::string::npos) << note;
        }
    }
}

}  // namespace
}  // namespace j3::testing
