// Files written by libsndfile and sox, read by our readers and converters and
// compared sample by sample with libsndfile's own reading of the same file.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "audio/audio_info.h"
#include "audio/sample_convert.h"
#include "engine/settings.h"
#include "fakes/test_folder.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// The float rule, written out from the format description: limited to
// -1.0 .. 0.99999988, scaled by 2^31, truncated, then 24 bits.
int32_t float_scaled(double x, bool single) {
    if (single) {
        float f = float(x);
        if (!(f >= -1.0f)) f = -1.0f;
        if (double(f) > 0.9999998807) f = 0.99999988079071044921875f;
        return int32_t(double(f) * 2147483648.0);
    }
    if (!(x >= -1.0)) x = -1.0;
    if (x > 0.9999998807) x = 0.9999998807;
    return int32_t(x * 2147483648.0);
}
int32_t float_word(double x, bool single) {
    return float_scaled(x, single) >> 8;
}

struct SndfileReading {
    SF_INFO format{};
    std::vector<int32_t> ints;    // left-justified 32-bit, as libsndfile reads integers
    std::vector<double> doubles;  // the stored values, for float files
    SF_INSTRUMENT instrument{};
    bool has_instrument = false;
};

SndfileReading read_with_sndfile(const fs::path& path) {
    SndfileReading r;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.format);
    if (!f) return r;
    const size_t n = size_t(r.format.frames * r.format.channels);
    r.ints.resize(n);
    sf_read_int(f, r.ints.data(), sf_count_t(n));
    sf_seek(f, 0, SEEK_SET);
    r.doubles.resize(n);
    sf_read_double(f, r.doubles.data(), sf_count_t(n));
    r.has_instrument = sf_command(f, SFC_GET_INSTRUMENT, &r.instrument, sizeof r.instrument) != 0;
    sf_close(f);
    return r;
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool is_float_file(const SampleInfo& info) {
    return (info.file_kind == kKindWav && info.format_code == kWavFormatFloat) ||
           (info.file_kind == kKindAifc &&
            (info.aifc_compression == kAifcFl32 || info.aifc_compression == kAifcFl64));
}

// Every sample of every channel through the packet fillers, packet by packet,
// against libsndfile's reading after the same scaling; and the double readers.
void expect_same_samples(const fs::path& path, const std::string& description) {
    const Bytes bytes = read_file(path);
    SampleInfo info;
    ASSERT_TRUE(parse_audio_file(bytes.data(), bytes.size(), info))
        << description << ": " << audio_info_text(bytes.data(), bytes.size(), info).text;
    const SndfileReading want = read_with_sndfile(path);
    ASSERT_GT(want.format.frames, 0) << description;
    EXPECT_EQ(info.channels, want.format.channels) << description;
    EXPECT_EQ(info.sample_rate, want.format.samplerate) << description;
    EXPECT_EQ(info.sample_length, want.format.frames) << description;
    EXPECT_EQ(info.sample_period_ns, sample_period_for_rate(want.format.samplerate)) << description;

    const bool single = info.bytes_per_sample == 4;
    auto expected_word = [&](size_t index) {
        if (is_float_file(info)) return float_word(want.doubles[index], single);
        return want.ints[index] >> (32 - info.bits_per_sample);
    };

    const int32_t channels = info.channels;
    for (int32_t channel = 0; channel < std::min(channels, 2); ++channel) {
        // "Left" takes channel 0, "Right" channel 1; mono ignores the choice.
        const int32_t choice = channel == 0 ? kStereoLeft : kStereoRight;
        const uint8_t* pos = info.data_start;
        int mismatches = 0;
        for (int32_t first = 0; first < info.sample_length; first += kPacketWordsMax) {
            PacketWords words;
            const uint8_t* (*filler)(const SampleInfo&, int32_t, const uint8_t*, int32_t, int32_t,
                                     PacketWords&) =
                info.file_kind == kKindWav    ? fill_packet_words_wav
                : info.file_kind == kKindAiff ? fill_packet_words_aiff
                                              : fill_packet_words_aifc;
            pos = filler(info, choice, pos, first, kPacketWordsMax, words);
            for (int32_t i = 0; i < kPacketWordsMax; ++i) {
                const int32_t frame = first + i;
                const int32_t want_word =
                    frame < info.sample_length
                        ? expected_word(size_t(frame) * size_t(channels) + size_t(channel))
                        : 0;
                if (words[size_t(i)] != want_word && ++mismatches <= 3) {
                    ADD_FAILURE() << description << ": channel " << channel << " frame " << frame
                                  << " gives " << words[size_t(i)] << ", libsndfile " << want_word;
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << description << ": channel " << channel;
        EXPECT_EQ(pos, info.data_start + size_t(info.sample_length) * size_t(channels) *
                                             size_t(info.bytes_per_sample))
            << description;
    }

    // The double readers: the container value times 2 / 2^bits.
    if (info.file_kind == kKindAifc) return;
    const uint8_t* pos = info.data_start;
    int mismatches = 0;
    for (size_t k = 0; k < size_t(info.sample_length) * size_t(channels); ++k) {
        const double got = info.file_kind == kKindWav ? read_wav_sample_double(info, pos)
                                                      : read_aiff_sample_double(info, pos);
        double container;
        if (is_float_file(info)) {
            container = double(float_scaled(want.doubles[k], single));
        } else {
            container = double(want.ints[k] >> (32 - 8 * info.bytes_per_sample));
        }
        const double expected = std::ldexp(container, 1 - info.bits_per_sample);
        if (got != expected && ++mismatches <= 3) {
            ADD_FAILURE() << description << ": double sample " << k << " gives " << got << ", want "
                          << expected;
        }
    }
    EXPECT_EQ(mismatches, 0) << description;
}

using TempDir = j3::testing::TestFolder;

// Full scale both ways, beyond it (floats), silence and a ramp through the range.
std::vector<double> test_signal(int frames, int channels) {
    std::vector<double> v(size_t(frames * channels));
    const double specials[] = {-1.0, 1.0, 0.0, -0.5, 0.5, 1.5, -2.5, 1e-9, -1e-9, 0.999999};
    for (size_t k = 0; k < v.size(); ++k) {
        v[k] = k < std::size(specials) ? specials[k]
                                       : std::sin(double(k) * 0.37) * (k % 3 == 0 ? 1.2 : 0.9);
    }
    return v;
}

struct SndfileKind {
    const char* description;
    const char* extension;
    int format;
    int channels;
    int bits;  // bits_per_sample the reader should record
    int32_t compression;
};

class LibsndfileFiles : public TempDir {};

TEST_F(LibsndfileFiles, DecodeAsLibsndfileReadsThem) {
    const SndfileKind kinds[] = {
        {"WAV 8-bit mono", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8, -1},
        {"WAV 16-bit stereo", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 16, -1},
        {"WAV 24-bit stereo", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 24, -1},
        {"WAV 32-bit mono (kept to 28 bits)", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 28, -1},
        {"WAV float stereo", "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 24, -1},
        {"WAV double mono", "wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 24, -1},
        {"AIFF 8-bit mono", "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 8, -1},
        {"AIFF 16-bit stereo", "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 16, -1},
        {"AIFF 24-bit mono", "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 24, -1},
        {"AIFC sowt 16-bit stereo", "aifc", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 2,
         16, kAifcSowt},
    };
    const int frames = 1001;  // odd, so 8-bit mono data carries a pad byte
    for (const SndfileKind& k : kinds) {
        const fs::path path = dir / (std::string("f.") + k.extension);
        SF_INFO format{};
        format.samplerate = 22050;
        format.channels = k.channels;
        format.format = k.format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &format);
        ASSERT_NE(f, nullptr) << k.description << ": " << sf_strerror(nullptr);
        // Writing doubles into integer files lets libsndfile do its own scaling.
        sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        const std::vector<double> signal = test_signal(frames, k.channels);
        sf_write_double(f, signal.data(), sf_count_t(signal.size()));
        sf_close(f);

        expect_same_samples(path, k.description);
        const Bytes bytes = read_file(path);
        SampleInfo info;
        ASSERT_TRUE(parse_audio_file(bytes.data(), bytes.size(), info)) << k.description;
        EXPECT_EQ(info.bits_per_sample, k.bits) << k.description;
        if (k.compression != -1) {
            EXPECT_EQ(info.aifc_compression, k.compression) << k.description;
        }
        EXPECT_EQ(info.loop_present, 0) << k.description;
        EXPECT_EQ(info.loop_end, info.sample_length - 1) << k.description;
    }
}

TEST_F(LibsndfileFiles, UpperCaseFloatAifcIsRefused) {
    // libsndfile names its float AIFC compression "FL32" / "FL64"; only the
    // lower-case types are read (sox writes those, see below).
    for (int format : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        const fs::path path = dir / "f.aifc";
        SF_INFO info_in{};
        info_in.samplerate = 44100;
        info_in.channels = 1;
        info_in.format = SF_FORMAT_AIFF | format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info_in);
        ASSERT_NE(f, nullptr);
        const double zeros[10] = {};
        sf_write_double(f, zeros, 10);
        sf_close(f);
        const Bytes bytes = read_file(path);
        SampleInfo info;
        EXPECT_EQ(audio_info_text(bytes.data(), bytes.size(), info).text, "AIFC: Not PCM or Float")
            << format;
        EXPECT_EQ(info.aifc_compression, kAifcOther) << format;
    }
}

TEST_F(LibsndfileFiles, WavLoopsMatchWhatLibsndfileWrote) {
    struct Case {
        const char* description;
        int mode;
        int start, end;  // libsndfile's loop end is one past the last frame
        int32_t want_type;
    } cases[] = {
        {"forward", SF_LOOP_FORWARD, 100, 900, 0},
        {"alternating", SF_LOOP_ALTERNATING, 0, 1000, 1},
        {"backward", SF_LOOP_BACKWARD, 10, 20, 2},
    };
    for (const Case& c : cases) {
        const fs::path path = dir / "loop.wav";
        SF_INFO format{};
        format.samplerate = 44100;
        format.channels = 1;
        format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &format);
        ASSERT_NE(f, nullptr);
        SF_INSTRUMENT instrument{};
        instrument.basenote = 60;
        instrument.key_hi = instrument.velocity_hi = 127;
        instrument.loop_count = 1;
        instrument.loops[0].mode = c.mode;
        instrument.loops[0].start = unsigned(c.start);
        instrument.loops[0].end = unsigned(c.end);
        ASSERT_TRUE(sf_command(f, SFC_SET_INSTRUMENT, &instrument, sizeof instrument));
        std::vector<short> samples(1000, 0);
        sf_write_short(f, samples.data(), sf_count_t(samples.size()));
        sf_close(f);

        const SndfileReading want = read_with_sndfile(path);
        ASSERT_TRUE(want.has_instrument) << c.description;
        const Bytes bytes = read_file(path);
        SampleInfo info;
        ASSERT_EQ(parse_wav(bytes.data(), bytes.size(), info), AudioParseStatus::kOk)
            << c.description;
        EXPECT_EQ(info.loop_present, 1) << c.description;
        EXPECT_EQ(info.loop_type, c.want_type) << c.description;
        EXPECT_EQ(info.loop_start, int32_t(want.instrument.loops[0].start)) << c.description;
        EXPECT_EQ(info.loop_end, int32_t(want.instrument.loops[0].end) - 1) << c.description;
    }
}

TEST_F(LibsndfileFiles, AiffLoopsMatchWhatLibsndfileReads) {
    // libsndfile does not write INST and MARK, but reads them: our chunks, its reading.
    struct Case {
        const char* description;
        std::vector<Chunk> chunks;
        int want_mode;
    } cases[] = {
        {"COMM INST MARK SSND, as the receiver writes it",
         {comm(1, 1000, 16, 44100), inst(1, 1, 2), mark({{1, 100, "a"}, {2, 900, "b"}}),
          ssnd(Bytes(2000))},
         SF_LOOP_FORWARD},
        {"MARK with longer names after SSND",
         {comm(1, 1000, 16, 44100), ssnd(Bytes(2000)), inst(1, 3, 4),
          mark({{3, 100, "start"}, {4, 900, "end!"}})},
         SF_LOOP_FORWARD},
    };
    for (const Case& c : cases) {
        const fs::path path = dir / "loop.aiff";
        const Bytes bytes = aiff(c.chunks);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const SndfileReading want = read_with_sndfile(path);
        ASSERT_TRUE(want.has_instrument) << c.description;
        ASSERT_GE(want.instrument.loop_count, 1) << c.description;
        EXPECT_EQ(want.instrument.loops[0].mode, c.want_mode) << c.description;
        SampleInfo info;
        ASSERT_EQ(parse_aiff(bytes.data(), bytes.size(), info), AudioParseStatus::kOk)
            << c.description;
        EXPECT_EQ(info.loop_type, 0) << c.description;
        EXPECT_EQ(info.loop_start, int32_t(want.instrument.loops[0].start)) << c.description;
        EXPECT_EQ(info.loop_end, int32_t(want.instrument.loops[0].end)) << c.description;
    }
}

class SoxFiles : public TempDir {};

TEST_F(SoxFiles, DecodeAsLibsndfileReadsThem) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    struct Case {
        const char* description;
        const char* options;  // output options for sox
        const char* name;
    } cases[] = {
        {"WAV 8-bit stereo", "-t wavpcm -b 8", "s8.wav"},
        {"WAV 16-bit mono", "-t wavpcm -b 16", "s16.wav"},
        {"WAV 24-bit stereo", "-t wavpcm -b 24", "s24.wav"},
        {"WAV 32-bit stereo", "-t wavpcm -b 32", "s32.wav"},
        {"WAV float stereo", "-t wavpcm -e floating-point -b 32", "sf.wav"},
        {"AIFF 8-bit mono", "-t aiff -b 8", "s8.aiff"},
        {"AIFF 16-bit stereo", "-t aiff -b 16", "s16.aiff"},
        {"AIFF 24-bit stereo", "-t aiff -b 24", "s24.aiff"},
        {"AIFC NONE 16-bit stereo", "-t aifc -b 16", "s16.aifc"},
        {"AIFC fl32 stereo", "-t aifc -e floating-point -b 32", "sf32.aifc"},
        {"AIFC fl64 mono", "-t aifc -e floating-point -b 64", "sf64.aifc"},
    };
    for (const Case& c : cases) {
        const fs::path path = dir / c.name;
        const int channels = std::strstr(c.description, "mono") ? 1 : 2;
        const std::string command = "sox -n -r 32000 -c " + std::to_string(channels) + " " +
                                    c.options + " '" + path.string() +
                                    "' synth 0.02 sine 440 gain -0.1 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.description << ": " << command;
        expect_same_samples(path, c.description);
        const Bytes bytes = read_file(path);
        SampleInfo info;
        EXPECT_EQ(audio_info_text(bytes.data(), bytes.size(), info).text.substr(0, 14),
                  "Sample length:")
            << c.description;
    }
}

TEST_F(SoxFiles, ExtensibleWavIsRefused) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const fs::path path = dir / "x.wav";
    const std::string command =
        "sox -n -r 44100 -c 2 -t wav -b 24 '" + path.string() + "' synth 0.01 sine 440 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes bytes = read_file(path);
    SampleInfo info;
    EXPECT_EQ(audio_info_text(bytes.data(), bytes.size(), info).text, "Wave: Not PCM or Float");
}

}  // namespace
}  // namespace j3
