// Byte helpers: every multi-byte field of a file or message is decoded through
// these, with its byte order in the name. Callers check lengths before reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace j3 {

inline uint16_t read_le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t read_be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t read_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void write_le16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void write_be16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void write_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// MIDI data bytes carry 7 bits; multi-byte values go least significant group first.
inline uint32_t read_7bit_groups(const uint8_t* p, int groups) {
    uint32_t v = 0;
    for (int i = 0; i < groups && i < 5; ++i) v |= uint32_t(p[i] & 0x7F) << (7 * i);
    return v;
}

// Four-character tags ("RIFF", "fmt ") are compared byte for byte.
inline bool tag_is(const uint8_t* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

}  // namespace j3
