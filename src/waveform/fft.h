// Discrete Fourier transform over split complex arrays (real parts and
// imaginary parts in two arrays), in place. Power-of-two sizes run a radix-2
// transform on twiddle tables made once at set-up; sizes whose prime factors
// are 2, 3 and 5 run a mixed-radix transform (radices 4, 2, 3, 5) that needs
// no bit reversal; other sizes run Bluestein's chirp-z method on top of the
// radix-2 one. What a size needs beyond the set-up tables (its factors and
// twiddles, Bluestein's chirp and its spectrum) is made at its first transform
// and kept for the next ones, a few dozen sizes at a time.
//
//     FftTables fft;
//     fft_setup(fft, 16384, kFftAnySize);              // once, at start-up
//     fft_transform(fft, re, im, 1000, kFftForward);   // X[k] = sum x[m] e^(-2 pi i km/n)
//     fft_transform(fft, re, im, 1000, kFftInverse);   // back, scaled by 1/n
//
// Threads: set-up and release on one thread; transforms from any thread. The
// tables are not locked (a transform only reads them); the per-size cache has
// its own lock, and each thread keeps its own work space.
#pragma once

#include <cstdint>
#include <memory>

namespace j3 {

struct FftPlanCache;  // what each size needs beyond the set-up tables

// How each of the calls ended.
enum class FftStatus {
    kOk,
    kNoMemory,       // a table or work array could not be allocated; nothing changed
    kTooLarge,       // size above the set-up maximum (every size before set-up), or below 0
    kNotPowerOfTwo,  // size not a power of two and kFftAnySize not in force
    kNotSetUp,       // release while not set up
};

// fft_setup flags.
constexpr uint32_t kFftAnySize = 2;  // allow sizes that are not powers of two (Bluestein)

// fft_transform direction flags: bit 0 set means inverse; other bits are ignored.
constexpr uint32_t kFftInverse = 1;
constexpr uint32_t kFftForward = 4;  // what the waveform builder passes; any value with bit 0 clear

// The transform state. Owns its tables.
struct FftTables {
    int32_t maximum_size = -1;  // largest transform size; -1 while not set up
    uint32_t setup_flags = 0;
    uint32_t table_size = 0;  // M: the tables serve every power of two up to M
    // M/2 entries each: entry t = sin(-2 pi t/M) and cos(-2 pi t/M), the factor e^(-2 pi i t/M).
    std::unique_ptr<double[]> sine_table;
    std::unique_ptr<double[]> cosine_table;
    // The same factors regrouped by stage, so a stage reads them in order: the
    // stage of half-width d (d = 1, 2, 4, ..., M/2) uses the factors
    // e^(-2 pi i j/(2d)), j < d, found at entries d ... 2d-1 (copied from the
    // tables above, entry j*M/(2d)). M entries each.
    std::unique_ptr<double[]> stage_sine;
    std::unique_ptr<double[]> stage_cosine;
    // Made at set-up; shared by copies of the state, which read the same tables.
    std::shared_ptr<FftPlanCache> plans;
    bool set_up = false;
};

// Prepares the tables for transforms of up to n values (n >= 1). Without
// kFftAnySize n must be a power of two (else FftStatus::kNotPowerOfTwo) and M = n;
// with it M is 2n for a power of two and otherwise twice the smallest power of
// two above n, which leaves room for Bluestein's padded transforms. Releases
// earlier tables first. n below 1 or above 2^28 gives FftStatus::kTooLarge, an
// allocation failure FftStatus::kNoMemory; the state is then not set up.
FftStatus fft_setup(FftTables& fft, int32_t n, uint32_t flags);

// Frees the tables; the maximum size becomes -1 and the flags 0. FftStatus::kNotSetUp
// when there was nothing to release.
FftStatus fft_release(FftTables& fft);

// Transforms the n values of re and im in place. Forward: not scaled;
// inverse: scaled by 1/n. Sizes 0 (nothing to do), 1 and 2 are handled
// directly. Sizes that are not powers of two allocate their work arrays per
// call and answer FftStatus::kNoMemory, with the data unchanged, when that fails.
FftStatus fft_transform(const FftTables& fft, double* re, double* im, int32_t n,
                        uint32_t direction);

// The forward transform of n real values x into the n bins re and im (each
// bin k and n - k conjugate). Even sizes other than powers of two transform
// the n/2 pairs (x[2k], x[2k+1]) as one complex sequence and separate the
// halves afterwards, half the work; powers of two, odd sizes and sizes the
// tables refuse take the complex path with zero imaginary parts, so their
// results are those of fft_transform to the bit. Same status codes.
FftStatus fft_real_forward(const FftTables& fft, const double* x, double* re, double* im,
                           int32_t n);

}  // namespace j3
