#include "audio/sample_picture.h"

#include <algorithm>
#include <bit>
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

// Lanes of the vectorised loop; a multiple of every channel count it serves.
constexpr int kLanes = 16;

void peaks_16_bit(const SampleInfo& info, const FrameSpan& span, int32_t* low, int32_t* high) {
    const int ch = info.channels;
    const uint8_t* p = info.data_start + span.begin * ch * 2;
    const int64_t n = (span.end - span.begin) * ch;  // samples
    int16_t lo[kLanes], hi[kLanes];
    std::fill(lo, lo + kLanes, std::numeric_limits<int16_t>::max());
    std::fill(hi, hi + kLanes, std::numeric_limits<int16_t>::min());
    int64_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        int16_t v[kLanes];
        std::memcpy(v, p + 2 * i, sizeof v);  // the data may lie at any address
        for (int k = 0; k < kLanes; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
        }
    }
    // Lane k holds channel k % ch, since blocks start on a frame.
    for (int k = 0; k < kLanes; ++k) {
        low[k % ch] = std::min<int32_t>(low[k % ch], lo[k]);
        high[k % ch] = std::max<int32_t>(high[k % ch], hi[k]);
    }
    for (; i < n; ++i) {
        int16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        low[i % ch] = std::min<int32_t>(low[i % ch], v);
        high[i % ch] = std::max<int32_t>(high[i % ch], v);
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
            peaks_16_bit(info, span, low.data(), high.data());
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
