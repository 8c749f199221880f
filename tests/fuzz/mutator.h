// The mutations of the deterministic fuzz runs: bit flips, boundary values in
// size fields, truncation, insertion, repeats and splices, all from a fixed
// seed so every machine runs the same inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "fixtures/audio_files.h"

namespace j3::testing {

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

inline void mutate(Bytes& b, const std::vector<Bytes>& all, Random& rnd) {
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

}  // namespace j3::testing
