// The input routine: every message J3 hears passes here, on the MIDI
// service's input thread. The mode is decided once per packet list.
//
// Idle (not receiving), it listens only for the replies a send waits on: the
// receiver's ACK, NAK, WAIT and CANCEL while a sample dump goes out, and the
// instrument's speed report.
//
// Receiving, it keeps every SysEx message as the content of the next received
// entry: sample dump messages are gathered whole, handed to SDS reception
// (sds_receive.h) and answered with ACK or NAK unless "Ignore Handshake" is
// set; other SysEx streams through in chunks of 256 bytes ("Fit." on standard
// output at each cut of a longer message). A finished dump, a new dump
// header, or Stop makes the entry (received_entry.h).
//
// A data packet is the dump's only when it is 127 bytes on the header's
// channel. Every byte no dump takes (an identity reply, another channel's
// packets, any other SysEx) is kept as SysEx: in the dump's entry when dumps
// are kept as SysEx, else beside the sound file, as an entry of its own that
// follows it. A WAV or AIFF dump that ends early is cut to the frames it holds
// and named in the reception's ending.
//
//   idle --start_receiving--> receiving --stop_receiving / 3 rejections in a row--> idle
#pragma once

#include "midi/midi_service.h"

namespace j3 {

struct Context;

// Feeds a packet list to the reception, in either mode; ctx.reception is
// wired. Input thread (or a test's thread).
void midi_read(Context& ctx, const MidiPacketList& packets);

// The Receive command. start_receiving does nothing and returns false while
// no source is chosen; otherwise it empties what an earlier reception may have
// left, turns receiving on and titles the button "Stop!". stop_receiving turns
// it off, sends CANCEL when a dump is in progress, makes the entry of what is
// held (a SysEx message still arriving included, as far as it came) and
// titles the button "Receive". The ending is the reception's outcome
// (reception.h), shown in the receive status. Any thread.
bool start_receiving(Context& ctx);
void stop_receiving(Context& ctx);
// The Receive button: stops a running reception, else starts one. False
// when one should start but no source is chosen.
bool toggle_receiving(Context& ctx);

// Reception from a source that has left, or whose MIDI server has gone, would
// wait for ever: stops it as Stop does (what came is kept as an entry) and
// says why in the receive status. True when it stopped. Called by whatever
// shows the receive status, periodically; any thread.
bool stop_receiving_if_source_gone(Context& ctx);

// The input port's read procedure: midi_read on ctx.
ReadProc midi_read_proc(Context& ctx);

}  // namespace j3
