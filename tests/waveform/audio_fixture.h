// Small writers of audio files held in memory, so each test states only the
// samples and the loop it needs.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace j3::testing {

struct Loop {
    uint32_t start = 0, end = 0;  // frames, end inclusive
};

inline void put_le(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void put_be(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void put_tag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

// 16-bit PCM WAV, 44100 Hz. samples are interleaved frames; a loop adds a
// smpl chunk with one forward loop.
inline std::vector<uint8_t> wav16(const std::vector<int16_t>& samples, int channels,
                                  std::optional<Loop> loop = std::nullopt) {
    std::vector<uint8_t> b;
    put_tag(b, "RIFF");
    put_le(b, 0, 4);  // patched below
    put_tag(b, "WAVE");
    put_tag(b, "fmt ");
    put_le(b, 16, 4);
    put_le(b, 1, 2);
    put_le(b, uint64_t(channels), 2);
    put_le(b, 44100, 4);
    put_le(b, 44100 * 2 * uint64_t(channels), 4);
    put_le(b, 2 * uint64_t(channels), 2);
    put_le(b, 16, 2);
    put_tag(b, "data");
    put_le(b, samples.size() * 2, 4);
    for (int16_t s : samples) put_le(b, uint16_t(s), 2);
    if (loop) {
        put_tag(b, "smpl");
        put_le(b, 36 + 24, 4);
        for (int i = 0; i < 7; ++i) put_le(b, i == 2 ? 22676 : 0, 4);  // .. period .. SMPTE
        put_le(b, 1, 4);                                               // one loop
        put_le(b, 0, 4);                                               // sampler data
        put_le(b, 0, 4);                                               // cue id
        put_le(b, 0, 4);                                               // forward
        put_le(b, loop->start, 4);
        put_le(b, loop->end, 4);
        put_le(b, 0, 4);
        put_le(b, 0, 4);
    }
    const uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(riff >> (8 * i));
    return b;
}

// 16-bit AIFF (or AIFC with the given compression, "NONE" or "sowt"), 44100
// Hz, without loop: the whole sample is the cycle.
inline std::vector<uint8_t> aiff16(const std::vector<int16_t>& samples, int channels,
                                   const char* aifc_compression = nullptr) {
    std::vector<uint8_t> b;
    put_tag(b, "FORM");
    put_be(b, 0, 4);
    put_tag(b, aifc_compression ? "AIFC" : "AIFF");
    put_tag(b, "COMM");
    put_be(b, aifc_compression ? 24 : 18, 4);
    put_be(b, uint64_t(channels), 2);
    put_be(b, samples.size() / size_t(channels), 4);
    put_be(b, 16, 2);
    const uint8_t rate44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    for (uint8_t byte : rate44100) b.push_back(byte);
    if (aifc_compression) {
        put_tag(b, aifc_compression);
        put_be(b, 0, 2);  // empty name and its pad byte
    }
    put_tag(b, "SSND");
    put_be(b, 8 + samples.size() * 2, 4);
    put_be(b, 0, 8);
    const bool little = aifc_compression && std::string(aifc_compression) == "sowt";
    for (int16_t s : samples) {
        if (little)
            put_le(b, uint16_t(s), 2);
        else
            put_be(b, uint16_t(s), 2);
    }
    const uint32_t form = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(form >> (24 - 8 * i));
    return b;
}

// `frames` values of a sine with `cycles` periods over `period` frames,
// starting at phase 0 on frame `offset`.
inline std::vector<int16_t> sine(int frames, double cycles, int period, int offset = 0,
                                 double amplitude = 16000.0) {
    std::vector<int16_t> s(size_t(frames), 0);
    for (int i = 0; i < frames; ++i)
        s[size_t(i)] = int16_t(std::lround(
            amplitude * std::sin(2.0 * 3.14159265358979323846 * cycles * (i - offset) / period)));
    return s;
}

// Left and right interleaved.
inline std::vector<int16_t> interleave(const std::vector<int16_t>& left,
                                       const std::vector<int16_t>& right) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < left.size(); ++i) {
        s.push_back(left[i]);
        s.push_back(right[i]);
    }
    return s;
}

}  // namespace j3::testing
