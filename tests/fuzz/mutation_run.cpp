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

constexpr uint32_t kInteresting32[] = {0,          1,          2,          7,          8,
                                       9,          16,         0x7FFF,     0x8000,     0xFFFF,
                                       0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8, 0x7FFFFFF8};
constexpr uint8_t kInteresting8[] = {0, 1, 0x7F, 0x80, 0xFF, 0x0F, 0x10, 0x20, 0x40};

void mutate(Bytes& b, const std::vector<Bytes>& all, Random& rnd) {
    switch (rnd.below(7)) {
        case 0:  // flip a bit
            if (!b.empty()) b[rnd.below(b.size())] ^= uint8_t(1u << rnd.below(8));
            break;
        case 1:  // an interesting byte
            if (!b.empty()) b[rnd.below(b.size())] = kInteresting8[rnd.below(sizeof kInteresting8)];
            break;
        case 2: {  // an interesting 32-bit value, either byte order, often on a size field
            if (b.size() < 4) break;
            const size_t at =
                rnd.below(2) ? (rnd.below(b.size() / 4)) * 4 : rnd.below(b.size() - 3);
            const uint32_t v = kInteresting32[rnd.below(std::size(kInteresting32))];
            rnd.below(2) ? j3::write_le32(b.data() + at, v) : j3::write_be32(b.data() + at, v);
            break;
        }
        case 3:  // truncate
            b.resize(rnd.below(b.size() + 1));
            break;
        case 4: {  // insert a few random bytes
            const size_t at = rnd.below(b.size() + 1);
            Bytes extra(1 + rnd.below(9));
            for (auto& x : extra) x = uint8_t(rnd.next());
            b.insert(b.begin() + std::ptrdiff_t(at), extra.begin(), extra.end());
            break;
        }
        case 5: {  // duplicate a range (repeats chunks)
            if (b.empty()) break;
            const size_t from = rnd.below(b.size());
            const size_t n = 1 + rnd.below(std::min<size_t>(64, b.size() - from));
            const Bytes piece(b.begin() + std::ptrdiff_t(from),
                              b.begin() + std::ptrdiff_t(from + n));
            const size_t at = rnd.below(b.size() + 1);
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
