// Sample rate and sample period, as audio files and sample dumps give them:
// files carry a rate in hertz, dump headers a period in nanoseconds.
#pragma once

#include <cstdint>

namespace j3 {

// Rates above this give a sample period that rounds to 0 ns; the readers
// refuse them as they refuse a rate of 0.
constexpr int32_t kMaxSampleRate = 2000000000;

// The SDS sample period for a rate: 10^9 / rate_hz rounded to the nearest
// nanosecond. rate_hz must be at least 1.
inline int32_t sample_period_for_rate(int32_t rate_hz) {
    return int32_t((int64_t(rate_hz) / 2 + 1000000000) / rate_hz);
}

// Sample rate of a dump, from its period: rounded to the nearest hertz, with
// 44099 read as 44100 and 48001 as 48000 (the periods 22676 and 20833 ns
// that the common rates round to). 0 for a period of 0 or less.
inline int32_t sds_rate_from_period(int32_t period_ns) {
    if (period_ns <= 0) return 0;
    int64_t rate = (1000000000ll + period_ns / 2) / period_ns;
    if (rate == 44099) rate = 44100;
    if (rate == 48001) rate = 48000;
    return int32_t(rate);
}

}  // namespace j3
