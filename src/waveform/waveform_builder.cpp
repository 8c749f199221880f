#include "waveform/waveform_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "audio/audio_info.h"
#include "audio/sample_convert.h"
#include "format/item_names.h"
#include "waveform/waveform_eq_table.h"

namespace j3 {
namespace {

constexpr int32_t kBins = 1024;       // the working spectrum: harmonics -511 ... 511 of the cycle
constexpr int32_t kFullWords = 2044;  // 1024 + 512 + ... + 4
constexpr int32_t kHalfWords = 1022;  // 512 + ... + 4, then two words of 0
// Below this the normalising peak counts as silence and the bins stay as they are.
constexpr double kSilencePeak = 1.0 / 65536.0;

// Version sample (about -1 ... 1) to a 16-bit word: v * 32767 truncated toward
// zero, its low 16 bits. Values past full scale wrap as the instrument's
// format has it; the clamp only keeps the conversion defined for any double.
uint16_t to_word(double v) {
    const double scaled = std::clamp(v * 32767.0, -1e15, 1e15);
    return uint16_t(uint64_t(int64_t(scaled)));
}

// Appends the version of `size` samples (1024, 512, ..., 4) of the normalised
// bins X: bin k gets the gain of its frequency k/size of the playback rate;
// half band keeps bins below size/4 only. 2/step restores the 1024-sample
// version's amplitude, which the smaller inverse transforms (scaled by
// 1/size) would otherwise raise.
bool append_version(const FftTables& fft, const double* xr, const double* xi, int32_t size,
                    bool half_band, std::vector<double>& out) {
    const int32_t step = 2048 / size;
    const int32_t top = half_band ? size / 4 : size / 2;
    std::vector<double> yr(size, 0.0), yi(size, 0.0);
    for (int32_t k = 0; k < top; ++k) {
        const double gain = waveform_eq_table[size_t(k * step)];
        yr[k] = gain * xr[k];
        yi[k] = gain * xi[k];
        if (k >= 1) {
            yr[size - k] = gain * xr[kBins - k];
            yi[size - k] = gain * xi[kBins - k];
        }
    }
    if (fft_transform(fft, yr.data(), yi.data(), size, kFftInverse) != FftStatus::kOk) return false;
    const double scale = 2.0 / double(step);
    for (int32_t m = 0; m < size; ++m) out.push_back(yr[m] * scale);
    return true;
}

std::string format(const char* fmt, long long a, long long b = 0, long long c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, a, b, c);
    return text;
}

}  // namespace

size_t pack_7bit(const uint8_t* source, uint8_t* destination, size_t length) {
    size_t out = 0;
    size_t i = 0;
    for (; i + 7 <= length; i += 7) {
        uint8_t header = 0;
        for (int b = 0; b < 7; ++b) {
            header |= uint8_t((source[i + b] >> 7) << (6 - b));
            destination[out + 1 + b] = source[i + b] & 0x7F;
        }
        destination[out] = header;
        out += 8;
    }
    const size_t rest = length - i;
    uint8_t header = 0;
    for (size_t b = 0; b < rest; ++b) {
        header |= uint8_t((source[i + b] >> 7) << (6 - b));
        destination[out + 1 + b] = source[i + b] & 0x7F;
    }
    destination[out] = header;
    return out + 1 + rest;
}

WaveformCycle find_waveform_cycle(const uint8_t* data, size_t size, SampleInfo& info) {
    WaveformCycle cycle;
    if (!is_audio_file(data, size)) {
        cycle.reason = "not a WAV, AIFF or AIFC file";
        return cycle;
    }
    if (!parse_audio_file(data, size, info)) {
        // The reader's own words, as the window's info text shows them.
        SampleInfo scratch;
        cycle.reason = audio_info_text(data, size, scratch).text;
        std::replace(cycle.reason.begin(), cycle.reason.end(), '\t', ' ');
        return cycle;
    }
    const int64_t span = int64_t(info.loop_end) - info.loop_start;
    if (span < 0) {
        cycle.reason = format("its loop ends (frame %lld) before it starts (frame %lld)",
                              info.loop_end, info.loop_start);
    } else if (span > kWaveformMaxFrames - 1) {
        cycle.reason = format("its loop spans %lld frames; a waveform cycle holds at most %lld",
                              span + 1, kWaveformMaxFrames);
    } else if (info.channels > 2) {
        cycle.reason =
            format("it has %lld channels; a waveform is made from one or two", info.channels);
    } else if (span == 0) {
        cycle.reason = format("its loop holds a single frame (%lld), which makes no waveform",
                              info.loop_start);
    } else if (info.loop_start < 0 || info.loop_end >= info.sample_length) {
        cycle.reason =
            format("its loop (frames %lld to %lld) lies outside the %lld frames of sound",
                   info.loop_start, info.loop_end, info.sample_length);
    } else {
        cycle.ok = true;
        cycle.first_frame = info.loop_start;
        cycle.frame_count = int32_t(span + 1);
    }
    return cycle;
}

std::optional<std::vector<double>> read_cycle_samples(const uint8_t* data, size_t size,
                                                      int32_t first_frame, int32_t frame_count,
                                                      int32_t stereo_choice, int32_t capacity) {
    SampleInfo info;
    if (!parse_audio_file(data, size, info)) return std::nullopt;
    if (info.channels < 1 || info.channels > 2 || first_frame < 0 || frame_count < 1 ||
        capacity < 1) {
        return std::nullopt;
    }
    const int32_t count = std::min(frame_count, capacity);
    // Every frame must lie inside the sample data: a loop past its end is no cycle.
    const int64_t frame_bytes = int64_t(info.channels) * info.bytes_per_sample;
    const int64_t end_frame = int64_t(first_frame) + count;
    if (end_frame > info.sample_length ||
        end_frame * frame_bytes > info.data_end - info.data_start) {
        return std::nullopt;
    }

    double (*read)(const SampleInfo&, const uint8_t*&) = read_wav_sample_double;
    if (info.file_kind == kKindAiff) read = read_aiff_sample_double;
    if (info.file_kind == kKindAifc) read = read_aifc_sample_double;

    std::vector<double> samples(static_cast<size_t>(count));
    const uint8_t* pos = info.data_start + first_frame * frame_bytes;
    for (int32_t i = 0; i < count; ++i) {
        const double left = read(info, pos);
        if (info.channels == 1) {
            samples[size_t(i)] = left;
            continue;
        }
        const double right = read(info, pos);
        samples[size_t(i)] = stereo_choice == 0   ? (left + right) * 0.5
                             : stereo_choice == 2 ? right
                                                  : left;
    }
    return samples;
}

void fold_waveform_bins(const double* sr, const double* si, int32_t n, double* xr, double* xi) {
    const int32_t h = n >= kBins ? kBins / 2 : n / 2;
    std::fill(xr, xr + kBins, 0.0);
    std::fill(xi, xi + kBins, 0.0);
    for (int32_t k = 0; k < h; ++k) {
        xr[k] = sr[k];
        xi[k] = si[k];
        xr[kBins - h + k] = sr[n - h + k];
        xi[kBins - h + k] = si[n - h + k];
    }
    xr[kBins / 2] = xi[kBins / 2] = 0.0;
}

std::optional<WaveformWords> make_waveform_words(const FftTables& fft, const double* samples,
                                                 int32_t n) {
    if (n < 1) return std::nullopt;

    // 1. The cycle's spectrum, without its mean.
    const size_t count = size_t(n);
    std::vector<double> centred(samples, samples + n), sr(count), si(count);
    double mean = 0.0;
    for (double v : centred) mean += v;
    mean /= double(n);
    for (double& v : centred) v -= mean;
    if (fft_real_forward(fft, centred.data(), sr.data(), si.data(), n) != FftStatus::kOk)
        return std::nullopt;

    // 2. Fold into 1024 bins.
    std::vector<double> xr(kBins), xi(kBins);
    fold_waveform_bins(sr.data(), si.data(), n, xr.data(), xi.data());

    // 3. Taper the top harmonics 351 ... 511 down to 1/6561.
    for (int32_t m = 351; m <= 511; ++m) {
        const double f = double(513 - m) / 162.0;
        const double g = f * f;
        xr[size_t(m)] *= g;
        xi[size_t(m)] *= g;
        xr[size_t(kBins - m)] *= g;
        xi[size_t(kBins - m)] *= g;
    }

    // 4. Normalise by the peak of the 1024-sample cycle and the largest gain,
    // so no version leaves full scale by the equalisation alone.
    {
        std::vector<double> cr(xr), ci(xi);
        if (fft_transform(fft, cr.data(), ci.data(), kBins, kFftInverse) != FftStatus::kOk)
            return std::nullopt;
        double peak = 0.0;
        for (double v : cr) peak = std::max(peak, std::abs(v));
        if (peak < kSilencePeak) peak = 1.0;
        const double scale = 1.0 / (peak * kWaveformEqPeak);
        for (size_t k = 0; k < size_t(kBins); ++k) {
            xr[k] *= scale;
            xi[k] *= scale;
        }
    }

    // 5. The versions.
    std::vector<double> full, half;
    full.reserve(kFullWords);
    half.reserve(kHalfWords);
    for (int32_t size = kBins; size >= 4; size /= 2) {
        if (!append_version(fft, xr.data(), xi.data(), size, false, full)) return std::nullopt;
        if (size <= 512 && !append_version(fft, xr.data(), xi.data(), size, true, half)) {
            return std::nullopt;
        }
    }
    half.resize(kHalfWords, 0.0);

    WaveformWords words;
    words.full.resize(kFullWords);
    words.half.resize(kHalfWords);
    std::transform(full.begin(), full.end(), words.full.begin(), to_word);
    std::transform(half.begin(), half.end(), words.half.begin(), to_word);
    return words;
}

bool make_waveform_payload(const FftTables& fft, const double* samples, int32_t n, uint8_t* out) {
    const std::optional<WaveformWords> words = make_waveform_words(fft, samples, n);
    if (!words) return false;
    // 6. Groups of six bytes: A[2j] high, low, H[j] high, A[2j+1] high, low, H[j] low.
    std::vector<uint8_t> payload(kWaveformPayloadBytes);
    for (size_t j = 0; j < size_t(kHalfWords); ++j) {
        const uint16_t a0 = words->full[2 * j];
        const uint16_t a1 = words->full[2 * j + 1];
        const uint16_t hw = words->half[j];
        uint8_t* g = payload.data() + 6 * j;
        g[0] = uint8_t(a0 >> 8);
        g[1] = uint8_t(a0);
        g[2] = uint8_t(hw >> 8);
        g[3] = uint8_t(a1 >> 8);
        g[4] = uint8_t(a1);
        g[5] = uint8_t(hw);
    }
    pack_7bit(payload.data(), out, payload.size());
    return true;
}

bool build_waveform_message(const FftTables& fft, const uint8_t* data, size_t size,
                            int32_t first_frame, int32_t frame_count, int32_t stereo_choice,
                            uint8_t* out, int32_t slot, uint32_t name_word) {
    static constexpr uint8_t kHeader[9] = {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x5D, 0x01, 0x01};
    std::copy(kHeader, kHeader + 9, out);
    out[9] = uint8_t(slot & 63);
    for (int c = 0; c < 4; ++c) out[10 + c] = uint8_t((name_word >> (24 - 8 * c)) & 0x7F);

    const auto samples =
        read_cycle_samples(data, size, first_frame, frame_count, stereo_choice, kWaveformMaxFrames);
    if (!samples) return false;
    if (!make_waveform_payload(fft, samples->data(), int32_t(samples->size()),
                               out + kWaveformPayloadOffset)) {
        return false;
    }

    // Checksum: the 14-bit sum of the name and the payload (offsets 10 ... 7021).
    uint32_t sum = 0;
    for (size_t i = 10; i < kWaveformPayloadOffset + kWaveformPackedBytes; ++i) sum += out[i];
    out[7022] = uint8_t((sum >> 7) & 0x7F);
    out[7023] = uint8_t(sum & 0x7F);
    out[7024] = 0x36;  // length 7017 = 7027 - 10, in two 7-bit groups
    out[7025] = 0x69;
    out[7026] = 0xF7;
    return true;
}

WaveformBuild build_waveform_for_item(const FftTables& fft, const uint8_t* data, size_t size,
                                      std::string_view file, int32_t stereo_choice, int32_t slot) {
    WaveformBuild build;
    SampleInfo info;
    const WaveformCycle cycle = find_waveform_cycle(data, size, info);
    if (!cycle.ok) {
        build.reason = cycle.reason;
        return build;
    }
    build.took_slot = true;
    const std::string base = item_base_name(file);
    std::vector<uint8_t> message(kWaveformMessageBytes);
    if (!build_waveform_message(fft, data, size, cycle.first_frame, cycle.frame_count,
                                stereo_choice, message.data(), slot, item_name_code(base))) {
        build.reason = "the waveform could not be computed";
        return build;
    }
    build.ok = true;
    build.message = std::move(message);
    build.name = base + ".syx";
    return build;
}

}  // namespace j3
