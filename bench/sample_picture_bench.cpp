// The sample view's peaks: min and max per pixel column over a whole item,
// computed once per item and width. The file is a WAV held in memory as the
// list holds it; every page of its sample data is written before timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "audio/sample_info.h"
#include "audio/sample_picture.h"
#include "format/bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A canonical WAV header followed by `seconds` of sample data at 44100 Hz.
Bytes make_wav(int channels, int bits, int seconds) {
    const int bytes = (bits + 7) / 8;
    const uint64_t data_bytes = uint64_t(44100) * uint64_t(seconds) * uint64_t(channels * bytes);
    Bytes w(44 + data_bytes);
    uint8_t* p = w.data();
    std::memcpy(p, "RIFF", 4);
    j3::write_le32(p + 4, uint32_t(w.size() - 8));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    j3::write_le32(p + 16, 16);
    j3::write_le16(p + 20, 1);
    j3::write_le16(p + 22, uint16_t(channels));
    j3::write_le32(p + 24, 44100);
    j3::write_le32(p + 28, uint32_t(44100 * channels * bytes));
    j3::write_le16(p + 32, uint16_t(channels * bytes));
    j3::write_le16(p + 34, uint16_t(bits));
    std::memcpy(p + 36, "data", 4);
    j3::write_le32(p + 40, uint32_t(data_bytes));
    uint32_t seed = 1;
    for (uint64_t i = 44; i < w.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        w[i] = uint8_t(seed >> 24);
    }
    return w;
}

void peaks(benchmark::State& state, const Bytes& file) {
    j3::SampleInfo info;
    if (!j3::parse_audio_file(file.data(), file.size(), info)) {
        state.SkipWithError("the WAV does not parse");
        return;
    }
    const int32_t columns = int32_t(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(j3::compute_peaks(info, 0, info.sample_length, columns));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(info.data_end - info.data_start));
}

const Bytes& hour_stereo_16() {
    static const Bytes file = make_wav(2, 16, 3600);
    return file;
}

// One hour of 16-bit stereo (635 MB): the whole item at 1000 pixels.
void BM_PeaksHourStereo16(benchmark::State& state) {
    peaks(state, hour_stereo_16());
}
BENCHMARK(BM_PeaksHourStereo16)->Arg(1000)->Unit(benchmark::kMillisecond);

// Memory speed for the same bytes: one plain read of every 8-byte word.
void BM_ReadPassHourStereo16(benchmark::State& state) {
    const Bytes& file = hour_stereo_16();
    for (auto _ : state) {
        uint64_t x = 0;
        for (size_t i = 0; i + 8 <= file.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, file.data() + i, 8);
            x ^= w;
        }
        benchmark::DoNotOptimize(x);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_ReadPassHourStereo16)->Unit(benchmark::kMillisecond);

// Ten minutes of 24-bit stereo.
void BM_PeaksTenMinutesStereo24(benchmark::State& state) {
    static const Bytes file = make_wav(2, 24, 600);
    peaks(state, file);
}
BENCHMARK(BM_PeaksTenMinutesStereo24)->Arg(1000)->Unit(benchmark::kMillisecond);

// Every layout the tight loops serve, two minutes of stereo each, beside one
// plain read of the same bytes: the ratio of the two is what to read off.
struct Layout {
    const char* name;
    int32_t file_kind, format_code, aifc_compression, bytes, bits;
};
const Layout kLayouts[] = {
    {"wav8", j3::kKindWav, j3::kWavFormatPcm, j3::kAifcOther, 1, 8},
    {"wav16", j3::kKindWav, j3::kWavFormatPcm, j3::kAifcOther, 2, 16},
    {"wav24", j3::kKindWav, j3::kWavFormatPcm, j3::kAifcOther, 3, 24},
    {"wav32", j3::kKindWav, j3::kWavFormatPcm, j3::kAifcOther, 4, 28},
    {"wavfloat", j3::kKindWav, j3::kWavFormatFloat, j3::kAifcOther, 4, 24},
    {"aiff16", j3::kKindAiff, j3::kFormatAiff, j3::kAifcOther, 2, 16},
    {"aiff24", j3::kKindAiff, j3::kFormatAiff, j3::kAifcOther, 3, 24},
    {"aifcfloat", j3::kKindAifc, j3::kFormatAifc, j3::kAifcFl32, 4, 24},
};

const Bytes& layout_bytes(int bytes) {
    static Bytes by_size[9];
    Bytes& b = by_size[bytes];
    if (b.empty()) {
        b.resize(size_t(44100) * 120 * 2 * size_t(bytes));
        uint32_t seed = 7;
        for (uint8_t& x : b) {
            seed = seed * 1664525u + 1013904223u;
            x = uint8_t(seed >> 24);
        }
    }
    return b;
}

void BM_PeaksLayout(benchmark::State& state) {
    const Layout& l = kLayouts[state.range(0)];
    const Bytes& b = layout_bytes(l.bytes);
    j3::SampleInfo info;
    info.file_kind = l.file_kind;
    info.format_code = l.format_code;
    info.aifc_compression = l.aifc_compression;
    info.bytes_per_sample = l.bytes;
    info.bits_per_sample = l.bits;
    info.channels = 2;
    info.sample_rate = 44100;
    info.sample_length = int32_t(b.size() / size_t(2 * l.bytes));
    info.data_start = b.data();
    info.data_end = b.data() + b.size();
    state.SetLabel(l.name);
    for (auto _ : state)
        benchmark::DoNotOptimize(j3::compute_peaks(info, 0, info.sample_length, 1000));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_PeaksLayout)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

void BM_ReadPassLayout(benchmark::State& state) {
    const Layout& l = kLayouts[state.range(0)];
    const Bytes& b = layout_bytes(l.bytes);
    state.SetLabel(l.name);
    for (auto _ : state) {
        uint64_t x = 0;
        for (size_t i = 0; i + 8 <= b.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, b.data() + i, 8);
            x ^= w;
        }
        benchmark::DoNotOptimize(x);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_ReadPassLayout)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

}  // namespace
