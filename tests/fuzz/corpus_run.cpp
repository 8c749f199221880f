// A deterministic mutation run over a fuzz target, for CI: every file of a
// seed corpus, every prefix of each, then mutations with a fixed seed (bit
// flips, NULs and other boundary bytes, truncation, insertion, splicing), each
// passed in a buffer of exactly its size so AddressSanitizer sees any read
// past it.
//
//   fuzz_<target>_run CORPUS_DIR [ITERATIONS]
#include <algorithm>
#include <cstdint>
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

// Bytes that separate or start the fields of text formats, and the extremes.
constexpr uint8_t kInteresting[] = {0, '0', '1', '2', '3', '9', '*', '/', ' ', 0x7F, 0x80, 0xFF};

void mutate(Bytes& b, const std::vector<Bytes>& all, Random& rnd) {
    switch (rnd.below(6)) {
        case 0:  // flip a bit
            if (!b.empty()) b[rnd.below(b.size())] ^= uint8_t(1u << rnd.below(8));
            break;
        case 1:  // an interesting byte
            if (!b.empty()) b[rnd.below(b.size())] = kInteresting[rnd.below(sizeof kInteresting)];
            break;
        case 2:  // truncate
            b.resize(rnd.below(b.size() + 1));
            break;
        case 3: {  // insert a few bytes, interesting or random
            const size_t at = rnd.below(b.size() + 1);
            Bytes extra(1 + rnd.below(9));
            for (auto& x : extra) {
                x = rnd.below(2) ? kInteresting[rnd.below(sizeof kInteresting)]
                                 : uint8_t(rnd.next());
            }
            b.insert(b.begin() + std::ptrdiff_t(at), extra.begin(), extra.end());
            break;
        }
        case 4: {  // repeat a range; now and then a long one, past length limits
            if (b.empty()) break;
            const size_t from = rnd.below(b.size());
            const size_t n = 1 + rnd.below(std::min<size_t>(64, b.size() - from));
            const Bytes piece(b.begin() + std::ptrdiff_t(from),
                              b.begin() + std::ptrdiff_t(from + n));
            const size_t times = rnd.below(8) == 0 ? 1 + rnd.below(1100) : 1;
            const size_t at = rnd.below(b.size() + 1);
            for (size_t t = 0; t < times; ++t)
                b.insert(b.begin() + std::ptrdiff_t(at), piece.begin(), piece.end());
            break;
        }
        default: {  // splice the tail of another seed
            const Bytes& other = all[rnd.below(all.size())];
            const size_t cut = rnd.below(b.size() + 1);
            const size_t from = rnd.below(other.size() + 1);
            b.resize(cut);
            b.insert(b.end(), other.begin() + std::ptrdiff_t(from), other.end());
            break;
        }
    }
}

void run_exact(const Bytes& b, size_t size) {
    // A heap block of exactly the input's size.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(exact.get(), b.data(), size);
    LLVMFuzzerTestOneInput(exact.get(), size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [ITERATIONS]\n", argv[0]);
        return 2;
    }
    const long iterations = argc > 2 ? std::atol(argv[2]) : 100000;
    std::vector<std::filesystem::path> names;
    for (const auto& f : std::filesystem::directory_iterator(argv[1])) {
        if (f.is_regular_file()) names.push_back(f.path());
    }
    std::sort(names.begin(), names.end());  // the same order on every machine
    std::vector<Bytes> all;
    for (const auto& name : names) {
        std::ifstream in(name, std::ios::binary);
        all.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (all.empty()) {
        std::fprintf(stderr, "no seeds in %s\n", argv[1]);
        return 1;
    }
    for (const Bytes& s : all) {
        for (size_t n = 0; n <= s.size(); ++n) run_exact(s, n);
    }
    Random rnd;
    for (long n = 0; n < iterations; ++n) {
        Bytes b = all[rnd.below(all.size())];
        const size_t mutations = 1 + rnd.below(4);
        for (size_t m = 0; m < mutations; ++m) mutate(b, all, rnd);
        run_exact(b, b.size());
    }
    std::printf("%zu seeds, their prefixes and %ld mutated inputs read cleanly\n", all.size(),
                iterations);
    return 0;
}
