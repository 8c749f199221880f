// The transform against a direct evaluation of the DFT sum and against FFTW.
#include <fftw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "waveform/fft.h"

namespace j3 {
namespace {

struct Signal {
    std::vector<double> re, im;
};

Signal random_signal(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Signal s{std::vector<double>(n), std::vector<double>(n)};
    for (int i = 0; i < n; ++i) {
        s.re[i] = dist(gen);
        s.im[i] = dist(gen);
    }
    return s;
}

// The DFT sum in long double, exponents reduced modulo n so the angles stay exact.
Signal direct_dft(const Signal& x, bool inverse) {
    const size_t n = x.re.size();
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> c(n), s(n);
    for (size_t t = 0; t < n; ++t) {
        c[t] = std::cos(2 * pi * t / n);
        s[t] = (inverse ? 1 : -1) * std::sin(2 * pi * t / n);
    }
    Signal out{std::vector<double>(n), std::vector<double>(n)};
    for (size_t k = 0; k < n; ++k) {
        long double sr = 0, si = 0;
        for (size_t m = 0; m < n; ++m) {
            const size_t t = k * m % n;
            sr += x.re[m] * c[t] - x.im[m] * s[t];
            si += x.re[m] * s[t] + x.im[m] * c[t];
        }
        const long double scale = inverse ? 1.0L / n : 1.0L;
        out.re[k] = double(sr * scale);
        out.im[k] = double(si * scale);
    }
    return out;
}

// FFTW's own answer (unnormalised both ways, so the inverse is scaled here).
Signal fftw_dft(const Signal& x, bool inverse) {
    const int n = int(x.re.size());
    fftw_complex* buf = fftw_alloc_complex(n);
    fftw_plan plan =
        fftw_plan_dft_1d(n, buf, buf, inverse ? FFTW_BACKWARD : FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) {
        buf[i][0] = x.re[i];
        buf[i][1] = x.im[i];
    }
    fftw_execute(plan);
    Signal out{std::vector<double>(n), std::vector<double>(n)};
    const double scale = inverse ? 1.0 / n : 1.0;
    for (int i = 0; i < n; ++i) {
        out.re[i] = buf[i][0] * scale;
        out.im[i] = buf[i][1] * scale;
    }
    fftw_destroy_plan(plan);
    fftw_free(buf);
    return out;
}

// Largest difference relative to the largest magnitude of the reference.
double relative_error(const Signal& got, const Signal& want) {
    double diff = 0, peak = 1e-300;
    for (size_t i = 0; i < want.re.size(); ++i) {
        diff = std::max(diff, std::hypot(got.re[i] - want.re[i], got.im[i] - want.im[i]));
        peak = std::max(peak, std::hypot(want.re[i], want.im[i]));
    }
    return diff / peak;
}

Signal transformed(const FftTables& fft, Signal s, bool inverse, FftStatus* status = nullptr) {
    const FftStatus st = fft_transform(fft, s.re.data(), s.im.data(), int32_t(s.re.size()),
                                       inverse ? kFftInverse : kFftForward);
    if (status) *status = st;
    return s;
}

class FftTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(fft_setup(fft, 16384, kFftAnySize), FftStatus::kOk); }
    FftTables fft;
};

TEST(FftSetup, StatusAndTableSize) {
    struct Case {
        const char* description;
        int32_t n;
        uint32_t flags;
        FftStatus status;
        uint32_t table_size;  // when set up
    };
    const Case cases[] = {
        {"1000 without any-size flag", 1000, 0, FftStatus::kNotPowerOfTwo, 0},
        {"1000 with any-size flag", 1000, kFftAnySize, FftStatus::kOk, 2048},
        {"start-up size", 16384, kFftAnySize, FftStatus::kOk, 32768},
        {"power of two without flag", 16384, 0, FftStatus::kOk, 16384},
        {"size 1", 1, 0, FftStatus::kOk, 1},
        {"size 1 with flag", 1, kFftAnySize, FftStatus::kOk, 2},
        {"size 3 with flag", 3, kFftAnySize, FftStatus::kOk, 8},
        {"size 0", 0, kFftAnySize, FftStatus::kTooLarge, 0},
        {"negative size", -5, kFftAnySize, FftStatus::kTooLarge, 0},
        {"beyond 2^28", (int32_t(1) << 28) + 1, kFftAnySize, FftStatus::kTooLarge, 0},
    };
    for (const Case& c : cases) {
        FftTables fft;
        EXPECT_EQ(fft_setup(fft, c.n, c.flags), c.status) << c.description;
        EXPECT_EQ(fft.set_up, c.status == FftStatus::kOk) << c.description;
        if (c.status == FftStatus::kOk) {
            EXPECT_EQ(fft.table_size, c.table_size) << c.description;
            EXPECT_EQ(fft.maximum_size, c.n) << c.description;
        } else {
            EXPECT_EQ(fft.maximum_size, -1) << c.description;
        }
    }
}

TEST(FftSetup, TablesHoldTheTwiddleFactors) {
    FftTables fft;
    ASSERT_EQ(fft_setup(fft, 1000, kFftAnySize), FftStatus::kOk);
    for (uint32_t i : {0u, 1u, 256u, 512u, 1023u}) {
        const double x = -2.0 * M_PI * i / 2048.0;
        EXPECT_NEAR(fft.sine_table[i], std::sin(x), 1e-15) << i;
        EXPECT_NEAR(fft.cosine_table[i], std::cos(x), 1e-15) << i;
    }
}

TEST(FftSetup, TransformsBeforeSetupAndAfterRelease) {
    FftTables fft;
    double re[4] = {1, 2, 3, 4}, im[4] = {};
    EXPECT_EQ(fft_transform(fft, re, im, 4, kFftForward), FftStatus::kTooLarge) << "never set up";
    EXPECT_EQ(fft_release(fft), FftStatus::kNotSetUp) << "release while not set up";

    ASSERT_EQ(fft_setup(fft, 1024, kFftAnySize), FftStatus::kOk);
    ASSERT_EQ(fft_setup(fft, 16384, kFftAnySize), FftStatus::kOk) << "second set-up rebuilds";
    EXPECT_EQ(fft.table_size, 32768u);
    EXPECT_EQ(fft_release(fft), FftStatus::kOk);
    EXPECT_EQ(fft.maximum_size, -1);
    EXPECT_EQ(fft.setup_flags, 0u);
    EXPECT_EQ(fft.table_size, 32768u) << "the table size is left as it was";
    EXPECT_EQ(fft_transform(fft, re, im, 4, kFftForward), FftStatus::kTooLarge) << "after release";
    EXPECT_EQ(fft_release(fft), FftStatus::kNotSetUp) << "second release";
    EXPECT_EQ(re[0], 1.0) << "a refused transform leaves the data alone";
}

TEST_F(FftTest, SizeStatus) {
    std::vector<double> re(16385), im(16385);
    EXPECT_EQ(fft_transform(fft, re.data(), im.data(), 16385, kFftForward), FftStatus::kTooLarge);
    EXPECT_EQ(fft_transform(fft, re.data(), im.data(), -1, kFftForward), FftStatus::kTooLarge);
    EXPECT_EQ(fft_transform(fft, re.data(), im.data(), 0, kFftForward), FftStatus::kOk);
    EXPECT_EQ(fft_transform(fft, re.data(), im.data(), 16384, kFftForward), FftStatus::kOk);
    EXPECT_EQ(fft_transform(fft, re.data(), im.data(), 12000, kFftForward), FftStatus::kOk);

    FftTables pow2_only;
    ASSERT_EQ(fft_setup(pow2_only, 1024, 0), FftStatus::kOk);
    EXPECT_EQ(fft_transform(pow2_only, re.data(), im.data(), 1000, kFftForward),
              FftStatus::kNotPowerOfTwo);
    EXPECT_EQ(fft_transform(pow2_only, re.data(), im.data(), 512, kFftForward), FftStatus::kOk);
    EXPECT_EQ(fft_transform(pow2_only, re.data(), im.data(), 3, kFftForward),
              FftStatus::kNotPowerOfTwo);
}

TEST_F(FftTest, MatchesTheDirectSum) {
    // Sizes 1 and 2, the smallest radix-2 sizes, odd and even Bluestein sizes.
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 17, 64, 100, 700, 1000, 1024, 2048, 1999}) {
        for (bool inverse : {false, true}) {
            const Signal x = random_signal(n, unsigned(n));
            FftStatus status = FftStatus::kNoMemory;
            const Signal got = transformed(fft, x, inverse, &status);
            const std::string what = std::to_string(n) + (inverse ? " inverse" : " forward");
            ASSERT_EQ(status, FftStatus::kOk) << what;
            EXPECT_LT(relative_error(got, direct_dft(x, inverse)), 1e-13) << what;
        }
    }
}

TEST_F(FftTest, MatchesFftw) {
    for (int n : {4096, 8192, 16384, 3000, 8193, 12000, 16383}) {
        for (bool inverse : {false, true}) {
            const Signal x = random_signal(n, unsigned(n) + 7);
            FftStatus status = FftStatus::kNoMemory;
            const Signal got = transformed(fft, x, inverse, &status);
            const std::string what = std::to_string(n) + (inverse ? " inverse" : " forward");
            ASSERT_EQ(status, FftStatus::kOk) << what;
            EXPECT_LT(relative_error(got, fftw_dft(x, inverse)), 1e-12) << what;
        }
    }
}

TEST_F(FftTest, SmallerTablesServeTheSameSizes) {
    // A set-up just large enough gives the same answer as the start-up one.
    FftTables small;
    ASSERT_EQ(fft_setup(small, 1000, kFftAnySize), FftStatus::kOk);
    for (int n : {8, 512, 1000}) {
        const Signal x = random_signal(n, 3);
        EXPECT_LT(relative_error(transformed(small, x, false), transformed(fft, x, false)), 1e-14)
            << n;
    }
}

TEST_F(FftTest, ImpulseAndConstant) {
    for (int n : {4, 16, 1000, 16384}) {
        Signal impulse{std::vector<double>(n), std::vector<double>(n)};
        impulse.re[0] = 1.0;
        const Signal x = transformed(fft, impulse, false);
        Signal ones{std::vector<double>(n, 1.0), std::vector<double>(n)};
        const Signal y = transformed(fft, ones, false);
        double worst_impulse = 0, worst_ones = std::abs(y.re[0] - n) + std::abs(y.im[0]);
        for (int k = 0; k < n; ++k) {
            worst_impulse = std::max(worst_impulse, std::hypot(x.re[k] - 1.0, x.im[k]));
            if (k) worst_ones = std::max(worst_ones, std::hypot(y.re[k], y.im[k]));
        }
        EXPECT_LT(worst_impulse, 1e-12) << "impulse, n = " << n;
        EXPECT_LT(worst_ones, 1e-9) << "ones, n = " << n;
    }
}

TEST_F(FftTest, InverseUndoesForward) {
    for (int n : {1000, 16384, 12345}) {
        const Signal x = random_signal(n, 11);
        const Signal back = transformed(fft, transformed(fft, x, false), true);
        EXPECT_LT(relative_error(back, x), 1e-13) << n;
    }
}

TEST_F(FftTest, EveryKindOfSizeMatchesItsReference) {
    // Mixed radix (factors 2, 3, 5 in every mix, single radices, long runs of
    // one radix), Bluestein (other primes) and radix-2, both ways; the direct
    // sum for small sizes, FFTW for large ones. Each size runs twice, the
    // second time from its kept plan, which must give the same bits.
    for (int n : {3,    5,    6,    9,    10,   12,   15,    20,    25,    27,    30,   45,
                  48,   60,   75,   80,   96,   125,  243,   360,   625,   7,     11,   49,
                  1001, 1536, 3125, 4096, 6000, 6561, 11025, 12000, 15625, 16000, 16384}) {
        for (bool inverse : {false, true}) {
            const Signal x = random_signal(n, unsigned(n) * 3 + inverse);
            FftStatus status = FftStatus::kNoMemory;
            const Signal got = transformed(fft, x, inverse, &status);
            const std::string what = std::to_string(n) + (inverse ? " inverse" : " forward");
            ASSERT_EQ(status, FftStatus::kOk) << what;
            const Signal want = n <= 1536 ? direct_dft(x, inverse) : fftw_dft(x, inverse);
            EXPECT_LT(relative_error(got, want), 1e-13) << what;
            const Signal again = transformed(fft, x, inverse);
            EXPECT_EQ(again.re, got.re) << what << ", from the kept plan";
            EXPECT_EQ(again.im, got.im) << what << ", from the kept plan";
        }
    }
}

TEST_F(FftTest, RealForwardMatchesTheComplexTransform) {
    // Even sizes split into halves (mixed radix and Bluestein halves, the
    // smallest split size); powers of two and odd sizes go the complex way
    // and must agree to the bit.
    for (int n :
         {8, 10, 12, 14, 30, 250, 1000, 1400, 12000, 16382, 1, 2, 4, 3, 1023, 1024, 16384}) {
        Signal x = random_signal(n, unsigned(n) + 99);
        std::fill(x.im.begin(), x.im.end(), 0.0);
        Signal got{std::vector<double>(n, 7.0), std::vector<double>(n, 7.0)};
        ASSERT_EQ(fft_real_forward(fft, x.re.data(), got.re.data(), got.im.data(), n),
                  FftStatus::kOk)
            << n;
        const Signal complex_way = transformed(fft, x, false);
        const bool split = n >= 8 && n % 2 == 0 && (n & (n - 1)) != 0;
        if (split) {
            EXPECT_LT(relative_error(got, complex_way), 1e-13) << n;
            EXPECT_LT(relative_error(got, n <= 1400 ? direct_dft(x, false) : fftw_dft(x, false)),
                      1e-13)
                << n;
        } else {
            EXPECT_EQ(got.re, complex_way.re) << n;
            EXPECT_EQ(got.im, complex_way.im) << n;
        }
    }
    std::vector<double> x(16385), re(16385), im(16385);
    EXPECT_EQ(fft_real_forward(fft, x.data(), re.data(), im.data(), 16385), FftStatus::kTooLarge);
}

TEST_F(FftTest, ArraysAtTheSamePageOffsetGiveTheSameBits) {
    // Page-aligned arrays take the radix-2 transform through work space; the
    // answer must be the one of arrays that lie apart.
    for (int n : {1024, 16384}) {
        for (bool inverse : {false, true}) {
            const Signal x = random_signal(n, 5);
            const Signal apart = transformed(fft, x, inverse);
            const size_t bytes = size_t(n) * sizeof(double);
            double* re = static_cast<double*>(std::aligned_alloc(4096, bytes));
            double* im = static_cast<double*>(std::aligned_alloc(4096, bytes));
            ASSERT_TRUE(re && im);
            std::copy(x.re.begin(), x.re.end(), re);
            std::copy(x.im.begin(), x.im.end(), im);
            ASSERT_EQ(fft_transform(fft, re, im, n, inverse ? kFftInverse : kFftForward),
                      FftStatus::kOk);
            EXPECT_EQ(std::vector<double>(re, re + n), apart.re)
                << n << (inverse ? " inverse" : "");
            EXPECT_EQ(std::vector<double>(im, im + n), apart.im)
                << n << (inverse ? " inverse" : "");
            std::free(re);
            std::free(im);
        }
    }
}

TEST_F(FftTest, ThreadsShareTheKeptPlans) {
    // Two threads making and using plans of many sizes at once (more than are
    // kept, so plans are dropped while the other thread may hold them). FFTW's
    // planner is not for threads, so each checks its answer by the inverse.
    auto run = [this](int first, bool* ok) {
        *ok = true;
        for (int round = 0; round < 3; ++round) {
            for (int n = first; n < first + 120; n += 2) {
                const Signal x = random_signal(n, unsigned(n));
                const Signal back = transformed(fft, transformed(fft, x, false), true);
                if (relative_error(back, x) > 1e-13) *ok = false;
            }
        }
    };
    bool ok_a = false, ok_b = false;
    std::thread a(run, 900, &ok_a);
    std::thread b(run, 901, &ok_b);
    a.join();
    b.join();
    EXPECT_TRUE(ok_a);
    EXPECT_TRUE(ok_b);
}

}  // namespace
}  // namespace j3
