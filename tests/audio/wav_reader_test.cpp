#include <gtest/gtest.h>

#include "audio/reader_results.h"
#include "audio/sample_info.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using namespace testing;
using enum AudioParseStatus;

Bytes with_trailing(Bytes b, size_t extra) {
    b.resize(b.size() + extra, 0xAA);
    return b;
}

TEST(WavReader, WalksTheChunksInOrder) {
    const uint32_t period = 22676;  // 44100 Hz
    struct Case {
        const char* description;
        Bytes file;
        Found want;
    } cases[] = {
        {"canonical 16-bit stereo 44100 Hz",
         canonical_wav(1000),
         {kOk, 2, 44100, 16, 2, 1000, period, 0, 127, 0, 999}},
        {"48000 Hz rounds the period",
         canonical_wav(10, 1, 48000),
         {kOk, 1, 48000, 16, 2, 10, 20833, 0, 127, 0, 9}},
        {"22050 Hz", canonical_wav(10, 1, 22050), {kOk, 1, 22050, 16, 2, 10, 45351, 0, 127, 0, 9}},
        {"8-bit", canonical_wav(10, 1, 44100, 8), {kOk, 1, 44100, 8, 1, 10, period, 0, 127, 0, 9}},
        {"20-bit takes 3 bytes",
         canonical_wav(10, 1, 44100, 20),
         {kOk, 1, 44100, 20, 3, 10, period, 0, 127, 0, 9}},
        {"24-bit",
         canonical_wav(10, 1, 44100, 24),
         {kOk, 1, 44100, 24, 3, 10, period, 0, 127, 0, 9}},
        {"32-bit integers are kept to the 28 bits an SDS word holds",
         canonical_wav(10, 1, 44100, 32),
         {kOk, 1, 44100, 28, 4, 10, period, 0, 127, 0, 9}},
        {"32-bit float is read as 24 bits",
         wav({fmt(3, 1, 44100, 32), data_of_size(40)}),
         {kOk, 1, 44100, 24, 4, 10, period, 0, 127, 0, 9}},
        {"64-bit float is read as doubles, 24 bits",
         wav({fmt(3, 1, 44100, 64), data_of_size(80)}),
         {kOk, 1, 44100, 24, 8, 10, period, 0, 127, 0, 9}},
        {"a data size that is not whole frames truncates",
         wav({fmt(1, 2, 44100, 16), data_of_size(41)}),
         {kOk, 2, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"an odd chunk is followed by its pad byte",
         wav({{"junk", {1, 2, 3}}, fmt(1, 1, 44100, 16), data_of_size(20)}),
         {kOk, 1, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"an odd data chunk, then smpl after the pad byte",
         wav({fmt(1, 1, 44100, 8), data_of_size(11), smpl(0, {{2, 8, 0}})}),
         {kOk, 1, 44100, 8, 1, 11, period, 1, 0, 2, 8}},
        {"a RIFF size larger than the file is limited to the file",
         wav({fmt(1, 1, 44100, 16), data_of_size(20)}, 100000),
         {kOk, 1, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"a RIFF size of 0xFFFFFFFF (unknown length) is the file's end",
         wav({fmt(1, 1, 44100, 16), data_of_size(20)}, 0xFFFFFFFF),
         {kOk, 1, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"a RIFF size smaller than the file ignores the chunks after it",
         wav({fmt(1, 1, 44100, 16), data_of_size(20), smpl(0, {{2, 8, 0}})}, 4 + 24 + 28),
         {kOk, 1, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"fewer than 8 bytes after the last chunk are trailing padding",
         with_trailing(wav({fmt(1, 1, 44100, 16), data_of_size(20)}, 4 + 24 + 28 + 7), 7),
         {kOk, 1, 44100, 16, 2, 10, period, 0, 127, 0, 9}},
        {"smpl after data: its first loop, type 1 (alternating)",
         wav({fmt(1, 1, 44100, 16), data_of_size(200), smpl(22676, {{10, 50, 1}, {60, 70, 0}})}),
         {kOk, 1, 44100, 16, 2, 100, period, 1, 1, 10, 50}},
        {"smpl loop type keeps its low 7 bits",
         wav({fmt(1, 1, 44100, 16), data_of_size(200), smpl(0, {{10, 50, 0x181}})}),
         {kOk, 1, 44100, 16, 2, 100, period, 1, 1, 10, 50}},
        {"smpl before data with a period (as the receiver writes it) keeps its loop",
         wav({fmt(1, 1, 44100, 16), smpl(22676, {{10, 50, 0}}), data_of_size(200)}),
         {kOk, 1, 44100, 16, 2, 100, period, 1, 0, 10, 50}},
        {"smpl before data with a zero period: data's defaults replace the loop",
         wav({fmt(1, 1, 44100, 16), smpl(0, {{10, 50, 0}}), data_of_size(200)}),
         {kOk, 1, 44100, 16, 2, 100, period, 1, 127, 0, 99}},
        {"smpl before data with a period and no loop: data's defaults",
         wav({fmt(1, 1, 44100, 16), smpl(20000, {}), data_of_size(200)}),
         {kOk, 1, 44100, 16, 2, 100, period, 0, 127, 0, 99}},
        {"2 GHz is the highest rate with a period",
         wav({fmt(1, 1, 2000000000, 16), data_of_size(20)}),
         {kOk, 1, 2000000000, 16, 2, 10, 1, 0, 127, 0, 9}},
        {"the period always comes from the rate, not from smpl",
         wav({fmt(1, 1, 48000, 16), data_of_size(200), smpl(22676, {{1, 2, 0}})}),
         {kOk, 1, 48000, 16, 2, 100, 20833, 1, 0, 1, 2}},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioParseStatus r = parse_wav(c.file.data(), c.file.size(), info);
        EXPECT_EQ(found(r, info), c.want) << c.description;
        if (r == kOk) {
            EXPECT_EQ(info.file_kind, kKindWav) << c.description;
            EXPECT_EQ(info.read_pos, info.data_start) << c.description;
            EXPECT_GE(info.data_start, c.file.data()) << c.description;
            EXPECT_LE(info.data_end, c.file.data() + c.file.size()) << c.description;
        }
    }
}

TEST(WavReader, RefusesWhatItCannotRead) {
    auto fmt_with = [](auto change) {
        Chunk c = fmt(1, 1, 44100, 16);
        change(c.body);
        return c;
    };
    auto cut_to = [](Chunk c, size_t body_bytes) {
        c.body.resize(body_bytes);
        return c;
    };
    Bytes short_riff = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'};
    Bytes riff_avi = canonical_wav(4);
    std::copy_n("AVI ", 4, riff_avi.begin() + 8);
    struct Case {
        const char* description;
        Bytes file;
        AudioParseStatus want;
    } cases[] = {
        {"an empty buffer", {}, kNotContainer},
        {"RIFX is not RIFF", Bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
         kNotContainer},
        {"RIFF with another form type", riff_avi, kWrongForm},
        {"RIFF cut before its form type", short_riff, kWrongForm},
        {"data running past the file", wav({fmt(1, 1, 44100, 16), {"data", Bytes(20), 22}}),
         kChunkSize},
        {"data running past the RIFF size",
         wav({fmt(1, 1, 44100, 16), data_of_size(20)}, 4 + 24 + 20), kChunkSize},
        {"a chunk size near 4 GiB", wav({fmt(1, 1, 44100, 16), {"data", Bytes(20), 0xFFFFFFF8}}),
         kChunkSize},
        {"extensible format tag", wav({fmt(0xFFFE, 1, 44100, 16), data_of_size(20)}), kUnsupported},
        {"ADPCM", wav({fmt(2, 1, 44100, 4), data_of_size(20)}), kUnsupported},
        {"zero channels", wav({fmt(1, 0, 44100, 16), data_of_size(20)}), kUnsupported},
        {"zero rate", wav({fmt(1, 1, 0, 16), data_of_size(20)}), kUnsupported},
        {"a rate above 2 GHz rounds the period to 0",
         wav({fmt(1, 1, 2000000001, 16), data_of_size(20)}), kUnsupported},
        {"a rate of 2^31 Hz or more", wav({fmt(1, 1, 0x80000000, 16), data_of_size(20)}),
         kUnsupported},
        {"zero bits", wav({fmt_with([](Bytes& b) { b[14] = 0; }), data_of_size(20)}), kUnsupported},
        {"33 bits", wav({fmt_with([](Bytes& b) { b[14] = 33; }), data_of_size(20)}), kUnsupported},
        {"float with zero channels", wav({fmt(3, 0, 44100, 32), data_of_size(20)}), kUnsupported},
        {"data before fmt", wav({data_of_size(20), fmt(1, 1, 44100, 16)}), kWrongForm},
        {"a second fmt after data would change the frame size",
         wav({fmt(1, 1, 44100, 8), data_of_size(20), fmt(1, 2, 44100, 16)}), kWrongForm},
        {"no data chunk", wav({fmt(1, 1, 44100, 16)}), kChunkSize},
        {"no chunk at all", wav({}), kChunkSize},
        {"a RIFF size of 4 holds no chunk", wav({fmt(1, 1, 44100, 16), data_of_size(2)}, 4),
         kChunkSize},
        {"fmt shorter than its fields", wav({cut_to(fmt(1, 1, 44100, 16), 14), data_of_size(20)}),
         kChunkSize},
        {"smpl shorter than its header",
         wav({fmt(1, 1, 44100, 16), data_of_size(20), {"smpl", Bytes(28)}}), kChunkSize},
        {"smpl counting a loop it does not hold",
         wav({fmt(1, 1, 44100, 16), data_of_size(20), cut_to(smpl(0, {{1, 2, 0}}), 36)}),
         kChunkSize},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        EXPECT_EQ(parse_wav(c.file.data(), c.file.size(), info), c.want) << c.description;
        if (c.want == kChunkSize || c.want == kWrongForm) {
            EXPECT_EQ(info.file_kind, kKindNone) << c.description;
        }
    }
}

TEST(WavReader, AFailedWalkKeepsNothingOfTheFileBefore) {
    const Bytes good = canonical_wav(100);
    const Bytes data_first = wav({data_of_size(20), fmt(1, 1, 44100, 16)});
    const Bytes no_data = wav({fmt(1, 1, 22050, 16)});
    for (const Bytes* second : {&data_first, &no_data}) {
        SampleInfo info;
        ASSERT_EQ(parse_wav(good.data(), good.size(), info), kOk);
        EXPECT_NE(parse_wav(second->data(), second->size(), info), kOk);
        EXPECT_EQ(info.data_start, nullptr);
        EXPECT_EQ(info.read_pos, nullptr);
        EXPECT_EQ(info.data_end, nullptr);
        EXPECT_EQ(info.sample_length, 0);
        EXPECT_FALSE(parse_audio_file(second->data(), second->size(), info));
    }
}

TEST(WavReader, LeavesTheAifcCompressionAlone) {
    const Bytes file = canonical_wav(4);
    SampleInfo info;
    info.aifc_compression = kAifcSowt;
    ASSERT_EQ(parse_wav(file.data(), file.size(), info), kOk);
    EXPECT_EQ(info.aifc_compression, kAifcSowt);
}

TEST(HeaderTests, LookAtOffsetsZeroAndEightOnly) {
    Bytes wav_header = {'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'A', 'V', 'E'};
    Bytes aiff_header = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F'};
    Bytes aifc_header = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'C'};
    Bytes syx = {0xF0, 0x00, 0x20, 0x3C, 0, 0, 0, 0, 0, 0, 0, 0xF7};
    Bytes cut(wav_header.begin(), wav_header.end() - 1);
    struct Case {
        const char* description;
        const Bytes& bytes;
        bool wav, aiff, aifc;
    } cases[] = {
        {"WAV", wav_header, true, false, false},   {"AIFF", aiff_header, false, true, false},
        {"AIFC", aifc_header, false, false, true}, {"SysEx", syx, false, false, false},
        {"11 bytes", cut, false, false, false},
    };
    for (const Case& c : cases) {
        const uint8_t* d = c.bytes.data();
        const size_t n = c.bytes.size();
        EXPECT_EQ(is_wav_file(d, n), c.wav) << c.description;
        EXPECT_EQ(is_aiff_file(d, n), c.aiff) << c.description;
        EXPECT_EQ(is_aifc_file(d, n), c.aifc) << c.description;
        EXPECT_EQ(is_audio_file(d, n), c.wav || c.aiff || c.aifc) << c.description;
    }
}

}  // namespace
}  // namespace j3
