#include "waveform/fft.h"

#include <bit>
#include <cmath>
#include <new>
#include <utility>

// The stage loops are compiled twice on x86-64 with GCC: for AVX2 and for the
// baseline; the loader picks the one the processor runs. Elsewhere they are
// compiled once, for the baseline, and also under ThreadSanitizer, whose
// instrumented code cannot run in the loader's choice before it starts.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define J3_FFT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define J3_FFT_CLONES
#endif

namespace j3 {
namespace {

// Sizes above this would make M (and the tables, 3 M doubles) overflow or
// exhaust memory; the program itself sets up 16384.
constexpr int32_t kLargestSetupSize = int32_t(1) << 28;

bool is_power_of_two(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// Reverses the low `bits` bits of v.
uint32_t reverse_bits(uint32_t v, int bits) {
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}

// Swaps element i with element reverse(i) of one array, n = 2^m: the
// permutation of the classic counter, which small sizes still use. From 64 on
// the index is split into its top three, middle and low three bits (a, c, b),
// whose reverse is (rev b, rev c, rev a): the 64 elements of a middle value c
// and those of its reverse trade places together, so each step works on 16
// cache lines instead of jumping across the whole array. One array at a
// time: the two arrays' rows would fall into the same cache sets.
void bit_reverse_one(double* x, uint32_t n) {
    const int m = std::countr_zero(n);
    if (m < 6) {
        uint32_t j = n / 2;
        for (uint32_t i = 1; i + 1 < n; ++i) {
            if (j > i) std::swap(x[i], x[j]);
            uint32_t h = n / 2;
            while (j >= h) {
                j -= h;
                h /= 2;
            }
            j += h;
        }
        return;
    }
    static constexpr uint32_t kReverse3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const int mid = m - 6;
    const uint32_t row = uint32_t(1) << (m - 3);  // distance between a and a + 1
    double p[8][8], q[8][8];
    for (uint32_t c = 0; c < (uint32_t(1) << mid); ++c) {
        const uint32_t cr = reverse_bits(c, mid);
        if (cr < c) continue;  // swapped with its partner already
        // Element (a, c, b) goes to (rev b, rev c, rev a): copy both blocks of
        // 8 rows of 8 out, then write each back from the other, transposed.
        double* x_c = x + (c << 3);
        double* x_cr = x + (cr << 3);
        for (uint32_t a = 0; a < 8; ++a) {
            for (uint32_t b = 0; b < 8; ++b) {
                p[a][b] = x_c[a * row + b];
                q[a][b] = x_cr[a * row + b];
            }
        }
        for (uint32_t a = 0; a < 8; ++a) {
            for (uint32_t b = 0; b < 8; ++b) {
                x_c[a * row + b] = q[kReverse3[b]][kReverse3[a]];
                x_cr[a * row + b] = p[kReverse3[b]][kReverse3[a]];
            }
        }
    }
}

void bit_reverse(double* re, double* im, uint32_t n) {
    bit_reverse_one(re, n);
    bit_reverse_one(im, n);
}

// The first two stages in one pass over groups of four: pairs (a, b) become
// (a + b, a - b), then x0 +/- x2 and x1 -/+ i x3 (forward; the inverse turns
// the other way). The inverse's only scaling, 1/n, is applied in the first.
template <bool Inverse>
J3_FFT_CLONES void first_stages(double* __restrict re, double* __restrict im, uint32_t n) {
    const double scale = Inverse ? 1.0 / double(n) : 1.0;
    for (uint32_t k = 0; k < n; k += 4) {
        double r0 = re[k] + re[k + 1], i0 = im[k] + im[k + 1];
        double r1 = re[k] - re[k + 1], i1 = im[k] - im[k + 1];
        double r2 = re[k + 2] + re[k + 3], i2 = im[k + 2] + im[k + 3];
        double r3 = re[k + 2] - re[k + 3], i3 = im[k + 2] - im[k + 3];
        if (Inverse) {
            r0 *= scale, i0 *= scale, r1 *= scale, i1 *= scale;
            r2 *= scale, i2 *= scale, r3 *= scale, i3 *= scale;
        }
        re[k] = r0 + r2;
        im[k] = i0 + i2;
        re[k + 2] = r0 - r2;
        im[k + 2] = i0 - i2;
        // -i*(r + i*m) = m - i*r.
        if (!Inverse) {
            re[k + 1] = r1 + i3;
            im[k + 1] = i1 - r3;
            re[k + 3] = r1 - i3;
            im[k + 3] = i1 + r3;
        } else {
            re[k + 1] = r1 - i3;
            im[k + 1] = i1 + r3;
            re[k + 3] = r1 + i3;
            im[k + 3] = i1 - r3;
        }
    }
}

// Four butterflies of one stage side by side, elements a[q..q+3] with
// b[q..q+3] under the factors W[q..q+3] (conjugated for the inverse). Written
// as loops of four so the compiler can keep them in vector registers.
template <bool Inverse>
inline void butterflies4(double* __restrict ar, double* __restrict ai, double* __restrict br,
                         double* __restrict bi, const double* __restrict wc,
                         const double* __restrict ws) {
    double tr[4], ti[4], nr[4], ni[4];
    for (int l = 0; l < 4; ++l) {
        const double s = Inverse ? -ws[l] : ws[l];
        tr[l] = br[l] * wc[l] - bi[l] * s;
        ti[l] = br[l] * s + bi[l] * wc[l];
    }
    for (int l = 0; l < 4; ++l) {
        nr[l] = ar[l] + tr[l];
        ni[l] = ai[l] + ti[l];
        br[l] = 2.0 * ar[l] - nr[l];
        bi[l] = 2.0 * ai[l] - ni[l];
        ar[l] = nr[l];
        ai[l] = ni[l];
    }
}

template <bool Inverse>
J3_FFT_CLONES void one_stage(const FftTables& fft, double* re, double* im, uint32_t n, uint32_t d) {
    const double* wc = fft.stage_cosine.get() + d;
    const double* ws = fft.stage_sine.get() + d;
    for (uint32_t block = 0; block < n; block += 2 * d) {
        double* r = re + block;
        double* i = im + block;
        for (uint32_t q = 0; q < d; q += 4)
            butterflies4<Inverse>(r + q, i + q, r + d + q, i + d + q, wc + q, ws + q);
    }
}

// Stages d and 2d over each block of 4d: elements q, q+d, q+2d, q+3d.
template <bool Inverse>
J3_FFT_CLONES void two_stages(const FftTables& fft, double* re, double* im, uint32_t n,
                              uint32_t d) {
    const double* wc1 = fft.stage_cosine.get() + d;
    const double* ws1 = fft.stage_sine.get() + d;
    const double* wc2 = fft.stage_cosine.get() + 2 * d;
    const double* ws2 = fft.stage_sine.get() + 2 * d;
    for (uint32_t block = 0; block < n; block += 4 * d) {
        double* r = re + block;
        double* i = im + block;
        for (uint32_t q = 0; q < d; q += 4) {
            // Stage d: (q, q+d) and (q+2d, q+3d), both with factor q of the stage.
            butterflies4<Inverse>(r + q, i + q, r + d + q, i + d + q, wc1 + q, ws1 + q);
            butterflies4<Inverse>(r + 2 * d + q, i + 2 * d + q, r + 3 * d + q, i + 3 * d + q,
                                  wc1 + q, ws1 + q);
            // Stage 2d: (q, q+2d) with factor q, (q+d, q+3d) with factor q+d.
            butterflies4<Inverse>(r + q, i + q, r + 2 * d + q, i + 2 * d + q, wc2 + q, ws2 + q);
            butterflies4<Inverse>(r + d + q, i + d + q, r + 3 * d + q, i + 3 * d + q, wc2 + d + q,
                                  ws2 + d + q);
        }
    }
}

// Decimation in time over the set-up tables, n a power of two, 4 <= n <= M.
// The stage of half-width d needs the factors e^(-2 pi i t/M) with
// t = j * (n/(2d)) * 2^s = j * M/(2d), j < d: whatever n is, these are the
// stage table entries d + j.
void radix2(const FftTables& fft, double* __restrict re, double* __restrict im, uint32_t n,
            bool inverse) {
    // 1. Bit-reversal permutation.
    bit_reverse(re, im, n);

    // 2. and 3. The first two stages.
    if (inverse)
        first_stages<true>(re, im, n);
    else
        first_stages<false>(re, im, n);

    // 4. Further stages, x[k] = a + W b and x[k+d] = 2a - x[k] for each pair.
    // Two stages (d and 2d) run in one pass over each block of 4d elements:
    // the same butterflies in the same order per element, half the passes
    // over memory.
    uint32_t d = 4;
    for (; 4 * d <= n; d *= 4) {
        if (inverse)
            two_stages<true>(fft, re, im, n, d);
        else
            two_stages<false>(fft, re, im, n, d);
    }
    if (d < n) {
        if (inverse)
            one_stage<true>(fft, re, im, n, d);
        else
            one_stage<false>(fft, re, im, n, d);
    }
}

// Sizes 1 and 2, which the stages above do not cover: the DFT written out.
void tiny_transform(double* re, double* im, uint32_t n, bool inverse) {
    if (n != 2) return;  // size 1: X[0] = x[0] both ways
    const double scale = inverse ? 0.5 : 1.0;
    const double r0 = re[0], i0 = im[0];
    re[0] = (r0 + re[1]) * scale;
    im[0] = (i0 + im[1]) * scale;
    re[1] = (r0 - re[1]) * scale;
    im[1] = (i0 - im[1]) * scale;
}

// Bluestein's method for n not a power of two: the DFT as a convolution with
// the chirp w[k] = e^(i pi k^2/n), carried out by radix-2 transforms of size
// L = 2^(b+1), b the bit length of n.
int bluestein(const FftTables& fft, double* re, double* im, uint32_t n, bool inverse) {
    const uint32_t L = uint32_t(1) << (std::bit_width(n) + 1);
    // The chirp's angle pi r/n, r = k^2 mod 2n (its period), is split as
    // r = hi * S + lo with S a power of two near sqrt(2n): then w[k] is
    // coarse[hi] * fine[lo], a few hundred sines and cosines instead of n.
    const uint32_t period = 2 * n;
    const int fine_bits = (std::bit_width(period) + 1) / 2;
    const uint32_t fine_count = uint32_t(1) << fine_bits;
    const uint32_t coarse_count = (period >> fine_bits) + 1;
    const size_t work_size =
        2 * size_t(n) + 4 * size_t(L) + 2 * size_t(fine_count) + 2 * size_t(coarse_count);
    std::unique_ptr<double[]> work(new (std::nothrow) double[work_size]);
    if (!work) return kFftNoMemory;
    double* wr = work.get();
    double* wi = wr + n;
    double* ar = wi + n;
    double* ai = ar + L;
    double* gr = ai + L;
    double* gi = gr + L;
    double* fine_r = gi + L;
    double* fine_i = fine_r + fine_count;
    double* coarse_r = fine_i + fine_count;
    double* coarse_i = coarse_r + coarse_count;

    // The inverse uses the conjugate chirp throughout.
    const double pi = 3.14159265358979323846;
    const double sign = inverse ? -1.0 : 1.0;
    for (uint32_t q = 0; q < fine_count; ++q) {
        fine_r[q] = std::cos(pi * double(q) / double(n));
        fine_i[q] = sign * std::sin(pi * double(q) / double(n));
    }
    for (uint32_t q = 0; q < coarse_count; ++q) {
        const double angle = pi * double(uint64_t(q) << fine_bits) / double(n);
        coarse_r[q] = std::cos(angle);
        coarse_i[q] = sign * std::sin(angle);
    }
    uint32_t k2 = 0;  // k^2 mod 2n, stepped by (k+1)^2 - k^2 = 2k + 1
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t hi = k2 >> fine_bits, lo = k2 & (fine_count - 1);
        wr[k] = coarse_r[hi] * fine_r[lo] - coarse_i[hi] * fine_i[lo];
        wi[k] = coarse_r[hi] * fine_i[lo] + coarse_i[hi] * fine_r[lo];
        k2 += 2 * k + 1;
        if (k2 >= period) k2 -= period;
    }

    // a[k] = x[k] * conj(w[k]), padded with zeros.
    for (uint32_t k = 0; k < n; ++k) {
        ar[k] = re[k] * wr[k] + im[k] * wi[k];
        ai[k] = im[k] * wr[k] - re[k] * wi[k];
    }
    for (uint32_t k = n; k < L; ++k) ar[k] = ai[k] = 0.0;
    // g[0] = w[0], g[k] = g[L-k] = w[k] for 1 <= k < n.
    for (uint32_t k = 0; k < L; ++k) gr[k] = gi[k] = 0.0;
    gr[0] = wr[0];
    gi[0] = wi[0];
    for (uint32_t k = 1; k < n; ++k) {
        gr[k] = gr[L - k] = wr[k];
        gi[k] = gi[L - k] = wi[k];
    }

    radix2(fft, ar, ai, L, false);
    radix2(fft, gr, gi, L, false);
    for (uint32_t k = 0; k < L; ++k) {
        const double r = ar[k] * gr[k] - ai[k] * gi[k];
        const double i = ar[k] * gi[k] + ai[k] * gr[k];
        ar[k] = r;
        ai[k] = i;
    }
    radix2(fft, ar, ai, L, true);

    // x[k] = a[k] * conj(w[k]), and 1/n for the inverse.
    const double scale = inverse ? 1.0 / double(n) : 1.0;
    for (uint32_t k = 0; k < n; ++k) {
        re[k] = (ar[k] * wr[k] + ai[k] * wi[k]) * scale;
        im[k] = (ai[k] * wr[k] - ar[k] * wi[k]) * scale;
    }
    return kFftOk;
}

}  // namespace

int fft_setup(FftTables& fft, int32_t n, uint32_t flags) {
    if (fft.set_up) fft_release(fft);
    if (n < 1 || n > kLargestSetupSize) return kFftTooLarge;

    const uint32_t size = uint32_t(n);
    uint32_t m;
    if (flags & kFftAnySize) {
        m = is_power_of_two(size) ? 2 * size : uint32_t(1) << (std::bit_width(size) + 1);
    } else {
        if (!is_power_of_two(size)) return kFftNotPowerOfTwo;
        m = size;
    }

    const uint32_t half = m / 2;
    std::unique_ptr<double[]> sine(new (std::nothrow) double[half]);
    std::unique_ptr<double[]> cosine(new (std::nothrow) double[half]);
    std::unique_ptr<double[]> stage_sine(new (std::nothrow) double[m]);
    std::unique_ptr<double[]> stage_cosine(new (std::nothrow) double[m]);
    if (!sine || !cosine || !stage_sine || !stage_cosine) return kFftNoMemory;

    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < half; ++i) {
        const double x = double(i) * (-2.0 * pi) / double(m);
        sine[i] = std::sin(x);
        cosine[i] = std::cos(x);
    }
    stage_sine[0] = 0.0;  // unused
    stage_cosine[0] = 1.0;
    for (uint32_t d = 1; d <= half; d *= 2) {
        const uint32_t stride = m / (2 * d);
        for (uint32_t q = 0; q < d; ++q) {
            stage_sine[d + q] = sine[q * stride];
            stage_cosine[d + q] = cosine[q * stride];
        }
    }

    fft.maximum_size = n;
    fft.setup_flags = flags;
    fft.table_size = m;
    fft.sine_table = std::move(sine);
    fft.cosine_table = std::move(cosine);
    fft.stage_sine = std::move(stage_sine);
    fft.stage_cosine = std::move(stage_cosine);
    fft.set_up = true;
    return kFftOk;
}

int fft_release(FftTables& fft) {
    if (!fft.set_up) return kFftNotSetUp;
    fft.sine_table.reset();
    fft.cosine_table.reset();
    fft.stage_sine.reset();
    fft.stage_cosine.reset();
    fft.maximum_size = -1;
    fft.setup_flags = 0;
    fft.set_up = false;
    return kFftOk;
}

int fft_transform(const FftTables& fft, double* re, double* im, int32_t n, uint32_t direction) {
    if (n < 0 || n > fft.maximum_size) return kFftTooLarge;
    const bool inverse = direction & kFftInverse;
    const uint32_t size = uint32_t(n);
    if (size <= 2) {
        tiny_transform(re, im, size, inverse);
        return kFftOk;
    }
    if (is_power_of_two(size)) {
        radix2(fft, re, im, size, inverse);
        return kFftOk;
    }
    if (!(fft.setup_flags & kFftAnySize)) return kFftNotPowerOfTwo;
    return bluestein(fft, re, im, size, inverse);
}

}  // namespace j3
