// A deterministic run of a fuzz target for CI: every file of a seed corpus,
// then mutations of them with a fixed seed (bit flips, interesting bytes,
// truncation, insertion, repeats, splicing), each passed in a buffer of
// exactly its size so AddressSanitizer sees any read past it.
//
//   fuzz_..._run CORPUS_DIR [ITERATIONS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

// xorshift64*: the same sequence on every machine.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15u;
    uint64_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Du;
    }
    size_t below(size_t n) { return n == 0 ? 0 : size_t(next() % n); }
};

constexpr uint8_t kInteresting[] = {0x00, 0x01, 0x02, 0x05, 0x7E, 0x7F, 0x80,
                                    0xF0, 0xF7, 0xF8, 0xFE, 0xFF, 0x3C, 0x20};

void mutate(Bytes& b, const std::vector<Bytes>& all, Random& rnd) {
    switch (rnd.below(6)) {
        case 0:
            if (!b.empty()) b[rnd.below(b.size())] ^= uint8_t(1u << rnd.below(8));
            break;
        case 1:
            if (!b.empty()) b[rnd.below(b.size())] = kInteresting[rnd.below(sizeof kInteresting)];
            break;
        case 2:
            b.resize(rnd.below(b.size() + 1));
            break;
        case 3: {
            Bytes extra(1 + rnd.below(9));
            for (uint8_t& x : extra) x = kInteresting[rnd.below(sizeof kInteresting)];
            b.insert(b.begin() + std::ptrdiff_t(rnd.below(b.size() + 1)), extra.begin(),
                     extra.end());
            break;
        }
        case 4: {
            if (b.empty()) break;
            const size_t from = rnd.below(b.size());
            const size_t n = 1 + rnd.below(std::min<size_t>(200, b.size() - from));
            const Bytes piece(b.begin() + std::ptrdiff_t(from),
                              b.begin() + std::ptrdiff_t(from + n));
            b.insert(b.begin() + std::ptrdiff_t(rnd.below(b.size() + 1)), piece.begin(),
                     piece.end());
            break;
        }
        default: {
            const Bytes& other = all[rnd.below(all.size())];
            const size_t cut = rnd.below(b.size() + 1);
            const size_t from = rnd.below(other.size() + 1);
            b.resize(cut);
            b.insert(b.end(), other.begin() + std::ptrdiff_t(from), other.end());
            break;
        }
    }
}

void run_exact(const Bytes& b) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[b.empty() ? 1 : b.size()]);
    if (!b.empty()) std::memcpy(exact.get(), b.data(), b.size());
    LLVMFuzzerTestOneInput(exact.get(), b.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [ITERATIONS]\n", argv[0]);
        return 2;
    }
    const long iterations = argc > 2 ? std::atol(argv[2]) : 20000;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(argv[1]))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());  // the same order everywhere
    std::vector<Bytes> all;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        all.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (all.empty()) {
        std::fprintf(stderr, "%s: no seeds in %s\n", argv[0], argv[1]);
        return 1;
    }
    for (const Bytes& s : all) run_exact(s);
    Random rnd;
    for (long n = 0; n < iterations; ++n) {
        Bytes b = all[rnd.below(all.size())];
        const size_t mutations = 1 + rnd.below(4);
        for (size_t m = 0; m < mutations; ++m) mutate(b, all, rnd);
        run_exact(b);
    }
    std::printf("%zu seeds and %ld mutated inputs read cleanly\n", all.size(), iterations);
    return 0;
}
