// The gains that equalise a waveform's versions for the instrument's playback:
// entry i applies at the frequency i/2048 of the playback sample rate (entry
// 1024 would be the Nyquist frequency). They rise from 0.866444 to 9.14025.
// Made by make_waveform_eq_table.py beside this file.
#pragma once

#include <array>

namespace j3 {

extern const std::array<double, 1024> waveform_eq_table;

// The last entry, also the divisor of the normalisation: no equalised
// version exceeds full scale.
constexpr double kWaveformEqPeak = 9.14025;

}  // namespace j3
