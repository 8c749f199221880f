// Single-cycle waveform messages for the LY family, built from the loop of an
// audio item: the cycle's spectrum, folded into 1024 bins, tapered and
// normalised, becomes seventeen band-limited, equalised versions (full band
// 1024 ... 4 samples, half band 512 ... 4 samples) of 16-bit words, packed
// into one 7027-byte block message.
//
//     FftTables fft;
//     fft_setup(fft, 16384, kFftAnySize);
//     WaveformBuild b = build_waveform_for_item(fft, data, size, "Saw.wav", kStereoMix, slot);
//     if (b.ok) ... b.message holds the message, b.name the new item name
//
// The window's waveform button (MONO) runs build_waveform_items (engine/);
// `j3 waveform` runs build_waveform_for_item per file.
//
// Threads: the GUI thread (or the command line's only thread). Nothing here
// keeps state between calls; the FFT tables are only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/sample_info.h"
#include "waveform/fft.h"

namespace j3 {

// Message layout: F0 00 20 3C 03 00 5D 01 01 <slot> <4 name bytes>, the packed
// payload, a 14-bit checksum of offsets 10 ... 7021, the length 7017 and F7.
constexpr size_t kWaveformMessageBytes = 7027;
constexpr size_t kWaveformPayloadOffset = 14;
constexpr size_t kWaveformPayloadBytes = 6132;  // 1022 groups of 6 bytes before packing
constexpr size_t kWaveformPackedBytes = 7008;   // 876 groups of 8 bytes after packing
constexpr int32_t kWaveformMaxFrames = 16384;   // longest loop that fits the transform

// Packs 7 bytes into 8: a header byte holding the seven top bits (bit 6 for
// the first byte ... bit 0 for the seventh), then the seven bytes with their
// top bit cleared. A last group of r < 7 bytes gives a header and r bytes;
// when r is 0 the header byte (0) alone. Returns the bytes written,
// 8 * (length / 7) + 1 + length % 7: destination must have that much room.
size_t pack_7bit(const uint8_t* source, uint8_t* destination, size_t length);

// The loop of an audio buffer, checked for a waveform build.
struct WaveformCycle {
    bool ok = false;
    std::string reason;       // why the item does not qualify (UTF-8), when !ok
    int32_t first_frame = 0;  // loop_start
    int32_t frame_count = 0;  // loop_end - loop_start + 1, 2 ... 16384
};

// Parses the buffer into info and checks that it is a WAV, AIFF or AIFC file
// that reads in full, has one or two channels, and whose loop (the whole
// sample when the file has none) starts before it ends, spans 2 to 16384
// frames and lies inside the sample data.
WaveformCycle find_waveform_cycle(const uint8_t* data, size_t size, SampleInfo& info);

// The cycle's frames first_frame ... first_frame + min(count, capacity) - 1 as
// doubles: mono as is, stereo by stereo_choice (0 the mean of both channels,
// 1 left, 2 right; other values left). WAV and AIFF through their double
// readers, AIFC through its own sample conversion. Empty when the buffer does
// not parse or the frames do not lie inside its sample data.
std::optional<std::vector<double>> read_cycle_samples(const uint8_t* data, size_t size,
                                                      int32_t first_frame, int32_t frame_count,
                                                      int32_t stereo_choice, int32_t capacity);

// Folds the spectrum of an n-frame cycle (n values) into 1024 bins: with
// h = 512 for n >= 1024, else n / 2, bins 0 ... h-1 keep harmonics 0 ... h-1
// and bins 1024-h ... 1023 take the negative ones, spectrum bins n-h ... n-1;
// every other bin, and bin 512, is zero. xr and xi hold 1024 values each.
void fold_waveform_bins(const double* sr, const double* si, int32_t n, double* xr, double* xi);

// The seventeen versions as 16-bit words, before they are interleaved and
// packed: full band 1024, 512, ..., 4 samples one after the other (2044
// words), half band 512, ..., 4 samples then two words of 0 (1022 words).
struct WaveformWords {
    std::vector<uint16_t> full;
    std::vector<uint16_t> half;
};
std::optional<WaveformWords> make_waveform_words(const FftTables& fft, const double* samples,
                                                 int32_t n);

// The seventeen versions of the n-frame cycle (1 <= n <= the FFT's maximum
// size), packed: writes kWaveformPackedBytes + 1 bytes at out (the last is the
// packing's final header byte, which the message's checksum overwrites).
// False when a transform fails (tables not set up or too small, no memory);
// out is then unspecified.
bool make_waveform_payload(const FftTables& fft, const double* samples, int32_t n, uint8_t* out);

// Fills out (kWaveformMessageBytes) with the whole message for the loop of
// the audio buffer. slot is taken AND 63; name_word holds the four name
// characters from the highest byte down, each taken AND 127. False when the
// cycle cannot be read or transformed.
bool build_waveform_message(const FftTables& fft, const uint8_t* data, size_t size,
                            int32_t first_frame, int32_t frame_count, int32_t stereo_choice,
                            uint8_t* out, int32_t slot, uint32_t name_word);

// One item's build: the message and the name of the entry that takes it.
struct WaveformBuild {
    bool ok = false;
    // When !ok: the item does not qualify (took_slot false), or it qualified
    // and the build failed (took_slot true: the command numbers it anyway).
    bool took_slot = false;
    std::string reason;            // UTF-8, when !ok
    std::vector<uint8_t> message;  // kWaveformMessageBytes, when ok
    std::string name;              // base name + ".syx", when ok
};

// Builds the message of the given slot for the audio item in data (size
// bytes) whose path or name is file, taking its channels by stereo_choice.
WaveformBuild build_waveform_for_item(const FftTables& fft, const uint8_t* data, size_t size,
                                      std::string_view file, int32_t stereo_choice, int32_t slot);

}  // namespace j3
