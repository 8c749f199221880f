#include "engine/send_loop.h"

#include <filesystem>

#include "audio/sample_info.h"
#include "engine/context.h"
#include "engine/sds_handshake.h"
#include "engine/send_state.h"
#include "engine/turbo.h"

namespace j3 {

SendLoop::SendLoop() : state_(std::make_unique<SendState>()) {}
SendLoop::~SendLoop() = default;

bool SendLoop::sending() const {
    return state_->send_mode != kSendIdle;
}

bool SendLoop::busy() const {
    return state_->send_mode != kSendIdle || state_->request_held;
}

SendProgress SendLoop::progress() const {
    SendState& t = *state_;
    Lock lock(t.send_mutex);
    SendProgress p;
    const SendMode mode = t.send_mode;
    p.sending = mode != kSendIdle;
    p.sample = mode == kSendSample;
    p.index = t.send_index;
    p.count = t.send_count;
    p.position = t.send_pos;
    return p;
}

std::optional<SendOutcome> SendLoop::outcome() const {
    SendState& t = *state_;
    Lock lock(t.send_mutex);
    return t.outcome;
}

int32_t SendLoop::speed_factor() const {
    return state_->speed_factor;
}

namespace {

// Runs on the MIDI service's completion thread.
void data_request_done(SysexRequest* request) {
    send_completion(*static_cast<Context*>(request->completion_ref), request);
}

// The one ending of a send, by what happened, first things first.
SendOutcome ending(const SendState& t, bool stopped, bool xrun) J3_REQUIRES(t.send_mutex) {
    SendOutcome o;
    if (t.stop_reason) {
        o.end = SendEnd::kStoppedBecause;
        o.detail = *t.stop_reason;
    } else if (t.send_refused == kSendTooLarge) {
        o.end = SendEnd::kTooLarge;
        o.refused_length = t.refused_length;
    } else if (t.send_refused == kSendBackendError) {
        o.end = SendEnd::kBackendError;
        o.detail = t.backend_error;
    } else if (t.send_refused != kSendTaken) {
        o.end = SendEnd::kLost;
        o.result = t.send_refused;
    } else if (stopped) {
        o.end = SendEnd::kStopped;
    } else if (xrun) {
        // The server may have dropped events meanwhile: never a bare "Done.".
        o.end = SendEnd::kXrun;
    } else if (t.pieces_handed > 0 || t.nothing_to_send.empty()) {
        o.end = t.send_note ? SendEnd::kDoneWithNote : SendEnd::kDone;
        o.detail = t.send_note.value_or(std::string());
    } else {
        o.end = SendEnd::kNothingToSend;
        o.nothing_to_send = t.nothing_to_send;
    }
    return o;
}

// The reason a send stops when the file of the item just sent changed under
// J3 while its bytes were read.
std::string changed_reason(const SendState& t) J3_REQUIRES(t.send_mutex) {
    return "the file of " + t.current_name + " changed on disk while it was sent.";
}

// That reason when the file did change; nullopt when it did not.
std::optional<std::string> changed_while_sent(const SendState& t) J3_REQUIRES(t.send_mutex) {
    if (!t.current_bytes.changed_on_disk()) return std::nullopt;
    return changed_reason(t);
}

void finish_sending(Context& ctx, SendState& t, bool stopped = false) J3_REQUIRES(t.send_mutex) {
    if (!stopped && !t.stop_reason) t.stop_reason = changed_while_sent(t);
    t.current_bytes = {};
    ctx.window->show_sending(false);
    ctx.window->set_progress_value(0);
    ++t.send_generation;
    if (ctx.clock) ctx.clock->wake();  // a handshake wait ends at once
    t.outcome = ending(t, stopped, ctx.midi->xrun_count() != t.xruns_at_start);
    t.stop_reason.reset();
    t.send_refused = kSendTaken;
    t.backend_error.clear();
    ctx.window->set_sample_number(t.start_sample_number);
    ctx.window->set_send_status(send_outcome_text(*t.outcome));
    // Idle last: whoever sees the send ended finds its outcome and its
    // status line in place.
    t.send_mode = kSendIdle;
}

// Notes why the service refused or could not deliver the data request; the
// send stops when the request is reported.
void note_refusal(Context& ctx, SendState& t, SendResult result, const SysexRequest& request)
    J3_REQUIRES(t.send_mutex) {
    t.send_refused = result;
    t.refused_length = request.bytes_to_send;
    if (result == kSendBackendError) t.backend_error = ctx.midi->backend_error(request.destination);
}

// Whether the piece about to go is followed at once by another, with no
// "Delay" and no handshake answer awaited: the service may then hand the
// request back early and have the next one ready when the wire is free. The
// send's last piece never is, so the send ends only once it is out.
bool next_follows_at_once(const Context& ctx, const SendState& t) J3_REQUIRES(t.send_mutex) {
    if (ctx.settings.send_delay > 0) return false;
    if (t.send_pos >= t.current_size && t.send_index >= t.send_count) return false;
    if (t.send_mode == kSendSample)
        return ctx.settings.ignore_handshake || t.handshake_state == kHandshakeSilent;
    return true;
}

}  // namespace

void hand_over(Context& ctx, SendState& t, int32_t length, int32_t hold_for_ack) {
    SysexRequest& r = t.data_request;
    r.destination = ctx.endpoints.destination_endpoint;
    r.data = t.message_ptr;
    r.bytes_to_send = uint32_t(length);
    r.completion_proc = data_request_done;
    r.completion_ref = &ctx;
    r.starts_transfer = t.send_starting;
    r.queue_next = hold_for_ack < 0 && next_follows_at_once(ctx, t);
    r.hold_for_ack = hold_for_ack;
    r.pause_ticks = ctx.settings.send_delay;
    t.send_starting = false;
    r.complete = false;
    t.request_held = true;
    ++t.pieces_handed;
    // A refused request is still completed; the send ends there.
    if (const SendResult refused = ctx.midi->send_sysex(&r); refused != kSendTaken)
        note_refusal(ctx, t, refused, r);
}

namespace {

// Loads the next item of the queue and sends its first piece. Returns with
// the lock held.
void start_item(Context& ctx, SendState& t) J3_REQUIRES(t.send_mutex) {
    for (;;) {
        if (t.send_index >= t.send_count) {
            finish_sending(ctx, t);
            return;
        }
        if (std::optional<std::string> reason = changed_while_sent(t)) {
            stop_with_reason(ctx, t, std::move(*reason));
            return;
        }
        const uint32_t id = t.send_queue[size_t(t.send_index)];
        ++t.send_index;
        std::string name;
        std::string file;
        {
            const std::optional<FileEntry> e = ctx.files.entry(id);
            if (!e) continue;
            name = std::filesystem::path(e->file).filename().string();
            t.current_bytes = e->data;
            t.current_data = t.current_bytes.data();
            t.current_size = int32_t(t.current_bytes.size());
            t.current_loop = e->loop;
            t.current_stereo = e->stereo;
            file = e->file;
        }
        t.current_name = name;
        // A file cut short or rewritten since it was opened: its bytes are no
        // longer the item the user chose.
        if (t.current_bytes.changed_on_disk()) {
            stop_with_reason(ctx, t,
                             "the file of " + name + " changed on disk while it was in the list.");
            return;
        }
        t.send_mode = kSendSysex;
        t.split.split_continue = false;
        t.sample_number = ctx.window->sample_number_value();
        t.send_pos = 0;
        t.handshake_state = kHandshakeUnknown;
        t.handshake_reply = kReplyNone;
        t.wait_received = 0;
        t.withdrawing = false;
        t.message_ptr = t.current_data;
        int32_t length = 0;
        if (is_audio_file(t.current_data, size_t(t.current_size))) {
            const SampleMessage first = start_sample_item(ctx, t, file);
            if (first.step != SampleStep::kHandOver) return;  // its audio cannot be read
            length = first.length;
        } else {
            int32_t pos = 0;
            length = split_next_message(t.split, pos, t.current_size, t.message_ptr);
            t.send_pos = pos;
        }
        // An item with no complete message is passed over at once: a request
        // of no bytes would carry nothing.
        if (length == 0) {
            t.nothing_to_send.push_back(std::move(name));
            continue;
        }
        ctx.window->set_progress_range(0, t.current_size);
        ctx.window->set_progress_value(t.send_pos);
        hand_over(ctx, t, length);  // no pause before an item's first message
        return;
    }
}

void begin_send(Context& ctx, SendState& t, std::vector<uint32_t> queue) J3_REQUIRES(t.send_mutex) {
    ++t.send_generation;
    t.start_pending = false;
    t.pending_queue.clear();
    t.send_queue = std::move(queue);
    t.send_count = int32_t(t.send_queue.size());
    t.send_index = 0;
    t.send_refused = kSendTaken;
    t.backend_error.clear();
    t.pieces_handed = 0;
    t.nothing_to_send.clear();
    t.stop_reason.reset();
    t.start_sample_number = ctx.window->sample_number_value();
    t.xruns_at_start = ctx.midi->xrun_count();
    t.send_starting = true;
    t.send_note.reset();
    ctx.window->show_sending(true);
    start_item(ctx, t);
}

// Lets go of the send's lock for a pause of "Delay" ticks, so Stop is not
// kept waiting. False when the send ended meanwhile.
bool pause_unlocked(Context& ctx, SendState& t, int32_t ticks, uint64_t generation)
    J3_REQUIRES(t.send_mutex) {
    t.send_mutex.unlock();
    ctx.clock->pause_ticks(ticks);
    t.send_mutex.lock();
    return t.send_generation == generation && t.send_mode != kSendIdle;
}

// The next piece of the item in hand, at t.message_ptr: its length, 0 once
// the item is done; nullopt when there is nothing to hand over now (the
// sample half ended the send, or a packet is already with the service).
std::optional<int32_t> next_piece(Context& ctx, SendState& t) J3_REQUIRES(t.send_mutex) {
    if (t.send_mode == kSendSample) {
        const SampleMessage m = next_sample_message(ctx, t);
        if (m.step == SampleStep::kNothingNow) return std::nullopt;
        return m.length;
    }
    int32_t length = 0;
    if (t.send_mode == kSendSysex && t.send_pos < t.current_size) {
        int32_t pos = t.send_pos;
        length = split_next_message(t.split, pos, t.current_size, t.message_ptr);
        t.send_pos = pos;
    }
    return length;
}

void complete_locked(Context& ctx, SendState& t, SysexRequest* request) J3_REQUIRES(t.send_mutex) {
    if (request) {
        t.request_held = false;
        // The service could not deliver it (the destination left or was
        // disconnected, the MIDI system raised an error): the send stops here
        // with the reason.
        if (const SendResult outcome = request->outcome;
            outcome != kSendTaken && t.send_refused == kSendTaken && t.send_mode != kSendIdle)
            note_refusal(ctx, t, outcome, *request);
    }

    // 1. A request still in flight is cancelled, and nothing is left to send.
    if (!t.data_request.complete) {
        t.data_request.complete = true;
        t.current_size = 0;
    }
    // 2. Idle: a late completion of a cancelled request resets the bar, and
    // starts a send that waited for it.
    if (t.send_mode == kSendIdle) {
        ctx.window->set_progress_value(0);
        if (request && t.start_pending) begin_send(ctx, t, std::move(t.pending_queue));
        return;
    }
    // 3. Stop or CANCEL.
    if (!request || t.send_refused != kSendTaken) {
        t.current_size = 0;
        finish_sending(ctx, t, !request);
        return;
    }
    if (t.send_pos > t.current_size) return;

    const std::optional<int32_t> piece = next_piece(ctx, t);
    if (!piece) return;
    const int32_t length = *piece;
    if (t.send_pos > t.current_size) t.send_pos = t.current_size;
    // Read from a file cut short under J3: zeros, never handed over.
    if (length > 0 && t.current_bytes.cut_short()) {
        stop_with_reason(ctx, t, changed_reason(t));
        return;
    }

    const uint64_t generation = t.send_generation;
    const int32_t delay_ticks = ctx.settings.send_delay;
    if (length > 0) {
        // A Stop during the pause ends the send and the piece is not handed
        // over; no completion is left then to reset the bar.
        if (!pause_unlocked(ctx, t, delay_ticks, generation)) {
            ctx.window->set_progress_value(0);
            return;
        }
        hand_over(ctx, t, length);
        ctx.window->set_progress_value(t.send_pos);
        return;
    }

    // The item is finished.
    ctx.window->set_progress_value(0);
    if (t.send_mode == kSendSample) {
        // The next sample item gets the next number; finish_sending puts
        // the start number back.
        t.sample_number = ctx.window->sample_number_value();
        ctx.window->set_sample_number(t.sample_number + 1);
    }
    if (t.send_count > t.send_index) {
        if (!pause_unlocked(ctx, t, delay_ticks, generation)) return;
        start_item(ctx, t);
    } else {
        finish_sending(ctx, t);
    }
}

}  // namespace

void stop_with_reason(Context& ctx, SendState& t, std::string reason) {
    if (!t.data_request.complete) t.data_request.complete = true;  // cancels it
    t.current_size = 0;
    t.stop_reason = std::move(reason);
    finish_sending(ctx, t);
}

bool start_sending(Context& ctx) {
    SendState& t = *ctx.send.state_;
    Lock lock(t.send_mutex);
    if (t.request_held) {
        // The previous send's last request is still being cancelled: this
        // one starts when it is back.
        t.start_pending = true;
        t.pending_queue = ctx.files.selected_ids();
        return false;
    }
    begin_send(ctx, t, ctx.files.selected_ids());
    return true;
}

void send_completion(Context& ctx, SysexRequest* request) {
    SendState& t = *ctx.send.state_;
    Lock lock(t.send_mutex);
    complete_locked(ctx, t, request);
}

void stop_sending(Context& ctx) {
    SendState& t = *ctx.send.state_;
    Lock lock(t.send_mutex);
    t.start_pending = false;
    complete_locked(ctx, t, nullptr);
}

void cancel_sending(Context& ctx, std::string reason) {
    SendState& t = *ctx.send.state_;
    Lock lock(t.send_mutex);
    if (t.send_mode != kSendIdle) t.stop_reason = std::move(reason);
    complete_locked(ctx, t, nullptr);
}

void take_instrument_reply(Context& ctx, InstrumentReply reply, uint8_t value) {
    SendState& t = *ctx.send.state_;
    if (reply == InstrumentReply::kSpeedReport) {
        set_speed(ctx, value);
        return;
    }
    // Only a sample dump going out listens for the handshake.
    if (t.send_mode != kSendSample) return;
    switch (reply) {
        case InstrumentReply::kAck:
            t.ack_packet = value;
            t.handshake_reply = kReplyAck;
            break;
        case InstrumentReply::kNak:
            t.nak_packet = value;
            t.handshake_reply = kReplyNak;
            break;
        case InstrumentReply::kWait:
            t.wait_received = 1;
            break;
        case InstrumentReply::kCancel:
            cancel_sending(ctx, "the receiver cancelled the dump.");
            break;
        case InstrumentReply::kSpeedReport:
            break;
    }
    if (ctx.clock) ctx.clock->wake();  // the handshake wait takes the reply now
}

}  // namespace j3
