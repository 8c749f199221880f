// The MIDI systems J3 opens, and the real MIDI service made over them.
//
//   auto midi = make_midi_service();   // main creates one and keeps it alive
//   ctx.midi = midi.get();
//   scan_midi(midi, endpoints, read_proc);   // client "J3", its ports, the endpoint names
//
// Endpoints, in this order: those of every MIDI system usable at run time,
// each opened on its own (the ALSA sequencer when it exists, alsa_backend.h;
// JACK when a server runs, jack_backend.h), then the built-in loopback pair
// (loopback_backend.h), paced like a real link. With no system, only the
// loopback pair. How the service routes to them: routing_service.h.
//
// Threads (none of them runs project code but the procedures it is given):
//   link thread       hands each request's bytes to its backend: to JACK as
//                     events placed by frame, then waits until the last is
//                     out (see jack_client.h); to ALSA and the loopback once
//                     the wire is free of the request before, then waits its
//                     wire time at the destination's maximum SysEx speed. A
//                     request whose next one follows at once
//                     (SysexRequest::queue_next) is handed back sooner, so
//                     the next one is ready when the wire is free;
//   completion thread runs every completion procedure, one at a time;
//   input thread      runs the read procedure with what the sources sent, as
//                     it arrives (from JACK event by event, SysEx fragments
//                     included); backend callbacks (JACK's process thread,
//                     RtMidi's ALSA thread) only queue.
// No lock of the service or its backends is held while any of them waits.
//
// Requests to a destination that has left, or to a server that has gone, are
// refused; the send never hangs on a lost server.
#pragma once

#include <memory>
#include <string>

#include "midi/alsa_backend.h"
#include "midi/loopback_backend.h"
#include "midi/midi_service.h"
#include "midi/routing_service.h"

namespace j3 {

struct MidiServiceOptions {
    bool alsa = true;  // the ALSA sequencer, when built with J3_WITH_ALSA
    bool jack = true;  // a running JACK server, when built with J3_WITH_JACK
};

std::unique_ptr<MidiService> make_midi_service(const MidiServiceOptions& options = {});

// The version of the JACK library, empty when built without JACK, for the
// About box (rtmidi_version() gives RtMidi's).
std::string jack_library_version();

}  // namespace j3
