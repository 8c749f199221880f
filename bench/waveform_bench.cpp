// The transform side by side with FFTW (planned in its estimate mode, as a
// program would plan without a wisdom file), and the build of one waveform
// message from a long loop.
//
// Ratios to read off: BM_Transform/n against BM_Fftw/n for n = 12000 (mixed
// radix), 16384 (radix 2), 1000 (mixed radix), 4096, 11025 (Bluestein);
// BM_TransformPageAligned/16384 (both arrays at the same page offset) against
// BM_Fftw/16384; BM_RealForward/n against BM_FftwReal/n.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fixtures/audio_files.h"
#include "waveform/fft.h"
#include "waveform/waveform_builder.h"

namespace {

void fill(std::vector<double>& re, std::vector<double>& im) {
    for (size_t i = 0; i < re.size(); ++i) {
        re[i] = std::sin(0.001 * double(i * i % 7919));
        im[i] = std::cos(0.003 * double(i % 977));
    }
}

void run_j3(benchmark::State& state) {
    const int n = int(state.range(0));
    j3::FftTables fft;
    j3::fft_setup(fft, std::max(n, 16384), j3::kFftAnySize);
    std::vector<double> re(n), im(n);
    fill(re, im);
    for (auto _ : state) {
        j3::fft_transform(fft, re.data(), im.data(), n, j3::kFftForward);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Transform(benchmark::State& state) {
    run_j3(state);
}
BENCHMARK(BM_Transform)->Arg(1000)->Arg(1024)->Arg(4096)->Arg(11025)->Arg(12000)->Arg(16384);

// Both arrays page-aligned, as large vectors come from the allocator.
void BM_TransformPageAligned(benchmark::State& state) {
    const int n = int(state.range(0));
    j3::FftTables fft;
    j3::fft_setup(fft, std::max(n, 16384), j3::kFftAnySize);
    const size_t bytes = (size_t(n) * sizeof(double) + 4095) / 4096 * 4096;
    double* re = static_cast<double*>(std::aligned_alloc(4096, bytes));
    double* im = static_cast<double*>(std::aligned_alloc(4096, bytes));
    std::vector<double> r(n), i(n);
    fill(r, i);
    std::copy(r.begin(), r.end(), re);
    std::copy(i.begin(), i.end(), im);
    for (auto _ : state) {
        j3::fft_transform(fft, re, im, n, j3::kFftForward);
        benchmark::DoNotOptimize(re);
        benchmark::ClobberMemory();
    }
    std::free(re);
    std::free(im);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_TransformPageAligned)->Arg(12000)->Arg(16384);

// The builder's forward transform of real samples.
void BM_RealForward(benchmark::State& state) {
    const int n = int(state.range(0));
    j3::FftTables fft;
    j3::fft_setup(fft, std::max(n, 16384), j3::kFftAnySize);
    std::vector<double> x(n), re(n), im(n);
    fill(x, im);
    for (auto _ : state) {
        j3::fft_real_forward(fft, x.data(), re.data(), im.data(), n);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RealForward)->Arg(1000)->Arg(12000);

// FFTW's real-input transform (half spectrum out).
void BM_FftwReal(benchmark::State& state) {
    const int n = int(state.range(0));
    double* x = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, x, out, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) x[i] = std::sin(0.001 * double(i * i % 7919));
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(x);
    fftw_free(out);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FftwReal)->Arg(1000)->Arg(12000);

// FFTW on the same split arrays (its guru interface takes real and imaginary
// parts as separate arrays, as ours does).
void BM_Fftw(benchmark::State& state) {
    const int n = int(state.range(0));
    std::vector<double> re(n), im(n);
    fftw_iodim dim{n, 1, 1};
    fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, re.data(), im.data(), re.data(),
                                              im.data(), FFTW_ESTIMATE);
    fill(re, im);
    for (auto _ : state) {
        fftw_execute_split_dft(plan, re.data(), im.data(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Fftw)->Arg(1000)->Arg(1024)->Arg(4096)->Arg(11025)->Arg(12000)->Arg(16384);

// FFTW on interleaved complex data, its most common use.
void BM_FftwInterleaved(benchmark::State& state) {
    const int n = int(state.range(0));
    fftw_complex* buf = fftw_alloc_complex(n);
    fftw_plan plan = fftw_plan_dft_1d(n, buf, buf, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) buf[i][0] = std::sin(0.001 * i), buf[i][1] = 0;
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(buf);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(buf);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FftwInterleaved)->Arg(12000)->Arg(16384)->Arg(32768);

// A mono 16-bit WAV of `frames` frames whose loop is the whole sample.
std::vector<uint8_t> looped_wav(uint32_t frames) {
    j3::testing::WavFile w;
    for (uint32_t i = 0; i < frames; ++i) {
        const double x = 2.0 * 3.14159265358979323846 * i / frames;
        w.samples.push_back(int16_t(12000 * std::sin(x) + 4000 * std::sin(7 * x)));
    }
    w.loop = j3::testing::Loop{0, int32_t(frames) - 1, 0};
    return j3::testing::make_wav(w);
}

// One whole message: read the loop, one forward transform of its length, the
// normalising inverse and seventeen small inverses, packing and checksum.
void BM_WaveformMessage(benchmark::State& state) {
    const uint32_t frames = uint32_t(state.range(0));
    j3::FftTables fft;
    j3::fft_setup(fft, 16384, j3::kFftAnySize);
    const std::vector<uint8_t> wav = looped_wav(frames);
    std::vector<uint8_t> out(j3::kWaveformMessageBytes);
    for (auto _ : state) {
        const bool ok = j3::build_waveform_message(fft, wav.data(), wav.size(), 0, int32_t(frames),
                                                   0, out.data(), 0, 0x53494E45);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_WaveformMessage)->Arg(1024)->Arg(12000)->Arg(16384)->Unit(benchmark::kMillisecond);

}  // namespace
