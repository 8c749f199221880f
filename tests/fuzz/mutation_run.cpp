// A deterministic mutation run over the fuzz target, for CI: valid files of
// every kind, mutated with a fixed seed (bit flips, boundary values in size
// fields, truncation, insertion, splicing), each passed in a buffer of exactly
// its size so AddressSanitizer sees any read past it.
//
//   fuzz_audio_readers_run [ITERATIONS] [--write-corpus DIR]
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/audio_files.h"
#include "fuzz/mutator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using namespace j3::testing;

std::vector<Bytes> seeds() {
    Bytes stereo16(400);
    for (size_t i = 0; i < stereo16.size(); ++i) stereo16[i] = uint8_t(i * 7);
    return {
        wav({fmt(1, 2, 44100, 16), data(stereo16)}),
        wav({fmt(1, 1, 22050, 8), smpl(22676, {{10, 90, 0}, {5, 6, 1}}), data(Bytes(101, 0x80))}),
        wav({fmt(3, 1, 48000, 32), data(Bytes(64, 0x3F)), smpl(0, {{1, 2, 1}})}),
        wav({fmt(3, 2, 48000, 64), data(Bytes(64, 0xC0))}),
        wav({fmt(1, 1, 44100, 20), {"LIST", {'I', 'N', 'F', 'O'}}, data(Bytes(30, 0xF0))}),
        aiff({comm(1, 100, 16, 44100), inst(1, 1, 2), mark({{1, 10, "a"}, {2, 50, "bc"}}),
              ssnd(stereo16)}),
        aiff({comm(2, 10, 24, 96000), ssnd(Bytes(60, 0x80)), mark({{3, 1, ""}}), inst(0, 3, 3)}),
        aiff({comm(1, 7, 12, 8000), ssnd(Bytes(14, 0x7F), 4)}),
        aifc({{"FVER", {0xA2, 0x80, 0x51, 0x40}}, comm(2, 10, 16, 44100, "sowt"), ssnd(stereo16)}),
        aifc({comm(1, 10, 32, 44100, "fl32"), ssnd(Bytes(40, 0x3F))}),
        aifc({comm(1, 10, 64, 44100, "fl64"), inst(1, 0, 15), mark({{0, 1, "x"}, {15, 9, "y"}}),
              ssnd(Bytes(80, 0x40))}),
        aifc({comm(1, 10, 8, 44100, "NONE"), ssnd(Bytes(11, 0x01))}),
    };
}

void run_exact(const Bytes& b) {
    // A heap block of exactly the input's size.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[b.size() ? b.size() : 1]);
    if (!b.empty()) std::memcpy(exact.get(), b.data(), b.size());
    LLVMFuzzerTestOneInput(exact.get(), b.size());
}

}  // namespace

int main(int argc, char** argv) {
    long iterations = 100000;
    const char* corpus_dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--write-corpus") && i + 1 < argc) {
            corpus_dir = argv[++i];
        } else {
            iterations = std::atol(argv[i]);
        }
    }
    const std::vector<Bytes> all = seeds();
    if (corpus_dir) {
        std::filesystem::create_directories(corpus_dir);
        for (size_t i = 0; i < all.size(); ++i) {
            std::ofstream(std::string(corpus_dir) + "/seed" + std::to_string(i), std::ios::binary)
                .write(reinterpret_cast<const char*>(all[i].data()),
                       std::streamsize(all[i].size()));
        }
        return 0;
    }
    Random rnd;
    for (const Bytes& s : all) run_exact(s);
    for (long n = 0; n < iterations; ++n) {
        Bytes b = all[rnd.below(all.size())];
        const size_t mutations = 1 + rnd.below(4);
        for (size_t m = 0; m < mutations; ++m) mutate(b, all, rnd);
        run_exact(b);
    }
    std::printf("%ld mutated inputs read cleanly\n", iterations);
    return 0;
}
