// The sample half of the send loop: a sample item goes out as a Sample Dump
// Standard dump, and after each message the loop waits for the receiver's
// handshake as it requires (ACK, NAK, WAIT, CANCEL; open loop when it never
// answers). Only the send's own files include this; every function runs
// with the send's lock held.
#pragma once

#include <cstdint>
#include <string>

#include "base/thread_annotations.h"
#include "engine/send_state.h"

namespace j3 {

struct Context;

// What the sample half has for the send loop next.
enum class SampleStep {
    kHandOver,    // the message of `length` bytes at t.message_ptr goes next
    kItemDone,    // the item is done
    kNothingNow,  // the send has ended, or a packet is already with the service
};
struct SampleMessage {
    SampleStep step = SampleStep::kItemDone;
    int32_t length = 0;  // for kHandOver
};

// Sets the item up as a sample dump with the names its file gives it and
// builds its first message group (header, any name messages) at
// t.message_ptr to hand over; kNothingNow when the audio cannot be read (the
// send has then ended with the reason).
SampleMessage start_sample_item(Context& ctx, SendState& t, const std::string& file)
    J3_REQUIRES(t.send_mutex);

// The next message of a sample item: waits for the receiver as the
// handshake requires, resends the packet a NAK names, or builds the next
// packet. Completion thread.
SampleMessage next_sample_message(Context& ctx, SendState& t) J3_REQUIRES(t.send_mutex);

// Defined by the send loop: ends the send with the reason the status line
// gives.
void stop_with_reason(Context& ctx, SendState& t, std::string reason) J3_REQUIRES(t.send_mutex);

// Defined by the send loop: hands the data request over with the piece at
// t.message_ptr; hold_for_ack as SysexRequest::hold_for_ack.
void hand_over(Context& ctx, SendState& t, int32_t length, int32_t hold_for_ack = -1)
    J3_REQUIRES(t.send_mutex);

}  // namespace j3
