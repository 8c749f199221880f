// The receiver's replies to a sample dump's sender: ACK, NAK and CANCEL, each
// carrying the dump's channel and the current packet number. They go to the
// chosen destination through one request record; a reply asked for while the
// previous one is still with the MIDI service waits behind it, so the record
// is never refilled while the service holds it. Any thread (the input
// thread's replies and the GUI thread's CANCEL at Stop share the queue).
#pragma once

#include <cstdint>

namespace j3 {

struct Context;

// The message's type byte.
enum class ReplyKind : uint8_t { kCancelReply = 0x7D, kNakReply = 0x7E, kAckReply = 0x7F };
using enum ReplyKind;

void send_reply(Context& ctx, ReplyKind kind, uint8_t channel, uint8_t packet);

}  // namespace j3
