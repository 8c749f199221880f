// What an audio reader found in a WAV, AIFF or AIFC file held in memory, and
// the readers themselves.
//
// Usage:
//     SampleInfo info;
//     if (parse_audio_file(entry.data.data(), entry.data.size(), info)) {
//         // info.data_start .. info.data_end is the sample data inside entry.data
//     }
//
// The readers fill a SampleInfo they are given and nothing else, so the window's
// record of the selected item and the SDS encoder's own copy never disturb
// each other. They never copy sample data: data_start, read_pos and data_end
// point into the buffer they read, which must outlive every use of them.
// Readers are plain functions without state; any thread may call them on its
// own SampleInfo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/sample_period.h"

namespace j3 {

// How a reader's walk ended.
enum class AudioParseStatus {
    kOk,            // the walk reached the end of the form; SampleInfo is complete
    kNotContainer,  // no "RIFF" / "FORM" at offset 0
    kWrongForm,     // form type at offset 8 is not the expected one, or the sample
                    // data do not follow exactly one format chunk (fmt / COMM)
    kChunkSize,     // a chunk runs past the end of the form, is too short for its
                    // fields, or the form holds no sample data
    kUnsupported,   // sample encoding not supported (not PCM or float, or a format
                    // chunk with 0 channels, 0 bits or no usable rate)
};

enum FileKind : int32_t { kKindNone = 0, kKindAiff = 1, kKindWav = 2, kKindAifc = 3 };

// AIFC compression types.
enum AifcCompression : int32_t {
    kAifcOther = -1,
    kAifcNone = 0,  // big-endian integers
    kAifcSowt = 1,  // little-endian integers
    kAifcFl32 = 2,  // big-endian 32-bit floats
    kAifcFl64 = 3,  // big-endian 64-bit floats
};

constexpr int32_t kFormatAiff = 0x1001;
constexpr int32_t kFormatAifc = 0x1003;
constexpr int32_t kWavFormatPcm = 1;
constexpr int32_t kWavFormatFloat = 3;

// An SDS sample word holds at most 28 bits. Integer files of 29 to 32 bits are
// recorded with bits_per_sample 28, so the container shift drops their lowest
// bits; float files are recorded as 24 bits.
constexpr int32_t kMaxSampleBits = 28;

struct SampleInfo {
    int32_t format_code = 0;       // WAV format tag (1 PCM, 3 float); 0x1001 AIFF; 0x1003 AIFC
    int32_t channels = 0;          // interleaved samples per frame, >= 1 after a successful walk
    int32_t sample_rate = 0;       // Hz, >= 1 after a successful walk
    int32_t bits_per_sample = 0;   // significant bits, 1 .. 28; float data counts as 24
    int32_t file_bits = 0;         // bits the file states for integer data (1 .. 32); 0 for float
    int32_t bytes_per_sample = 0;  // container bytes per sample of one channel (1 .. 4, 8)
    int32_t sample_length = 0;     // frames
    const uint8_t* data_start = nullptr;    // first byte of sample data in the file buffer
    const uint8_t* read_pos = nullptr;      // the packet fillers' read position
    const uint8_t* data_end = nullptr;      // end of the sample data chunk; nothing reads past it
    int32_t sample_period_ns = 0;           // rounded 10^9 / sample_rate
    int32_t loop_present = 0;               // 1 when the file carried loop data
    int32_t loop_type = 127;                // 127 none, 0 forward; WAV: low 7 bits of its type
    int32_t loop_start = 0;                 // frames
    int32_t loop_end = 0;                   // frames, inclusive
    int32_t file_kind = kKindNone;          // set by a successful walk only
    int32_t aifc_compression = kAifcOther;  // AIFC walks only; others leave it as it was
};

// Header tests: the 4 bytes at offset 0 and at offset 8; fewer than 12 bytes is not audio.
bool is_wav_file(const uint8_t* data, size_t size);
bool is_aiff_file(const uint8_t* data, size_t size);
bool is_aifc_file(const uint8_t* data, size_t size);
bool is_audio_file(const uint8_t* data, size_t size);

// Chunk walks. Each starts by resetting info (all but aifc_compression for the
// WAV and AIFF walks), so after any result the record holds only values of this
// buffer, and data_start / read_pos / data_end are null unless its sample data
// chunk was read. Use the samples only after AudioParseStatus::kOk.
// The readers read nothing outside [data, data + size), whatever the bytes.
AudioParseStatus parse_wav(const uint8_t* data, size_t size, SampleInfo& info);
AudioParseStatus parse_aiff(const uint8_t* data, size_t size, SampleInfo& info);
AudioParseStatus parse_aifc(const uint8_t* data, size_t size, SampleInfo& info);

// The sample rate of an 80-bit IEEE extended number (AIFF's COMM chunk), in Hz
// with fractions dropped. 0 when the number has no usable rate: zero, below
// 1 Hz, 2^31 Hz or more, infinity or not-a-number. Negative numbers give
// negative rates (the readers refuse rates below 1).
int32_t decode_extended_rate(const uint8_t bytes[10]);

// Picks the reader by the header tests. True only when that reader returned
// AudioParseStatus::kOk: a failed walk leaves no sample data to read.
bool parse_audio_file(const uint8_t* data, size_t size, SampleInfo& info);

}  // namespace j3
