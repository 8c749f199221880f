#include "audio/sample_picture.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "audio/sample_convert.h"

// The per-layout loops are compiled twice on x86-64 with GCC: for AVX2 (whose
// byte shuffles regroup 24-bit and big-endian samples in one instruction) and
// for the baseline; the loader picks the one the processor runs. Not under
// ThreadSanitizer, whose instrumented code cannot run in the loader's choice.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define J3_PEAKS_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define J3_PEAKS_LOOP
#endif

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

// One stored layout: Key is a value whose order is the order of the words
// (every word conversion only shifts, clamps or scales, never turns back),
// so the loop keeps the smallest and largest keys and converts just those,
// by writing them back in the file's layout and reading them the usual way.
#if defined(__GNUC__)
#define J3_PEAKS_VECTORS 1
using I16x8 = int16_t __attribute__((vector_size(16)));
using I32x4 = int32_t __attribute__((vector_size(16)));
using F32x4 = float __attribute__((vector_size(16)));
using U8x16 = uint8_t __attribute__((vector_size(16)));
using I8x16 = int8_t __attribute__((vector_size(16)));

U8x16 load16(const uint8_t* p) {
    U8x16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename V>
V as(U8x16 v) {
    V r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}
// Four 3-byte samples (12 of the 16 bytes at p) as 32-bit lanes holding
// value * 256, shifted back to the value.
I32x4 load_24x4(const uint8_t* p, bool big_endian) {
    const U8x16 b = load16(p);
    const U8x16 v =
        big_endian
            ? __builtin_shufflevector(b, b, 2, 2, 1, 0, 5, 5, 4, 3, 8, 8, 7, 6, 11, 11, 10, 9)
            : __builtin_shufflevector(b, b, 0, 0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11);
    return as<I32x4>(v) >> 8;
}
U8x16 swap_16(U8x16 b) {
    return __builtin_shufflevector(b, b, 1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
}
U8x16 swap_32(U8x16 b) {
    return __builtin_shufflevector(b, b, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
}
#endif

template <typename K, int Bytes, bool BigEndian>
struct IntLayout {
    using Key = K;
    static constexpr int kBytes = Bytes;
#if defined(J3_PEAKS_VECTORS)
    // Keys of one 16-byte step: 16 of 8 bits, 8 of 16 bits, 4 of 24 or 32 bits.
    static constexpr bool kVector = true;
    static constexpr int kVectorLanes = Bytes == 1 ? 16 : Bytes == 2 ? 8 : 4;
    using Vector =
        std::conditional_t<Bytes == 1, std::conditional_t<std::is_unsigned_v<K>, U8x16, I8x16>,
                           std::conditional_t<Bytes == 2, I16x8, I32x4>>;
    static Vector load_vector(const uint8_t* p) {
        if constexpr (Bytes == 1) return as<Vector>(load16(p));
        if constexpr (Bytes == 3) return load_24x4(p, BigEndian);
        if constexpr (Bytes == 2) return as<I16x8>(BigEndian ? swap_16(load16(p)) : load16(p));
        if constexpr (Bytes == 4) return as<I32x4>(BigEndian ? swap_32(load16(p)) : load16(p));
        return Vector{};
    }
#else
    static constexpr bool kVector = false;
#endif
    static Key load(const uint8_t* p) {
        uint32_t u = 0;
        for (int i = 0; i < Bytes; ++i) u |= uint32_t(p[BigEndian ? Bytes - 1 - i : i]) << (8 * i);
        if constexpr (std::is_unsigned_v<K>) return Key(u);
        constexpr int unused = 32 - 8 * Bytes;
        return Key(int32_t(u << unused) >> unused);
    }
    static void store(Key k, uint8_t* p) {
        const uint32_t u = uint32_t(int64_t(k));
        for (int i = 0; i < Bytes; ++i) p[BigEndian ? Bytes - 1 - i : i] = uint8_t(u >> (8 * i));
    }
};

template <typename U>
U swap_bytes(U u) {
    U r = 0;
    for (size_t i = 0; i < sizeof(U); ++i) r = U(r << 8) | U((u >> (8 * i)) & 0xFF);
    return r;
}

// Floats: everything below -1, and not-a-number, gives the word of -1.
template <typename F, bool BigEndian>
struct FloatLayout {
    using Key = F;
    using Bits = std::conditional_t<sizeof(F) == 4, uint32_t, uint64_t>;
    static constexpr int kBytes = sizeof(F);
#if defined(J3_PEAKS_VECTORS)
    static constexpr bool kVector = sizeof(F) == 4;
    static constexpr int kVectorLanes = 4;
    using Vector = F32x4;
    static Vector load_vector(const uint8_t* p) {
        const F32x4 v = as<F32x4>(BigEndian ? swap_32(load16(p)) : load16(p));
        const F32x4 floor = {-1.0f, -1.0f, -1.0f, -1.0f};
        return v >= floor ? v : floor;
    }
#else
    static constexpr bool kVector = false;
#endif
    static Key load(const uint8_t* p) {
        Bits u;
        std::memcpy(&u, p, sizeof u);
        if (BigEndian == (std::endian::native == std::endian::little)) u = swap_bytes(u);
        const F v = std::bit_cast<F>(u);
        return v >= F(-1) ? v : F(-1);
    }
    static void store(Key k, uint8_t* p) {
        Bits u = std::bit_cast<Bits>(k);
        if (BigEndian == (std::endian::native == std::endian::little)) u = swap_bytes(u);
        std::memcpy(p, &u, sizeof u);
    }
};

// The words of each channel's smallest and largest key, merged into low and high.
template <typename Layout>
void convert_extremes(const SampleInfo& info, int ch, const typename Layout::Key* lo,
                      const typename Layout::Key* hi, int32_t* low, int32_t* high) {
    for (int c = 0; c < ch; ++c) {
        uint8_t bytes[8];
        Layout::store(lo[c], bytes);
        low[c] = std::min(low[c], read_sample_word(info, bytes));
        Layout::store(hi[c], bytes);
        high[c] = std::max(high[c], read_sample_word(info, bytes));
    }
}

#if defined(__GNUC__)
// The loops below are parts of peaks_layout: inlined, they are built for each
// of its target clones.
#define J3_PEAKS_PART [[gnu::always_inline]] inline
#else
#define J3_PEAKS_PART inline
#endif

#if defined(J3_PEAKS_VECTORS)
// Samples in order, lane k of every step holding channel k % ch (ch divides
// the lanes); four steps per round keep the loads in flight. The last step of
// a round reads up to 4 bytes past its samples, so rounds stop a step short
// of the end. False, with nothing read, when the span is too short or the
// channels do not divide the lanes.
template <typename Layout>
J3_PEAKS_PART bool peaks_vector(const uint8_t* p, int64_t samples, int ch, typename Layout::Key* lo,
                                typename Layout::Key* hi) {
    using Key = typename Layout::Key;
    using Vector = typename Layout::Vector;
    constexpr int B = Layout::kBytes;
    constexpr int L = Layout::kVectorLanes;
    if (L % ch != 0 || samples < 5 * L) return false;
    Vector l0 = Layout::load_vector(p), l1 = l0, l2 = l0, l3 = l0;
    Vector h0 = l0, h1 = l0, h2 = l0, h3 = l0;
    int64_t i = 0;
    for (; i + 5 * L <= samples; i += 4 * L) {
        const Vector a = Layout::load_vector(p + i * B);
        const Vector b = Layout::load_vector(p + (i + L) * B);
        const Vector c = Layout::load_vector(p + (i + 2 * L) * B);
        const Vector d = Layout::load_vector(p + (i + 3 * L) * B);
        l0 = a < l0 ? a : l0;
        h0 = a > h0 ? a : h0;
        l1 = b < l1 ? b : l1;
        h1 = b > h1 ? b : h1;
        l2 = c < l2 ? c : l2;
        h2 = c > h2 ? c : h2;
        l3 = d < l3 ? d : l3;
        h3 = d > h3 ? d : h3;
    }
    l0 = l0 < l1 ? l0 : l1;
    l2 = l2 < l3 ? l2 : l3;
    l0 = l0 < l2 ? l0 : l2;
    h0 = h0 > h1 ? h0 : h1;
    h2 = h2 > h3 ? h2 : h3;
    h0 = h0 > h2 ? h0 : h2;
    for (int k = 0; k < L; ++k) {
        const int c = k % ch;
        lo[c] = l0[k] < lo[c] ? Key(l0[k]) : lo[c];
        hi[c] = h0[k] > hi[c] ? Key(h0[k]) : hi[c];
    }
    for (; i < samples; ++i) {
        const Key k = Layout::load(p + i * B);
        const int c = int(i % ch);
        lo[c] = k < lo[c] ? k : lo[c];
        hi[c] = k > hi[c] ? k : hi[c];
    }
    return true;
}
#endif

// One frame at a time, with the one- and two-channel loops unrolled.
template <typename Layout, int Ch>
J3_PEAKS_PART void peaks_scalar(const uint8_t* p, int64_t frames, int ch, typename Layout::Key* lo,
                                typename Layout::Key* hi) {
    using Key = typename Layout::Key;
    constexpr int B = Layout::kBytes;
    const Key first = lo[0];
    if constexpr (Ch == 1) {
        Key l = first, h = first;
        for (int64_t f = 0; f < frames; ++f) {
            const Key k = Layout::load(p + f * B);
            l = k < l ? k : l;
            h = k > h ? k : h;
        }
        lo[0] = l, hi[0] = h;
    } else if constexpr (Ch == 2) {
        Key l0 = first, h0 = first, l1 = Layout::load(p + B), h1 = l1;
        for (int64_t f = 0; f < frames; ++f) {
            const Key a = Layout::load(p + f * 2 * B), b = Layout::load(p + f * 2 * B + B);
            l0 = a < l0 ? a : l0;
            h0 = a > h0 ? a : h0;
            l1 = b < l1 ? b : l1;
            h1 = b > h1 ? b : h1;
        }
        lo[0] = l0, hi[0] = h0, lo[1] = l1, hi[1] = h1;
    } else {
        for (int c = 0; c < ch; ++c) lo[c] = hi[c] = Layout::load(p + c * B);
        for (int64_t f = 0; f < frames; ++f) {
            for (int c = 0; c < ch; ++c) {
                const Key k = Layout::load(p + (f * ch + c) * B);
                lo[c] = k < lo[c] ? k : lo[c];
                hi[c] = k > hi[c] ? k : hi[c];
            }
        }
    }
}

// Min and max word per channel over a span, one tight loop per layout;
// Ch is the channel count, or 0 for any count up to kLanes.
template <typename Layout, int Ch>
J3_PEAKS_LOOP void peaks_layout(const SampleInfo& info, const FrameSpan& span, int32_t* low,
                                int32_t* high) {
    using Key = typename Layout::Key;
    constexpr int B = Layout::kBytes;
    const int ch = Ch ? Ch : std::clamp(info.channels, 1, kLanes);  // chosen for these only
    const uint8_t* p = info.data_start + span.begin * ch * B;
    const int64_t frames = span.end - span.begin;
    Key lo[kLanes], hi[kLanes];
    // Each channel starts from its own first sample.
    for (int c = 0; c < ch; ++c) lo[c] = hi[c] = Layout::load(p + c * B);
    bool done = false;
#if defined(J3_PEAKS_VECTORS)
    if constexpr (Layout::kVector) done = peaks_vector<Layout>(p, frames * ch, ch, lo, hi);
#endif
    if (!done) peaks_scalar<Layout, Ch>(p, frames, ch, lo, hi);
    convert_extremes<Layout>(info, ch, lo, hi, low, high);
}

using PeaksRoutine = void (*)(const SampleInfo&, const FrameSpan&, int32_t*, int32_t*);

template <typename Layout>
PeaksRoutine routine_for_channels(int channels) {
    if (channels == 1) return peaks_layout<Layout, 1>;
    if (channels == 2) return peaks_layout<Layout, 2>;
    if (channels <= kLanes) return peaks_layout<Layout, 0>;
    return peaks_any;
}

// The tight loop for the record's layout, or the general one.
PeaksRoutine peaks_routine(const SampleInfo& info) {
    const int ch = info.channels;
    const int bytes = info.bytes_per_sample;
    const bool wav_int = info.file_kind == kKindWav && info.format_code == kWavFormatPcm;
    const bool wav_float = info.file_kind == kKindWav && info.format_code == kWavFormatFloat;
    const bool sowt = info.file_kind == kKindAifc && info.aifc_compression == kAifcSowt;
    const bool big = info.file_kind == kKindAiff ||
                     (info.file_kind == kKindAifc && info.aifc_compression == kAifcNone);
    if (wav_int || sowt) {
        // 8-bit data is unsigned in both.
        if (bytes == 1) return routine_for_channels<IntLayout<uint8_t, 1, false>>(ch);
        if (bytes == 2) return routine_for_channels<IntLayout<int16_t, 2, false>>(ch);
        if (bytes == 3) return routine_for_channels<IntLayout<int32_t, 3, false>>(ch);
        if (bytes == 4) return routine_for_channels<IntLayout<int32_t, 4, false>>(ch);
    }
    if (big) {
        if (bytes == 1) return routine_for_channels<IntLayout<int8_t, 1, true>>(ch);
        if (bytes == 2) return routine_for_channels<IntLayout<int16_t, 2, true>>(ch);
        if (bytes == 3) return routine_for_channels<IntLayout<int32_t, 3, true>>(ch);
        if (bytes == 4) return routine_for_channels<IntLayout<int32_t, 4, true>>(ch);
    }
    if (wav_float && bytes == 4) return routine_for_channels<FloatLayout<float, false>>(ch);
    if (wav_float && bytes == 8) return routine_for_channels<FloatLayout<double, false>>(ch);
    if (info.file_kind == kKindAifc && info.aifc_compression == kAifcFl32 && bytes == 4)
        return routine_for_channels<FloatLayout<float, true>>(ch);
    if (info.file_kind == kKindAifc && info.aifc_compression == kAifcFl64 && bytes == 8)
        return routine_for_channels<FloatLayout<double, true>>(ch);
    return peaks_any;
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
    const PeaksRoutine routine = peaks_routine(info);
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
            routine(info, span, low.data(), high.data());
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
