// Speed indices of the instruments' faster links, and the maximum SysEx speed
// each one gives a destination.
#pragma once

#include <array>
#include <cstdint>

namespace j3 {

constexpr int kSpeedIndexMax = 11;

// The link's speed x 10 per speed index: 1x (indices 0 and 1) up to 20x.
constexpr std::array<int32_t, kSpeedIndexMax + 1> kSpeedFactors = {10, 10, 20,  33,  40,  50,
                                                                   66, 80, 100, 133, 160, 200};

// What the main window shows for each speed index: one space at normal speed.
constexpr std::array<const char*, kSpeedIndexMax + 1> kSpeedLabels = {
    " ", " ", "2", "3.3", "4", "5", "6.7", "8", "10", "13.3", "16", "20"};

// Bytes per second for a speed index (0 .. kSpeedIndexMax): factor x 3125 / 10,
// truncated; 3125 at normal speed, 62500 at index 11.
constexpr int max_sysex_speed_for_index(int index) {
    return kSpeedFactors[size_t(index)] * 3125 / 10;
}

}  // namespace j3
