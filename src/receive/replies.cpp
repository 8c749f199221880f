#include "receive/replies.h"

#include "engine/context.h"
#include "format/sysex_split.h"
#include "receive/reception.h"
#include "receive/reception_internals.h"

namespace j3 {
namespace {

// Hands the record over with `sending`.
void hand_over(Context& ctx, ReplyQueue& q) J3_REQUIRES(q.mutex) {
    SysexRequest& r = q.request;
    r.destination = ctx.endpoints.destination_endpoint;
    r.data = q.sending.data();
    r.bytes_to_send = uint32_t(q.sending.size());
    r.completion_ref = &ctx;
    r.complete = false;
    // A refused reply (no destination chosen, or it has gone) is still
    // completed, which sends the next one; nothing else is to be done. The
    // queue's lock is let go meanwhile: a service that completes at once
    // would take it again.
    q.mutex.unlock();
    ctx.midi->send_sysex(&r);
    q.mutex.lock();
}

}  // namespace

// Runs on the MIDI service's completion thread: the record is free again.
void reply_done(SysexRequest* request) {
    Context& ctx = *static_cast<Context*>(request->completion_ref);
    ReplyQueue& q = ctx.reception->internals_->replies;
    Lock lock(q.mutex);
    if (q.waiting.empty()) {
        q.held = false;
        return;
    }
    q.sending = q.waiting.front();
    q.waiting.pop_front();
    hand_over(ctx, q);
}

void send_reply(Context& ctx, ReplyKind kind, uint8_t channel, uint8_t packet) {
    const ReplyMessage m = {
        kSysexStart, 0x7E, uint8_t(channel & 0x7F), uint8_t(kind), uint8_t(packet & 0x7F),
        kSysexEnd};
    ReplyQueue& q = ctx.reception->internals_->replies;
    Lock lock(q.mutex);
    if (q.held) {
        if (q.waiting.size() < ReplyQueue::kMaxWaiting) q.waiting.push_back(m);
        return;
    }
    q.held = true;
    q.sending = m;
    q.request.completion_proc = reply_done;
    hand_over(ctx, q);
}

}  // namespace j3
