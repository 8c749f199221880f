// The ALSA sequencer, through RtMidi: one input object (one source connected
// at a time) and one output object, connected to the destination last sent
// to. Opened only where the sequencer device exists.
//
// A request goes to the sequencer as one event, so one of more than
// kAlsaMaxMessageBytes is refused (kSendTooLarge): a hardware port drops an
// event that does not fit its buffer, and RtMidi receivers take no event
// above about 5.5 KB. An error RtMidi reports while taking a message ends the
// request with kSendBackendError, and last_error() gives its text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "midi/input_pump.h"
#include "midi/midi_backend.h"

namespace j3 {

constexpr uint32_t kAlsaMaxMessageBytes = 4096;

std::unique_ptr<MidiBackend> make_alsa_backend(InputPump& input);

// The version of the RtMidi library in use, for the About box.
std::string rtmidi_version();

}  // namespace j3
