// The send loop: sends the queued items to the chosen destination one after
// the other, a SysEx item message by message, with one request in flight.
//
//   idle --start_sending--> sending --(each completion: next piece, next item)--> ... --> idle
//
// Stop (the Send command while sending) and a receiver's CANCEL call
// send_completion with no request; both lead to idle from any point.
#pragma once

#include <cstdint>
#include <string>

#include "engine/transfer_state.h"
#include "format/result.h"
#include "midi/midi_service.h"

namespace j3 {

struct Context;

// Starts sending the items of the current selection (GUI thread). The caller
// has checked that a destination is chosen and refresh_selection returned at
// least 1. Fails when the previous send's last request is still held by the
// service (it is being cancelled); try again a moment later.
Result start_sending(Context& ctx);

// The completion procedure of data_request, and Stop/CANCEL with request ==
// nullptr. Runs on the MIDI service's completion thread (or the GUI thread for
// Stop, the input thread for CANCEL); may pause there for "Delay".
void send_completion(Context& ctx, SysexRequest* request);

// Ends a running send from outside with the reason the status line gives
// ("Stopped: " + reason), e.g. the sample receiver's CANCEL. Any thread.
void cancel_sending(Context& ctx, std::string reason);

// Stop: the Send command while a send runs.
inline void stop_sending(Context& ctx) {
    send_completion(ctx, nullptr);
}

}  // namespace j3
