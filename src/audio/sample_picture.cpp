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

// Samples of one 16-byte vector; a multiple of every channel count the
// 16-bit path serves (1, 2, 4, 8), so lane k always holds channel k % channels.
constexpr int kLanes = 8;

#if defined(__GNUC__)
// GCC and Clang vectors: one SSE2 / NEON register of 16-bit lanes, with
// element-wise compare and select.
using Lanes = int16_t __attribute__((vector_size(2 * kLanes)));

Lanes load_lanes(const uint8_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);  // the data may lie at any address
    return v;
}
Lanes lanes_min(Lanes a, Lanes b) {
    return a < b ? a : b;
}
Lanes lanes_max(Lanes a, Lanes b) {
    return a > b ? a : b;
}
#endif

// Min and max per channel of 16-bit samples (channels dividing kLanes): one
// pass at memory speed. Four accumulators keep the loads in flight.
void peaks_16_bit(const uint8_t* p, int64_t samples, int ch, int32_t* low, int32_t* high) {
    int16_t lo[kLanes], hi[kLanes];
    std::fill(lo, lo + kLanes, INT16_MAX);
    std::fill(hi, hi + kLanes, INT16_MIN);
    int64_t i = 0;
#if defined(__GNUC__)
    Lanes l0 = load_lanes(reinterpret_cast<const uint8_t*>(lo)), l1 = l0, l2 = l0, l3 = l0;
    Lanes h0 = load_lanes(reinterpret_cast<const uint8_t*>(hi)), h1 = h0, h2 = h0, h3 = h0;
    for (; i + 4 * kLanes <= samples; i += 4 * kLanes) {
        const Lanes a = load_lanes(p + 2 * i), b = load_lanes(p + 2 * i + 16);
        const Lanes c = load_lanes(p + 2 * i + 32), d = load_lanes(p + 2 * i + 48);
        l0 = lanes_min(l0, a);
        h0 = lanes_max(h0, a);
        l1 = lanes_min(l1, b);
        h1 = lanes_max(h1, b);
        l2 = lanes_min(l2, c);
        h2 = lanes_max(h2, c);
        l3 = lanes_min(l3, d);
        h3 = lanes_max(h3, d);
    }
    l0 = lanes_min(lanes_min(l0, l1), lanes_min(l2, l3));
    h0 = lanes_max(lanes_max(h0, h1), lanes_max(h2, h3));
    std::memcpy(lo, &l0, sizeof lo);
    std::memcpy(hi, &h0, sizeof hi);
#endif
    for (; i < samples; ++i) {
        int16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        const int k = int(i % kLanes);
        lo[k] = std::min(lo[k], v);
        hi[k] = std::max(hi[k], v);
    }
    for (int k = 0; k < kLanes; ++k) {
        low[k % ch] = std::min<int32_t>(low[k % ch], lo[k]);
        high[k % ch] = std::max<int32_t>(high[k % ch], hi[k]);
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

    const bool fast = plain_16_bit(info) && kLanes % ch == 0;
    std::vector<int32_t> low(static_cast<size_t>(ch));
    std::vector<int32_t> high(static_cast<size_t>(ch));
    for (int32_t c = 0; c < columns; ++c) {
        const FrameSpan span = column_frames(first, end - first, columns, c);
        std::fill(low.begin(), low.end(), std::numeric_limits<int32_t>::max());
        std::fill(high.begin(), high.end(), std::numeric_limits<int32_t>::min());
        if (fast) {
            peaks_16_bit(info.data_start + span.begin * ch * 2, (span.end - span.begin) * ch, ch,
                         low.data(), high.data());
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
