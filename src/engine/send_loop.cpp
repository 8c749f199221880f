#include "engine/send_loop.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "audio/sample_info.h"
#include "engine/context.h"
#include "engine/sds_send.h"
#include "format/item_names.h"

namespace j3 {
namespace {

// Runs on the MIDI service's completion thread.
void data_request_done(SysexRequest* request) {
    send_completion(*static_cast<Context*>(request->completion_ref), request);
}

// The end of a send as the status line tells it: "Done." only for a send
// that ran to its end and handed something over.
std::string ending_text(const TransferState& t) {
    if (t.pieces_handed > 0 || t.nothing_to_send.empty())
        return t.send_note.empty() ? "Done." : "Done. " + t.send_note;
    std::string text;
    for (const std::string& name : t.nothing_to_send) {
        if (!text.empty()) text += ' ';
        text += "Nothing to send: no complete SysEx message in " + name + ".";
    }
    return text;
}

void finish_sending(Context& ctx, bool stopped = false) {
    TransferState& t = ctx.transfer;
    ctx.window->show_sending(false);
    ctx.window->set_progress_value(0);
    t.send_mode = kSendIdle;
    ++t.send_generation;
    if (!t.stop_reason.empty()) {
        set_status_text(t, "Stopped: " + t.stop_reason);
        t.stop_reason.clear();
        t.send_refused = kSendTaken;
    } else if (t.send_refused != kSendTaken) {
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
    } else if (stopped) {
        set_status_text(t, "Stopped.");
    } else if (ctx.midi->xrun_count() != t.xruns_at_start) {
        // The server may have dropped events meanwhile: never a bare "Done.".
        set_status_text(t,
                        "Sent, but the MIDI server fell behind during the send (xrun): some "
                        "data may have been lost.");
    } else {
        set_status_text(t, ending_text(t));
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
    ++t.pieces_handed;
    if (const SendResult refused = ctx.midi->send_sysex(&r); refused != kSendTaken) {
        // Its completion still comes; the send ends there with a message.
        t.send_refused = refused;
        t.refused_length = uint32_t(length);
    }
}

// Ends the send with the reason the status line gives. Lock held.
void stop_with_reason(Context& ctx, std::string reason) {
    TransferState& t = ctx.transfer;
    if (!t.data_request.complete) t.data_request.complete = true;  // cancels it
    t.current_size = 0;
    t.stop_reason = std::move(reason);
    finish_sending(ctx);
}

// A sample item goes out as a sample dump: the names it carries come from
// its file name. Lock held.
void prepare_sample_item(Context& ctx, const std::string& file) {
    TransferState& t = ctx.transfer;
    t.send_mode = kSendSample;
    t.name_code = 0;
    const std::string base = sds_base_name(file);
    // Chosen by the setting alone: an item named ".wav" has an empty base
    // name and still gets its extended header and a name message.
    t.send_name_text = ctx.settings.extended_sds;
    t.name_text = t.send_name_text ? base : std::string();
    if (ctx.settings.send_filename) t.name_code = sds_name_code(base);
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
        std::string name;
        std::string file;
        {
            std::lock_guard files_lock(ctx.files.mutex);
            if (id < 1 || id > ctx.files.file_array.size()) continue;
            const FileEntry& e = ctx.files.file_array[id - 1];
            name = std::filesystem::path(e.file).filename().string();
            t.current_data = e.data.data();
            t.current_size = int32_t(e.data.size());
            t.current_loop = e.loop;
            t.current_stereo = e.stereo;
            file = e.file;
        }
        t.send_mode = kSendSysex;
        t.split.split_continue = false;
        const bool sample = is_audio_file(t.current_data, size_t(t.current_size));
        if (sample) prepare_sample_item(ctx, file);

        t.sample_number = ctx.window->sample_number_value();
        t.send_pos = 0;
        t.handshake_state = kHandshakeUnknown;
        t.handshake_reply = kReplyNone;
        t.wait_received = 0;
        t.message_ptr = t.current_data;
        int32_t pos = 0;
        int32_t length = 0;
        if (sample) {
            int32_t size = t.current_size;
            length = next_sds_message(ctx, pos, &size, t.message_ptr, t.name_code,
                                      t.send_name_text ? &t.name_text : nullptr);
            if (length == 0) {
                // Never passed over in silence: the user would take the send
                // for complete.
                stop_with_reason(
                    ctx, "the audio of " + item_base_name(file) + " cannot be read as a sample.");
                return;
            }
            t.current_size = size;
            // A sample longer than a standard header announces goes out cut:
            // the user hears of it at the end.
            if (const std::string note = sample_cut_note(ctx.encoder, "Extended SDS");
                !note.empty() && t.send_note.empty())
                t.send_note = item_base_name(file) + ": " + note;
            // The header group is what a NAK before the first packet asks
            // for again; the previous item's last packet never is.
            t.last_packet = t.message_ptr;
            t.last_packet_length = uint32_t(length);
            t.last_is_first_request = true;
            t.resends_in_a_row = 0;
        } else {
            length = split_next_message(t.split, pos, t.current_size, t.message_ptr);
        }
        t.send_pos = pos;
        // An item with no complete message is passed over at once: a request
        // of no bytes would carry nothing.
        if (length == 0) {
            t.nothing_to_send.push_back(std::move(name));
            continue;
        }

        ctx.window->set_progress_range(0, t.current_size);
        ctx.window->set_progress_value(t.send_pos);
        hand_over(ctx, length);  // no pause before an item's first message
        return;
    }
}

// How a wait for the sample receiver ended.
enum class WaitEnd {
    kReply,            // an ACK or NAK is in handshake_reply
    kSilent,           // the allowance ran out
    kSilentAfterWait,  // the receiver asked to wait and then said nothing more
    kSendEnded,        // Stop, CANCEL or a new send meanwhile; the lock is held again
};

constexpr int32_t kProbeMs = 200;  // after an item's header, and after a NAK of it
constexpr int32_t kReplyMs = 65;   // per message once the receiver answers
constexpr int32_t kWaitMs = 5000;  // after each WAIT
// A receiver that keeps refusing the same message would be answered forever.
constexpr int32_t kMaxResends = 10;

// Waits in rounds of 1 ms for the receiver's reply to the message just
// sent, up to allowance_ms, and kWaitMs more after each WAIT. Runs unlocked
// (Stop and CANCEL are never kept waiting) and returns with the lock held.
// Completion thread.
WaitEnd wait_for_reply(Context& ctx, std::unique_lock<std::mutex>& lock, uint64_t generation,
                       int32_t allowance_ms) {
    TransferState& t = ctx.transfer;
    bool waited = false;
    WaitEnd end = WaitEnd::kSilent;
    const auto woken = [&] {
        return t.handshake_reply != kReplyNone || t.wait_received != 0 ||
               t.send_generation != generation;
    };
    lock.unlock();
    for (int32_t allowance = allowance_ms;; --allowance) {
        if (t.send_generation != generation) break;
        // A reply that came in during the last round still counts.
        if (t.handshake_reply != kReplyNone) {
            end = WaitEnd::kReply;
            break;
        }
        if (t.wait_received.exchange(0) != 0) {
            waited = true;
            allowance = kWaitMs;
        }
        if (allowance <= 0) {
            end = waited ? WaitEnd::kSilentAfterWait : WaitEnd::kSilent;
            break;
        }
        ctx.clock->sleep_ms_or_until(1, woken);
    }
    lock.lock();
    if (t.send_generation != generation || t.send_mode == kSendIdle) return WaitEnd::kSendEnded;
    return end;
}

// The next message of a sample item: waits for the receiver as the
// handshake requires, resends the packet a NAK names, or builds the next
// packet. Returns its length (0: the item is done), or -1 when the send has
// ended (the lock is held either way). Completion thread.
int32_t next_sample_message(Context& ctx, std::unique_lock<std::mutex>& lock) {
    TransferState& t = ctx.transfer;
    const uint64_t generation = t.send_generation;
    const bool handshake = !ctx.settings.ignore_handshake;
    if (handshake && t.handshake_state == kHandshakeUnknown) {
        // The probe: does the receiver answer at all?
        switch (wait_for_reply(ctx, lock, generation, kProbeMs)) {
            case WaitEnd::kSendEnded:
                return -1;
            case WaitEnd::kReply:
                // ACK: it answers every message; NAK: still unknown.
                t.handshake_state =
                    t.handshake_reply == kReplyAck ? kHandshakeAnswers : kHandshakeUnknown;
                break;
            case WaitEnd::kSilent:
                t.handshake_state = kHandshakeSilent;  // open loop from here
                break;
            case WaitEnd::kSilentAfterWait:
                // It is there (it asked to wait): going on open loop would
                // send to a receiver that is not ready.
                stop_with_reason(ctx, "the receiver stopped answering.");
                return -1;
        }
    } else if (handshake && t.handshake_state == kHandshakeAnswers) {
        switch (wait_for_reply(ctx, lock, generation, kReplyMs)) {
            case WaitEnd::kSendEnded:
                return -1;
            case WaitEnd::kReply:
                break;
            case WaitEnd::kSilent:
            case WaitEnd::kSilentAfterWait:
                stop_with_reason(ctx, "the receiver stopped answering.");
                return -1;
        }
    }

    int32_t length = 0;
    if (handshake && t.handshake_reply == kReplyNak) {
        const uint8_t asked = t.nak_packet;
        const bool can_resend =
            t.last_packet &&
            (t.last_is_first_request || (t.last_packet_length > 4 && t.last_packet[4] == asked));
        if (!can_resend) {
            // Packets are resent one at a time, never rewound.
            stop_with_reason(ctx, "the receiver asked for packet " + std::to_string(asked) +
                                      " again, which is no longer held.");
            return -1;
        }
        if (t.resends_in_a_row >= kMaxResends) {
            stop_with_reason(ctx, "the receiver refused packet " + std::to_string(asked) + " " +
                                      std::to_string(kMaxResends + 1) + " times in a row.");
            return -1;
        }
        ++t.resends_in_a_row;
        t.message_ptr = t.last_packet;
        length = int32_t(t.last_packet_length);
    } else if (t.send_pos < t.current_size) {
        int32_t pos = t.send_pos;
        length = next_sds_message(ctx, pos, nullptr, t.message_ptr, t.name_code,
                                  t.send_name_text ? &t.name_text : nullptr);
        t.send_pos = pos;
        if (length > 0) {
            t.last_packet = t.message_ptr;
            t.last_packet_length = uint32_t(length);
            t.last_is_first_request = false;
            t.resends_in_a_row = 0;
        }
    }
    if (length == 0) t.last_packet = nullptr;
    t.handshake_reply = kReplyNone;
    return length;
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
    t.pieces_handed = 0;
    t.nothing_to_send.clear();
    t.stop_reason.clear();
    t.start_sample_number = ctx.window->sample_number_value();
    t.xruns_at_start = ctx.midi->xrun_count();
    t.send_starting = true;
    t.send_note.clear();
    ctx.window->show_sending(true);
    start_item(ctx);
    return {};
}

namespace {

// send_completion with the send lock held.
void complete_locked(Context& ctx, std::unique_lock<std::mutex>& lock, SysexRequest* request) {
    TransferState& t = ctx.transfer;
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
        finish_sending(ctx, !request);
        return;
    }
    if (t.send_pos > t.current_size) return;

    int32_t length = 0;
    if (t.send_mode == kSendSample) {
        length = next_sample_message(ctx, lock);
        if (length < 0) return;
    } else if (t.send_mode == kSendSysex && t.send_pos < t.current_size) {
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
    if (t.send_mode == kSendSample) {
        // The next sample item gets the next number; finish_sending puts
        // the start number back.
        t.sample_number = ctx.window->sample_number_value();
        ctx.window->set_sample_number(t.sample_number + 1);
    }
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

}  // namespace

void send_completion(Context& ctx, SysexRequest* request) {
    std::unique_lock lock(ctx.transfer.send_mutex);
    complete_locked(ctx, lock, request);
}

void cancel_sending(Context& ctx, std::string reason) {
    TransferState& t = ctx.transfer;
    std::unique_lock lock(t.send_mutex);
    if (t.send_mode != kSendIdle) t.stop_reason = std::move(reason);
    complete_locked(ctx, lock, nullptr);
}

}  // namespace j3
