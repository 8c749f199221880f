// How the verbs that talk to an instrument name its ports on the line: by
// position, as `j3 ports` lists them, or by a part of the name.
#pragma once

#include <cstdint>
#include <string>

#include "format/result.h"
#include "midi/midi_service.h"

namespace j3 {

// The 1-based position of the source (source set) or destination named by
// text, into position: a position, the whole display name, or a part of
// exactly one display name (any case). False, with the words for the user,
// when there is no such endpoint or several.
Result find_endpoint(MidiService& midi, const std::string& text, bool source, int32_t& position);

}  // namespace j3
