// The waveform message: layout, checksum, versions, the fold and the
// channel choice.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/device_family.h"
#include "analysis/inventory.h"
#include "analysis/inventory_text.h"
#include "filelist/file_entry.h"
#include "fixtures/audio_files.h"
#include "format/item_names.h"
#include "waveform/waveform_builder.h"
#include "waveform/waveform_eq_table.h"

namespace j3 {
namespace {

using testing::aiff16;
using testing::interleave;
using testing::Loop;
using testing::sine;
using testing::wav16;

constexpr double kPi = 3.14159265358979323846;

// What a message carries, decoded the way the instrument reads it.
struct Decoded {
    std::vector<int16_t> full;  // 2044 words: versions of 1024 ... 4 samples
    std::vector<int16_t> half;  // 1022 words: versions of 512 ... 4 samples, then 0, 0
};

// The inverse of the 7-bit packing: eight bytes back to seven.
std::vector<uint8_t> unpack_7bit(const uint8_t* p, size_t groups) {
    std::vector<uint8_t> out;
    for (size_t g = 0; g < groups; ++g, p += 8) {
        for (int b = 0; b < 7; ++b) out.push_back(uint8_t(p[1 + b] | ((p[0] >> (6 - b)) & 1) << 7));
    }
    return out;
}

Decoded decode(const std::vector<uint8_t>& message) {
    const std::vector<uint8_t> payload = unpack_7bit(message.data() + 14, 876);
    Decoded d;
    for (size_t j = 0; j < 1022; ++j) {
        const uint8_t* g = payload.data() + 6 * j;
        d.full.push_back(int16_t(g[0] << 8 | g[1]));
        d.full.push_back(int16_t(g[3] << 8 | g[4]));
        d.half.push_back(int16_t(g[2] << 8 | g[5]));
    }
    return d;
}

// Offset of the version of `size` samples within the full-band or half-band words.
size_t version_offset(int size, bool half) {
    size_t offset = 0;
    for (int s = half ? 512 : 1024; s > size; s /= 2) offset += size_t(s);
    return offset;
}

FftTables startup_fft() {
    FftTables fft;
    fft_setup(fft, 16384, kFftAnySize);
    return fft;
}

FileEntry audio_entry(std::string file, std::vector<uint8_t> data, int32_t stereo = 0) {
    FileEntry e;
    e.file = std::move(file);
    e.stereo = stereo;
    e.data = std::move(data);
    return e;
}

std::vector<uint8_t> built(const FftTables& fft, const FileEntry& entry, int32_t slot = 0) {
    WaveformBuild b = build_waveform_for_item(fft, entry.data.data(), entry.data.size(), entry.file,
                                              entry.stereo, slot);
    EXPECT_TRUE(b.ok) << entry.file << ": " << b.reason;
    return b.message;
}

// A sine of harmonic `h` gives, in every version that keeps it, the sine
// h * m / size at the gain of its frequency over the normalisation's 9.14025.
void expect_sine_versions(const Decoded& d, int harmonic, const std::string& what) {
    for (bool half : {false, true}) {
        for (int size = half ? 512 : 1024; size >= 4; size /= 2) {
            const bool kept = harmonic < (half ? size / 4 : size / 2);
            const double gain =
                kept ? waveform_eq_table[size_t(harmonic * 2048 / size)] / kWaveformEqPeak : 0.0;
            const size_t offset = version_offset(size, half);
            const std::vector<int16_t>& words = half ? d.half : d.full;
            int worst = 0;
            for (int m = 0; m < size; ++m) {
                const double want = gain * std::sin(2 * kPi * harmonic * m / size) * 32767.0;
                worst = std::max(worst, int(std::abs(words[offset + size_t(m)] - want)));
            }
            EXPECT_LE(worst, 3) << what << (half ? ", half band " : ", full band ") << size;
        }
    }
    EXPECT_EQ(d.half[1020], 0) << what;
    EXPECT_EQ(d.half[1021], 0) << what;
}

TEST(Pack7Bit, GroupsOfSeven) {
    struct Case {
        const char* description;
        std::vector<uint8_t> in;
        std::vector<uint8_t> want;
    };
    const Case cases[] = {
        {"empty: the header byte alone", {}, {0x00}},
        {"seven bytes, top bits 1010001",
         {0x81, 0x02, 0xFF, 0x04, 0x05, 0x06, 0x87},
         {0x51, 0x01, 0x02, 0x7F, 0x04, 0x05, 0x06, 0x07, 0x00}},
        {"a short last group", {0x80, 0x80}, {0x60, 0x00, 0x00}},
        {"a full group and a short one",
         {0, 0, 0, 0, 0, 0, 0xC0, 0xFF},
         {0x01, 0, 0, 0, 0, 0, 0, 0x40, 0x40, 0x7F}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.want.size() + 4, 0xEE);
        const size_t n = pack_7bit(c.in.data(), out.data(), c.in.size());
        out.resize(n);
        EXPECT_EQ(out, c.want) << c.description;
    }
}

TEST(WaveformMessage, SineCycleOf1024Frames) {
    const FftTables fft = startup_fft();
    // Loop from frame 100 to 1123, the sine starting at the loop.
    const FileEntry entry =
        audio_entry("/s/Sine.wav", wav16(sine(1300, 1, 1024, 100), 1, Loop{100, 1123}));
    const std::vector<uint8_t> m = built(fft, entry, 5);
    ASSERT_EQ(m.size(), kWaveformMessageBytes);

    const std::vector<uint8_t> head(m.begin(), m.begin() + 14);
    EXPECT_EQ(head, (std::vector<uint8_t>{0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x5D, 0x01, 0x01, 5,
                                          'S', 'I', 'N', 'E'}));
    EXPECT_EQ(m[7024], 0x36);
    EXPECT_EQ(m[7025], 0x69);
    EXPECT_EQ(m[7026], 0xF7);
    for (size_t i = 1; i + 1 < m.size(); ++i) ASSERT_LT(m[i], 0x80) << "data byte " << i;

    EXPECT_TRUE(check_block_message(m.data(), m.size(), 6, 10));
    EXPECT_EQ(type_tag_for_buffer(m.data(), m.size()), "LY");
    EXPECT_EQ(analyse_ly_sysex(m.data(), m.size()), "\nZentrix waveform at position 6");
    expect_sine_versions(decode(m), 1, "1024-frame sine");
}

TEST(WaveformMessage, OtherCycleLengthsAreResampledByTheFold) {
    const FftTables fft = startup_fft();
    struct Case {
        const char* description;
        int frames;
        int harmonic;
    };
    const Case cases[] = {
        {"1000 frames, third harmonic (mixed radix)", 1000, 3},
        {"700 frames, second harmonic (Bluestein)", 700, 2},
        {"2048 frames, fifth harmonic", 2048, 5},
        {"16384 frames, first harmonic", 16384, 1},
        {"3 frames: its one harmonic", 3, 1},
    };
    for (const Case& c : cases) {
        const FileEntry entry = audio_entry(
            "w.wav", wav16(sine(c.frames, c.harmonic, c.frames), 1, Loop{0, c.frames - 1}));
        const std::vector<uint8_t> m = built(fft, entry);
        if (m.size() != kWaveformMessageBytes) continue;
        EXPECT_TRUE(check_block_message(m.data(), m.size(), 6, 10)) << c.description;
        if (c.frames > 3) expect_sine_versions(decode(m), c.harmonic, c.description);
    }
}

// Amplitude of the sine of `harmonic` periods in the version at `offset`, by projection.
double sine_amplitude(const std::vector<int16_t>& words, size_t offset, int size, int harmonic) {
    double sum = 0;
    for (int m = 0; m < size; ++m)
        sum += words[offset + size_t(m)] * std::sin(2 * kPi * harmonic * m / size);
    return 2.0 * sum / size / 32767.0;
}

TEST(WaveformMessage, TaperAndMeanRemoval) {
    const FftTables fft = startup_fft();
    // Equal sines of harmonics 1 and 400 over a DC offset.
    std::vector<int16_t> s(1024);
    for (int i = 0; i < 1024; ++i) {
        s[size_t(i)] = int16_t(std::lround(5000 + 9000 * std::sin(2 * kPi * i / 1024) +
                                           9000 * std::sin(2 * kPi * 400 * i / 1024)));
    }
    const Decoded d = decode(built(fft, audio_entry("t.wav", wav16(s, 1, Loop{0, 1023}))));
    const double taper = (113.0 / 162.0) * (113.0 / 162.0);  // harmonic 400
    const double a1 = sine_amplitude(d.full, 0, 1024, 1);
    const double a400 = sine_amplitude(d.full, 0, 1024, 400);
    EXPECT_NEAR(a400 / a1, taper * waveform_eq_table[800] / waveform_eq_table[2], 0.01);
    double mean = 0;
    for (int m = 0; m < 1024; ++m) mean += d.full[size_t(m)];
    EXPECT_LT(std::abs(mean / 1024), 1.0) << "no DC left";
    // The 512-sample version keeps harmonics below 256 only: no 400, nor its alias 112.
    EXPECT_LT(std::abs(sine_amplitude(d.full, version_offset(512, false), 512, 112)), 1e-3);
    EXPECT_NEAR(sine_amplitude(d.full, version_offset(512, false), 512, 1),
                a1 * waveform_eq_table[4] / waveform_eq_table[2], 1e-3);
}

TEST(WaveformMessage, SilentCycle) {
    const FftTables fft = startup_fft();
    const FileEntry entry =
        audio_entry("Sine.wav", wav16(std::vector<int16_t>(2000, 0), 1, Loop{10, 1033}));
    const std::vector<uint8_t> m = built(fft, entry);
    ASSERT_EQ(m.size(), kWaveformMessageBytes);
    for (size_t i = 14; i < 7022; ++i) ASSERT_EQ(m[i], 0) << "payload byte " << i;
    // The checksum is the name's sum: S + I + N + E = 303.
    EXPECT_EQ(m[7022], 0x02);
    EXPECT_EQ(m[7023], 0x2F);
    EXPECT_TRUE(check_block_message(m.data(), m.size(), 6, 10));
}

TEST(WaveformMessage, FoldKeepsTheHarmonicsThatFit) {
    struct Case {
        const char* description;
        int n;
        int low_end;     // bins 0 ... low_end - 1 keep harmonics 0 ...
        int high_start;  // bins high_start ... 1023 take spectrum bins n - (1024 - high_start) ...
    };
    const Case cases[] = {
        {"1000 frames", 1000, 500, 524}, {"700 frames", 700, 350, 674},
        {"701 frames", 701, 350, 674},   {"1024 frames", 1024, 512, 513},
        {"4000 frames", 4000, 512, 513}, {"2 frames", 2, 1, 1023},
    };
    for (const Case& c : cases) {
        std::vector<double> sr(size_t(c.n)), si(size_t(c.n));
        for (int k = 0; k < c.n; ++k) {
            sr[size_t(k)] = k + 1;
            si[size_t(k)] = -(k + 1);
        }
        std::vector<double> xr(1024, 99.0), xi(1024, 99.0);
        fold_waveform_bins(sr.data(), si.data(), c.n, xr.data(), xi.data());
        for (int b = 0; b < 1024; ++b) {
            double want = 0.0;
            if (b < c.low_end) want = b + 1;
            if (b >= c.high_start) want = c.n - (1024 - b) + 1;
            ASSERT_EQ(xr[size_t(b)], want) << c.description << ", bin " << b;
            ASSERT_EQ(xi[size_t(b)], -want) << c.description << ", bin " << b;
        }
    }
}

TEST(WaveformMessage, StereoChoicePicksTheChannel) {
    const FftTables fft = startup_fft();
    // Even sample values, so the mean of both channels is exact.
    std::vector<int16_t> left = sine(1024, 1, 1024), right = sine(1024, 2, 1024), mean;
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = int16_t(left[i] & ~1);
        right[i] = int16_t(right[i] & ~1);
        mean.push_back(int16_t((left[i] + right[i]) / 2));
    }
    const std::vector<uint8_t> stereo = wav16(interleave(left, right), 2, Loop{0, 1023});
    struct Case {
        const char* description;
        int32_t choice;
        const std::vector<int16_t>& mono;
    };
    const Case cases[] = {
        {"L + R", 0, mean},
        {"Left", 1, left},
        {"Right", 2, right},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> got = built(fft, audio_entry("st.wav", stereo, c.choice));
        const std::vector<uint8_t> want =
            built(fft, audio_entry("st.wav", wav16(c.mono, 1, Loop{0, 1023})));
        EXPECT_EQ(got, want) << c.description;
    }
    expect_sine_versions(decode(built(fft, audio_entry("st.wav", stereo, 2))), 2, "Right");
}

TEST(WaveformMessage, AiffAndAifcReadTheSameCycle) {
    const FftTables fft = startup_fft();
    const std::vector<int16_t> s = sine(512, 4, 512);
    const std::vector<uint8_t> want = built(fft, audio_entry("c.wav", wav16(s, 1, Loop{0, 511})));
    struct Case {
        const char* description;
        std::vector<uint8_t> file;
    };
    const Case cases[] = {
        {"AIFF", aiff16(s, 1)},
        {"AIFC NONE", aiff16(s, 1, "NONE")},
        {"AIFC sowt", aiff16(s, 1, "sowt")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(built(fft, audio_entry("c.aif", c.file)), want) << c.description;
    }
}

TEST(WaveformCycle, WhichLoopsQualify) {
    const std::vector<int16_t> samples(20000, 100);
    struct Case {
        const char* description;
        std::vector<uint8_t> file;
        bool ok;
        int32_t first, count;
    };
    const Case cases[] = {
        {"a 1024-frame loop", wav16(samples, 1, Loop{100, 1123}), true, 100, 1024},
        {"no loop: the whole sample", wav16(std::vector<int16_t>(600, 1), 1), true, 0, 600},
        {"two frames", wav16(samples, 1, Loop{5, 6}), true, 5, 2},
        {"16384 frames", wav16(samples, 1, Loop{0, 16383}), true, 0, 16384},
        {"16385 frames", wav16(samples, 1, Loop{0, 16384}), false, 0, 0},
        {"one frame", wav16(samples, 1, Loop{7, 7}), false, 0, 0},
        {"end before start", wav16(samples, 1, Loop{500, 100}), false, 0, 0},
        {"loop past the sample data", wav16(std::vector<int16_t>(1000, 1), 1, Loop{500, 1000}),
         false, 0, 0},
        {"three channels", wav16(std::vector<int16_t>(3000, 1), 3, Loop{0, 99}), false, 0, 0},
        {"not audio", {0xF0, 0x7E, 0x00, 0x01, 0xF7}, false, 0, 0},
        {"a cut-off file",
         [] {
             std::vector<uint8_t> f = wav16(std::vector<int16_t>(600, 1), 1);
             f.resize(40);
             return f;
         }(),
         false, 0, 0},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const WaveformCycle got = find_waveform_cycle(c.file.data(), c.file.size(), info);
        EXPECT_EQ(got.ok, c.ok) << c.description << ": " << got.reason;
        EXPECT_EQ(got.reason.empty(), c.ok) << c.description;
        if (c.ok) {
            EXPECT_EQ(got.first_frame, c.first) << c.description;
            EXPECT_EQ(got.frame_count, c.count) << c.description;
        }
    }
}

TEST(WaveformCycle, ReadingStaysInsideTheSampleData) {
    const std::vector<uint8_t> f = wav16(sine(100, 1, 100), 1);
    EXPECT_TRUE(read_cycle_samples(f.data(), f.size(), 0, 100, 0, 16384));
    EXPECT_FALSE(read_cycle_samples(f.data(), f.size(), 1, 100, 0, 16384)) << "one frame past";
    EXPECT_FALSE(read_cycle_samples(f.data(), f.size(), -1, 10, 0, 16384)) << "before the start";
    const auto capped = read_cycle_samples(f.data(), f.size(), 0, 100, 0, 40);
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->size(), 40u) << "capacity caps the count";
}

TEST(WaveformCycle, DamagedFilesAreRefusedOrBuiltButNeverOverread) {
    // Every cut of a WAV and an AIFF, and every byte of their headers bent: the
    // build either refuses or succeeds, and reads only inside the buffer (the
    // sanitizer build checks the reads).
    const FftTables fft = startup_fft();
    for (const std::vector<uint8_t>& whole :
         {wav16(sine(64, 1, 64), 2, Loop{3, 40}), aiff16(sine(64, 1, 64), 1, "sowt")}) {
        for (size_t cut = 0; cut <= whole.size(); ++cut) {
            std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
            part.shrink_to_fit();
            const FileEntry e = audio_entry("d.wav", std::move(part));
            const WaveformBuild b =
                build_waveform_for_item(fft, e.data.data(), e.data.size(), e.file, e.stereo, 0);
            EXPECT_EQ(b.ok, b.message.size() == kWaveformMessageBytes) << "cut at " << cut;
        }
        for (size_t i = 0; i < std::min<size_t>(whole.size(), 80); ++i) {
            for (uint8_t v : {uint8_t(0x00), uint8_t(0x7F), uint8_t(0xFF)}) {
                std::vector<uint8_t> bent = whole;
                bent[i] = v;
                const FileEntry e = audio_entry("d.wav", std::move(bent));
                const WaveformBuild b =
                    build_waveform_for_item(fft, e.data.data(), e.data.size(), e.file, e.stereo, 0);
                EXPECT_EQ(b.ok || !b.reason.empty(), true) << "byte " << i;
            }
        }
    }
}

}  // namespace
}  // namespace j3
