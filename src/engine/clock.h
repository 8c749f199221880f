// The clock seam: every pause of the engine goes through it, so tests can count
// "waited 60 ticks" without sleeping a second.
#pragma once

namespace j3 {

class Clock {
  public:
    virtual ~Clock() = default;
    // Blocks the calling thread for ticks of 1/60 s.
    virtual void pause_ticks(int ticks) = 0;
    // Blocks the calling thread for milliseconds (the handshake's 1 ms rounds).
    virtual void sleep_ms(int milliseconds) = 0;
};

// The real clock: sleeps.
class SystemClock : public Clock {
  public:
    void pause_ticks(int ticks) override;
    void sleep_ms(int milliseconds) override;
};

}  // namespace j3
