// Audio encoded to an SDS dump and received back as WAV and AIFF: libsndfile
// must read the files the converters write, with the same samples (at the
// dump's bit depth), the same rate and the loop the dump announced.
#include <gtest/gtest.h>

#include <cmath>

#include "fixtures/audio_files.h"
#include "fixtures/libsndfile_oracle.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

enum Input { kWavInput, kFloatWavInput, kAiffInput };

struct Case {
    const char* description;
    Input input = kWavInput;
    int32_t bits = 16;  // the dump's bits (24 for float input)
    int32_t container = 2;
    int32_t channels = 1;
    int32_t stereo = kStereoMix;
    int32_t rate = 44100;
    std::optional<Loop> loop;
    int32_t loop_choice = kLoopFile;
    bool extended = false;
    int32_t frames = 1001;
};

// Values that reach both ends of the range and move through it.
std::vector<int32_t> test_signal(size_t n, int32_t bits, int32_t seed) {
    const int64_t top = (int64_t(1) << (bits - 1)) - 1, bottom = -(int64_t(1) << (bits - 1));
    std::vector<int32_t> s(n);
    for (size_t i = 0; i < n; ++i) {
        if (i % 97 == 0) {
            s[i] = int32_t(i % 2 ? top : bottom);
        } else {
            double x = std::sin(0.013 * double(i * size_t(seed)) + seed);
            s[i] = int32_t(std::llround(x * double(top)));
        }
    }
    return s;
}

std::vector<float> float_signal(size_t n) {
    std::vector<float> f(n);
    for (size_t i = 0; i < n; ++i) f[i] = float(std::sin(0.021 * double(i)) * 1.1);  // clips
    f[0] = 1.0f;
    f[1] = -1.0f;
    return f;
}

// What the encoder is expected to send for frame i, as a signed value of
// `bits` bits.
int32_t expected_word(const Case& c, const std::vector<int32_t>& interleaved,
                      const std::vector<float>& floats, size_t i) {
    if (c.input == kFloatWavInput) {
        double x = floats[i];
        if (!(x >= -1.0)) x = -1.0;
        if (x > 0.9999998807) x = 0.99999988079071044921875;
        return int32_t(x * 2147483648.0) >> 8;
    }
    if (c.channels == 1) return interleaved[i];
    int64_t l = interleaved[2 * i], r = interleaved[2 * i + 1];
    if (c.stereo == kStereoLeft) return int32_t(l);
    if (c.stereo == kStereoRight) return int32_t(r);
    return int32_t((l + r) / 2);
}

void check_round_trip(const Case& c) {
    SCOPED_TRACE(c.description);
    const size_t samples = size_t(c.frames) * size_t(c.channels);
    std::vector<int32_t> interleaved = test_signal(samples, c.bits, 3);
    std::vector<float> floats;
    Bytes file;
    if (c.input == kAiffInput) {
        file = c.loop ? make_aiff({.channels = c.channels,
                                   .bits = c.bits,
                                   .rate = c.rate,
                                   .samples = interleaved,
                                   .loop = c.loop})
                      : make_aiff_with_libsndfile(c.channels, c.bits, c.rate, interleaved);
    } else {
        WavFile w;
        w.channels = c.channels;
        w.bits = c.bits;
        w.container = c.container;
        w.rate = c.rate;
        w.loop = c.loop;
        if (c.input == kFloatWavInput) {
            floats = float_signal(samples);
            w.floats = floats;
        } else {
            w.samples = interleaved;
        }
        file = make_wav(w);
    }
    ASSERT_FALSE(file.empty());

    const std::string name = "round trip";
    SdsItemParams item;
    item.stereo_choice = c.stereo;
    item.loop_choice = c.loop_choice;
    item.name_text = c.extended ? &name : nullptr;
    Dump dump = encode_item(file, item);
    ASSERT_GT(dump.first_result, 0);

    const bool looped = c.loop_choice == kLoopOn || (c.loop_choice == kLoopFile && c.loop);
    for (int32_t format : {kSdsFormatWav, kSdsFormatAiff}) {
        SCOPED_TRACE(format == kSdsFormatWav ? "received as WAV" : "received as AIFF");
        Received r = receive_dump(dump, format);
        ASSERT_EQ(r.results.back(), kSdsDumpComplete);
        SoundRead back = read_with_libsndfile(r.bytes);
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.info.channels, 1);
        EXPECT_EQ(back.info.samplerate, c.rate);
        ASSERT_EQ(back.info.frames, c.frames);
        int mismatches = 0;
        for (size_t i = 0; i < size_t(c.frames) && mismatches < 5; ++i) {
            int32_t want = expected_word(c, interleaved, floats, i);
            int32_t got = back.samples[i] >> (32 - c.bits);
            if (got != want) {
                ADD_FAILURE() << "frame " << i << ": got " << got << ", want " << want;
                ++mismatches;
            }
            // Nothing below the dump's bits.
            EXPECT_EQ(uint32_t(back.samples[i]) << c.bits, 0u) << "frame " << i;
        }
        EXPECT_EQ(back.has_instrument, looped);
        if (looped && back.has_instrument) {
            int32_t want_start = c.loop ? c.loop->start : 0;
            int32_t want_end = c.loop ? c.loop->end : c.frames - 1;
            ASSERT_EQ(back.instrument.loop_count, 1);
            EXPECT_EQ(back.instrument.loops[0].mode, SF_LOOP_FORWARD);
            EXPECT_EQ(int32_t(back.instrument.loops[0].start), want_start);
            // libsndfile reports a WAV loop's end one past the last frame
            // played, and an AIFF one at its marker.
            int32_t end_bias = format == kSdsFormatWav ? 1 : 0;
            EXPECT_EQ(int32_t(back.instrument.loops[0].end), want_end + end_bias);
        }
    }
}

TEST(SdsRoundTrip, WavInput) {
    const Loop loop{100, 900, 0};
    const Case cases[] = {
        {"8-bit", kWavInput, 8, 1},
        {"12-bit in 2 bytes", kWavInput, 12, 2},
        {"16-bit", kWavInput, 16, 2},
        {"20-bit in 3 bytes", kWavInput, 20, 3},
        {"24-bit", kWavInput, 24, 3},
        {"28-bit in 4 bytes", kWavInput, 28, 4},
        {"float", kFloatWavInput, 24, 4},
        {"16-bit 48000 Hz", kWavInput, 16, 2, 1, kStereoMix, 48000},
        {"16-bit 22050 Hz", kWavInput, 16, 2, 1, kStereoMix, 22050},
        {"stereo mixed", kWavInput, 16, 2, 2, kStereoMix},
        {"stereo left", kWavInput, 16, 2, 2, kStereoLeft},
        {"stereo right", kWavInput, 24, 3, 2, kStereoRight},
        {"looped, loop from the file", kWavInput, 16, 2, 1, kStereoMix, 44100, loop},
        {"looped file, loop off", kWavInput, 16, 2, 1, kStereoMix, 44100, loop, kLoopOff},
        {"unlooped file, loop on", kWavInput, 20, 3, 1, kStereoMix, 44100, std::nullopt, kLoopOn},
        {"extended header", kWavInput, 16, 2, 1, kStereoMix, 32000, loop, kLoopFile, true},
        {"one frame", kWavInput, 16, 2, 1, kStereoMix, 44100, std::nullopt, kLoopFile, false, 1},
        {"exactly one packet", kWavInput, 16, 2, 1, kStereoMix, 44100, std::nullopt, kLoopFile,
         false, 40},
    };
    for (const Case& c : cases) check_round_trip(c);
}

// Unlooped AIFF input comes from libsndfile; looped from our own writer, as
// libsndfile writes no INST chunk. libsndfile counts the pad byte of an odd
// sound chunk in its size, which readers then take for one more frame, so
// the 8-bit case has an even frame count.
TEST(SdsRoundTrip, AiffInput) {
    const Loop loop{10, 700, 0};
    const Case cases[] = {
        {"8-bit", kAiffInput, 8, 1, 1, kStereoMix, 44100, std::nullopt, kLoopFile, false, 1000},
        {"16-bit", kAiffInput, 16},
        {"24-bit", kAiffInput, 24},
        {"stereo left", kAiffInput, 16, 2, 2, kStereoLeft},
        {"stereo mixed", kAiffInput, 24, 3, 2, kStereoMix},
        {"looped", kAiffInput, 16, 2, 1, kStereoMix, 44100, loop},
        {"looped 12-bit", kAiffInput, 12, 2, 1, kStereoMix, 44100, loop},
        {"looped, extended", kAiffInput, 16, 2, 1, kStereoMix, 48000, loop, kLoopFile, true},
    };
    for (const Case& c : cases) check_round_trip(c);
}

}  // namespace
}  // namespace j3::testing
