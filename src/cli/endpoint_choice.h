// How the verbs name an endpoint on the command line: by its position in
// `j3 ports`, by its whole display name, or by a part of exactly one display
// name (any case).
#pragma once

#include <cstdint>
#include <string>

#include "midi/midi_service.h"

namespace j3 {

enum class EndpointKind { kSource, kDestination };

// The 1-based position of the endpoint text names; 0, with a message for the
// user, when there is no such endpoint or the text fits several.
int32_t find_endpoint(MidiService& midi, EndpointKind kind, const std::string& text,
                      std::string& message);

}  // namespace j3
