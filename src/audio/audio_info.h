// The info text of an audio item, shared by the window and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/sample_info.h"

namespace j3 {

// Which item buttons the text's item qualifies for (the caller has disabled
// all three before).
struct ItemButtons {
    bool loop = false;      // control 13
    bool stereo = false;    // control 14
    bool waveform = false;  // control 19
};

struct AudioInfoText {
    std::string text;  // UTF-8, exactly as the window shows it
    ItemButtons enable;
};

// Runs the reader for the buffer's kind (WAV, AIFF or AIFC) into info and
// returns the info text or the reader's error text. On success the loop button
// is enabled, the stereo button for 2 channels, and the waveform button for a
// loop shorter than 16384 frames with at most 2 channels; on failure none.
// A buffer that is none of the three gives an empty text and no buttons.
// GUI thread for the window (info is the selected item's record, never the SDS
// encoder's copy); any thread with a record of its own.
AudioInfoText audio_info_text(const uint8_t* data, size_t size, SampleInfo& info);

}  // namespace j3
