// Request Samples: J3 asks the instrument for samples first to last by
// number, one at a time, over one reception: the SDS dump request goes to the
// destination, the dump comes in as any received dump does (format,
// handshake and device number as configured) and becomes an entry named by
// its name message, else "Sample N". A number whose dump header does not come
// within the wait is named and skipped; a dump that stops coming for as long
// is left as it is and the next number asked for.
//
//   RequestSeries series{.first = 5, .last = 14, .wait_ms = 10000};
//   start_request_series(ctx, series, now_ms);         // reception on, first request out
//   while (poll_request_series(ctx, series, now_ms)) { ... every 100 ms ... }
//   series_outcome(series): how it ended (see outcomes.h for its texts)
//
// Stop (the reception ending by any hand) ends the series. The caller owns
// the series and polls it from one thread (the GUI's status timer or the
// command line's loop).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/outcomes.h"
#include "engine/time_left.h"
#include "receive/reception.h"

namespace j3 {

struct Context;

// The wait for a dump header a request series starts with.
constexpr int32_t kDefaultRequestWaitMs = 10000;

struct RequestSeries {
    int32_t first = 0;
    int32_t last = 0;
    int32_t wait_ms = kDefaultRequestWaitMs;

    // Where it is; the caller reads, the functions below write.
    SeriesEnd end = SeriesEnd::kRunning;
    int32_t number = 0;               // the number asked for now
    int32_t received = 0;             // dumps that came whole
    std::vector<int32_t> missing;     // no dump header within the wait
    std::vector<int32_t> incomplete;  // the dump stopped coming part way
    // How the reception ended, once end is kStopped.
    std::optional<ReceiveOutcome> outcome;

    // The series' own bookkeeping.
    enum class Phase { kAsk, kWaitHeader, kWaitDump } phase = Phase::kAsk;
    int64_t asked_ms = 0;       // when the request went out, or the dump last moved
    int32_t dumps_started = 0;  // the reception's counts when the request went out
    int32_t dumps_done = 0;
    int32_t packets_seen = 0;
    std::string note;  // "No sample 6. " until the next line is shown
};

// Numbers in the series, and the 1-based position of the one asked for now.
inline int32_t series_count(const RequestSeries& s) {
    return s.last - s.first + 1;
}
inline int32_t series_position(const RequestSeries& s) {
    return s.number - s.first + 1;
}

// Starts the reception (unless one runs) and asks for the first number.
// False, with end kNoSource, when no source or destination is chosen.
bool start_request_series(Context& ctx, RequestSeries& series, int64_t now_ms);

// Follows the reception: the next request once a dump came whole or its
// wait ran out. True while the series goes on. On its end the reception is
// stopped (what came is kept), and the receive status tells the ending.
bool poll_request_series(Context& ctx, RequestSeries& series, int64_t now_ms);

// Ends the series now, as Stop does.
void stop_request_series(Context& ctx, RequestSeries& series);

// "Requesting sample 5 (2 of 10)."
std::string request_progress_text(const RequestSeries& series);
// "No sample 6."
std::string no_sample_text(int32_t number);
// How the series ended, or kRunning while it goes on.
SeriesOutcome series_outcome(const RequestSeries& series);

// The time left of a sample dump being received whose header gave its
// length: its packets left at the standard MIDI speed, or at the rate meter
// measured on this reception's packets (fed here). Empty outside such a dump.
std::string dump_time_left_text(const ReceiveProgress& progress, RateMeter& meter, int64_t now_ms);

}  // namespace j3
