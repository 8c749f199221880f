// The time left of a send: what each queued item puts on the wire is
// measured once when the send starts (a SysEx item its bytes and messages, a
// sample the dump its frames make), and the send's progress then tells how
// much of it is still to go.
//
//   SendPlan plan = plan_send(ctx, ctx.files.selected_ids()); // as the send starts
//   ... each status tick ...
//   meter.add(now_ms, bytes_sent(plan, ctx.send.progress()));
//   time_left_text(send_time_left_input(ctx, plan, ctx.send.progress(), meter.rate()));
#pragma once

#include <cstdint>
#include <vector>

#include "engine/outcomes.h"
#include "engine/time_left.h"

namespace j3 {

struct Context;

struct PlannedItem {
    int64_t wire_bytes = 0;  // bytes the item puts on the wire
    int32_t size = 0;        // what SendProgress::position counts to: bytes, or sample frames
    int32_t messages = 0;    // messages, each paused before but the first of the send
};

struct SendPlan {
    std::vector<PlannedItem> items;  // in the send's order
};

// Reads the items of ids (1-based list positions) under the list's lock.
SendPlan plan_send(Context& ctx, const std::vector<uint32_t>& ids);

// Wire bytes of the plan already sent, by the progress.
int64_t bytes_sent(const SendPlan& plan, const SendProgress& progress);

// The estimate's input: bytes left, the destination's speed, the "Delay"
// pauses before the messages still to go, and the rate measured.
TimeLeftInput send_time_left_input(Context& ctx, const SendPlan& plan, const SendProgress& progress,
                                   double measured_bytes_per_second);

}  // namespace j3
