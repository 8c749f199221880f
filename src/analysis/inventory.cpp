#include "analysis/inventory.h"

#include <algorithm>
#include <cstring>

#include "analysis/device_family.h"
#include "format/bytes.h"
#include "format/sample_period.h"
#include "format/sds_messages.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

constexpr uint8_t kUpgradeData = 0x7E;
constexpr uint8_t kUpgradeControl = 0x7F;

// Sum of n bytes, eight at a time: pairs of bytes go into 16-bit lanes, which
// cannot overflow within 128 words (128 * 2 * 255 < 65536).
uint32_t byte_sum(const uint8_t* p, size_t n) {
    constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    constexpr uint64_t kLowHalves = 0x0000FFFF0000FFFFull;
    uint64_t total = 0;
    size_t i = 0;
    while (n - i >= 8) {
        const size_t words = std::min<size_t>((n - i) / 8, 128);
        uint64_t lanes = 0;
        for (size_t w = 0; w < words; ++w, i += 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            lanes += (word & kLowBytes) + ((word >> 8) & kLowBytes);
        }
        lanes = (lanes & kLowHalves) + ((lanes >> 16) & kLowHalves);
        total += (lanes & 0xFFFFFFFFu) + (lanes >> 32);
    }
    for (; i < n; ++i) total += p[i];
    return uint32_t(total);
}

// Finds the first F7 at or after a position and remembers the answer: no F7
// lies in [known_from, known_at). The walks ask for positions that never move
// back, so a run of messages that share one F7 costs one search, not one each.
struct EndFinder {
    const uint8_t* data;
    size_t size;
    size_t known_from = 0;
    size_t known_at = 0;
    bool known = false;

    // Returns size when the buffer holds no F7 from `from` on.
    size_t find(size_t from) {
        if (!known || from < known_from || from > known_at) {
            const void* hit =
                from < size ? std::memchr(data + from, kSysexEnd, size - from) : nullptr;
            known = true;
            known_from = from;
            known_at = hit ? size_t(static_cast<const uint8_t*>(hit) - data) : size;
        }
        return known_at;
    }
};

// Sum of the terms at positions lo, lo + stride, ... below an end. Successive
// windows whose starts and ends never move back reuse the previous sum, adding
// only what is new and taking off what was left behind, so messages nested
// inside one another (an F0 before the previous message's F7) cost one pass in
// total rather than one pass each. `range(a, b)` sums the terms at a, a +
// stride, ... below b. One instance serves one residue class of positions.
struct WindowSum {
    size_t lo = 0;
    size_t hi = 0;  // the first position of the class past the window
    uint32_t sum = 0;

    template <class RangeSum>
    uint32_t over(size_t new_lo, size_t end, size_t stride, RangeSum range) {
        if (end <= new_lo) return 0;
        const size_t new_hi = new_lo + (end - new_lo + stride - 1) / stride * stride;
        const bool reusable =
            new_lo >= lo && new_lo < hi && new_hi >= hi && (new_lo - lo) % stride == 0;
        if (reusable) {
            sum -= range(lo, new_lo);
            sum += range(hi, new_hi);
        } else {
            sum = range(new_lo, new_hi);
        }
        lo = new_lo;
        hi = new_hi;
        return sum;
    }
};

// Block check with the state that keeps a walk linear.
struct BlockChecker {
    const uint8_t* data;
    size_t size;
    EndFinder ends{data, size};
    WindowSum checksum_sum;

    bool check(size_t id_pos, int checksum_offset) {
        const size_t q = ends.find(id_pos);
        if (q >= size) return false;  // cut off by the end of the buffer
        const uint32_t stored_sum = uint32_t(data[q - 4]) * 128 + data[q - 3];
        const uint32_t stored_length = uint32_t(data[q - 2]) * 128 + data[q - 1];
        // The checksum covers the block data up to the byte before the stored checksum.
        const size_t first = id_pos + size_t(checksum_offset) - 6;
        const uint32_t sum = checksum_sum.over(
            first, q - 4, 1, [this](size_t a, size_t b) { return byte_sum(data + a, b - a); });
        return sum % 16384 == stored_sum && stored_length + 3 == q - id_pos;
    }
};

// Firmware upgrade scheme A (KX, LY, PW): nibble-coded data messages with a
// one-byte check, and a control message carrying the running payload total.
struct UpgradeSchemeA {
    const uint8_t* data;
    size_t size;
    bool eight_byte_groups;  // PW; KX and LY pack two bytes in three
    EndFinder& ends;
    int64_t payload_total = 0;
    // One running sum per residue class of group starts, so nested messages
    // stay linear (see WindowSum).
    WindowSum three_byte_sums[3];
    WindowSum eight_byte_sums[8];

    uint32_t nibble_pair(size_t x) const {
        return uint32_t(data[x] & 0x0F) << 4 | (data[x + 1] & 0x0F);
    }

    // Two payload bytes of the group b0 b1 b2: bits 0-7 and 8-15 of b0·2^14 + b1·2^7 + b2.
    uint32_t three_byte_group(size_t s) const {
        const uint32_t v = uint32_t(data[s]) << 14 | uint32_t(data[s + 1]) << 7 | data[s + 2];
        return (v & 0xFF) + ((v >> 8) & 0xFF);
    }

    // Payload byte j (1 ... 7) of the eight-byte group at s: the header byte's
    // bit 7 - j is its top bit.
    uint32_t eight_byte_payload(size_t s, size_t j) const {
        return uint32_t(data[s + j] & 0x7F) | uint32_t((data[s] >> (7 - j)) & 1) << 7;
    }
    uint32_t eight_byte_group(size_t s) const {
        uint32_t sum = 0;
        for (size_t j = 1; j < 8; ++j) sum += eight_byte_payload(s, j);
        return sum;
    }

    void data_message(SysexInventory& inv, size_t p) {
        ++inv.upgrade_data;
        // The check byte and the three header bytes must lie inside the buffer.
        if (p + 1 >= size) {
            inv.upgrade_error = true;
            return;
        }
        if (data[p + 1] == kSysexEnd) return;  // an empty data message
        if (p + 8 >= size) {
            inv.upgrade_error = true;
            return;
        }
        const uint32_t check = nibble_pair(p + 1);
        uint32_t sum = nibble_pair(p + 3) + nibble_pair(p + 5) + nibble_pair(p + 7);
        const size_t q = ends.find(p + 3);
        const bool has_end = q < size;
        const size_t start = p + 9;
        if (eight_byte_groups) {
            const size_t length = q > start ? q - start : 0;
            const size_t full = length / 8;
            const size_t rest = length % 8;
            sum += eight_byte_sums[start % 8].over(start, start + 8 * full, 8,
                                                   [this](size_t a, size_t b) {
                                                       uint32_t s = 0;
                                                       for (; a < b; a += 8)
                                                           s += eight_byte_group(a);
                                                       return s;
                                                   });
            const size_t last = start + 8 * full;
            for (size_t j = 1; j < rest; ++j) sum += eight_byte_payload(last, j);
            payload_total += int64_t(7 * full + (rest > 0 ? rest - 1 : 0));
            if (!has_end) inv.upgrade_error = true;
        } else {
            // Groups whose start lies before q - 2.
            sum += three_byte_sums[start % 3].over(start, q - 2, 3, [this](size_t a, size_t b) {
                uint32_t s = 0;
                for (; a < b; a += 3) s += three_byte_group(a);
                return s;
            });
            if (has_end) {
                payload_total += (2 * (int64_t(q) - int64_t(p)) - 16) / 3;
            } else {
                inv.upgrade_error = true;
            }
        }
        if (sum % 256 != check) inv.upgrade_error = true;
    }

    void control_message(SysexInventory& inv, size_t p) {
        ++inv.upgrade_control;
        if (p + 6 >= size) {
            inv.upgrade_error = true;
            return;
        }
        int64_t total = 0;
        for (size_t k = 1; k <= 6; ++k) total = total << 4 | (data[p + k] & 0x0F);
        if (total != payload_total) inv.upgrade_error = true;
    }
};

// Firmware upgrade scheme B (ZB, device id 07): numbered 120-byte packets
// framed by a start and an end control message.
struct UpgradeSchemeB {
    const uint8_t* data;
    size_t size;
    bool seeded_xor;       // device id 07's checksum
    bool started = false;  // a start message with base 242 was seen
    uint32_t base = 0;
    uint32_t packet_count = 0;
    uint32_t seed = 0;
    uint32_t valid_packets = 0;

    static constexpr uint32_t kBasePacket = 242;
    static constexpr uint32_t kDevice07Seed = 2;

    uint32_t number(size_t x) const {
        return uint32_t(data[x]) * 16384 + uint32_t(data[x + 1]) * 128 + data[x + 2];
    }

    uint32_t checksum(size_t p) const {
        uint32_t sum = seed;
        if (seeded_xor) {
            for (uint32_t k = 0; k <= 118; ++k) sum += data[p + 1 + k] ^ ((seed + k) & 0xFF);
        } else {
            for (uint32_t k = 1; k <= 119; ++k) sum += data[p + k] ^ k;
        }
        return sum;
    }

    void data_packet(SysexInventory& inv, size_t p) {
        ++inv.upgrade_data;
        // A packet before any start message has nothing to be checked against,
        // and one cut off before its check byte cannot be checked: both broken.
        const bool valid = started && p + 120 < size && number(p + 1) == base + valid_packets &&
                           data[p + 120] == checksum(p) % 128;
        if (valid) {
            ++valid_packets;
        } else {
            inv.upgrade_error = true;
        }
    }

    void control_message(SysexInventory& inv, size_t p) {
        ++inv.upgrade_control;
        if (p + 1 >= size) {
            inv.upgrade_error = true;
            return;
        }
        const bool framed = p + 9 < size && data[p + 9] == kSysexEnd;  // offset 15
        switch (data[p + 1]) {
            case 0x01:  // start
                if (!framed) {
                    inv.upgrade_error = true;
                } else {
                    base = number(p + 3);
                    if (base != kBasePacket) {
                        inv.upgrade_error = true;
                        return;
                    }
                    packet_count = number(p + 6);
                    started = true;
                }
                if (p + 2 < size) seed = data[p + 2];
                if (seeded_xor && seed != kDevice07Seed) inv.upgrade_error = true;
                return;
            case 0x02:  // end
                if (!framed) {
                    inv.upgrade_error = true;
                    return;
                }
                if (number(p + 3) != kBasePacket) {
                    inv.upgrade_error = true;
                    return;
                }
                // An end with no start before it has no count to confirm.
                if (!started || valid_packets != packet_count || packet_count != number(p + 6)) {
                    inv.upgrade_error = true;
                }
                return;
            default:
                inv.upgrade_error = true;
                return;
        }
    }
};

}  // namespace

int block_kind(uint8_t device_id, uint8_t message_id) {
    if (device_id == kDeviceKx || device_id == kDeviceLy) {
        switch (message_id) {
            case 0x50:
                return kGlobals;
            case 0x52:
                return kKits;
            case 0x67:
                return kPatterns;
            case 0x69:
                return kSongs;
            case 0x5D:
                return device_id == kDeviceLy ? kWaveforms : -1;
            default:
                return -1;
        }
    }
    if (device_id == kDeviceZb || device_id == kDevice07) {
        switch (message_id) {
            case 0x57:
                return kGlobals;
            case 0x52:
                return kKits;
            case 0x53:
                return kSounds;
            case 0x54:
                return kPatterns;
            case 0x55:
                return kSongs;
            case 0x56:
                return kSettings;
            default:
                return -1;
        }
    }
    return -1;
}

int checksum_offset(uint8_t device_id, uint8_t message_id) {
    if (device_id == kDeviceKx) return 9;
    if (device_id == kDeviceLy) return message_id == 0x5D ? 10 : 9;
    return 10;
}

bool check_block_message(const uint8_t* data, size_t size, size_t id_pos, int checksum_offset) {
    if (id_pos < 6 || id_pos >= size) return false;
    BlockChecker checker{data, size};
    return checker.check(id_pos, checksum_offset);
}

SysexInventory take_sysex_inventory(const uint8_t* data, size_t size, uint8_t device_id) {
    SysexInventory inv;
    const bool scheme_a =
        device_id == kDeviceKx || device_id == kDeviceLy || device_id == kDevicePw;
    const bool scheme_b = device_id == kDeviceZb || device_id == kDevice07;
    if (!scheme_a && !scheme_b) return inv;

    BlockChecker blocks{data, size};
    UpgradeSchemeA upgrade_a{data, size, device_id == kDevicePw, blocks.ends};
    UpgradeSchemeB upgrade_b{data, size, device_id == kDevice07};
    const uint8_t header[5] = {0x00, 0x20, 0x3C, device_id, 0x00};

    // Every F0 is looked at, also those inside an earlier message.
    size_t i = 0;
    while (i < size) {
        const void* hit = std::memchr(data + i, kSysexStart, size - i);
        if (!hit) break;
        i = size_t(static_cast<const uint8_t*>(hit) - data);
        // The header and the message id must lie inside the buffer.
        if (size - i < 7) break;
        if (std::memcmp(data + i + 1, header, 5) != 0) {
            ++i;
            continue;
        }
        const size_t p = i + 6;
        const uint8_t id = data[p];
        if (const int kind = block_kind(device_id, id); kind >= 0) {
            if (blocks.check(p, checksum_offset(device_id, id))) {
                ++inv.normal[kind];
                if (kind == kWaveforms) inv.waveform_slot = data[p + 3];
            } else {
                ++inv.broken[kind];
            }
        } else if (id == kUpgradeData) {
            if (scheme_a) {
                upgrade_a.data_message(inv, p);
            } else {
                upgrade_b.data_packet(inv, p);
            }
        } else if (id == kUpgradeControl) {
            if (scheme_a) {
                upgrade_a.control_message(inv, p);
            } else {
                upgrade_b.control_message(inv, p);
            }
        }
        ++i;
    }
    return inv;
}

namespace {

// The first header's fields; those of a header cut short read as 0.
SdsDumpSummary header_summary(const uint8_t* data, size_t size) {
    SdsDumpSummary s;
    auto byte_at = [&](size_t k) -> uint8_t { return k < size ? data[k] : 0; };
    auto field = [&](size_t k) {
        const uint8_t b[3] = {byte_at(k), byte_at(k + 1), byte_at(k + 2)};
        return int32_t(read_7bit_groups(b, 3));
    };
    s.bits = byte_at(6);
    s.period_ns = field(7);
    s.sample_rate = sds_rate_from_period(s.period_ns);
    s.length = field(10);
    s.loop_start = field(13);
    s.loop_end = field(16);
    s.loop_type = byte_at(19);
    // An extended header carries the rate itself and longer fields.
    if (SdsDumpHeader h; is_sds_dump_header(data, size) && data[3] == kSdsIdExtended) {
        s = SdsDumpSummary{};
        if (read_dump_header(data, size, h)) {
            s.bits = h.bits;
            s.sample_rate = h.rate_hz;
            s.length = h.length;
            s.loop_start = h.loop_start;
            s.loop_end = h.loop_end;
            s.loop_type = h.loop_type;
        }
    }
    return s;
}

// Counts the correct and the broken dumps, a byte at a time: a dump is
// correct when its packets follow each other and their checksums hold.
struct DumpCounter {
    enum class State { Idle, AfterF0, Channel, Kind, Extended, Header, Packet };
    State state = State::Idle;
    uint8_t check = 0;
    int packet_byte = 0;  // position within the packet after the kind byte
    uint8_t expected = 0;
    bool dump_valid = false;

    void step(uint8_t b, SdsDumpSummary& s) {
        switch (state) {
            case State::Idle:
                if (b == kSysexStart) state = State::AfterF0;
                break;
            case State::AfterF0:
                check = 0x7E;
                state = b == 0x7E ? State::Channel : State::Idle;
                break;
            case State::Channel:
                check ^= b;
                state = State::Kind;
                break;
            case State::Kind:
                check ^= b;
                packet_byte = 0;
                if (b == 0x01) {
                    if (dump_valid) ++s.correct_dumps;
                    state = State::Header;
                } else if (b == 0x02) {
                    state = State::Packet;
                } else if (b == kSdsIdExtended) {
                    state = State::Extended;
                } else {
                    state = State::Idle;
                }
                break;
            case State::Extended:  // 05 05 is a header; other 05 messages are not the dump's
                if (b == kSdsExtendedHeader) {
                    if (dump_valid) ++s.correct_dumps;
                    state = State::Header;
                } else {
                    state = State::Idle;
                }
                break;
            case State::Header:
                dump_valid = true;
                if (b == kSysexEnd) {
                    expected = 0;
                    state = State::Idle;
                }
                break;
            case State::Packet:
                packet(b, s);
                break;
        }
    }

    void packet(uint8_t b, SdsDumpSummary& s) {
        if (b == kSysexEnd) {  // a packet cut short
            ++s.broken_count;
            dump_valid = false;
            state = State::Idle;
        } else if (packet_byte == 0) {
            const bool in_step = b == expected;
            expected = uint8_t((expected + 1) & 0x7F);
            check ^= b;
            if (!in_step) {
                ++s.broken_count;
                dump_valid = false;
                state = State::Idle;
            }
        } else if (packet_byte <= 120) {
            check ^= b;
        } else {
            if (b != check) dump_valid = false;
            state = State::Idle;
        }
        ++packet_byte;
    }

    void finish(SdsDumpSummary& s) {
        // A header or packet cut off by the end of the buffer leaves the dump
        // incomplete: broken, not correct.
        if (state == State::Header || state == State::Packet) {
            ++s.broken_count;
            dump_valid = false;
        }
        if (dump_valid) ++s.correct_dumps;
    }
};

}  // namespace

SdsDumpSummary summarise_sds_dump(const uint8_t* data, size_t size) {
    SdsDumpSummary s = header_summary(data, size);
    DumpCounter counter;
    for (size_t i = 0; i < size; ++i) counter.step(data[i], s);
    counter.finish(s);
    return s;
}

}  // namespace j3
