#include "engine/time_left.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace j3 {
namespace {

// Less than this much movement tells too little of the rate.
constexpr int64_t kMeasureMs = 500;

}  // namespace

int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::optional<int64_t> seconds_left(const TimeLeftInput& in) {
    const double bytes = double(in.bytes_left > 0 ? in.bytes_left : 0);
    // A measured rate took the pauses as they came: it stands for both.
    if (in.measured_bytes_per_second > 0)
        return int64_t(std::ceil(bytes / in.measured_bytes_per_second));
    if (in.bytes_per_second <= 0) return std::nullopt;
    const double pauses = double(in.pause_ms > 0 ? in.pause_ms : 0) / 1000.0;
    return int64_t(std::ceil(bytes / double(in.bytes_per_second) + pauses));
}

std::string time_left_text(const TimeLeftInput& in) {
    const std::optional<int64_t> left = seconds_left(in);
    if (!left) return {};
    const int64_t h = *left / 3600, m = *left / 60 % 60, s = *left % 60;
    char text[48];
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", static_cast<long long>(h),
                      static_cast<long long>(m), static_cast<long long>(s));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(m),
                      static_cast<long long>(s));
    }
    return text;
}

void RateMeter::add(int64_t now_ms, int64_t bytes_done) {
    if (!started_ || bytes_done < last_bytes_) {
        started_ = true;
        first_ms_ = last_ms_ = now_ms;
        first_bytes_ = last_bytes_ = bytes_done;
        return;
    }
    last_ms_ = now_ms;
    last_bytes_ = bytes_done;
}

double RateMeter::rate() const {
    const int64_t ms = last_ms_ - first_ms_;
    if (!started_ || ms < kMeasureMs || last_bytes_ <= first_bytes_) return 0;
    return double(last_bytes_ - first_bytes_) * 1000.0 / double(ms);
}

}  // namespace j3
