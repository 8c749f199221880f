// The real MIDI service: J3's own JACK client on libjack, RtMidi for the
// ALSA sequencer, and the built-in loopback pair.
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
// The service's lock is never held while any of them waits.
//
// Per-message limits: JACK carries a request of any length, a SysEx message
// longer than 4096 bytes as events of 4096; ALSA up to kAlsaMaxMessageBytes
// (4096: a hardware port drops an event that does not fit its buffer, and
// RtMidi receivers take no event above about 5.5 KB); larger requests to it
// are refused (kSendTooLarge). Requests to a destination that has left, or to
// a JACK server that has gone, are refused too; the send never hangs on a
// lost server. An error the MIDI system reports while taking a message ends
// the request with kSendBackendError, and backend_error() gives its text.
//
// Ports are kept by name: the chosen source and the destination last sent
// to are connected again when a port of that name comes back.
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
