#include "engine/sysex_send.h"

#include <cstdio>
#include <mutex>

#include "audio/sample_info.h"
#include "engine/context.h"

namespace j3 {
namespace {

// Runs on the MIDI service's completion thread.
void data_request_done(SysexRequest* request) {
    send_completion(*static_cast<Context*>(request->completion_ref), request);
}

void finish_sending(Context& ctx) {
    TransferState& t = ctx.transfer;
    ctx.window->show_sending(false);
    t.send_mode = kSendIdle;
    ++t.send_generation;
    if (t.send_refused != kSendTaken) {
        char text[160];
        if (t.send_refused == kSendTooLarge) {
            std::snprintf(text, sizeof text,
                          "Stopped: the destination could not take a message of %u bytes.",
                          unsigned(t.refused_length));
        } else {
            std::snprintf(text, sizeof text, "Stopped: %s.", send_result_text(t.send_refused));
        }
        set_status_text(t, text);
        t.send_refused = kSendTaken;
    } else if (ctx.midi->xrun_count() != t.xruns_at_start) {
        // The server may have dropped events meanwhile: never a bare "Done.".
        set_status_text(t,
                        "Sent, but the MIDI server fell behind during the send (xrun): some "
                        "data may have been lost.");
    } else {
        set_status_text(t, "Done.");
    }
    ctx.window->set_sample_number(t.start_sample_number);
    ctx.window->set_send_status(status_text(t));
}

// Hands data_request over with the piece at message_ptr. Lock held.
void hand_over(Context& ctx, int32_t length) {
    TransferState& t = ctx.transfer;
    SysexRequest& r = t.data_request;
    r.destination = ctx.endpoints.destination_endpoint;
    r.data = t.message_ptr;
    r.bytes_to_send = uint32_t(length);
    r.completion_proc = data_request_done;
    r.completion_ref = &ctx;
    r.starts_transfer = t.send_starting;
    t.send_starting = false;
    r.complete = false;
    t.request_held = true;
    if (const SendResult refused = ctx.midi->send_sysex(&r); refused != kSendTaken) {
        // Its completion still comes; the send ends there with a message.
        t.send_refused = refused;
        t.refused_length = uint32_t(length);
    }
}

// Loads the next item of the queue and sends its first piece. Lock held;
// returns with the lock held (it may release it only between items it skips).
void start_item(Context& ctx) {
    TransferState& t = ctx.transfer;
    for (;;) {
        if (t.send_index >= t.send_count) {
            finish_sending(ctx);
            return;
        }
        const uint32_t id = t.send_queue[size_t(t.send_index)];
        ++t.send_index;
        {
            std::lock_guard files_lock(ctx.files.mutex);
            if (id < 1 || id > ctx.files.file_array.size()) continue;
            const FileEntry& e = ctx.files.file_array[id - 1];
            t.current_data = e.data.data();
            t.current_size = int32_t(e.data.size());
            t.current_loop = e.loop;
            t.current_stereo = e.stereo;
        }
        t.send_mode = kSendSysex;
        t.split.split_continue = false;
        // Sample items go out as sample dumps, which this send loop does not
        // carry yet: they are passed over rather than sent as raw bytes.
        if (is_audio_file(t.current_data, size_t(t.current_size))) continue;

        t.sample_number = ctx.window->sample_number_value();
        t.send_pos = 0;
        t.handshake_state = kHandshakeUnknown;
        t.handshake_reply = kReplyNone;
        t.message_ptr = t.current_data;
        int32_t pos = 0;
        const int32_t length = split_next_message(t.split, pos, t.current_size, t.message_ptr);
        t.send_pos = pos;
        // An item with no complete message is passed over at once: a request
        // of no bytes would carry nothing.
        if (length == 0) continue;

        ctx.window->set_progress_range(0, t.current_size);
        ctx.window->set_progress_value(t.send_pos);
        hand_over(ctx, length);  // no pause before an item's first message
        return;
    }
}

}  // namespace

Result start_sending(Context& ctx) {
    TransferState& t = ctx.transfer;
    if (t.request_held) return failure("The MIDI destination is still busy; press Send again.");
    std::lock_guard lock(t.send_mutex);
    ++t.send_generation;
    t.send_queue = ctx.files.selected_ids;
    t.send_count = int32_t(t.send_queue.size());
    t.send_index = 0;
    t.send_refused = kSendTaken;
    t.start_sample_number = ctx.window->sample_number_value();
    t.xruns_at_start = ctx.midi->xrun_count();
    t.send_starting = true;
    ctx.window->show_sending(true);
    start_item(ctx);
    return {};
}

void send_completion(Context& ctx, SysexRequest* request) {
    TransferState& t = ctx.transfer;
    std::unique_lock lock(t.send_mutex);
    if (request) {
        t.request_held = false;
        // The service could not deliver it (the destination left or was
        // disconnected): the send stops here with the reason.
        if (const SendResult outcome = request->outcome;
            outcome != kSendTaken && t.send_refused == kSendTaken && t.send_mode != kSendIdle) {
            t.send_refused = outcome;
            t.refused_length = request->bytes_to_send;
        }
    }

    // 1. A request still in flight is cancelled, and nothing is left to send.
    if (!t.data_request.complete) {
        t.data_request.complete = true;
        t.current_size = 0;
    }
    // 2. Idle: a late completion of a cancelled request only resets the bar.
    if (t.send_mode == kSendIdle) {
        ctx.window->set_progress_value(0);
        return;
    }
    // 3. Stop or CANCEL.
    if (!request || t.send_refused != kSendTaken) {
        t.current_size = 0;
        finish_sending(ctx);
        return;
    }
    if (t.send_pos > t.current_size) return;

    int32_t length = 0;
    if (t.send_mode == kSendSysex && t.send_pos < t.current_size) {
        int32_t pos = t.send_pos;
        length = split_next_message(t.split, pos, t.current_size, t.message_ptr);
        t.send_pos = pos;
    }
    if (t.send_pos > t.current_size) t.send_pos = t.current_size;

    const uint64_t generation = t.send_generation;
    const int32_t delay_ticks = ctx.settings.send_delay;
    if (length > 0) {
        // The pause runs unlocked so Stop is not kept waiting; a Stop during
        // it ends the send and the piece is not handed over.
        lock.unlock();
        ctx.clock->pause_ticks(delay_ticks);
        lock.lock();
        if (t.send_generation != generation || t.send_mode == kSendIdle) {
            // Stopped during the pause: no completion is left to reset the bar.
            ctx.window->set_progress_value(0);
            return;
        }
        hand_over(ctx, length);
        ctx.window->set_progress_value(t.send_pos);
        return;
    }

    // The item is finished.
    ctx.window->set_progress_value(0);
    if (t.send_count > t.send_index) {
        lock.unlock();
        ctx.clock->pause_ticks(delay_ticks);
        lock.lock();
        if (t.send_generation != generation || t.send_mode == kSendIdle) return;
        start_item(ctx);
    } else {
        finish_sending(ctx);
    }
}

}  // namespace j3
