#include "engine/sds_handshake.h"

#include "audio/sds_encoder.h"
#include "engine/context.h"
#include "format/item_names.h"

namespace j3 {
namespace {

// How a wait for the sample receiver ended.
enum class WaitEnd {
    kReply,            // an ACK or NAK is in handshake_reply
    kSilent,           // the allowance ran out
    kSilentAfterWait,  // the receiver asked to wait and then said nothing more
    kSendEnded,        // Stop, CANCEL or a new send meanwhile
};

constexpr int32_t kProbeMs = 200;  // after an item's header, and after a NAK of it
constexpr int32_t kReplyMs = 65;   // per message once the receiver answers
constexpr int32_t kWaitMs = 5000;  // after each WAIT
// A receiver that keeps refusing the same message would be answered forever.
constexpr int32_t kMaxResends = 10;
constexpr uint64_t kNsPerMs = 1000000;

// next_sds_message (audio/sds_encoder.h) on the send's own encoder, with
// "Device Number" and the item's number, loop and stereo choices.
int32_t next_sds_message(Context& ctx, SendState& t, int32_t& position, int32_t* length)
    J3_REQUIRES(t.send_mutex) {
    SdsItemParams item;
    item.channel = ctx.settings.device_number.load();
    item.sample_number = t.sample_number;
    item.loop_choice = t.current_loop;
    item.stereo_choice = t.current_stereo;
    item.name_code = t.name_code;
    item.name_text = t.send_name_text ? &t.name_text : nullptr;
    return next_sds_message(t.encoder, item, position, length, t.message_ptr);
}

// Waits in rounds of 1 ms for the receiver's reply to the message just
// sent (a reply, a WAIT or the send's end wakes the round at once through
// Clock::wake), up to allowance_ms, and kWaitMs more after each WAIT. A stall of the
// MIDI server during the wait (its cycles stood still, so neither the
// message nor the reply could move) is added to the allowance. Runs unlocked
// (Stop and CANCEL are never kept waiting). Completion thread.
WaitEnd wait_for_reply(Context& ctx, SendState& t, uint64_t generation, int32_t allowance_ms)
    J3_REQUIRES(t.send_mutex) {
    bool waited = false;
    WaitEnd end = WaitEnd::kSilent;
    const auto woken = [&] {
        return t.handshake_reply != kReplyNone || t.wait_received != 0 ||
               t.send_generation != generation;
    };
    uint64_t stall_seen = ctx.midi->stall_ns();
    t.send_mutex.unlock();
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
            const uint64_t stall = ctx.midi->stall_ns();
            if (stall > stall_seen) {
                // Rounded up: a stall of any length gives a round more.
                allowance = int32_t((stall - stall_seen + kNsPerMs - 1) / kNsPerMs);
                stall_seen = stall;
                continue;
            }
            end = waited ? WaitEnd::kSilentAfterWait : WaitEnd::kSilent;
            break;
        }
        ctx.clock->sleep_ms_or_until(1, woken);
    }
    t.send_mutex.lock();
    if (t.send_generation != generation || t.send_mode == kSendIdle) return WaitEnd::kSendEnded;
    return end;
}

// With a receiver that answers every packet and a service that can hold a
// packet for its ACK, the next packet is handed over before the answer to
// the one just sent: the service lets it out in the very MIDI cycle the ACK
// arrives in, instead of a cycle or more later. Then waits for that answer
// as usual. False when this does not apply (nothing was handed over).
bool hand_ahead(Context& ctx, SendState& t, uint64_t generation) J3_REQUIRES(t.send_mutex) {
    if (t.handshake_reply != kReplyNone || ctx.settings.send_delay > 0) return false;
    if (t.last_is_first_request || !t.last_packet || t.last_packet_length != kSdsPacketSize ||
        t.send_pos >= t.current_size)
        return false;
    if (!ctx.midi->can_hold_for_ack(ctx.endpoints.destination_endpoint)) return false;
    const uint8_t answered = t.last_packet[4];
    const int32_t ack = int32_t(t.last_packet[2] & 0x7F) << 7 | answered;
    t.encoder_before = t.encoder;
    t.pos_before = t.send_pos;
    int32_t pos = t.send_pos;
    const int32_t length = next_sds_message(ctx, t, pos, nullptr);
    if (length <= 0) {
        t.encoder = t.encoder_before;
        return false;
    }
    t.send_pos = pos;
    hand_over(ctx, t, length, ack);
    const uint8_t ahead = t.message_ptr[4];
    switch (wait_for_reply(ctx, t, generation, kReplyMs)) {
        case WaitEnd::kSendEnded:
            break;  // the request was cancelled with the send
        case WaitEnd::kReply:
            if (t.handshake_reply == kReplyAck &&
                (t.ack_packet == answered || t.ack_packet == ahead)) {
                // It goes (or went) out with the ACK; a NAK now names it. An
                // ACK of it that came meanwhile stays for the next wait.
                t.last_packet = t.message_ptr;
                t.last_packet_length = uint32_t(length);
                t.resends_in_a_row = 0;
                if (t.ack_packet != ahead) t.handshake_reply = kReplyNone;
                break;
            }
            // A NAK of the packet before it (that one goes again), or an ACK
            // that names another packet, which the service does not take as
            // its own (this one goes plainly): taken back first.
            t.withdrawing = true;
            t.data_request.complete = true;
            break;
        case WaitEnd::kSilent:
        case WaitEnd::kSilentAfterWait:
            stop_with_reason(ctx, t, "the receiver stopped answering.");
            break;
    }
    return true;
}

// The wait for the receiver before the next message, as the handshake
// requires: a packet handed ahead and taken back goes again without one; a
// receiver that answers gets the next packet ahead of its answer where the
// service can hold it; the first answer tells whether it answers at all.
// false: nothing is to be handed over now (the send ended, or a packet is
// already with the service).
bool await_receiver(Context& ctx, SendState& t, bool handshake) J3_REQUIRES(t.send_mutex) {
    const uint64_t generation = t.send_generation;
    if (t.withdrawing) {
        // The packet handed ahead is back unsent: the encoder goes back to
        // the packet the NAK asked for, which is sent again.
        t.withdrawing = false;
        t.encoder = t.encoder_before;
        t.send_pos = t.pos_before;
        return true;
    }
    if (handshake && t.handshake_state == kHandshakeAnswers && hand_ahead(ctx, t, generation))
        return false;
    if (handshake && t.handshake_state == kHandshakeUnknown) {
        // The probe: does the receiver answer at all?
        switch (wait_for_reply(ctx, t, generation, kProbeMs)) {
            case WaitEnd::kSendEnded:
                return false;
            case WaitEnd::kReply:
                // ACK: it answers every message; NAK: still unknown.
                t.handshake_state =
                    t.handshake_reply == kReplyAck ? kHandshakeAnswers : kHandshakeUnknown;
                return true;
            case WaitEnd::kSilent:
                t.handshake_state = kHandshakeSilent;  // open loop from here
                return true;
            case WaitEnd::kSilentAfterWait:
                // It is there (it asked to wait): going on open loop would
                // send to a receiver that is not ready.
                stop_with_reason(ctx, t, "the receiver stopped answering.");
                return false;
        }
    }
    if (handshake && t.handshake_state == kHandshakeAnswers) {
        switch (wait_for_reply(ctx, t, generation, kReplyMs)) {
            case WaitEnd::kSendEnded:
                return false;
            case WaitEnd::kReply:
                return true;
            case WaitEnd::kSilent:
            case WaitEnd::kSilentAfterWait:
                stop_with_reason(ctx, t, "the receiver stopped answering.");
                return false;
        }
    }
    return true;
}

// A NAK: the packet it asks for goes again, if it is the last one sent (or
// the header group, which any NAK before the first packet asks for).
SampleMessage resend_asked_packet(Context& ctx, SendState& t) J3_REQUIRES(t.send_mutex) {
    const uint8_t asked = t.nak_packet;
    const bool can_resend =
        t.last_packet &&
        (t.last_is_first_request || (t.last_packet_length > 4 && t.last_packet[4] == asked));
    if (!can_resend) {
        // Packets are resent one at a time, never rewound.
        stop_with_reason(ctx, t,
                         "the receiver asked for packet " + std::to_string(asked) +
                             " again, which is no longer held.");
        return {SampleStep::kNothingNow};
    }
    if (t.resends_in_a_row >= kMaxResends) {
        stop_with_reason(ctx, t,
                         "the receiver refused packet " + std::to_string(asked) + " " +
                             std::to_string(kMaxResends + 1) + " times in a row.");
        return {SampleStep::kNothingNow};
    }
    ++t.resends_in_a_row;
    t.message_ptr = t.last_packet;
    return {SampleStep::kHandOver, int32_t(t.last_packet_length)};
}

// The item's next packet, kept for a resend; the item is done when there is
// none.
SampleMessage next_packet(Context& ctx, SendState& t) J3_REQUIRES(t.send_mutex) {
    if (t.send_pos >= t.current_size) return {SampleStep::kItemDone};
    int32_t pos = t.send_pos;
    const int32_t length = next_sds_message(ctx, t, pos, nullptr);
    t.send_pos = pos;
    if (length <= 0) return {SampleStep::kItemDone};
    t.last_packet = t.message_ptr;
    t.last_packet_length = uint32_t(length);
    t.last_is_first_request = false;
    t.resends_in_a_row = 0;
    return {SampleStep::kHandOver, length};
}

}  // namespace

SampleMessage start_sample_item(Context& ctx, SendState& t, const std::string& file) {
    // The names the dump carries come from the item's file name. Chosen by
    // the setting alone: an item named ".wav" has an empty base name and
    // still gets its extended header and a name message.
    t.send_mode = kSendSample;
    t.name_code = 0;
    const std::string base = sds_base_name(file);
    t.send_name_text = ctx.settings.extended_sds;
    t.name_text = t.send_name_text ? base : std::string();
    if (ctx.settings.send_filename) t.name_code = sds_name_code(base);

    int32_t pos = 0;
    int32_t size = t.current_size;
    const int32_t length = next_sds_message(ctx, t, pos, &size);
    if (length == 0) {
        // Never passed over in silence: the user would take the send for
        // complete.
        stop_with_reason(ctx, t,
                         "the audio of " + item_base_name(file) + " cannot be read as a sample.");
        return {SampleStep::kNothingNow};
    }
    t.current_size = size;
    t.send_pos = pos;
    // A sample longer than a standard header announces goes out cut: the
    // user hears of it at the end (of the first such item).
    if (t.encoder.file_length > t.encoder.info.sample_length && !t.send_note)
        t.send_note = item_base_name(file) + ": " + sample_cut_note(t.encoder, "Extended SDS");
    // The header group is what a NAK before the first packet asks for
    // again; the previous item's last packet never is.
    t.last_packet = t.message_ptr;
    t.last_packet_length = uint32_t(length);
    t.last_is_first_request = true;
    t.resends_in_a_row = 0;
    return {SampleStep::kHandOver, length};
}

SampleMessage next_sample_message(Context& ctx, SendState& t) {
    const bool handshake = !ctx.settings.ignore_handshake;
    if (!await_receiver(ctx, t, handshake)) return {SampleStep::kNothingNow};
    const SampleMessage next = handshake && t.handshake_reply == kReplyNak
                                   ? resend_asked_packet(ctx, t)
                                   : next_packet(ctx, t);
    if (next.step == SampleStep::kNothingNow) return next;
    if (next.step == SampleStep::kItemDone) t.last_packet = nullptr;
    t.handshake_reply = kReplyNone;
    return next;
}

}  // namespace j3
