#include "engine/clock.h"

#include <chrono>
#include <thread>

namespace j3 {

void SystemClock::pause_ticks(int ticks) {
    if (ticks > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(int64_t(ticks) * 1000000 / 60));
}

void SystemClock::sleep_ms(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace j3
