// JACK, through J3's own client (jack_client.h), opened when a server runs.
// It carries a request of any length (a SysEx message longer than 4096 bytes
// as events of 4096), places each event by frame at the destination's speed
// and can hold a request until an SDS ACK from the connected source lets it
// out. The client is made anew when the server has gone; its xrun and stall
// counts go on across servers. Ports are kept by name: the chosen source and
// the destination last sent to are connected again when a port of that name
// comes back.
#pragma once

#include <memory>
#include <string>

#include "midi/input_pump.h"
#include "midi/midi_backend.h"

namespace j3 {

std::unique_ptr<MidiBackend> make_jack_backend(InputPump& input);

// The version of the JACK library in use, for the About box.
std::string jack_backend_library_version();

}  // namespace j3
