#include "engine/turbo.h"

#include <algorithm>
#include <string>

#include "engine/context.h"
#include "engine/send_state.h"
#include "format/sysex_speed.h"

namespace j3 {
namespace {

// Completion thread: the record is free again.
void control_request_done(SysexRequest* request) {
    static_cast<ControlRequest*>(request->completion_ref)->held = false;
}

}  // namespace

bool send_control_message(Context& ctx, Endpoint destination, const uint8_t* bytes, size_t size) {
    if (destination == kNoEndpoint || size > sizeof(ControlRequest::bytes)) return false;
    ControlRequests& pool = ctx.send.state_->control_requests;
    ControlRequest* record = nullptr;
    {
        Lock lock(pool.mutex);
        for (ControlRequest& r : pool.records) {
            if (!r.held) {
                record = &r;
                break;
            }
        }
        if (!record) record = &pool.records.emplace_back();
        record->held = true;
    }
    std::copy(bytes, bytes + size, record->bytes);
    SysexRequest& r = record->request;
    r.destination = destination;
    r.data = record->bytes;
    r.bytes_to_send = uint32_t(size);
    r.completion_proc = control_request_done;
    r.completion_ref = record;
    r.complete = false;
    // A refused request is still completed, which frees the record.
    return ctx.midi->send_sysex(&r) == kSendTaken;
}

bool control_messages_pending(Context& ctx) {
    ControlRequests& pool = ctx.send.state_->control_requests;
    Lock lock(pool.mutex);
    for (const ControlRequest& r : pool.records)
        if (r.held) return true;
    return false;
}

void set_speed(Context& ctx, int32_t index) {
    if (index < 0 || index > kSpeedIndexMax) return;
    const int32_t factor = kSpeedFactors[size_t(index)];
    // A faster speed shows its unit; standard speed shows nothing.
    const std::string label(kSpeedLabels[size_t(index)]);
    // The factor first: whoever sees the label change finds the speed in force.
    ctx.send.state_->speed_factor = factor;
    ctx.window->set_speed_label(factor > 10 ? label + "x" : label);
    ctx.window->set_speed_indicator(factor > 10);
    send_control_message(ctx, ctx.endpoints.virtual_destination, kSpeedRequest.data(),
                         kSpeedRequest.size());
    ctx.midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint,
                                  max_sysex_speed_for_index(index));
}

void send_speed_request(Context& ctx) {
    send_control_message(ctx, ctx.endpoints.destination_endpoint, kSpeedRequest.data(),
                         kSpeedRequest.size());
}

void request_speed(Context& ctx, bool reset_first) {
    if (reset_first) set_speed(ctx, 1);
    send_speed_request(ctx);
}

void turbo_command(Context& ctx) {
    const Endpoint destination = ctx.endpoints.destination_endpoint;
    if (ctx.send.speed_factor() == 10) {
        const auto ask = speed_set_request(ctx.settings.turbo_limit);
        send_control_message(ctx, destination, ask.data(), ask.size());
        return;
    }
    const auto normal = speed_set_request(1);
    send_control_message(ctx, destination, normal.data(), normal.size());
    set_speed(ctx, 1);
}

}  // namespace j3
