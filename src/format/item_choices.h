// The per-item choices for sample transfer, stored under "Loop" and "Stereo",
// and the titles of the buttons that cycle them.
#pragma once

#include <cstdint>

namespace j3 {

enum LoopChoice : int32_t { kLoopFile = 0, kLoopOn = 1, kLoopOff = 2 };
enum StereoChoice : int32_t { kStereoMix = 0, kStereoLeft = 1, kStereoRight = 2 };

// Titles by value: 0 "Loop:File", 1 "Loop On", 2 "Loop Off"; 0 "L + R",
// 1 "Left", 2 "Right". Other values give "".
const char* loop_title(int32_t value);
const char* stereo_title(int32_t value);

}  // namespace j3
