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
// returns the info text or the reader's error text.
AudioInfoText audio_info_text(const uint8_t* data, size_t size, SampleInfo& info);

}  // namespace j3
