// The cycles a waveform message carries, unpacked for the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fixtures/audio_files.h"
#include "waveform/waveform_builder.h"
#include "waveform/waveform_cycles.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::Loop;
using testing::sine;
using testing::wav16;

TEST(Unpack7Bit, UndoesThePacking) {
    for (size_t length : {size_t(0), size_t(1), size_t(6), size_t(7), size_t(8), size_t(13),
                          size_t(14), size_t(20)}) {
        std::vector<uint8_t> source(length);
        for (size_t i = 0; i < length; ++i) source[i] = uint8_t(i * 73 + 0x85);
        std::vector<uint8_t> packed(8 * (length / 7) + 1 + length % 7);
        const size_t n = pack_7bit(source.data(), packed.data(), length);
        std::vector<uint8_t> back(length + 7);
        EXPECT_EQ(unpack_7bit(packed.data(), back.data(), n), length) << length << " bytes";
        back.resize(length);
        EXPECT_EQ(back, source) << length << " bytes";
    }
}

TEST(WaveformVersions, AreTheWordsTheBuilderPacked) {
    FftTables fft;
    fft_setup(fft, 16384, kFftAnySize);
    // Harmonics 1 and 5 over cycles of several lengths, looped after a lead-in.
    struct Case {
        const char* description;
        int cycle;
        int slot;
    } cases[] = {{"a cycle of 1024 frames", 1024, 0},
                 {"a cycle of 600 frames", 600, 5},
                 {"a cycle of 2000 frames", 2000, 63}};
    for (const Case& c : cases) {
        const int lead = 100;
        std::vector<int16_t> s = sine(lead + c.cycle, 1.0, c.cycle, lead);
        const std::vector<int16_t> h5 = sine(lead + c.cycle, 5.0, c.cycle, lead, 4000.0);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(s[i] + h5[i]);
        const Bytes file = wav16(s, 1, Loop{lead, lead + c.cycle - 1, 0});
        const WaveformBuild b =
            build_waveform_for_item(fft, file.data(), file.size(), "Tone.wav", 0, c.slot);
        ASSERT_TRUE(b.ok) << c.description << ": " << b.reason;

        const auto samples = read_cycle_samples(file.data(), file.size(), lead, c.cycle, 0, 16384);
        ASSERT_TRUE(samples) << c.description;
        const auto words = make_waveform_words(fft, samples->data(), int32_t(samples->size()));
        ASSERT_TRUE(words) << c.description;

        const auto v = unpack_waveform_message(b.message.data(), b.message.size());
        ASSERT_TRUE(v) << c.description;
        EXPECT_EQ(v->slot, c.slot) << c.description;
        EXPECT_STREQ(v->name, "TONE") << c.description;
        ASSERT_EQ(v->full.size(), words->full.size()) << c.description;
        ASSERT_EQ(v->half.size(), words->half.size()) << c.description;
        for (size_t i = 0; i < words->full.size(); ++i)
            ASSERT_EQ(uint16_t(v->full[i]), words->full[i]) << c.description << " full word " << i;
        for (size_t i = 0; i < words->half.size(); ++i)
            ASSERT_EQ(uint16_t(v->half[i]), words->half[i]) << c.description << " half word " << i;

        // The versions lie one after the other, largest first.
        const auto f1024 = v->full_band(1024);
        ASSERT_EQ(f1024.size(), 1024u);
        EXPECT_EQ(f1024.data(), v->full.data()) << c.description;
        EXPECT_EQ(v->full_band(512).data(), v->full.data() + 1024) << c.description;
        EXPECT_EQ(v->full_band(4).data(), v->full.data() + 2040) << c.description;
        EXPECT_EQ(v->half_band(512).data(), v->half.data()) << c.description;
        EXPECT_EQ(v->half_band(4).data(), v->half.data() + 1016) << c.description;
        // The cycle is the sine of the file: its largest word comes a quarter in.
        const auto peak = std::max_element(f1024.begin(), f1024.end()) - f1024.begin();
        EXPECT_NEAR(double(peak), 256.0, 30.0) << c.description;
    }
}

TEST(WaveformVersions, OnlySizesThatExist) {
    WaveformVersions v;
    v.full.assign(2044, 0);
    v.half.assign(1022, 0);
    for (int32_t size : {0, 2, 3, 100, 2048}) EXPECT_TRUE(v.full_band(size).empty()) << size;
    for (int32_t size : {1024, 2, 6}) EXPECT_TRUE(v.half_band(size).empty()) << size;
}

TEST(WaveformVersions, RefuseWhatIsNoWholeWaveformMessage) {
    std::vector<uint8_t> m(kWaveformMessageBytes, 0x10);
    const uint8_t header[] = {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x5D};
    std::copy(std::begin(header), std::end(header), m.begin());
    m.back() = 0xF7;
    EXPECT_TRUE(unpack_waveform_message(m.data(), m.size()));
    EXPECT_FALSE(unpack_waveform_message(m.data(), m.size() - 1)) << "cut short";
    m[6] = 0x52;
    EXPECT_FALSE(unpack_waveform_message(m.data(), m.size())) << "a kit message";
    m[6] = 0x5D;
    m[4] = 0x02;
    EXPECT_FALSE(unpack_waveform_message(m.data(), m.size())) << "another family";
}

}  // namespace
}  // namespace j3
