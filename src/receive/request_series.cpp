#include "receive/request_series.h"

#include "engine/context.h"
#include "engine/turbo.h"
#include "format/instrument_requests.h"
#include "format/sds_messages.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3 {
namespace {

void show_progress(Context& ctx, const RequestSeries& s) {
    ctx.window->set_progress_range(0, series_count(s));
    ctx.window->set_progress_value(series_position(s) - 1);
    ctx.window->set_receive_status(s.note + request_progress_text(s));
}

// Sends the request for s.number; the counts it is measured against are
// taken first, so a dump that answers at once is never missed.
void ask(Context& ctx, RequestSeries& s, int64_t now_ms) {
    ctx.reception->set_requested_sample(s.number);
    const ReceiveProgress p = ctx.reception->progress();
    s.dumps_started = p.dumps_started;
    s.dumps_done = p.dumps_done;
    s.packets_seen = 0;
    s.asked_ms = now_ms;
    s.phase = RequestSeries::Phase::kWaitHeader;
    show_progress(ctx, s);
    s.note.clear();
    const auto request = sds_dump_request(ctx.settings.device_number, s.number);
    send_control_message(ctx, ctx.endpoints.destination_endpoint, request.data(), request.size());
}

void finish(Context& ctx, RequestSeries& s, SeriesEnd end) {
    s.end = end;
    // Stop makes an entry of a dump cut short: it keeps the number asked for.
    stop_receiving(ctx);
    ctx.reception->set_requested_sample(-1);
    s.outcome = ctx.reception->outcome();
    ctx.window->set_progress_value(series_count(s));
}

// The number in hand is settled: the next one, or the end.
bool next(Context& ctx, RequestSeries& s, int64_t now_ms) {
    if (s.number >= s.last) {
        finish(ctx, s, SeriesEnd::kDone);
        return false;
    }
    ++s.number;
    ask(ctx, s, now_ms);
    return true;
}

}  // namespace

bool start_request_series(Context& ctx, RequestSeries& s, int64_t now_ms) {
    s.end = SeriesEnd::kRunning;
    s.received = 0;
    s.missing.clear();
    s.incomplete.clear();
    s.outcome.reset();
    s.note.clear();
    if (s.first < 0 || s.last < s.first || s.last > kSdsSampleNumberMax ||
        ctx.endpoints.destination_endpoint == kNoEndpoint || !start_receiving(ctx)) {
        s.end = SeriesEnd::kNoSource;
        return false;
    }
    s.number = s.first;
    ask(ctx, s, now_ms);
    return true;
}

bool poll_request_series(Context& ctx, RequestSeries& s, int64_t now_ms) {
    if (s.end != SeriesEnd::kRunning) return false;
    const ReceiveProgress p = ctx.reception->progress();
    if (!p.receiving) {
        // Stopped by someone else: Stop, Ctrl-C, the source gone, a dump
        // cancelled.
        s.end = SeriesEnd::kStopped;
        ctx.reception->set_requested_sample(-1);
        s.outcome = ctx.reception->outcome();
        return false;
    }
    if (p.dumps_done > s.dumps_done) {
        ++s.received;
        return next(ctx, s, now_ms);
    }
    const int64_t waited = now_ms - s.asked_ms;
    if (s.phase == RequestSeries::Phase::kWaitHeader) {
        if (p.dumps_started > s.dumps_started) {
            s.phase = RequestSeries::Phase::kWaitDump;
            s.asked_ms = now_ms;
            s.packets_seen = p.dump_packets_taken;
        } else if (waited >= s.wait_ms) {
            s.missing.push_back(s.number);
            s.note = no_sample_text(s.number) + " ";
            return next(ctx, s, now_ms);
        }
        return true;
    }
    // A dump under way: it goes on while its packets keep coming.
    if (p.dump_packets_taken != s.packets_seen) {
        s.packets_seen = p.dump_packets_taken;
        s.asked_ms = now_ms;
    } else if (waited >= s.wait_ms) {
        s.incomplete.push_back(s.number);
        return next(ctx, s, now_ms);
    }
    return true;
}

void stop_request_series(Context& ctx, RequestSeries& s) {
    if (s.end != SeriesEnd::kRunning) return;
    finish(ctx, s, SeriesEnd::kStopped);
}

std::string request_progress_text(const RequestSeries& s) {
    return "Requesting sample " + std::to_string(s.number) + " (" +
           std::to_string(series_position(s)) + " of " + std::to_string(series_count(s)) + ").";
}

std::string no_sample_text(int32_t number) {
    return "No sample " + std::to_string(number) + ".";
}

SeriesOutcome series_outcome(const RequestSeries& s) {
    return {.end = s.end,
            .count = series_count(s),
            .missing = s.missing,
            .incomplete = s.incomplete,
            .reception = s.outcome};
}

std::string dump_time_left_text(const ReceiveProgress& p, RateMeter& meter, int64_t now_ms) {
    if (!p.receiving || p.dump_packets <= 0) return {};
    constexpr int32_t kStandardBytesPerSecond = 3125;
    meter.add(now_ms, int64_t(p.dump_packets_taken) * int64_t(kSdsPacketSize));
    const int64_t left = int64_t(p.dump_packets - p.dump_packets_taken) * int64_t(kSdsPacketSize);
    return time_left_text({.bytes_left = left,
                           .bytes_per_second = kStandardBytesPerSecond,
                           .measured_bytes_per_second = meter.rate()});
}

}  // namespace j3
