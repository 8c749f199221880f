// The real MIDI service, on RtMidi.
//
//   auto midi = make_midi_service();   // main creates one and keeps it alive
//   ctx.midi = midi.get();
//   scan_midi(midi, endpoints, read_proc);   // client "J3", its ports, the endpoint names
//
// Endpoints: those of every MIDI API usable at run time, each API opened on
// its own (the ALSA sequencer when it exists, JACK when a server runs; with
// neither, only the loopback pair), then the built-in loopback pair: what is
// sent to the destination "J3 Loopback" comes out of the source of that
// name, paced like a real link. This program's own ports are not listed.
// An endpoint keeps its id across rescans while it keeps its name.
//
// Threads (none of them runs project code but the procedures it is given):
//   link thread       hands each request's bytes to its backend and waits its
//                     wire time at the destination's maximum SysEx speed;
//   completion thread runs every completion procedure, one at a time;
//   input thread      runs the read procedure with what the sources sent;
//                     RtMidi's callbacks (JACK's process thread, RtMidi's
//                     ALSA thread) only queue.
//
// Per-message limits: JACK carries up to kJackMaxMessageBytes (16379, the
// size of RtMidi's ring); ALSA up to kAlsaMaxMessageBytes (4096: a hardware
// port drops an event that does not fit its buffer, and RtMidi receivers take
// no event above about 5.5 KB). Larger requests are refused (kSendTooLarge).
// Requests to a destination that has left, or to a JACK server that has gone,
// are refused too; the send never hangs on a lost server.
//
// Destroy the service after the sends have stopped: requests still held are
// then completed as cancelled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "midi/midi_service.h"

namespace j3 {

constexpr const char* kLoopbackName = "J3 Loopback";
constexpr int kDefaultSysexSpeed = 3125;  // bytes per second: MIDI's 31250 baud
constexpr uint32_t kAlsaMaxMessageBytes = 4096;
constexpr uint32_t kJackMaxMessageBytes = 16379;  // RtMidi's ring: 16383 bytes, 4 for the length

struct MidiServiceOptions {
    bool alsa = true;  // the ALSA sequencer, when built with J3_WITH_ALSA
    bool jack = true;  // a running JACK server, when built with J3_WITH_JACK
};

std::unique_ptr<MidiService> make_midi_service(const MidiServiceOptions& options = {});

// The version of the RtMidi library in use, and of the JACK library (empty
// when built without JACK), for the About box.
std::string rtmidi_version();
std::string jack_library_version();

}  // namespace j3
