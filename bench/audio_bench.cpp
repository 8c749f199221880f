// Audio readers and packet fillers.
//
// BM_Parse*: a walk costs the same whatever the size of the sample data, since
// it skips the data chunk by its size field. The file sits in one uninitialised
// allocation of the given size; only its header and the chunk after the data
// are written, so a 1 GiB file touches a few pages.
//
// BM_Fill*: one SDS data packet's words (60, 40 or 30 frames by the bit depth)
// per call; allocs_per_call counts operator new calls inside the timed loop.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "audio/sample_convert.h"
#include "audio/sample_info.h"
#include "engine/settings.h"
#include "format/bytes.h"

namespace {

std::atomic<int64_t> g_allocations{0};

}  // namespace

// Counting replacements of the global allocation functions. GCC takes the
// free() of a pointer from operator new for a mismatch; here both are ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using namespace j3;

// A file of total_size bytes: header chunks, one data chunk filling the rest
// but for a trailing loop chunk, so the walk has to step over the data.
struct BigFile {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size;
};

BigFile big_wav(size_t total_size) {
    BigFile f{std::unique_ptr<uint8_t[]>(new uint8_t[total_size]), total_size};
    uint8_t* p = f.bytes.get();
    const size_t smpl_bytes = 8 + 60;
    const size_t data_bytes = total_size - 12 - 24 - 8 - smpl_bytes;
    std::memcpy(p, "RIFF", 4);
    write_le32(p + 4, uint32_t(total_size - 8));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    write_le32(p + 16, 16);
    write_le16(p + 20, 1);
    write_le16(p + 22, 2);
    write_le32(p + 24, 44100);
    write_le32(p + 28, 44100 * 4);
    write_le16(p + 32, 4);
    write_le16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    write_le32(p + 40, uint32_t(data_bytes));
    uint8_t* smpl = p + 44 + data_bytes;
    std::memset(smpl, 0, smpl_bytes);
    std::memcpy(smpl, "smpl", 4);
    write_le32(smpl + 4, 60);
    write_le32(smpl + 8 + 28, 1);   // one loop
    write_le32(smpl + 8 + 44, 10);  // from frame 10
    write_le32(smpl + 8 + 48, 99);  // to frame 99
    return f;
}

BigFile big_aiff(size_t total_size) {
    BigFile f{std::unique_ptr<uint8_t[]>(new uint8_t[total_size]), total_size};
    uint8_t* p = f.bytes.get();
    const size_t tail_bytes = 8 + 20 + 8 + 2 + 2 * 8;  // INST and MARK with two markers
    const size_t ssnd_bytes = total_size - 12 - 26 - 8 - tail_bytes;
    std::memcpy(p, "FORM", 4);
    write_be32(p + 4, uint32_t(total_size - 8));
    std::memcpy(p + 8, "AIFFCOMM", 8);
    write_be32(p + 16, 18);
    write_be16(p + 20, 2);
    write_be32(p + 22, uint32_t((ssnd_bytes - 8) / 4));
    write_be16(p + 26, 16);
    const uint8_t rate[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    std::memcpy(p + 28, rate, 10);
    std::memcpy(p + 38, "SSND", 4);
    write_be32(p + 42, uint32_t(ssnd_bytes));
    std::memset(p + 46, 0, 8);
    uint8_t* t = p + 46 + ssnd_bytes;
    std::memset(t, 0, tail_bytes);
    std::memcpy(t, "INST", 4);
    write_be32(t + 4, 20);
    write_be16(t + 8 + 8, 1);   // sustain: forward
    write_be16(t + 8 + 10, 1);  // begin marker
    write_be16(t + 8 + 12, 2);  // end marker
    t += 28;
    std::memcpy(t, "MARK", 4);
    write_be32(t + 4, 2 + 2 * 8);
    write_be16(t + 8, 2);
    write_be16(t + 10, 1);
    write_be32(t + 12, 10);
    write_be16(t + 18, 2);
    write_be32(t + 20, 99);
    return f;
}

template <BigFile (*Make)(size_t), AudioParseStatus (*Parse)(const uint8_t*, size_t, SampleInfo&)>
void BM_Parse(benchmark::State& state) {
    const BigFile file = Make(size_t(state.range(0)));
    SampleInfo info;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Parse(file.bytes.get(), file.size, info));
    }
    if (info.loop_start != 10 || info.loop_end != 99) state.SkipWithError("loop not found");
}

constexpr int64_t kKiB = 1 << 10;
constexpr int64_t kGiB = int64_t(1) << 30;

BENCHMARK(BM_Parse<big_wav, parse_wav>)
    ->Name("BM_ParseWav")
    ->Arg(4 * kKiB)
    ->Arg(kGiB / 1024)
    ->Arg(kGiB);
BENCHMARK(BM_Parse<big_aiff, parse_aiff>)
    ->Name("BM_ParseAiff")
    ->Arg(4 * kKiB)
    ->Arg(kGiB / 1024)
    ->Arg(kGiB);

// A second of noise in the given sample layout.
struct FillCase {
    std::vector<uint8_t> bytes;
    SampleInfo info;
    int32_t words_per_packet;
};

FillCase fill_case(int32_t format_code, int32_t channels, int32_t bits, int32_t bytes_per_sample,
                   int32_t compression) {
    FillCase c;
    const int32_t frames = 44100;
    c.bytes.resize(size_t(frames * channels * bytes_per_sample));
    uint32_t x = 12345;
    for (auto& b : c.bytes) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    // Floats must be in range to take the common path, not the limiter.
    if (format_code == kWavFormatFloat) {
        for (size_t i = 0; i + 4 <= c.bytes.size(); i += 4) {
            const float v = std::sin(float(i) * 0.001f) * 0.9f;
            std::memcpy(&c.bytes[i], &v, 4);
        }
    }
    SampleInfo& info = c.info;
    info.format_code = format_code;
    info.channels = channels;
    info.bits_per_sample = bits;
    info.bytes_per_sample = bytes_per_sample;
    info.sample_length = frames;
    info.data_start = info.read_pos = c.bytes.data();
    info.data_end = c.bytes.data() + c.bytes.size();
    info.aifc_compression = compression;
    c.words_per_packet = bits <= 14 ? 60 : bits <= 21 ? 40 : 30;
    return c;
}

using Filler = const uint8_t* (*)(const SampleInfo&, int32_t, const uint8_t*, int32_t, int32_t,
                                  PacketWords&);

void run_fill(benchmark::State& state, const FillCase& c, Filler filler, int32_t stereo_choice) {
    PacketWords words{};
    const uint8_t* pos = c.info.data_start;
    int32_t frame = 0;
    const int64_t before = g_allocations.load();
    for (auto _ : state) {
        pos = filler(c.info, stereo_choice, pos, frame, c.words_per_packet, words);
        benchmark::DoNotOptimize(words.data());
        frame += c.words_per_packet;
        if (frame >= c.info.sample_length) {
            frame = 0;
            pos = c.info.data_start;
        }
    }
    const int64_t allocations = g_allocations.load() - before;
    state.counters["allocs_per_call"] =
        benchmark::Counter(double(allocations) / double(state.iterations()));
    state.SetItemsProcessed(int64_t(state.iterations()) * c.words_per_packet);
}

void BM_FillWav16StereoMix(benchmark::State& state) {
    run_fill(state, fill_case(kWavFormatPcm, 2, 16, 2, kAifcOther), fill_packet_words_wav,
             kStereoMix);
}
void BM_FillWav24Mono(benchmark::State& state) {
    run_fill(state, fill_case(kWavFormatPcm, 1, 24, 3, kAifcOther), fill_packet_words_wav, 0);
}
void BM_FillWavFloatStereoLeft(benchmark::State& state) {
    run_fill(state, fill_case(kWavFormatFloat, 2, 24, 4, kAifcOther), fill_packet_words_wav, 1);
}
void BM_FillAiff8Mono(benchmark::State& state) {
    run_fill(state, fill_case(kFormatAiff, 1, 8, 1, kAifcOther), fill_packet_words_aiff, 0);
}
void BM_FillAifcSowt16StereoMix(benchmark::State& state) {
    run_fill(state, fill_case(kFormatAifc, 2, 16, 2, kAifcSowt), fill_packet_words_aifc,
             kStereoMix);
}

BENCHMARK(BM_FillWav16StereoMix);
BENCHMARK(BM_FillWav24Mono);
BENCHMARK(BM_FillWavFloatStereoLeft);
BENCHMARK(BM_FillAiff8Mono);
BENCHMARK(BM_FillAifcSowt16StereoMix);

}  // namespace
