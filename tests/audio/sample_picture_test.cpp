// What the window draws of a sample: peaks per column, the loop as a dump
// announces it by each Loop choice, and the frames around the loop seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>

#include "audio/sample_convert.h"
#include "audio/sample_picture.h"
#include "audio/sds_encoder.h"
#include "fixtures/audio_files.h"
#include "format/item_choices.h"

namespace j3 {
namespace {

using namespace testing;

// Peaks computed the plainest way from the interleaved words.
struct Expected {
    std::vector<int32_t> low, high;
};
Expected naive_peaks(const std::vector<int32_t>& words, int ch, int64_t first, int64_t count,
                     int32_t columns) {
    Expected e;
    e.low.assign(size_t(ch * columns), 0);
    e.high.assign(size_t(ch * columns), 0);
    for (int32_t c = 0; c < columns; ++c) {
        int64_t a = first + count * c / columns;
        int64_t b = std::max(first + count * (c + 1) / columns, a + 1);
        for (int k = 0; k < ch; ++k) {
            int32_t lo = std::numeric_limits<int32_t>::max(),
                    hi = std::numeric_limits<int32_t>::min();
            for (int64_t f = a; f < b; ++f) {
                lo = std::min(lo, words[size_t(f * ch + k)]);
                hi = std::max(hi, words[size_t(f * ch + k)]);
            }
            e.low[size_t(k * columns + c)] = lo;
            e.high[size_t(k * columns + c)] = hi;
        }
    }
    return e;
}

std::vector<int32_t> widen(const std::vector<int16_t>& s) {
    return {s.begin(), s.end()};
}

TEST(SamplePeaks, MatchTheWordsOfEveryColumn) {
    const std::vector<int16_t> mono = sine(5000, 7.0, 5000);
    std::vector<int16_t> right(5000);
    for (size_t i = 0; i < right.size(); ++i) right[i] = int16_t(int(i) * 13 % 65536 - 32768);
    const std::vector<int16_t> stereo = interleave(sine(5000, 3.0, 5000), right);
    std::vector<int32_t> quad;  // four channels, each its own ramp
    for (int i = 0; i < 4 * 777; ++i) quad.push_back((i % 4) * 5000 - (i * 7919) % 9000);
    std::vector<int32_t> words24;
    for (int i = 0; i < 3000; ++i) words24.push_back((i * 5591) % 16777216 - 8388608);

    struct Case {
        const char* description;
        Bytes file;
        std::vector<int32_t> words;  // interleaved, as read
        int channels;
        int64_t first, count;
        int32_t columns;
    } cases[] = {
        {"mono sine, whole, 1000 columns", wav16(mono, 1), widen(mono), 1, 0, 5000, 1000},
        {"mono sine, whole, 7 columns (uneven)", wav16(mono, 1), widen(mono), 1, 0, 5000, 7},
        {"mono sine, one column", wav16(mono, 1), widen(mono), 1, 0, 5000, 1},
        {"mono sine, 40 frames over 100 columns", wav16(mono, 1), widen(mono), 1, 10, 40, 100},
        {"mono sine, a middle range", wav16(mono, 1), widen(mono), 1, 1234, 2000, 333},
        {"stereo, whole, 640 columns", wav16(stereo, 2), widen(stereo), 2, 0, 5000, 640},
        {"stereo, 3 frames over 9 columns", wav16(stereo, 2), widen(stereo), 2, 4990, 3, 9},
        {"stereo, one column", wav16(stereo, 2), widen(stereo), 2, 0, 5000, 1},
        {"four channels", make_wav({.channels = 4, .samples = quad}), quad, 4, 0, 777, 5},
        {"stereo AIFF (big-endian words)", aiff16(stereo, 2), widen(stereo), 2, 0, 5000, 100},
        {"stereo AIFC sowt", aiff16(stereo, 2, "sowt"), widen(stereo), 2, 17, 4000, 250},
        {"24-bit stereo", make_wav({.channels = 2, .bits = 24, .container = 3, .samples = words24}),
         words24, 2, 0, 1500, 64},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        ASSERT_TRUE(parse_audio_file(c.file.data(), c.file.size(), info)) << c.description;
        const SamplePeaks p = compute_peaks(info, c.first, c.count, c.columns);
        const Expected e = naive_peaks(c.words, c.channels, c.first, c.count, c.columns);
        ASSERT_EQ(p.channels, c.channels) << c.description;
        ASSERT_EQ(p.columns, c.columns) << c.description;
        EXPECT_EQ(p.low, e.low) << c.description;
        EXPECT_EQ(p.high, e.high) << c.description;
    }
}

// Every stored layout, with bytes chosen to hit every value class (random
// bytes, so floats include not-a-number, infinities and values past full
// scale), against the plainest reading: each word through read_sample_word.
TEST(SamplePeaks, EveryLayoutMatchesTheWordByWordReading) {
    struct Layout {
        const char* name;
        int32_t file_kind, format_code, aifc_compression, bytes, bits;
    };
    const Layout layouts[] = {
        {"WAV 8-bit", kKindWav, kWavFormatPcm, kAifcOther, 1, 8},
        {"WAV 7 bits in 8", kKindWav, kWavFormatPcm, kAifcOther, 1, 7},
        {"WAV 16-bit", kKindWav, kWavFormatPcm, kAifcOther, 2, 16},
        {"WAV 12 bits in 16", kKindWav, kWavFormatPcm, kAifcOther, 2, 12},
        {"WAV 24-bit", kKindWav, kWavFormatPcm, kAifcOther, 3, 24},
        {"WAV 20 bits in 24", kKindWav, kWavFormatPcm, kAifcOther, 3, 20},
        {"WAV 32-bit (28 kept)", kKindWav, kWavFormatPcm, kAifcOther, 4, 28},
        {"WAV float", kKindWav, kWavFormatFloat, kAifcOther, 4, 24},
        {"WAV double", kKindWav, kWavFormatFloat, kAifcOther, 8, 24},
        {"AIFF 8-bit", kKindAiff, kFormatAiff, kAifcOther, 1, 8},
        {"AIFF 16-bit", kKindAiff, kFormatAiff, kAifcOther, 2, 16},
        {"AIFF 24-bit", kKindAiff, kFormatAiff, kAifcOther, 3, 24},
        {"AIFF 18 bits in 24", kKindAiff, kFormatAiff, kAifcOther, 3, 18},
        {"AIFF 32-bit", kKindAiff, kFormatAiff, kAifcOther, 4, 28},
        {"AIFC none 24-bit", kKindAifc, kFormatAifc, kAifcNone, 3, 24},
        {"AIFC sowt 8-bit", kKindAifc, kFormatAifc, kAifcSowt, 1, 8},
        {"AIFC sowt 24-bit", kKindAifc, kFormatAifc, kAifcSowt, 3, 24},
        {"AIFC fl32", kKindAifc, kFormatAifc, kAifcFl32, 4, 24},
        {"AIFC fl64", kKindAifc, kFormatAifc, kAifcFl64, 8, 24},
    };
    for (const Layout& l : layouts) {
        for (int ch : {1, 2, 3, 4, 6, 9}) {
            for (bool small_values : {false, true}) {
                const int frames = 1237;
                std::vector<uint8_t> bytes(size_t(frames * ch * l.bytes));
                uint32_t seed = uint32_t(ch * 977 + l.bytes);
                for (uint8_t& b : bytes) {
                    seed = seed * 1664525u + 1013904223u;
                    b = uint8_t(seed >> 24);
                }
                if (small_values && l.file_kind != kKindWav && l.bytes == 4) {
                    // Big-endian floats within about -1.5 ... 1.5 (top byte 0x3F or 0xBF).
                    for (size_t i = 0; i < bytes.size(); i += 4)
                        bytes[i] = (bytes[i] & 0x80) | 0x3F;
                } else if (small_values && l.bytes == 4) {
                    for (size_t i = 3; i < bytes.size(); i += 4)
                        bytes[i] = (bytes[i] & 0x80) | 0x3F;
                }
                SampleInfo info;
                info.file_kind = l.file_kind;
                info.format_code = l.format_code;
                info.aifc_compression = l.aifc_compression;
                info.bytes_per_sample = l.bytes;
                info.bits_per_sample = l.bits;
                info.channels = ch;
                info.sample_rate = 44100;
                info.sample_length = frames;
                info.data_start = bytes.data();
                info.data_end = bytes.data() + bytes.size();
                std::vector<int32_t> words;
                for (size_t i = 0; i < bytes.size(); i += size_t(l.bytes))
                    words.push_back(read_sample_word(info, bytes.data() + i));
                for (int32_t columns : {1, 7, 300, 2000}) {
                    const std::string what = std::string(l.name) + ", " + std::to_string(ch) +
                                             " channels, " + std::to_string(columns) + " columns" +
                                             (small_values ? ", small values" : "");
                    const SamplePeaks p = compute_peaks(info, 3, frames - 5, columns);
                    const Expected e = naive_peaks(words, ch, 3, frames - 5, columns);
                    ASSERT_EQ(p.low, e.low) << what;
                    ASSERT_EQ(p.high, e.high) << what;
                }
            }
        }
    }
}

TEST(SamplePeaks, ClipToTheSampleAndRefuseEmptyRanges) {
    const Bytes file = wav16(sine(100, 1.0, 100), 1);
    SampleInfo info;
    ASSERT_TRUE(parse_audio_file(file.data(), file.size(), info));
    struct Case {
        const char* description;
        int64_t first, count;
        int32_t columns;
        int64_t want_first, want_count;  // want_count 0: empty result
    } cases[] = {
        {"past the end is cut off", 90, 50, 10, 90, 10},
        {"before the start is cut off", -20, 40, 10, 0, 20},
        {"wholly past the end", 100, 10, 10, 0, 0},
        {"no columns", 0, 100, 0, 0, 0},
        {"negative count", 10, -5, 10, 0, 0},
    };
    for (const Case& c : cases) {
        const SamplePeaks p = compute_peaks(info, c.first, c.count, c.columns);
        EXPECT_EQ(p.frame_count, c.want_count) << c.description;
        if (c.want_count > 0) {
            EXPECT_EQ(p.first_frame, c.want_first) << c.description;
        } else {
            EXPECT_EQ(p.columns, 0) << c.description;
        }
    }
    EXPECT_EQ(compute_peaks(SampleInfo{}, 0, 10, 10).columns, 0) << "a record without data";
}

TEST(SamplePeaks, FullScaleFollowsTheBits) {
    const Bytes wav16_file = wav16({1, 2}, 1);
    const Bytes wav24_file = make_wav({.bits = 24, .container = 3, .samples = {1, 2}});
    const Bytes wav12_file = make_wav({.bits = 12, .container = 2, .samples = {-2048, 2047}});
    for (const auto& [file, scale, low, high] :
         {std::tuple{wav16_file, 32768, 1, 2}, std::tuple{wav24_file, 8388608, 1, 2},
          std::tuple{wav12_file, 2048, -2048, 2047}}) {
        SampleInfo info;
        ASSERT_TRUE(parse_audio_file(file.data(), file.size(), info));
        const SamplePeaks p = compute_peaks(info, 0, 2, 1);
        EXPECT_EQ(p.full_scale, scale);
        EXPECT_EQ(p.min_of(0, 0), low);
        EXPECT_EQ(p.max_of(0, 0), high);
    }
}

TEST(SentLoop, FollowsTheLoopChoice) {
    const std::vector<int16_t> frames = sine(400, 4.0, 400);
    struct Case {
        const char* description;
        std::optional<Loop> file_loop;  // none: a file without loop data
        int32_t choice;
        SentLoop want;
    } cases[] = {
        {"file loop, as the file says", Loop{100, 299, 0}, kLoopFile, {true, 100, 299}},
        {"file loop, forced on", Loop{100, 299, 0}, kLoopOn, {true, 100, 299}},
        {"file loop, off", Loop{100, 299, 0}, kLoopOff, {false, 100, 299}},
        {"no loop in the file, as the file says", std::nullopt, kLoopFile, {false, 0, 399}},
        {"no loop in the file, forced on: the whole sample", std::nullopt, kLoopOn, {true, 0, 399}},
        {"loop ending at 0, forced on: the whole sample", Loop{0, 0, 0}, kLoopOn, {true, 0, 399}},
        {"loop of type 127 in the file, as the file says",
         Loop{10, 20, 127},
         kLoopFile,
         {false, 10, 20}},
        {"loop of type 127, forced on", Loop{10, 20, 127}, kLoopOn, {true, 10, 20}},
    };
    for (const Case& c : cases) {
        const Bytes file = wav16(frames, 1, c.file_loop);
        SampleInfo info;
        ASSERT_TRUE(parse_audio_file(file.data(), file.size(), info)) << c.description;
        const SentLoop got = sent_loop(info, c.choice);
        EXPECT_EQ(got.looped, c.want.looped) << c.description;
        EXPECT_EQ(got.start, c.want.start) << c.description;
        EXPECT_EQ(got.end, c.want.end) << c.description;
    }
}

TEST(LoopSeam, TakesTheFramesOnBothSidesOfTheSeam) {
    // Stereo, left = frame number, right = -frame number.
    std::vector<int16_t> s;
    for (int f = 0; f < 50; ++f) {
        s.push_back(int16_t(f));
        s.push_back(int16_t(-f));
    }
    const Bytes file = wav16(s, 2, Loop{10, 40, 0});
    SampleInfo info;
    ASSERT_TRUE(parse_audio_file(file.data(), file.size(), info));
    struct Case {
        const char* description;
        int32_t start, end, frames;
        int64_t before_first;
        std::vector<int32_t> before, after;
    } cases[] = {
        {"three each side",
         10,
         40,
         3,
         38,
         {38, -38, 39, -39, 40, -40},
         {10, -10, 11, -11, 12, -12}},
        {"loop end near the start", 47, 1, 4, 0, {0, 0, 1, -1}, {47, -47, 48, -48, 49, -49}},
        {"loop end past the sample", 0, 80, 2, 48, {48, -48, 49, -49}, {0, 0, 1, -1}},
    };
    for (const Case& c : cases) {
        const LoopSeam seam = loop_seam(info, c.start, c.end, c.frames);
        EXPECT_EQ(seam.channels, 2) << c.description;
        EXPECT_EQ(seam.before_first, c.before_first) << c.description;
        EXPECT_EQ(seam.before, c.before) << c.description;
        EXPECT_EQ(seam.after, c.after) << c.description;
    }
}

}  // namespace
}  // namespace j3
