// Builders of the messages the analyses read: block messages with a correct
// checksum and length, upgrade messages of both schemes with correct check
// bytes, and SDS dumps. Each takes what a case varies and fills in the rest
// correctly, so a case states only what differs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "format/sds_messages.h"

namespace j3::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes repeat(const Bytes& part, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// F0 00 20 3C <device> 00 <id>
inline Bytes device_header(uint8_t device, uint8_t id) {
    return {0xF0, 0x00, 0x20, 0x3C, device, 0x00, id};
}

// Some 7-bit block data of n bytes, varied by seed.
inline Bytes block_data(size_t n, uint8_t seed = 1) {
    Bytes d(n);
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t((seed * 37 + i * 11) & 0x7F);
    return d;
}

struct Block {
    uint8_t device;
    uint8_t id;
    Bytes data;               // from offset 9 (for LY waveforms: slot byte first)
    int checksum_offset = 9;  // 9, or 10 for LY waveforms, ZB and device id 07
    int checksum_error = 0;   // added to the stored checksum
    int length_error = 0;     // added to the stored length
};

// The block message: header, two unexamined bytes, the data, the 14-bit
// checksum and length (high 7 bits first) and F7.
inline Bytes block(const Block& b) {
    Bytes m = device_header(b.device, b.id);
    m.push_back(0x01);
    m.push_back(0x01);
    m.insert(m.end(), b.data.begin(), b.data.end());
    uint32_t sum = 0;
    for (size_t i = size_t(b.checksum_offset); i < m.size(); ++i) sum += m[i];
    sum = (sum + uint32_t(b.checksum_error)) % 16384;
    const uint32_t length = uint32_t(int(m.size() + 5 - 10) + b.length_error);
    m.push_back(uint8_t(sum >> 7 & 0x7F));
    m.push_back(uint8_t(sum & 0x7F));
    m.push_back(uint8_t(length >> 7 & 0x7F));
    m.push_back(uint8_t(length & 0x7F));
    m.push_back(0xF7);
    return m;
}

// A block message of the family with n data bytes and the family's checksum start.
inline Bytes family_block(uint8_t device, uint8_t id, size_t n = 40, uint8_t seed = 1) {
    const int offset = (device == 0x03 && id == 0x5D) || device == 0x06 || device == 0x07 ? 10 : 9;
    return block({device, id, block_data(n, seed), offset});
}

// An LY waveform message (id 5D) for the slot.
inline Bytes ly_waveform(uint8_t slot, int checksum_error = 0) {
    Bytes data = block_data(64, slot);
    data.insert(data.begin(), slot);
    return block({0x03, 0x5D, data, 10, checksum_error});
}

// --- Upgrade scheme A (KX, LY, PW) -----------------------------------------

inline void push_nibble_pair(Bytes& m, uint8_t value) {
    m.push_back(value >> 4);
    m.push_back(value & 0x0F);
}

struct UpgradeA {
    uint8_t device;  // 02, 03 or 05
    Bytes payload;   // KX, LY: an even number of bytes
    uint8_t header[3] = {0x12, 0x34, 0x56};
    int check_error = 0;  // added to the check byte
};

// Data message, id 7E: check byte and three header bytes as nibble pairs, then
// the payload packed two bytes in three (KX, LY) or seven in eight (PW), F7.
inline Bytes upgrade_a_data(const UpgradeA& u) {
    Bytes m = device_header(u.device, 0x7E);
    uint32_t sum = uint32_t(u.header[0]) + u.header[1] + u.header[2];
    for (uint8_t b : u.payload) sum += b;
    push_nibble_pair(m, uint8_t(sum + uint32_t(u.check_error)));
    for (uint8_t h : u.header) push_nibble_pair(m, h);
    if (u.device == 0x05) {
        for (size_t g = 0; g < u.payload.size(); g += 7) {
            const size_t n = std::min<size_t>(7, u.payload.size() - g);
            uint8_t top = 0;
            for (size_t j = 0; j < n; ++j) top |= uint8_t((u.payload[g + j] >> 7) << (6 - j));
            m.push_back(top);
            for (size_t j = 0; j < n; ++j) m.push_back(u.payload[g + j] & 0x7F);
        }
    } else {
        for (size_t k = 0; k + 1 < u.payload.size(); k += 2) {
            const uint32_t v = uint32_t(u.payload[k]) | uint32_t(u.payload[k + 1]) << 8;
            m.push_back(uint8_t(v >> 14 & 0x7F));
            m.push_back(uint8_t(v >> 7 & 0x7F));
            m.push_back(uint8_t(v & 0x7F));
        }
    }
    m.push_back(0xF7);
    return m;
}

// Control message, id 7F: the payload total as six nibbles, high first.
inline Bytes upgrade_a_control(uint8_t device, uint32_t payload_total) {
    Bytes m = device_header(device, 0x7F);
    for (int k = 5; k >= 0; --k) m.push_back(uint8_t(payload_total >> (4 * k) & 0x0F));
    m.push_back(0xF7);
    return m;
}

// Payload bytes (all eight bits used), varied by seed.
inline Bytes upgrade_payload(size_t n, uint8_t seed = 3) {
    Bytes d(n);
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t(seed * 101 + i * 29);
    return d;
}

// A whole upgrade: the data messages, then one control message with the total.
inline Bytes upgrade_a(uint8_t device, std::initializer_list<size_t> message_sizes) {
    Bytes all;
    uint32_t total = 0;
    uint8_t seed = 1;
    for (size_t n : message_sizes) {
        all = cat({all, upgrade_a_data({device, upgrade_payload(n, seed++)})});
        total += uint32_t(n);
    }
    return cat({all, upgrade_a_control(device, total)});
}

// --- Upgrade scheme B (ZB, device id 07) -------------------------------------

inline void push_number21(Bytes& m, uint32_t v) {
    m.push_back(uint8_t(v >> 14 & 0x7F));
    m.push_back(uint8_t(v >> 7 & 0x7F));
    m.push_back(uint8_t(v & 0x7F));
}

// Control message, 16 bytes: kind (01 start, 02 end), seed, base, count, F7.
inline Bytes upgrade_b_control(uint8_t device, uint8_t kind, uint8_t seed, uint32_t count,
                               uint32_t base = 242) {
    Bytes m = device_header(device, 0x7F);
    m.push_back(kind);
    m.push_back(seed);
    push_number21(m, base);
    push_number21(m, count);
    m.push_back(0xF7);
    return m;
}

// Data packet, 128 bytes: number, 116 data bytes, check byte, F7.
inline Bytes upgrade_b_packet(uint8_t device, uint8_t seed, uint32_t number, int check_error = 0) {
    Bytes m = device_header(device, 0x7E);
    push_number21(m, number);
    for (int k = 0; k < 116; ++k) m.push_back(uint8_t((number * 7 + k * 13) & 0x7F));
    // The check covers offsets 7 to 125.
    uint32_t sum = seed;
    for (uint32_t k = 0; k < 119; ++k) {
        const uint8_t b = m[7 + k];
        sum += device == 0x07 ? b ^ ((seed + k) & 0xFF) : b ^ (k + 1);
    }
    m.push_back(uint8_t((sum + uint32_t(check_error)) % 128));
    m.push_back(0xF7);
    return m;
}

// Start, `packets` packets numbered from 242, end.
inline Bytes upgrade_b(uint8_t device, uint8_t seed, uint32_t packets) {
    Bytes all = upgrade_b_control(device, 0x01, seed, packets);
    for (uint32_t k = 0; k < packets; ++k)
        all = cat({all, upgrade_b_packet(device, seed, 242 + k)});
    return cat({all, upgrade_b_control(device, 0x02, seed, packets)});
}

// --- SDS dumps ---------------------------------------------------------------

struct SdsHeader {
    uint8_t bits = 16;
    uint32_t period_ns = 22676;
    uint32_t length = 120;
    uint32_t loop_start = 0;
    uint32_t loop_end = 119;
    uint8_t loop_type = 0x7F;
    uint8_t channel = 0;
};

inline void push_7bit_le(Bytes& m, uint32_t v) {
    m.push_back(uint8_t(v & 0x7F));
    m.push_back(uint8_t(v >> 7 & 0x7F));
    m.push_back(uint8_t(v >> 14 & 0x7F));
}

// Standard dump header, 21 bytes.
inline Bytes sds_header(const SdsHeader& h) {
    Bytes m = {0xF0, 0x7E, h.channel, 0x01, 0x00, 0x00, h.bits};
    push_7bit_le(m, h.period_ns);
    push_7bit_le(m, h.length);
    push_7bit_le(m, h.loop_start);
    push_7bit_le(m, h.loop_end);
    m.push_back(h.loop_type);
    m.push_back(0xF7);
    return m;
}

// Data packet, 127 bytes, with the XOR checksum of bytes 1 to 124.
inline Bytes sds_packet(uint8_t number, uint8_t channel = 0, int checksum_error = 0) {
    Bytes m = {0xF0, 0x7E, channel, 0x02, number};
    for (int k = 0; k < 120; ++k) m.push_back(uint8_t((number * 3 + k * 5) & 0x7F));
    uint8_t x = 0;
    for (size_t k = 1; k < m.size(); ++k) x ^= m[k];
    m.push_back(uint8_t((x ^ checksum_error) & 0x7F));
    m.push_back(0xF7);
    return m;
}

// The extended header J3 itself writes (rate in Hz, 5-group fields).
inline Bytes sds_extended_header(int32_t rate_hz, int32_t length, uint8_t bits = 16) {
    SdsDumpHeader h;
    h.bits = bits;
    h.rate_hz = rate_hz;
    h.length = length;
    h.loop_end = length - 1;
    Bytes m(kSdsExtendedHeaderSize);
    build_extended_header(m.data(), h);
    return m;
}

// A header and `packets` packets numbered 0, 1, ... (mod 128).
inline Bytes sds_dump(int packets, const SdsHeader& h = {}) {
    Bytes all = sds_header(h);
    for (int k = 0; k < packets; ++k) all = cat({all, sds_packet(uint8_t(k % 128), h.channel)});
    return all;
}

}  // namespace j3::testing
