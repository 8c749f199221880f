// How long a transfer has left, for the progress bar's text and the command
// line's progress lines: the bytes left at the link's speed plus the pauses
// still to come; once a rate has been measured (bytes over the time they
// took, pauses and a slow receiver's handshake included) it takes the place
// of both.
//
//   RateMeter meter;                       // one per transfer
//   meter.add(steady_ms(), bytes_done);    // each status tick
//   time_left_text({.bytes_left = n, .bytes_per_second = 3125,
//                   .measured_bytes_per_second = meter.rate()})  // "0:42 left"
//
// Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace j3 {

struct TimeLeftInput {
    int64_t bytes_left = 0;
    int32_t bytes_per_second = 0;  // the link's speed; 0: not known
    int64_t pause_ms = 0;          // pauses still to come
    // Bytes per second moved so far; 0: not measured yet.
    double measured_bytes_per_second = 0;
};

// Whole seconds left, rounded up; nullopt when neither a speed nor a
// measured rate is known.
std::optional<int64_t> seconds_left(const TimeLeftInput& in);

// "0:42 left", "12:05 left", "1:02:03 left"; empty when not known.
std::string time_left_text(const TimeLeftInput& in);

// Milliseconds on the steady clock: the time base of RateMeter, the request
// series' waits and the dump's time left.
int64_t steady_ms();

// The rate of one transfer, from the first tick that saw bytes move; a count
// that goes back (the next dump) starts it again.
class RateMeter {
  public:
    void add(int64_t now_ms, int64_t bytes_done);
    // Bytes per second; 0 until half a second of movement was seen.
    double rate() const;

  private:
    bool started_ = false;
    int64_t first_ms_ = 0, first_bytes_ = 0;
    int64_t last_ms_ = 0, last_bytes_ = 0;
};

}  // namespace j3
