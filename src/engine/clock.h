// The clock seam: every pause of the engine goes through it, so tests can count
// "waited 60 ticks" without sleeping a second.
#pragma once

#include <condition_variable>
#include <functional>

#include "base/thread_annotations.h"

namespace j3 {

class Clock {
  public:
    virtual ~Clock() = default;
    // Blocks the calling thread for ticks of 1/60 s.
    virtual void pause_ticks(int ticks) = 0;
    // Blocks the calling thread for milliseconds (the handshake's 1 ms rounds).
    virtual void sleep_ms(int milliseconds) = 0;
    // One such round that may end early, once ready() holds: a reply that
    // arrives mid-round is taken at once rather than at the round's end.
    virtual void sleep_ms_or_until(int milliseconds, const std::function<bool()>& ready) {
        (void)ready;
        sleep_ms(milliseconds);
    }
    // Tells a sleep_ms_or_until in progress that what its ready() reads has
    // changed, so it looks again now. Any thread.
    virtual void wake() {}
};

// The real clock: sleeps.
class SystemClock : public Clock {
  public:
    void pause_ticks(int ticks) override;
    void sleep_ms(int milliseconds) override;
    // Looks at ready() at the start and at each wake(), not by polling.
    void sleep_ms_or_until(int milliseconds, const std::function<bool()>& ready) override;
    void wake() override;

  private:
    // Taken by wake() so a change made just before it cannot slip between
    // the sleeper's look at ready() and its wait.
    Mutex mutex_{LockRank::kClock};
    std::condition_variable_any woken_;
};

}  // namespace j3
