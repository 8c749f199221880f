#include "waveform/waveform_cycles.h"

#include <algorithm>
#include <bit>

#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

constexpr size_t kFullWords = 2044;
constexpr size_t kHalfWords = 1022;
constexpr uint8_t kWaveformHeader[7] = {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x5D};

bool version_size(int32_t size, int32_t largest) {
    return size >= 4 && size <= largest && std::has_single_bit(uint32_t(size));
}

}  // namespace

size_t unpack_7bit(const uint8_t* source, uint8_t* destination, size_t length) {
    size_t written = 0;
    for (size_t g = 0; g < length; g += 8) {
        const uint8_t top = source[g];
        const size_t n = std::min<size_t>(8, length - g);
        for (size_t j = 1; j < n; ++j) {
            destination[written++] = uint8_t((source[g + j] & 0x7F) | ((top >> (7 - j)) & 1) << 7);
        }
    }
    return written;
}

std::span<const int16_t> WaveformVersions::full_band(int32_t size) const {
    if (!version_size(size, 1024) || full.size() < kFullWords) return {};
    return std::span<const int16_t>(full).subspan(size_t(2048 - 2 * size), size_t(size));
}

std::span<const int16_t> WaveformVersions::half_band(int32_t size) const {
    if (!version_size(size, 512) || half.size() < kHalfWords) return {};
    return std::span<const int16_t>(half).subspan(size_t(1024 - 2 * size), size_t(size));
}

bool is_waveform_message(const uint8_t* message, size_t size) {
    return size >= kWaveformMessageBytes &&
           std::equal(kWaveformHeader, kWaveformHeader + 7, message);
}

std::optional<WaveformVersions> unpack_waveform_message(const uint8_t* message, size_t size) {
    if (!is_waveform_message(message, size)) return std::nullopt;
    WaveformVersions v;
    v.slot = message[9] & 63;
    for (int c = 0; c < 4; ++c) v.name[c] = char(message[10 + c] & 0x7F);
    uint8_t payload[kWaveformPayloadBytes];
    unpack_7bit(message + kWaveformPayloadOffset, payload, kWaveformPackedBytes);
    // Groups of six bytes: A[2j] high, low, H[j] high, A[2j+1] high, low, H[j] low.
    v.full.resize(kFullWords);
    v.half.resize(kHalfWords);
    for (size_t j = 0; j < kHalfWords; ++j) {
        const uint8_t* g = payload + 6 * j;
        v.full[2 * j] = int16_t(uint16_t(g[0] << 8 | g[1]));
        v.half[j] = int16_t(uint16_t(g[2] << 8 | g[5]));
        v.full[2 * j + 1] = int16_t(uint16_t(g[3] << 8 | g[4]));
    }
    return v;
}

}  // namespace j3
