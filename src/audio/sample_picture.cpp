#include "audio/sample_picture.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "audio/sample_convert.h"

namespace j3 {
namespace {

// Frames whose bytes lie wholly inside the sample data.
int64_t frames_available(const SampleInfo& info) {
    if (info.data_start == nullptr || info.data_end < info.data_start || info.channels <= 0 ||
        info.bytes_per_sample <= 0) {
        return 0;
    }
    const int64_t frame_bytes = int64_t(info.channels) * info.bytes_per_sample;
    return std::min<int64_t>(info.sample_length, (info.data_end - info.data_start) / frame_bytes);
}

int32_t full_scale_of(const SampleInfo& info) {
    return int32_t(1) << std::clamp(info.bits_per_sample - 1, 0, 30);
}

// Little-endian 16-bit integers whose container holds all 16 bits: the
// word is the stored value, so min and max can run over the raw samples.
bool plain_16_bit(const SampleInfo& info) {
    if (std::endian::native != std::endian::little) return false;
    if (info.bytes_per_sample != 2 || info.bits_per_sample != 16) return false;
    if (info.file_kind == kKindWav) return info.format_code == kWavFormatPcm;
    return info.file_kind == kKindAifc && info.aifc_compression == kAifcSowt;
}

// Samples copied at a time into an aligned local buffer, where the min/max
// loops below vectorise; the copy stays in the first-level cache.
constexpr int64_t kChunkSamples = 1024;

// One or two channels of 16-bit samples: the running min and max of each.
template <int kChannels>
void peaks_16_bit(const uint8_t* p, int64_t samples, int32_t* low, int32_t* high) {
    alignas(64) int16_t buf[kChunkSamples];
    int16_t lo[2] = {INT16_MAX, INT16_MAX};
    int16_t hi[2] = {INT16_MIN, INT16_MIN};
    for (int64_t i = 0; i < samples; i += kChunkSamples) {
        const int64_t n = std::min(kChunkSamples, samples - i);
        std::memcpy(buf, p + 2 * i, size_t(2 * n));  // the data may lie at any address
        // A short last chunk repeats its last frame, which changes no min or
        // max, so the loops below always run a whole chunk (a fixed count the
        // compiler vectorises even at -O2).
        for (int64_t j = n; j < kChunkSamples; ++j) buf[j] = buf[j - kChannels];
        if constexpr (kChannels == 1) {
            int16_t l = lo[0], h = hi[0];
            for (int64_t j = 0; j < kChunkSamples; ++j) {
                const int16_t v = buf[j];
                l = v < l ? v : l;
                h = v > h ? v : h;
            }
            lo[0] = l;
            hi[0] = h;
        } else {
            int16_t l0 = lo[0], h0 = hi[0], l1 = lo[1], h1 = hi[1];
            for (int64_t j = 0; j < kChunkSamples; j += 2) {
                const int16_t a = buf[j], b = buf[j + 1];
                l0 = a < l0 ? a : l0;
                h0 = a > h0 ? a : h0;
                l1 = b < l1 ? b : l1;
                h1 = b > h1 ? b : h1;
            }
            lo[0] = l0;
            hi[0] = h0;
            lo[1] = l1;
            hi[1] = h1;
        }
    }
    for (int c = 0; c < kChannels; ++c) {
        low[c] = std::min<int32_t>(low[c], lo[c]);
        high[c] = std::max<int32_t>(high[c], hi[c]);
    }
}

void peaks_any(const SampleInfo& info, const FrameSpan& span, int32_t* low, int32_t* high) {
    const int ch = info.channels;
    const int64_t bps = info.bytes_per_sample;
    const uint8_t* p = info.data_start + span.begin * ch * bps;
    for (int64_t f = span.begin; f < span.end; ++f) {
        for (int c = 0; c < ch; ++c, p += bps) {
            const int32_t w = read_sample_word(info, p);
            low[c] = std::min(low[c], w);
            high[c] = std::max(high[c], w);
        }
    }
}

}  // namespace

FrameSpan column_frames(int64_t first, int64_t count, int32_t columns, int32_t column) {
    FrameSpan s{first + count * column / columns, first + count * (column + 1) / columns};
    if (s.end <= s.begin) s.end = s.begin + 1;
    return s;
}

SamplePeaks compute_peaks(const SampleInfo& info, int64_t first_frame, int64_t frame_count,
                          int32_t columns) {
    SamplePeaks peaks;
    const int64_t available = frames_available(info);
    const int64_t first = std::clamp<int64_t>(first_frame, 0, available);
    const int64_t end =
        std::clamp<int64_t>(first_frame + std::max<int64_t>(frame_count, 0), first, available);
    if (columns <= 0 || end <= first) return peaks;

    const int32_t ch = info.channels;
    peaks.channels = ch;
    peaks.columns = columns;
    peaks.first_frame = first;
    peaks.frame_count = end - first;
    peaks.full_scale = full_scale_of(info);
    peaks.low.assign(size_t(ch) * size_t(columns), 0);
    peaks.high.assign(size_t(ch) * size_t(columns), 0);

    const bool fast = plain_16_bit(info) && (ch == 1 || ch == 2);
    std::vector<int32_t> low(static_cast<size_t>(ch));
    std::vector<int32_t> high(static_cast<size_t>(ch));
    for (int32_t c = 0; c < columns; ++c) {
        const FrameSpan span = column_frames(first, end - first, columns, c);
        std::fill(low.begin(), low.end(), std::numeric_limits<int32_t>::max());
        std::fill(high.begin(), high.end(), std::numeric_limits<int32_t>::min());
        if (fast) {
            const uint8_t* p = info.data_start + span.begin * ch * 2;
            const int64_t samples = (span.end - span.begin) * ch;
            if (ch == 1) {
                peaks_16_bit<1>(p, samples, low.data(), high.data());
            } else {
                peaks_16_bit<2>(p, samples, low.data(), high.data());
            }
        } else {
            peaks_any(info, span, low.data(), high.data());
        }
        for (int32_t k = 0; k < ch; ++k) {
            peaks.low[size_t(k) * size_t(columns) + size_t(c)] = low[size_t(k)];
            peaks.high[size_t(k) * size_t(columns) + size_t(c)] = high[size_t(k)];
        }
    }
    return peaks;
}

LoopSeam loop_seam(const SampleInfo& info, int32_t loop_start, int32_t loop_end, int32_t frames) {
    LoopSeam seam;
    const int64_t available = frames_available(info);
    if (available <= 0 || frames <= 0) return seam;
    seam.channels = info.channels;
    seam.full_scale = full_scale_of(info);
    const int64_t bps = info.bytes_per_sample;
    const int64_t frame_bytes = int64_t(info.channels) * bps;
    auto append = [&](int64_t from, int64_t to, std::vector<int32_t>& out) {
        for (int64_t f = std::max<int64_t>(from, 0); f < std::min(to, available); ++f) {
            const uint8_t* p = info.data_start + f * frame_bytes;
            for (int32_t c = 0; c < info.channels; ++c)
                out.push_back(read_sample_word(info, p + c * bps));
        }
    };
    const int64_t end = std::min<int64_t>(loop_end, available - 1);
    seam.before_first = std::max<int64_t>(end - frames + 1, 0);
    append(seam.before_first, end + 1, seam.before);
    append(loop_start, int64_t(loop_start) + frames, seam.after);
    return seam;
}

}  // namespace j3
