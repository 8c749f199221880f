// How the port names RtMidi reports become the device and endpoint names the
// user sees, and which ports are this program's own.
#pragma once

#include <string>

#include "midi/midi_service.h"

namespace j3 {

enum class PortNaming { kAlsa, kJack };

// JACK reports "client:port"; ALSA "client:port c:p", with the sequencer's
// client and port numbers appended. The client is the device, the rest (up to
// those numbers) the endpoint; a name without a colon has no device.
EndpointInfo endpoint_info_from_port_name(PortNaming naming, const std::string& full_name);

// A port of this program: named input_port or output_port, on a client named
// client or, when JACK had to make a second client's name unique, "client-NN".
bool is_own_port(const EndpointInfo& info, const std::string& client, const std::string& input_port,
                 const std::string& output_port);

}  // namespace j3
