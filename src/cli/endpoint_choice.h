// How the verbs that talk to an instrument name its ports on the line: by
// position, as `j3 ports` lists them, or by a part of the name.
#pragma once

#include <cstdint>
#include <string>

#include "midi/midi_service.h"

namespace j3 {

// The 1-based position of the source (source set) or destination named by
// text: a position, the whole display name, or a part of exactly one display
// name (any case). 0, with a message for the user, when there is no such
// endpoint or several.
int32_t find_endpoint(MidiService& midi, const std::string& text, bool source,
                      std::string& message);

}  // namespace j3
