#include "engine/clock.h"

#include <chrono>
#include <thread>

#include "midi/midi_service.h"

namespace j3 {

void SystemClock::pause_ticks(int ticks) {
    if (ticks > 0)
        std::this_thread::sleep_for(
            std::chrono::microseconds(int64_t(ticks) * 1000000 / kTicksPerSecond));
}

void SystemClock::sleep_ms(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SystemClock::sleep_ms_or_until(int milliseconds, const std::function<bool()>& ready) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    UniqueLock lock(mutex_);
    woken_.wait_until(lock, end, ready);
}

void SystemClock::wake() {
    Lock lock(mutex_);
    woken_.notify_all();
}

}  // namespace j3
