// The equalisation gains: the known entries exactly, and a smooth rise.
#include <gtest/gtest.h>

#include <cmath>

#include "waveform/waveform_eq_table.h"

namespace j3 {
namespace {

TEST(WaveformEqTable, KnownEntries) {
    struct Case {
        size_t i;
        double gain;
    };
    const Case cases[] = {
        {0, 0.866444},   {64, 0.873608},  {128, 0.895491}, {192, 0.933306}, {256, 0.98921},
        {320, 1.066533}, {384, 1.170145}, {448, 1.307031}, {512, 1.487171}, {576, 1.724913},
        {640, 2.041122}, {704, 2.466638}, {768, 3.047923}, {832, 3.856568}, {896, 5.005748},
        {960, 6.679657}, {1023, 9.14025},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(waveform_eq_table[c.i], c.gain, 5e-7) << "entry " << c.i;
    EXPECT_EQ(waveform_eq_table[1023], kWaveformEqPeak);
}

TEST(WaveformEqTable, RisesWithGrowingSteps) {
    EXPECT_NEAR(waveform_eq_table[1] - waveform_eq_table[0], 0.000002, 5e-7) << "first step";
    EXPECT_NEAR(waveform_eq_table[1023] - waveform_eq_table[1022], 0.047299, 5e-7) << "last step";
    for (size_t i = 1; i + 1 < waveform_eq_table.size(); ++i) {
        const double step = waveform_eq_table[i] - waveform_eq_table[i - 1];
        const double next = waveform_eq_table[i + 1] - waveform_eq_table[i];
        ASSERT_GT(step, 0.0) << "entry " << i;
        ASSERT_GE(next, step - 1e-12) << "entry " << i;
    }
    // Close to 0.866444 / sinc(pi i / 2048)^p with p between 5.12 and 5.23.
    for (size_t i = 1; i < 1024; ++i) {
        const double x = 3.14159265358979323846 * double(i) / 2048.0;
        const double droop = x / std::sin(x);
        const double p = std::log(waveform_eq_table[i] / 0.866444) / std::log(droop);
        if (i >= 64) {
            EXPECT_GE(p, 5.12) << "entry " << i;
            EXPECT_LE(p, 5.23) << "entry " << i;
        }
    }
}

}  // namespace
}  // namespace j3
