// What an audio reader found in a WAV, AIFF or AIFC file held in memory. The
// readers fill a SampleInfo they are given; pointers point into the buffer
// they read, which must outlive every use of them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace j3 {

// Result of a reader.
enum AudioParseResult : int {
    kParseOk = 1,            // the walk reached the end of the form
    kParseNotContainer = 0,  // no "RIFF" / "FORM" at offset 0
    kParseWrongForm = -1,    // form type at offset 8 is not the expected one
    kParseChunkSize = -2,    // a chunk runs past the end of the form
    kParseUnsupported = -3,  // sample encoding not supported
};

enum FileKind : int32_t { kKindNone = 0, kKindAiff = 1, kKindWav = 2, kKindAifc = 3 };

// AIFC compression types.
enum AifcCompression : int32_t {
    kAifcOther = -1,
    kAifcNone = 0,
    kAifcSowt = 1,
    kAifcFl32 = 2,
    kAifcFl64 = 3,
};

struct SampleInfo {
    int32_t format_code = 0;  // WAV format tag (1 PCM, 3 float); 0x1001 AIFF; 0x1003 AIFC
    int32_t channels = 0;
    int32_t sample_rate = 0;              // Hz
    int32_t bits_per_sample = 0;          // significant bits; float data counts as 24
    int32_t bytes_per_sample = 0;         // container bytes per sample of one channel
    int32_t sample_length = 0;            // frames
    const uint8_t* data_start = nullptr;  // first byte of sample data in the file buffer
    const uint8_t* read_pos = nullptr;    // the packet fillers' read position
    const uint8_t* data_end = nullptr;    // end of the buffer the data lies in (readers stop there)
    int32_t sample_period_ns = 0;
    int32_t loop_present = 0;
    int32_t loop_type = 127;  // 127 none, 0 forward
    int32_t loop_start = 0;   // frames
    int32_t loop_end = 0;     // frames
    int32_t file_kind = kKindNone;
    int32_t aifc_compression = kAifcOther;
};

// Header tests: the 4 bytes at offset 0 and at offset 8; fewer than 12 bytes is not audio.
bool is_wav_file(const uint8_t* data, size_t size);
bool is_aiff_file(const uint8_t* data, size_t size);
bool is_aifc_file(const uint8_t* data, size_t size);
bool is_audio_file(const uint8_t* data, size_t size);

}  // namespace j3
