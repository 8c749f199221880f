#include <gtest/gtest.h>

#include <algorithm>

#include "audio/reader_results.h"
#include "audio/sample_info.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using namespace testing;
using enum AudioParseStatus;

constexpr int32_t kPeriod44100 = 22676;

Chunk ssnd_frames(size_t frames, size_t frame_bytes) {
    return ssnd(Bytes(frames * frame_bytes));
}

TEST(AiffReader, WalksTheChunks) {
    struct Case {
        const char* description;
        Bytes file;
        Found want;
    } cases[] = {
        {"16-bit stereo without INST",
         aiff({comm(2, 100, 16, 44100), ssnd_frames(100, 4)}),
         {kOk, 2, 44100, 16, 2, 100, kPeriod44100, 0, 127, 0, 99}},
        {"8-bit",
         aiff({comm(1, 10, 8, 44100), ssnd_frames(10, 1)}),
         {kOk, 1, 44100, 8, 1, 10, kPeriod44100, 0, 127, 0, 9}},
        {"12-bit in 2 bytes",
         aiff({comm(1, 10, 12, 44100), ssnd_frames(10, 2)}),
         {kOk, 1, 44100, 12, 2, 10, kPeriod44100, 0, 127, 0, 9}},
        {"24-bit",
         aiff({comm(1, 10, 24, 48000), ssnd_frames(10, 3)}),
         {kOk, 1, 48000, 24, 3, 10, 20833, 0, 127, 0, 9}},
        {"32-bit kept to 28 bits",
         aiff({comm(1, 10, 32, 44100), ssnd_frames(10, 4)}),
         {kOk, 1, 44100, 28, 4, 10, kPeriod44100, 0, 127, 0, 9}},
        {"INST play mode 0 with markers: loop points shown, no loop",
         aiff({comm(1, 100, 16, 44100), inst(0, 1, 2), mark({{1, 10, "a"}, {2, 20, "b"}}),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 127, 10, 20}},
        {"INST play mode 2 leaves the type at none",
         aiff({comm(1, 100, 16, 44100), inst(2, 1, 2), mark({{1, 10, "a"}, {2, 20, "b"}}),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 127, 10, 20}},
        {"names of 1, 2 and 3 characters all lead to the next marker",
         aiff({comm(1, 100, 16, 44100), inst(1, 1, 4),
               mark({{1, 11, "a"}, {2, 22, "bc"}, {3, 33, "def"}, {4, 44, ""}}),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 0, 11, 44}},
        {"a marker id above 15, named by an earlier INST, still sets the loop",
         aiff({comm(1, 100, 16, 44100), inst(1, 20, 2), mark({{20, 7, "x"}, {2, 9, "y"}}),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 0, 7, 9}},
        {"a marker id above 15 is not remembered for a later INST",
         aiff({comm(1, 100, 16, 44100), mark({{20, 7, "x"}, {2, 9, "y"}}), inst(1, 20, 2),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 0, 0, 9}},
        {"an odd chunk before COMM is followed by its pad byte",
         aiff({{"NAME", {'a', 'b', 'c'}}, comm(1, 10, 16, 44100), ssnd_frames(10, 2)}),
         {kOk, 1, 44100, 16, 2, 10, kPeriod44100, 0, 127, 0, 9}},
        {"a FORM size larger than the file",
         aiff({comm(1, 10, 16, 44100), ssnd_frames(10, 2)}, 1u << 30),
         {kOk, 1, 44100, 16, 2, 10, kPeriod44100, 0, 127, 0, 9}},
        {"a FORM size smaller than the file ignores the chunks after it",
         aiff({comm(1, 10, 16, 44100), ssnd_frames(10, 2), inst(1, 1, 2),
               mark({{1, 1, "a"}, {2, 2, "b"}})},
              4 + 26 + 36),
         {kOk, 1, 44100, 16, 2, 10, kPeriod44100, 0, 127, 0, 9}},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioParseStatus r = parse_aiff(c.file.data(), c.file.size(), info);
        EXPECT_EQ(found(r, info), c.want) << c.description;
        EXPECT_EQ(info.format_code, kFormatAiff) << c.description;
        if (r == kOk) {
            EXPECT_EQ(info.file_kind, kKindAiff) << c.description;
        }
    }
}

TEST(AiffReader, TakesTheSustainLoopWhateverTheOrderOfInstMarkAndSsnd) {
    std::vector<Chunk> chunks = {inst(1, 1, 2), mark({{1, 1000, "a"}, {2, 5000, "b"}}),
                                 ssnd_frames(6000, 2)};
    std::vector<int> order = {0, 1, 2};
    do {
        std::vector<Chunk> file = {comm(1, 6000, 16, 44100)};
        std::string description = "COMM";
        for (int k : order) {
            file.push_back(chunks[size_t(k)]);
            description += " " + chunks[size_t(k)].id;
        }
        const Bytes bytes = aiff(file);
        SampleInfo info;
        const AudioParseStatus r = parse_aiff(bytes.data(), bytes.size(), info);
        EXPECT_EQ(found(r, info),
                  (Found{kOk, 1, 44100, 16, 2, 6000, kPeriod44100, 1, 0, 1000, 5000}))
            << description;
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(AifcReader, ReadsTheFourCompressionTypes) {
    struct Case {
        const char* description;
        Bytes file;
        Found want;
        int32_t compression;
    } cases[] = {
        {"NONE",
         aifc({comm(1, 10, 16, 44100, "NONE"), ssnd_frames(10, 2)}),
         {kOk, 1, 44100, 16, 2, 10, kPeriod44100, 0, 127, 0, 9},
         kAifcNone},
        {"sowt",
         aifc({comm(2, 10, 24, 44100, "sowt"), ssnd_frames(10, 6)}),
         {kOk, 2, 44100, 24, 3, 10, kPeriod44100, 0, 127, 0, 9},
         kAifcSowt},
        {"fl32",
         aifc({comm(1, 10, 32, 44100, "fl32"), ssnd_frames(10, 4)}),
         {kOk, 1, 44100, 24, 4, 10, kPeriod44100, 0, 127, 0, 9},
         kAifcFl32},
        {"fl64",
         aifc({comm(1, 10, 64, 44100, "fl64"), ssnd_frames(10, 8)}),
         {kOk, 1, 44100, 24, 8, 10, kPeriod44100, 0, 127, 0, 9},
         kAifcFl64},
        {"loops as in AIFF",
         aifc({comm(1, 100, 16, 44100, "NONE"), inst(1, 1, 2), mark({{1, 3, "a"}, {2, 4, "b"}}),
               ssnd_frames(100, 2)}),
         {kOk, 1, 44100, 16, 2, 100, kPeriod44100, 1, 0, 3, 4},
         kAifcNone},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioParseStatus r = parse_aifc(c.file.data(), c.file.size(), info);
        EXPECT_EQ(found(r, info), c.want) << c.description;
        EXPECT_EQ(info.aifc_compression, c.compression) << c.description;
        EXPECT_EQ(info.format_code, kFormatAifc) << c.description;
        if (r == kOk) {
            EXPECT_EQ(info.file_kind, kKindAifc) << c.description;
        }
    }
}

TEST(AiffReader, SsndOffsetFieldIsNotApplied) {
    const Bytes file = aiff({comm(1, 2, 8, 44100), ssnd({0x11, 0x22}, 1)});
    SampleInfo info;
    ASSERT_EQ(parse_aiff(file.data(), file.size(), info), kOk);
    ASSERT_EQ(info.sample_length, 2);
    EXPECT_EQ(info.data_start[0], 0x11);
    EXPECT_EQ(info.data_end, info.data_start + 2);
}

TEST(AiffReader, RefusesWhatItCannotRead) {
    auto cut_to = [](Chunk c, size_t body_bytes) {
        c.body.resize(body_bytes);
        return c;
    };
    Bytes infinite_rate(10, 0);
    infinite_rate[0] = 0x7F;
    infinite_rate[1] = 0xFF;
    Bytes marker_past_end = mark({{1, 10, "a"}}).body;
    marker_past_end[1] = 2;  // counts two markers, holds one
    struct Case {
        const char* description;
        Bytes file;
        bool aifc;
        AudioParseStatus want;
    } cases[] = {
        {"AIFC given to the AIFF reader", aifc({comm(1, 1, 16, 44100, "NONE"), ssnd_frames(1, 2)}),
         false, kWrongForm},
        {"AIFF given to the AIFC reader", aiff({comm(1, 1, 16, 44100), ssnd_frames(1, 2)}), true,
         kWrongForm},
        {"RIFF given to the AIFF reader", canonical_wav(2), false, kNotContainer},
        {"compression FL32 (upper case)", aifc({comm(1, 1, 32, 44100, "FL32"), ssnd_frames(1, 4)}),
         true, kUnsupported},
        {"compression ima4", aifc({comm(1, 1, 16, 44100, "ima4"), ssnd_frames(1, 2)}), true,
         kUnsupported},
        {"AIFF with zero channels", aiff({comm(0, 1, 16, 44100), ssnd_frames(1, 2)}), false,
         kWrongForm},
        {"AIFC with zero channels", aifc({comm(0, 1, 16, 44100, "NONE"), ssnd_frames(1, 2)}), true,
         kUnsupported},
        {"AIFF with zero bits", aiff({comm(1, 1, 0, 44100), ssnd_frames(1, 2)}), false, kWrongForm},
        {"AIFF with 33 bits", aiff({comm(1, 1, 33, 44100), ssnd_frames(1, 5)}), false, kWrongForm},
        {"AIFF with a rate of 0", aiff({comm(1, 1, 16, 0), ssnd_frames(1, 2)}), false, kWrongForm},
        {"AIFF with an infinite rate", aiff({comm(1, 1, 16, infinite_rate), ssnd_frames(1, 2)}),
         false, kWrongForm},
        {"AIFC with an infinite rate",
         aifc({comm(1, 1, 16, infinite_rate, "NONE"), ssnd_frames(1, 2)}), true, kUnsupported},
        {"SSND before COMM", aiff({ssnd_frames(1, 2), comm(1, 1, 16, 44100)}), false, kWrongForm},
        {"a second COMM after SSND would change the frame size",
         aiff({comm(1, 1, 16, 44100), ssnd_frames(1, 2), comm(2, 1, 16, 44100)}), false,
         kWrongForm},
        {"no SSND", aiff({comm(1, 1, 16, 44100)}), false, kChunkSize},
        {"SSND shorter than its offset fields",
         aiff({comm(1, 1, 16, 44100), cut_to(ssnd_frames(1, 2), 4)}), false, kChunkSize},
        {"SSND running past the file", aiff({comm(1, 1, 16, 44100), {"SSND", Bytes(10), 100}}),
         false, kChunkSize},
        {"COMM too short for the rate",
         aiff({cut_to(comm(1, 1, 16, 44100), 16), ssnd_frames(1, 2)}), false, kChunkSize},
        {"AIFC COMM without a compression type",
         aifc({cut_to(comm(1, 1, 16, 44100, "NONE"), 18), ssnd_frames(1, 2)}), true, kChunkSize},
        {"INST too short for the sustain loop",
         aiff({comm(1, 1, 16, 44100), cut_to(inst(1, 1, 2), 12), ssnd_frames(1, 2)}), false,
         kChunkSize},
        {"MARK counting a marker it does not hold",
         aiff({comm(1, 1, 16, 44100), {"MARK", marker_past_end}, ssnd_frames(1, 2)}), false,
         kChunkSize},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioParseStatus r = c.aifc ? parse_aifc(c.file.data(), c.file.size(), info)
                                          : parse_aiff(c.file.data(), c.file.size(), info);
        EXPECT_EQ(r, c.want) << c.description;
        EXPECT_EQ(info.file_kind, kKindNone) << c.description;
        const bool own_kind = c.aifc ? is_aifc_file(c.file.data(), c.file.size())
                                     : is_aiff_file(c.file.data(), c.file.size());
        if (own_kind) {
            EXPECT_FALSE(parse_audio_file(c.file.data(), c.file.size(), info)) << c.description;
            // Only this file's data, if any.
            EXPECT_TRUE(info.data_start == nullptr ||
                        (info.data_start >= c.file.data() &&
                         info.data_end <= c.file.data() + c.file.size()))
                << c.description;
        }
    }
}

TEST(AifcReader, AnUnknownCompressionIsRemembered) {
    const Bytes file = aifc({comm(1, 1, 16, 44100, "ulaw"), ssnd_frames(1, 2)});
    SampleInfo info;
    info.aifc_compression = kAifcSowt;
    EXPECT_EQ(parse_aifc(file.data(), file.size(), info), kUnsupported);
    EXPECT_EQ(info.aifc_compression, kAifcOther);
}

TEST(ExtendedRate, DecodesWholeHertz) {
    auto bytes = [](std::initializer_list<uint8_t> head) {
        Bytes b(10, 0);
        std::copy(head.begin(), head.end(), b.begin());
        return b;
    };
    struct Case {
        const char* description;
        Bytes ten;
        int32_t want;
    } cases[] = {
        {"44100", bytes({0x40, 0x0E, 0xAC, 0x44}), 44100},
        {"48000", bytes({0x40, 0x0E, 0xBB, 0x80}), 48000},
        {"22050", bytes({0x40, 0x0D, 0xAC, 0x44}), 22050},
        {"8000", bytes({0x40, 0x0B, 0xFA}), 8000},
        {"96000 as written by the fixture builder", extended(96000), 96000},
        {"a fraction is dropped (44100.5)", bytes({0x40, 0x0E, 0xAC, 0x44, 0x80}), 44100},
        {"zero", bytes({}), 0},
        {"1 Hz", bytes({0x3F, 0xFF, 0x80}), 1},
        {"0.5 Hz is below 1 Hz", bytes({0x3F, 0xFE, 0x80}), 0},
        {"just below 2^31 Hz", bytes({0x40, 0x1D, 0xFF, 0xFF, 0xFF, 0xFF}), 2147483647},
        {"2^31 Hz does not fit", bytes({0x40, 0x1E, 0x80}), 0},
        {"a huge exponent", bytes({0x7F, 0xFE, 0x80}), 0},
        {"infinity", bytes({0x7F, 0xFF, 0x80}), 0},
        {"not-a-number", bytes({0x7F, 0xFF, 0xC0}), 0},
        {"negative", bytes({0xC0, 0x0E, 0xAC, 0x44}), -44100},
        {"a denormal", bytes({0x00, 0x00, 0x80}), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decode_extended_rate(c.ten.data()), c.want) << c.description;
    }
}

}  // namespace
}  // namespace j3
