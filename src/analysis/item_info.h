// The info text of a selected item and the state of the item buttons, for
// every kind of item: instrument SysEx, audio files and SDS dumps. The window
// (show_item_info in engine/) and the command line (`j3 info`) both use item_info_for_buffer,
// so they show the same words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/audio_info.h"
#include "audio/sample_info.h"

namespace j3 {

struct ItemInfo {
    // False when the item leaves the info text as it was (a PW buffer without
    // upgrade data); text is then empty.
    bool sets_text = true;
    std::string text;    // UTF-8, exactly as the window shows it
    ItemButtons enable;  // buttons to enable again after all three were disabled
};

// The first analysis whose test holds, in this order: device ids 02 (KX),
// 03 (LY), 05 (PW), 06 (ZB), 07, 01 ("TALVOMATIC"), a WAV, AIFF or AIFC file
// (the audio readers fill info), an SDS dump header at offset 0. A buffer that
// passes no test gets an empty text. Reads only inside the buffer.
ItemInfo item_info_for_buffer(const uint8_t* data, size_t size, SampleInfo& info);
// The same, with device_ids_present(data, size) found already (by a caller
// that read the bytes a piece at a time).
ItemInfo item_info_for_buffer(const uint8_t* data, size_t size, SampleInfo& info,
                              uint32_t device_ids);

}  // namespace j3
