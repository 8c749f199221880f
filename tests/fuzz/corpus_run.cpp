// The deterministic run of a fuzz target, for every build and the sanitizer
// build: each input of its seed corpus, then mutations of them from a fixed
// seed, each passed in a heap block of exactly its size so AddressSanitizer
// sees any read past it.
//
//   fuzz_NAME_corpus CORPUS_DIR [ITERATIONS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz/mutator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using j3::testing::Bytes;

void run_exact(const Bytes& b) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[b.size() ? b.size() : 1]);
    if (!b.empty()) std::memcpy(exact.get(), b.data(), b.size());
    LLVMFuzzerTestOneInput(exact.get(), b.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [ITERATIONS]\n", argv[0]);
        return 2;
    }
    const long iterations = argc > 2 ? std::atol(argv[2]) : 10000;
    std::vector<Bytes> seeds;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());  // the same run on every machine
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "%s: no seeds in %s\n", argv[0], argv[1]);
        return 1;
    }
    for (const Bytes& s : seeds) run_exact(s);
    j3::testing::Random rnd;
    for (long n = 0; n < iterations; ++n) {
        Bytes b = seeds[rnd.below(seeds.size())];
        const size_t mutations = 1 + rnd.below(4);
        for (size_t m = 0; m < mutations; ++m) j3::testing::mutate(b, seeds, rnd);
        run_exact(b);
    }
    std::printf("%zu seeds and %ld mutated inputs ran cleanly\n", seeds.size(), iterations);
    return 0;
}
