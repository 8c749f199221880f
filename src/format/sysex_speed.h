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

// The multiple of the standard rate for each speed index, as text (the main
// window adds its unit, "x"); one space at normal speed.
constexpr std::array<const char*, kSpeedIndexMax + 1> kSpeedLabels = {
    " ", " ", "2", "3.3", "4", "5", "6.7", "8", "10", "13.3", "16", "20"};

// Bytes per second for a speed index (0 .. kSpeedIndexMax): factor x 3125 / 10,
// truncated; 3125 at normal speed, 62500 at index 11.
constexpr int max_sysex_speed_for_index(int index) {
    return kSpeedFactors[size_t(index)] * 3125 / 10;
}

// The speed messages, on the instruments' own SysEx header with device id 04:
// J3 asks for the speed in force (01) or for a new one (03 ss); the instrument
// reports its speed (02 ss), which the input routine reads.
constexpr std::array<uint8_t, 8> kSpeedRequest = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7};
constexpr std::array<uint8_t, 9> speed_set_request(int index) {
    return {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, uint8_t(index & 0x7F), 0xF7};
}

}  // namespace j3
