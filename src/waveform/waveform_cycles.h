// The cycles a waveform message carries, unpacked for the window's picture:
// the words of the seventeen band-limited versions as the instrument plays
// them. The inverse of the builder's packing (waveform_builder.h).
//
//     if (auto v = unpack_waveform_message(msg, n)) draw(v->full_band(1024));
//
// Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace j3 {

// Unpacks groups of eight 7-bit bytes into seven bytes (the first byte of a
// group holds the seven top bits, bit 6 for the first byte). A last, shorter
// group of 1 + r bytes gives r bytes. Returns the bytes written; destination
// must hold 7 * (length / 8) + max(length % 8 - 1, 0) bytes.
size_t unpack_7bit(const uint8_t* source, uint8_t* destination, size_t length);

struct WaveformVersions {
    int32_t slot = 0;           // 0 ... 63
    char name[5] = {};          // the four name characters, zero-terminated
    std::vector<int16_t> full;  // 1024, 512, ..., 4 samples, one after the other
    std::vector<int16_t> half;  // 512, ..., 4 samples, then two words of 0

    // The full-band version of size samples (1024, 512, ..., 4), or empty.
    std::span<const int16_t> full_band(int32_t size) const;
    // The half-band version of size samples (512, ..., 4), or empty.
    std::span<const int16_t> half_band(int32_t size) const;
};

// True when the message (size bytes from its F0) is a whole LY waveform
// message: its header F0 00 20 3C 03 00 5D and at least the 7027 bytes the
// layout has. The checksum is not looked at: a broken message still shows
// what it carries.
bool is_waveform_message(const uint8_t* message, size_t size);

// The versions a waveform message carries, or none when it is not one.
std::optional<WaveformVersions> unpack_waveform_message(const uint8_t* message, size_t size);

}  // namespace j3
