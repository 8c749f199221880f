#include "waveform/fft.h"

#include <bit>
#include <cmath>
#include <new>

namespace j3 {
namespace {

// Sizes above this would make M (and the tables, 4 M doubles) overflow or
// exhaust memory; the program itself sets up 16384.
constexpr int32_t kLargestSetupSize = int32_t(1) << 28;

bool is_power_of_two(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// Decimation in time over the set-up tables, n a power of two, 4 <= n <= M.
// The stage of half-width d needs the factors e^(-2 pi i t/M) with
// t = j * (n/(2d)) * 2^s = j * M/(2d), j < d: whatever n is, these are the
// stage table entries d + j.
void radix2(const FftTables& fft, double* __restrict re, double* __restrict im, uint32_t n,
            bool inverse) {
    // 1. Bit-reversal permutation with the classic counter.
    uint32_t j = n / 2;
    for (uint32_t i = 1; i + 1 < n; ++i) {
        if (j > i) {
            const double tr = re[i], ti = im[i];
            re[i] = re[j];
            im[i] = im[j];
            re[j] = tr;
            im[j] = ti;
        }
        uint32_t h = n / 2;
        while (j >= h) {
            j -= h;
            h /= 2;
        }
        j += h;
    }

    // 2. and 3. The first two stages in one pass over groups of four; the
    // inverse's only scaling (1/n) is applied in the first.
    const double scale = inverse ? 1.0 / double(n) : 1.0;
    for (uint32_t k = 0; k < n; k += 4) {
        double r0 = re[k] + re[k + 1], i0 = im[k] + im[k + 1];
        double r1 = re[k] - re[k + 1], i1 = im[k] - im[k + 1];
        double r2 = re[k + 2] + re[k + 3], i2 = im[k + 2] + im[k + 3];
        double r3 = re[k + 2] - re[k + 3], i3 = im[k + 2] - im[k + 3];
        if (inverse) {
            r0 *= scale, i0 *= scale, r1 *= scale, i1 *= scale;
            r2 *= scale, i2 *= scale, r3 *= scale, i3 *= scale;
        }
        re[k] = r0 + r2;
        im[k] = i0 + i2;
        re[k + 2] = r0 - r2;
        im[k + 2] = i0 - i2;
        // Forward: x1 - i*x3 and x1 + i*x3; inverse the other way round.
        // -i*(r + i*m) = m - i*r.
        if (!inverse) {
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

    // 4. Further stages: x[k] = a + W b, x[k+d] = 2a - x[k].
    for (uint32_t d = 4; d < n; d *= 2) {
        const double* __restrict wr = fft.stage_cosine.get() + d;
        const double* __restrict ws = fft.stage_sine.get() + d;
        const double sign = inverse ? -1.0 : 1.0;  // the inverse uses the conjugate factor
        for (uint32_t block = 0; block < n; block += 2 * d) {
            double* __restrict ar = re + block;
            double* __restrict ai = im + block;
            double* __restrict br = re + block + d;
            double* __restrict bi = im + block + d;
            for (uint32_t q = 0; q < d; ++q) {
                const double c = wr[q], s = sign * ws[q];
                const double tr = br[q] * c - bi[q] * s;
                const double ti = br[q] * s + bi[q] * c;
                const double xr = ar[q], xi = ai[q];
                const double nr = xr + tr, ni = xi + ti;
                ar[q] = nr;
                ai[q] = ni;
                br[q] = 2.0 * xr - nr;
                bi[q] = 2.0 * xi - ni;
            }
        }
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
    const size_t work_size = 2 * size_t(n) + 4 * size_t(L);
    std::unique_ptr<double[]> work(new (std::nothrow) double[work_size]);
    if (!work) return kFftNoMemory;
    double* wr = work.get();
    double* wi = wr + n;
    double* ar = wi + n;
    double* ai = ar + L;
    double* gr = ai + L;
    double* gi = gr + L;

    // The chirp; k^2 taken modulo 2n (the chirp's period), which keeps the
    // angle small and exact. The inverse uses the conjugate chirp throughout.
    const double pi = 3.14159265358979323846;
    const double sign = inverse ? -1.0 : 1.0;
    for (uint32_t k = 0; k < n; ++k) {
        const uint64_t k2 = uint64_t(k) * k % (2 * uint64_t(n));
        const double angle = pi * double(k2) / double(n);
        wr[k] = std::cos(angle);
        wi[k] = sign * std::sin(angle);
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
