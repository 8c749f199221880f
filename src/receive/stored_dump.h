// A sample held in a stored SDS dump (a .syx item of dump messages, as the
// receiver keeps it) turned back into audio, by the same converter that
// writes WAV files while receiving, so the window can show what the dump
// would become.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace j3 {

// The first whole dump of the buffer as a WAV file (with a smpl chunk when
// the dump is looped), or none when the buffer holds no whole dump. Reads no
// further than the end of that dump (and a little beyond); works in memory;
// any thread.
std::optional<std::vector<uint8_t>> first_dump_as_wav(const uint8_t* data, size_t size);

}  // namespace j3
