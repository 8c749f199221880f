// The input routine: every message J3 hears passes here, on the MIDI
// service's input thread.
//
// Idle (not receiving), it listens only for the replies a send waits on: the
// receiver's ACK, NAK, WAIT and CANCEL while a sample dump goes out, and the
// instrument's speed report.
#pragma once

#include "midi/midi_service.h"

namespace j3 {

struct Context;

void midi_read(Context& ctx, const MidiPacketList& packets);

}  // namespace j3
