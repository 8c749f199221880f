#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "audio/sample_convert.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using namespace testing;

Bytes le_float(float x) {
    Bytes b;
    put_le32(b, std::bit_cast<uint32_t>(x));
    return b;
}
Bytes be_float(float x) {
    Bytes b;
    put_be32(b, std::bit_cast<uint32_t>(x));
    return b;
}
Bytes le_double(double x) {
    const uint64_t u = std::bit_cast<uint64_t>(x);
    Bytes b;
    put_le32(b, uint32_t(u));
    put_le32(b, uint32_t(u >> 32));
    return b;
}
Bytes be_double(double x) {
    const uint64_t u = std::bit_cast<uint64_t>(x);
    Bytes b;
    put_be32(b, uint32_t(u >> 32));
    put_be32(b, uint32_t(u));
    return b;
}

TEST(ReadWavSampleInt, DecodesOneSample) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* description;
        Bytes bytes;
        WavEncoding encoding;
        int32_t want;
    } cases[] = {
        {"8-bit 0x00", {0x00}, kEncodingInteger, -128},
        {"8-bit 0x80", {0x80}, kEncodingInteger, 0},
        {"8-bit 0xFF", {0xFF}, kEncodingInteger, 127},
        {"16-bit FF 7F", {0xFF, 0x7F}, kEncodingInteger, 32767},
        {"16-bit 00 80", {0x00, 0x80}, kEncodingInteger, -32768},
        {"24-bit 00 00 80", {0x00, 0x00, 0x80}, kEncodingInteger, -8388608},
        {"24-bit FF FF 7F", {0xFF, 0xFF, 0x7F}, kEncodingInteger, 8388607},
        {"32-bit 00 00 00 80", {0, 0, 0, 0x80}, kEncodingInteger, INT32_MIN},
        {"float 1.0 stays below full scale", le_float(1.0f), kEncodingFloat, 2147483392},
        {"float -1.0", le_float(-1.0f), kEncodingFloat, INT32_MIN},
        {"float -2.5 is limited", le_float(-2.5f), kEncodingFloat, INT32_MIN},
        {"float 0.5", le_float(0.5f), kEncodingFloat, 1073741824},
        {"float not-a-number", le_float(nan), kEncodingFloat, INT32_MIN},
        {"double 0.5", le_double(0.5), kEncodingFloat, 1073741824},
        {"double 2.0", le_double(2.0), kEncodingFloat, 2147483391},
        {"neither", {0x12, 0x34}, kEncodingNeither, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_wav_sample_int(c.bytes.data(), int32_t(c.bytes.size()), c.encoding), c.want)
            << c.description;
    }
}

// A record for samples held in bytes, as a reader would leave it.
SampleInfo record(const Bytes& bytes, int32_t channels, int32_t bits, int32_t bytes_per_sample,
                  int32_t format_code = kWavFormatPcm, int32_t compression = kAifcOther) {
    SampleInfo info;
    info.format_code = format_code;
    info.channels = channels;
    info.bits_per_sample = bits;
    info.bytes_per_sample = bytes_per_sample;
    info.sample_length = int32_t(bytes.size()) / (channels * bytes_per_sample);
    info.data_start = info.read_pos = bytes.data();
    info.data_end = bytes.data() + bytes.size();
    info.aifc_compression = compression;
    return info;
}

enum Kind { kWav, kAiff, kAifc };

const uint8_t* fill(Kind kind, const SampleInfo& info, int32_t stereo, int32_t first, int32_t count,
                    PacketWords& words) {
    switch (kind) {
        case kWav:
            return fill_packet_words_wav(info, stereo, info.read_pos, first, count, words);
        case kAiff:
            return fill_packet_words_aiff(info, stereo, info.read_pos, first, count, words);
        default:
            return fill_packet_words_aifc(info, stereo, info.read_pos, first, count, words);
    }
}

TEST(PacketFillers, GiveWordsOfTheFilesBits) {
    struct Case {
        const char* description;
        Kind kind;
        Bytes bytes;  // one mono sample
        int32_t bits, bytes_per_sample, format_code, compression;
        int32_t want;
    } cases[] = {
        {"WAV 8-bit 0x00", kWav, {0x00}, 8, 1, 1, -1, -128},
        {"WAV 16-bit 00 80", kWav, {0x00, 0x80}, 16, 2, 1, -1, -32768},
        {"WAV 20-bit maximum, left-justified in 3 bytes",
         kWav,
         {0xF0, 0xFF, 0x7F},
         20,
         3,
         1,
         -1,
         524287},
        {"WAV 32-bit minimum reduced to 28 bits", kWav, {0, 0, 0, 0x80}, 28, 4, 1, -1, -134217728},
        {"WAV float 1.0", kWav, le_float(1.0f), 24, 4, 3, -1, 8388607},
        {"WAV float -1.0", kWav, le_float(-1.0f), 24, 4, 3, -1, -8388608},
        {"WAV float -2.5", kWav, le_float(-2.5f), 24, 4, 3, -1, -8388608},
        {"WAV float 0.5", kWav, le_float(0.5f), 24, 4, 3, -1, 4194304},
        {"WAV double 1.0", kWav, le_double(1.0), 24, 8, 3, -1, 8388606},
        {"AIFF 8-bit 0x80", kAiff, {0x80}, 8, 1, kFormatAiff, -1, -128},
        {"AIFF 8-bit 0x00", kAiff, {0x00}, 8, 1, kFormatAiff, -1, 0},
        {"AIFF 8-bit 0x7F", kAiff, {0x7F}, 8, 1, kFormatAiff, -1, 127},
        {"AIFF 16-bit 7F FF", kAiff, {0x7F, 0xFF}, 16, 2, kFormatAiff, -1, 32767},
        {"AIFF 16-bit 80 00", kAiff, {0x80, 0x00}, 16, 2, kFormatAiff, -1, -32768},
        {"AIFF 12-bit in 2 bytes", kAiff, {0x80, 0x00}, 12, 2, kFormatAiff, -1, -2048},
        {"AIFC NONE 24-bit", kAifc, {0x80, 0x00, 0x00}, 24, 3, kFormatAifc, kAifcNone, -8388608},
        {"AIFC sowt 01 80", kAifc, {0x01, 0x80}, 16, 2, kFormatAifc, kAifcSowt, -32767},
        {"AIFC fl32 1.0", kAifc, be_float(1.0f), 24, 4, kFormatAifc, kAifcFl32, 8388607},
        {"AIFC fl32 -1.0", kAifc, be_float(-1.0f), 24, 4, kFormatAifc, kAifcFl32, -8388608},
        {"AIFC fl64 1.0", kAifc, be_double(1.0), 24, 8, kFormatAifc, kAifcFl64, 8388606},
        {"AIFC fl64 -3.0", kAifc, be_double(-3.0), 24, 8, kFormatAifc, kAifcFl64, -8388608},
        {"AIFC other compression", kAifc, {1, 2}, 16, 2, kFormatAifc, kAifcOther, 0},
    };
    for (const Case& c : cases) {
        const SampleInfo info =
            record(c.bytes, 1, c.bits, c.bytes_per_sample, c.format_code, c.compression);
        PacketWords words{};
        const uint8_t* pos = fill(c.kind, info, 0, 0, 1, words);
        EXPECT_EQ(words[0], c.want) << c.description;
        EXPECT_EQ(pos, info.data_end) << c.description;
    }
}

TEST(PacketFillers, ReduceStereoByTheChoice) {
    Bytes frame;
    put_le16(frame, uint16_t(int16_t(1000)));
    put_le16(frame, uint16_t(int16_t(-3001)));
    Bytes quad = frame;
    put_le16(quad, 7);
    put_le16(quad, 8);
    struct Case {
        const char* description;
        const Bytes& bytes;
        int32_t channels, choice, want;
    } cases[] = {
        {"L + R truncates toward zero", frame, 2, 0, -1000},
        {"Left", frame, 2, 1, 1000},
        {"Right", frame, 2, 2, -3001},
        {"an unknown choice takes the left", frame, 2, 7, 1000},
        {"four channels take channel 0", quad, 4, 0, 1000},
        {"four channels ignore Right", quad, 4, 2, 1000},
    };
    for (const Case& c : cases) {
        const SampleInfo info = record(c.bytes, c.channels, 16, 2);
        PacketWords words{};
        const uint8_t* pos = fill_packet_words_wav(info, c.choice, info.read_pos, 0, 1, words);
        EXPECT_EQ(words[0], c.want) << c.description;
        EXPECT_EQ(pos, info.data_start + 2 * c.channels) << c.description;
    }
}

TEST(PacketFillers, FillPastTheEndWithZerosAndStayPut) {
    Bytes bytes;
    for (int i = 0; i < 100; ++i) put_le16(bytes, uint16_t(i + 1));
    const SampleInfo info = record(bytes, 1, 16, 2);
    PacketWords words;
    words.fill(-1);
    const uint8_t* at80 = info.data_start + 80 * 2;
    const uint8_t* pos = fill_packet_words_wav(info, 0, at80, 80, 60, words);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(words[size_t(i)], 81 + i) << "word " << i;
    for (int i = 20; i < 60; ++i) EXPECT_EQ(words[size_t(i)], 0) << "word " << i;
    EXPECT_EQ(pos, info.data_end);
}

TEST(PacketFillers, NeverReadOutsideTheSampleData) {
    // Two bytes before the sample data belong to the file, not to the samples.
    Bytes bytes(10, 0x11);
    SampleInfo info = record(bytes, 1, 16, 2);
    info.data_start = info.read_pos = bytes.data() + 2;
    struct Case {
        const char* description;
        const uint8_t* pos;
        int32_t first, length;
    } cases[] = {
        {"a length larger than the data", info.data_start, 0, 1000},
        {"a read position before the data", bytes.data(), 0, 4},
        {"a read position at the data's end", info.data_end, 0, 4},
        {"a record without data", nullptr, 0, 4},
    };
    for (const Case& c : cases) {
        SampleInfo r = info;
        r.sample_length = c.length;
        if (c.pos == nullptr) r.data_start = r.data_end = nullptr;
        PacketWords words{};
        const uint8_t* pos = fill_packet_words_aiff(r, 0, c.pos, c.first, 60, words);
        int nonzero = 0;
        for (int32_t w : words) nonzero += w != 0;
        EXPECT_LE(nonzero, 4) << c.description;
        EXPECT_TRUE(pos == c.pos || (pos > c.pos && pos <= info.data_end)) << c.description;
    }
}

TEST(DoubleReaders, ScaleByTheBits) {
    struct Case {
        const char* description;
        bool aiff;
        Bytes bytes;
        int32_t bits, bytes_per_sample, format_code;
        double want;
    } cases[] = {
        {"WAV 16-bit minimum", false, {0x00, 0x80}, 16, 2, 1, -1.0},
        {"WAV 16-bit maximum", false, {0xFF, 0x7F}, 16, 2, 1, 32767.0 / 32768.0},
        {"WAV 8-bit 0x80 is 0", false, {0x80}, 8, 1, 1, 0.0},
        {"WAV 24-bit minimum", false, {0, 0, 0x80}, 24, 3, 1, -1.0},
        {"WAV float 0.5 comes out 256 times larger", false, le_float(0.5f), 24, 4, 3, 128.0},
        {"WAV 20-bit container value, without the shift", false, {0, 0, 0x80}, 20, 3, 1, -16.0},
        {"AIFF 8-bit minimum", true, {0x80}, 8, 1, kFormatAiff, -1.0},
        {"AIFF 16-bit 0x4000", true, {0x40, 0x00}, 16, 2, kFormatAiff, 0.5},
    };
    for (const Case& c : cases) {
        const SampleInfo info = record(c.bytes, 1, c.bits, c.bytes_per_sample, c.format_code);
        const uint8_t* pos = info.data_start;
        const double got =
            c.aiff ? read_aiff_sample_double(info, pos) : read_wav_sample_double(info, pos);
        EXPECT_DOUBLE_EQ(got, c.want) << c.description;
        EXPECT_EQ(pos, info.data_end) << c.description;
        // At the end of the data a reader gives silence and stays.
        EXPECT_EQ(c.aiff ? read_aiff_sample_double(info, pos) : read_wav_sample_double(info, pos),
                  0.0)
            << c.description;
        EXPECT_EQ(pos, info.data_end) << c.description;
    }
}

}  // namespace
}  // namespace j3
