#include "waveform/fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "base/thread_annotations.h"

// The stage loops are compiled twice on x86-64 with GCC: for AVX2 and for the
// baseline; the loader picks the one the processor runs. Elsewhere they are
// compiled once, for the baseline, and also under ThreadSanitizer, whose
// instrumented code cannot run in the loader's choice before it starts.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define J3_FFT_CLONES __attribute__((target_clones("avx2", "default"), optimize("O3")))
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

// ---- Mixed radix: sizes 2^a 3^b 5^c ----------------------------------------
//
// A self-sorting (Stockham) transform: each stage reads one array and writes
// the other, so the output comes out in order without a bit-reversal pass.
// A stage of radix R after stages whose radices multiply to s reads the R
// values j + r n/R (j = b s + t, t < s), turns them by e^(-2 pi i r t/(s R)),
// transforms them and writes them to b s R + t + r s. The inverse runs the
// forward transform on the arrays with real and imaginary parts swapped.

constexpr double kPi = 3.14159265358979323846;
constexpr double kSin60 = 0.86602540378443864676;  // sin(2 pi/3)
const double kCos72 = std::cos(2 * kPi / 5), kSin72 = std::sin(2 * kPi / 5);
const double kCos144 = std::cos(4 * kPi / 5), kSin144 = std::sin(4 * kPi / 5);

struct Stage {
    uint32_t radix = 0;
    uint32_t span = 0;         // s: the product of the radices before
    size_t twiddle_start = 0;  // rows of s factors, row r-1 for input r
};

// The DFT of R values (v), forward, into z.
template <int R>
inline void small_dft(const double* vr, const double* vi, double* zr, double* zi) {
    if constexpr (R == 2) {
        zr[0] = vr[0] + vr[1], zi[0] = vi[0] + vi[1];
        zr[1] = vr[0] - vr[1], zi[1] = vi[0] - vi[1];
    } else if constexpr (R == 3) {
        const double tr = vr[1] + vr[2], ti = vi[1] + vi[2];
        const double hr = vr[0] - 0.5 * tr, hi = vi[0] - 0.5 * ti;
        const double dr = kSin60 * (vr[1] - vr[2]), di = kSin60 * (vi[1] - vi[2]);
        zr[0] = vr[0] + tr, zi[0] = vi[0] + ti;
        zr[1] = hr + di, zi[1] = hi - dr;  // h - i d
        zr[2] = hr - di, zi[2] = hi + dr;
    } else if constexpr (R == 4) {
        const double sr = vr[0] + vr[2], si = vi[0] + vi[2];
        const double dr = vr[0] - vr[2], di = vi[0] - vi[2];
        const double tr = vr[1] + vr[3], ti = vi[1] + vi[3];
        const double er = vr[1] - vr[3], ei = vi[1] - vi[3];
        zr[0] = sr + tr, zi[0] = si + ti;
        zr[2] = sr - tr, zi[2] = si - ti;
        zr[1] = dr + ei, zi[1] = di - er;  // d - i e
        zr[3] = dr - ei, zi[3] = di + er;
    } else {
        static_assert(R == 5);
        const double b1r = vr[1] + vr[4], b1i = vi[1] + vi[4];
        const double b2r = vr[2] + vr[3], b2i = vi[2] + vi[3];
        const double d1r = vr[1] - vr[4], d1i = vi[1] - vi[4];
        const double d2r = vr[2] - vr[3], d2i = vi[2] - vi[3];
        const double a1r = vr[0] + kCos72 * b1r + kCos144 * b2r;
        const double a1i = vi[0] + kCos72 * b1i + kCos144 * b2i;
        const double a2r = vr[0] + kCos144 * b1r + kCos72 * b2r;
        const double a2i = vi[0] + kCos144 * b1i + kCos72 * b2i;
        const double c1r = kSin72 * d1r + kSin144 * d2r;
        const double c1i = kSin72 * d1i + kSin144 * d2i;
        const double c2r = kSin144 * d1r - kSin72 * d2r;
        const double c2i = kSin144 * d1i - kSin72 * d2i;
        zr[0] = vr[0] + b1r + b2r, zi[0] = vi[0] + b1i + b2i;
        zr[1] = a1r + c1i, zi[1] = a1i - c1r;  // a1 - i c1
        zr[4] = a1r - c1i, zi[4] = a1i + c1r;
        zr[2] = a2r + c2i, zi[2] = a2i - c2r;  // a2 - i c2
        zr[3] = a2r - c2i, zi[3] = a2i + c2r;
    }
}

// W butterflies side by side (W = 4 or 1): lane l reads v[r] at in + l +
// r * in_step, turned by the factors w[(r-1) * w_step + l] unless Twiddled is
// false, and writes z[r] to out + l * out_lane + r * out_step. Loops of a
// fixed count, so the compiler keeps the four lanes in vector registers.
template <int R, int W, bool Twiddled>
inline void butterflies(const double* __restrict xr, const double* __restrict xi,
                        double* __restrict yr, double* __restrict yi, size_t in_step,
                        size_t out_lane, size_t out_step, const double* __restrict wr,
                        const double* __restrict wi, size_t w_step) {
    for (int l = 0; l < W; ++l) {
        double vr[R], vi[R], zr[R], zi[R];
        for (int r = 0; r < R; ++r) {
            const double pr = xr[l + r * in_step], pi = xi[l + r * in_step];
            if (!Twiddled || r == 0) {
                vr[r] = pr;
                vi[r] = pi;
            } else {
                const double c = wr[(r - 1) * w_step + l], d = wi[(r - 1) * w_step + l];
                vr[r] = pr * c - pi * d;
                vi[r] = pr * d + pi * c;
            }
        }
        small_dft<R>(vr, vi, zr, zi);
        for (int r = 0; r < R; ++r) {
            yr[l * out_lane + r * out_step] = zr[r];
            yi[l * out_lane + r * out_step] = zi[r];
        }
    }
}

// The first stage (s = 1): no factors, one pass over the inputs in order.
template <int R>
J3_FFT_CLONES void first_radix_stage(const double* __restrict xr, const double* __restrict xi,
                                     double* __restrict yr, double* __restrict yi, uint32_t n) {
    const uint32_t m = n / R;
    uint32_t b = 0;
    for (; b + 4 <= m; b += 4)
        butterflies<R, 4, false>(xr + b, xi + b, yr + size_t(b) * R, yi + size_t(b) * R, m, R, 1,
                                 nullptr, nullptr, 0);
    for (; b < m; ++b)
        butterflies<R, 1, false>(xr + b, xi + b, yr + size_t(b) * R, yi + size_t(b) * R, m, R, 1,
                                 nullptr, nullptr, 0);
}

// A later stage (s > 1), for one radix. x and y never overlap.
template <int R>
J3_FFT_CLONES void radix_stage(const double* __restrict xr, const double* __restrict xi,
                               double* __restrict yr, double* __restrict yi, uint32_t n, uint32_t s,
                               const double* __restrict wr, const double* __restrict wi) {
    const uint32_t m = n / R;
    const uint32_t blocks = m / s;
    for (uint32_t b = 0; b < blocks; ++b) {
        const size_t in = size_t(b) * s, out = size_t(b) * s * R;
        uint32_t t = 0;
        for (; t + 4 <= s; t += 4)
            butterflies<R, 4, true>(xr + in + t, xi + in + t, yr + out + t, yi + out + t, m, 1, s,
                                    wr + t, wi + t, s);
        for (; t < s; ++t)
            butterflies<R, 1, true>(xr + in + t, xi + in + t, yr + out + t, yi + out + t, m, 1, s,
                                    wr + t, wi + t, s);
    }
}

void run_stage(const Stage& st, const std::vector<double>& twr, const std::vector<double>& twi,
               const double* xr, const double* xi, double* yr, double* yi, uint32_t n) {
    const double* wr = twr.data() + st.twiddle_start;
    const double* wi = twi.data() + st.twiddle_start;
    if (st.span == 1) {
        switch (st.radix) {
            case 2:
                first_radix_stage<2>(xr, xi, yr, yi, n);
                break;
            case 3:
                first_radix_stage<3>(xr, xi, yr, yi, n);
                break;
            case 4:
                first_radix_stage<4>(xr, xi, yr, yi, n);
                break;
            default:
                first_radix_stage<5>(xr, xi, yr, yi, n);
                break;
        }
        return;
    }
    switch (st.radix) {
        case 2:
            radix_stage<2>(xr, xi, yr, yi, n, st.span, wr, wi);
            break;
        case 3:
            radix_stage<3>(xr, xi, yr, yi, n, st.span, wr, wi);
            break;
        case 4:
            radix_stage<4>(xr, xi, yr, yi, n, st.span, wr, wi);
            break;
        default:
            radix_stage<5>(xr, xi, yr, yi, n, st.span, wr, wi);
            break;
    }
}

// Radices 4, 2, 3, 5 for n, or nothing when n has another prime factor.
std::vector<uint32_t> small_factors(uint32_t n) {
    std::vector<uint32_t> radices;
    while (n % 4 == 0) radices.push_back(4), n /= 4;
    while (n % 2 == 0) radices.push_back(2), n /= 2;
    while (n % 3 == 0) radices.push_back(3), n /= 3;
    while (n % 5 == 0) radices.push_back(5), n /= 5;
    if (n != 1) radices.clear();
    return radices;
}

}  // namespace

// What one size needs, made once. Immutable once made, so transforms read it
// without the cache's lock.
struct FftPlan {
    uint32_t n = 0;
    std::vector<Stage> stages;  // mixed radix; empty for the other kinds
    std::vector<double> twiddle_r, twiddle_i;
    // Bluestein: the chirp w[k] = e^(i pi k^2/n) and the spectrum of the padded
    // chirp sequence g, for transforms of size `padded`.
    uint32_t padded = 0;
    std::vector<double> chirp_r, chirp_i, chirp_spectrum_r, chirp_spectrum_i;
    // Separating a real sequence of 2n values: e^(-2 pi i k/(2n)), k < n.
    std::vector<double> split_r, split_i;
};

struct FftPlanCache {
    Mutex lock{LockRank::kFftPlans};
    std::map<std::pair<uint32_t, int>, std::shared_ptr<const FftPlan>> plans J3_GUARDED_BY(lock);
};

namespace {

// Sizes kept at once; a waveform build meets one loop length and the powers of
// two, so this only bounds a long session's memory.
constexpr size_t kCachedPlans = 48;

enum PlanKind : int { kMixedPlan = 0, kBluesteinPlan = 1, kRealSplitPlan = 2 };

// Work space of the calling thread, grown to the largest size it met. Its
// arrays start 320 bytes apart modulo the 4 KiB page, so no two of them (nor
// their loads and stores) alias at the same page offset.
struct WorkSpace {
    std::unique_ptr<double[]> block;
    size_t stride = 0;  // doubles between arrays
    size_t count = 0;   // arrays
};

// Doubles between the starts of two work arrays for `length` values: whole
// pages and 320 bytes.
size_t work_stride(size_t length) {
    const size_t page = 4096 / sizeof(double);
    return (length + page - 1) / page * page + 40;
}

// `arrays` work arrays of `length` doubles, `work_stride(length)` apart, the
// first page-aligned; nullptr when memory ran out.
double* work_arrays(size_t length, size_t arrays) {
    thread_local WorkSpace space;
    const size_t page = 4096 / sizeof(double);
    const size_t stride = work_stride(length);
    if (stride * arrays > space.stride * space.count) {
        std::unique_ptr<double[]> block(new (std::nothrow) double[stride * arrays + page]);
        if (!block) return nullptr;
        space.block = std::move(block);
        space.stride = stride;
        space.count = arrays;
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(space.block.get());
    return space.block.get() + ((4096 - base % 4096) % 4096) / sizeof(double);
}

std::shared_ptr<const FftPlan> make_mixed_plan(uint32_t n) {
    auto plan = std::make_shared<FftPlan>();
    plan->n = n;
    uint32_t span = 1;
    for (uint32_t radix : small_factors(n)) {
        Stage st{radix, span, plan->twiddle_r.size()};
        const double turn = -2.0 * kPi / double(span * radix);
        if (span > 1) {
            for (uint32_t r = 1; r < radix; ++r) {
                for (uint32_t t = 0; t < span; ++t) {
                    // r t < s R, so the angle is reduced already.
                    plan->twiddle_r.push_back(std::cos(turn * double(r * t)));
                    plan->twiddle_i.push_back(std::sin(turn * double(r * t)));
                }
            }
        }
        plan->stages.push_back(st);
        span *= radix;
    }
    return plan;
}

// Runs the stages from (xr, xi) into (yr, yi), which may be the same arrays,
// through the work arrays w (four arrays of `stride` doubles).
void mixed_forward(const FftPlan& plan, const double* xr, const double* xi, double* yr, double* yi,
                   double* w, size_t stride) {
    const uint32_t n = plan.n;
    const size_t count = plan.stages.size();
    double* ping_r = w;
    double* ping_i = w + stride;
    double* pong_r = w + 2 * stride;
    double* pong_i = w + 3 * stride;
    const double* in_r = xr;
    const double* in_i = xi;
    if (count == 1 && (xr == yr || xi == yi)) {
        std::copy(xr, xr + n, ping_r);
        std::copy(xi, xi + n, ping_i);
        in_r = ping_r, in_i = ping_i;
        std::swap(ping_r, pong_r);
        std::swap(ping_i, pong_i);
    }
    for (size_t k = 0; k < count; ++k) {
        double* out_r = k + 1 == count ? yr : ping_r;
        double* out_i = k + 1 == count ? yi : ping_i;
        run_stage(plan.stages[k], plan.twiddle_r, plan.twiddle_i, in_r, in_i, out_r, out_i, n);
        in_r = out_r, in_i = out_i;
        std::swap(ping_r, pong_r);
        std::swap(ping_i, pong_i);
    }
}

std::shared_ptr<const FftPlan> make_bluestein_plan(const FftTables& fft, uint32_t n) {
    auto plan = std::make_shared<FftPlan>();
    plan->n = n;
    const uint32_t L = uint32_t(1) << (std::bit_width(n) + 1);
    plan->padded = L;
    plan->chirp_r.resize(n);
    plan->chirp_i.resize(n);
    // The chirp's angle pi r/n, r = k^2 mod 2n (its period), is split as
    // r = hi * S + lo with S a power of two near sqrt(2n): then w[k] is
    // coarse[hi] * fine[lo], a few hundred sines and cosines instead of n.
    const uint32_t period = 2 * n;
    const int fine_bits = (std::bit_width(period) + 1) / 2;
    const uint32_t fine_count = uint32_t(1) << fine_bits;
    const uint32_t coarse_count = (period >> fine_bits) + 1;
    std::vector<double> fine_r(fine_count), fine_i(fine_count);
    std::vector<double> coarse_r(coarse_count), coarse_i(coarse_count);
    for (uint32_t q = 0; q < fine_count; ++q) {
        fine_r[q] = std::cos(kPi * double(q) / double(n));
        fine_i[q] = std::sin(kPi * double(q) / double(n));
    }
    for (uint32_t q = 0; q < coarse_count; ++q) {
        const double angle = kPi * double(uint64_t(q) << fine_bits) / double(n);
        coarse_r[q] = std::cos(angle);
        coarse_i[q] = std::sin(angle);
    }
    uint32_t k2 = 0;  // k^2 mod 2n, stepped by (k+1)^2 - k^2 = 2k + 1
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t hi = k2 >> fine_bits, lo = k2 & (fine_count - 1);
        plan->chirp_r[k] = coarse_r[hi] * fine_r[lo] - coarse_i[hi] * fine_i[lo];
        plan->chirp_i[k] = coarse_r[hi] * fine_i[lo] + coarse_i[hi] * fine_r[lo];
        k2 += 2 * k + 1;
        if (k2 >= period) k2 -= period;
    }
    // g[0] = w[0], g[k] = g[L-k] = w[k] for 1 <= k < n, zero between.
    std::vector<double> gr(L, 0.0), gi(L, 0.0);
    gr[0] = plan->chirp_r[0];
    gi[0] = plan->chirp_i[0];
    for (uint32_t k = 1; k < n; ++k) {
        gr[k] = gr[L - k] = plan->chirp_r[k];
        gi[k] = gi[L - k] = plan->chirp_i[k];
    }
    radix2(fft, gr.data(), gi.data(), L, false);
    plan->chirp_spectrum_r = std::move(gr);
    plan->chirp_spectrum_i = std::move(gi);
    return plan;
}

// Bluestein's method: the DFT as a convolution with the chirp, carried out by
// radix-2 transforms of the padded size. The inverse swaps real and imaginary
// parts around the forward transform, like the mixed-radix one.
void bluestein_forward(const FftTables& fft, const FftPlan& plan, double* re, double* im, double* w,
                       size_t stride) {
    const uint32_t n = plan.n, L = plan.padded;
    const double* wr = plan.chirp_r.data();
    const double* wi = plan.chirp_i.data();
    double* ar = w;
    double* ai = w + stride;
    // a[k] = x[k] * conj(w[k]), padded with zeros.
    for (uint32_t k = 0; k < n; ++k) {
        ar[k] = re[k] * wr[k] + im[k] * wi[k];
        ai[k] = im[k] * wr[k] - re[k] * wi[k];
    }
    std::fill(ar + n, ar + L, 0.0);
    std::fill(ai + n, ai + L, 0.0);
    radix2(fft, ar, ai, L, false);
    const double* gr = plan.chirp_spectrum_r.data();
    const double* gi = plan.chirp_spectrum_i.data();
    for (uint32_t k = 0; k < L; ++k) {
        const double r = ar[k] * gr[k] - ai[k] * gi[k];
        const double i = ar[k] * gi[k] + ai[k] * gr[k];
        ar[k] = r;
        ai[k] = i;
    }
    radix2(fft, ar, ai, L, true);
    // x[k] = a[k] * conj(w[k]).
    for (uint32_t k = 0; k < n; ++k) {
        re[k] = ar[k] * wr[k] + ai[k] * wi[k];
        im[k] = ai[k] * wr[k] - ar[k] * wi[k];
    }
}

std::shared_ptr<const FftPlan> make_split_plan(uint32_t half) {
    auto plan = std::make_shared<FftPlan>();
    plan->n = half;
    plan->split_r.resize(half);
    plan->split_i.resize(half);
    for (uint32_t k = 0; k < half; ++k) {
        const double angle = -kPi * double(k) / double(half);
        plan->split_r[k] = std::cos(angle);
        plan->split_i[k] = std::sin(angle);
    }
    return plan;
}

// The size's plan of one kind, made on first use; nullptr when memory ran out.
std::shared_ptr<const FftPlan> plan_for(const FftTables& fft, uint32_t n, PlanKind kind) {
    FftPlanCache& cache = *fft.plans;
    {
        Lock hold(cache.lock);
        auto found = cache.plans.find({n, kind});
        if (found != cache.plans.end()) return found->second;
    }
    // Made outside the lock: another thread's transforms need not wait.
    std::shared_ptr<const FftPlan> plan;
    try {
        plan = kind == kMixedPlan       ? make_mixed_plan(n)
               : kind == kBluesteinPlan ? make_bluestein_plan(fft, n)
                                        : make_split_plan(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    Lock hold(cache.lock);
    if (cache.plans.size() >= kCachedPlans) cache.plans.clear();  // held plans live on
    cache.plans.emplace(std::make_pair(n, int(kind)), plan);
    return plan;
}

// The forward transform of a size that is no power of two, in place; the
// inverse is this on the swapped arrays.
FftStatus other_forward(const FftTables& fft, double* re, double* im, uint32_t n) {
    const bool smooth = !small_factors(n).empty();
    const std::shared_ptr<const FftPlan> plan =
        plan_for(fft, n, smooth ? kMixedPlan : kBluesteinPlan);
    if (!plan) return FftStatus::kNoMemory;
    const size_t length = smooth ? n : plan->padded;
    double* w = work_arrays(length, 4);
    if (!w) return FftStatus::kNoMemory;
    if (smooth)
        mixed_forward(*plan, re, im, re, im, w, work_stride(length));
    else
        bluestein_forward(fft, *plan, re, im, w, work_stride(length));
    return FftStatus::kOk;
}

// Radix-2 in place; arrays that sit at the same offset in their pages (large
// vectors come page-aligned from the allocator) would make each store wait on
// the other array's loads, so the imaginary parts are moved to work space first.
void power_of_two(const FftTables& fft, double* re, double* im, uint32_t n, bool inverse) {
    const uintptr_t apart =
        (reinterpret_cast<uintptr_t>(re) - reinterpret_cast<uintptr_t>(im)) % 4096;
    if (n >= 1024 && (apart < 256 || apart > 4096 - 256)) {
        double* w = work_arrays(n + 512, 1);
        if (w) {
            // Half a page past re's offset in its page.
            const uintptr_t re_offset = reinterpret_cast<uintptr_t>(re) % 4096;
            double* moved = w + (re_offset / sizeof(double) + 256) % 512;
            std::copy(im, im + n, moved);
            radix2(fft, re, moved, n, inverse);
            std::copy(moved, moved + n, im);
            return;
        }
    }
    radix2(fft, re, im, n, inverse);
}

}  // namespace

FftStatus fft_setup(FftTables& fft, int32_t n, uint32_t flags) {
    if (fft.set_up) fft_release(fft);
    if (n < 1 || n > kLargestSetupSize) return FftStatus::kTooLarge;

    const uint32_t size = uint32_t(n);
    uint32_t m;
    if (flags & kFftAnySize) {
        m = is_power_of_two(size) ? 2 * size : uint32_t(1) << (std::bit_width(size) + 1);
    } else {
        if (!is_power_of_two(size)) return FftStatus::kNotPowerOfTwo;
        m = size;
    }

    const uint32_t half = m / 2;
    std::unique_ptr<double[]> sine(new (std::nothrow) double[half]);
    std::unique_ptr<double[]> cosine(new (std::nothrow) double[half]);
    std::unique_ptr<double[]> stage_sine(new (std::nothrow) double[m]);
    std::unique_ptr<double[]> stage_cosine(new (std::nothrow) double[m]);
    if (!sine || !cosine || !stage_sine || !stage_cosine) return FftStatus::kNoMemory;
    std::shared_ptr<FftPlanCache> plans;
    try {
        plans = std::make_shared<FftPlanCache>();
    } catch (const std::bad_alloc&) {
        return FftStatus::kNoMemory;
    }

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
    fft.plans = std::move(plans);
    fft.set_up = true;
    return FftStatus::kOk;
}

FftStatus fft_release(FftTables& fft) {
    if (!fft.set_up) return FftStatus::kNotSetUp;
    fft.sine_table.reset();
    fft.cosine_table.reset();
    fft.stage_sine.reset();
    fft.stage_cosine.reset();
    fft.plans.reset();
    fft.maximum_size = -1;
    fft.setup_flags = 0;
    fft.set_up = false;
    return FftStatus::kOk;
}

FftStatus fft_transform(const FftTables& fft, double* re, double* im, int32_t n,
                        uint32_t direction) {
    if (n < 0 || n > fft.maximum_size) return FftStatus::kTooLarge;
    const bool inverse = direction & kFftInverse;
    const uint32_t size = uint32_t(n);
    if (size <= 2) {
        tiny_transform(re, im, size, inverse);
        return FftStatus::kOk;
    }
    if (is_power_of_two(size)) {
        power_of_two(fft, re, im, size, inverse);
        return FftStatus::kOk;
    }
    if (!(fft.setup_flags & kFftAnySize)) return FftStatus::kNotPowerOfTwo;
    if (!inverse) return other_forward(fft, re, im, size);
    const FftStatus status = other_forward(fft, im, re, size);
    if (status != FftStatus::kOk) return status;
    const double scale = 1.0 / double(size);
    for (uint32_t k = 0; k < size; ++k) {
        re[k] *= scale;
        im[k] *= scale;
    }
    return FftStatus::kOk;
}

FftStatus fft_real_forward(const FftTables& fft, const double* x, double* re, double* im,
                           int32_t n) {
    if (n < 0 || n > fft.maximum_size) return FftStatus::kTooLarge;
    const uint32_t size = uint32_t(n);
    if (size < 8 || is_power_of_two(size) || size % 2 != 0 || !(fft.setup_flags & kFftAnySize)) {
        std::copy(x, x + size, re);
        std::fill(im, im + size, 0.0);
        return fft_transform(fft, re, im, n, kFftForward);
    }
    // z[k] = x[2k] + i x[2k+1]; Z its transform of h = n/2 points. Then
    // X[k] = E + e^(-2 pi i k/n) O with E = (Z[k] + conj Z[h-k])/2 and
    // O = -i (Z[k] - conj Z[h-k])/2, and X[n-k] = conj X[k].
    const uint32_t h = size / 2;
    for (uint32_t k = 0; k < h; ++k) {
        re[k] = x[2 * k];
        im[k] = x[2 * k + 1];
    }
    // h is no power of two: n is even and not one either.
    const FftStatus status = other_forward(fft, re, im, h);
    if (status != FftStatus::kOk) return status;
    const std::shared_ptr<const FftPlan> plan = plan_for(fft, h, kRealSplitPlan);
    if (!plan) return FftStatus::kNoMemory;
    const double* wr = plan->split_r.data();
    const double* wi = plan->split_i.data();
    const double z0r = re[0], z0i = im[0];
    re[0] = z0r + z0i;
    im[0] = 0.0;
    re[h] = z0r - z0i;
    im[h] = 0.0;
    for (uint32_t k = 1; 2 * k <= h; ++k) {
        const uint32_t j = h - k;
        const double ar = re[k], ai = im[k], cr = re[j], ci = im[j];
        // Bin k from Z[k] and Z[h-k], bin h-k from the same two the other way round.
        const double er = 0.5 * (ar + cr), ei = 0.5 * (ai - ci);
        const double orr = 0.5 * (ai + ci), oi = -0.5 * (ar - cr);
        const double xkr = er + wr[k] * orr - wi[k] * oi;
        const double xki = ei + wr[k] * oi + wi[k] * orr;
        const double fr = 0.5 * (cr + ar), fi = 0.5 * (ci - ai);
        const double pr = 0.5 * (ci + ai), pi = -0.5 * (cr - ar);
        const double xjr = fr + wr[j] * pr - wi[j] * pi;
        const double xji = fi + wr[j] * pi + wi[j] * pr;
        re[k] = xkr, im[k] = xki;
        re[j] = xjr, im[j] = xji;
        re[size - k] = xkr, im[size - k] = -xki;
        re[size - j] = xjr, im[size - j] = -xji;
    }
    return FftStatus::kOk;
}

}  // namespace j3
