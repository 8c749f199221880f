// A clock that only counts: pauses return at once.
#pragma once

#include <atomic>

#include "engine/clock.h"

namespace j3::testing {

class FakeClock : public Clock {
  public:
    void pause_ticks(int ticks) override {
        ticks_paused += ticks;
        ++pauses;
    }
    void sleep_ms(int milliseconds) override { ms_slept += milliseconds; }

    std::atomic<int> ticks_paused{0};
    std::atomic<int> pauses{0};
    std::atomic<int> ms_slept{0};
};

}  // namespace j3::testing
