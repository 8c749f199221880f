#include "analysis/message_index.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "analysis/inventory.h"
#include "format/sds_messages.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

constexpr uint8_t kUniversalNonRealTime = 0x7E;

struct Maker {
    std::array<uint8_t, 3> id;  // one-byte ids in id[0]
    std::string_view name;
};

// Common ids of the MIDI manufacturers' list.
constexpr Maker kMakers[] = {
    {{0x01}, "Sequential"},
    {{0x04}, "Moog"},
    {{0x06}, "Lexicon"},
    {{0x07}, "Kurzweil"},
    {{0x0F}, "Ensoniq"},
    {{0x10}, "Oberheim"},
    {{0x18}, "E-mu"},
    {{0x40}, "Kawai"},
    {{0x41}, "Roland"},
    {{0x42}, "Korg"},
    {{0x43}, "Yamaha"},
    {{0x44}, "Casio"},
    {{0x47}, "Akai"},
    {{0x7D}, "Non-commercial"},
    {{0x7E}, "Universal non-real-time"},
    {{0x7F}, "Universal real-time"},
    {{0x00, 0x00, 0x0E}, "Alesis"},
    {{0x00, 0x20, 0x29}, "Focusrite/Novation"},
    {{0x00, 0x20, 0x32}, "Behringer"},
    {{0x00, 0x20, 0x33}, "Access"},
    {{0x00, 0x20, 0x6B}, "Arturia"},
};

// Family names by device id, as the list's type column shows them.
std::string_view family_name(uint8_t device_id) {
    switch (device_id) {
        case 0x01:
            return "VQR";
        case 0x02:
            return "KX";
        case 0x03:
            return "LY";
        case 0x05:
            return "PW";
        case 0x06:
            return "ZB";
        case 0x07:
            return "-";
        default:
            return {};
    }
}

constexpr std::string_view kBlockKindNames[kBlockKindCount] = {
    "Globals", "Kit", "Sound", "Pattern", "Song", "Settings", "Waveform",
};

std::string hex_pairs(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", p[i]);
        s += pair;
    }
    return s;
}

void describe_family(const uint8_t* m, size_t n, MessageFacts& f) {
    if (n < 8) return;  // no message id before the F7
    const uint8_t device = m[4];
    const uint8_t id = m[6];
    f.family = family_name(device);
    if (f.family.empty()) return;
    if (const int kind = block_kind(device, id); kind >= 0) {
        f.kind = kBlockKindNames[kind];
        f.check = check_block_message(m, n, 6, checksum_offset(device, id)) ? MessageCheck::kGood
                                                                            : MessageCheck::kBad;
        return;
    }
    const bool upgrades = device != 0x01;
    if (upgrades && id == 0x7E) {
        f.kind = "Upgrade data";
    } else if (upgrades && id == 0x7F) {
        f.kind = "Upgrade control";
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "Message %02X", id);
        f.kind = text;
    }
}

void describe_universal(const uint8_t* m, size_t n, MessageFacts& f) {
    if (n < 5) return;  // F0 7E <channel> <sub-id> F7 at the least
    switch (m[3]) {
        case kSdsIdDumpHeader:
            f.kind = "Dump header";
            break;
        case kSdsIdDataPacket: {
            f.kind = "Data packet";
            uint8_t x = 0;
            for (size_t k = 1; k + 2 < n; ++k) x ^= m[k];
            const bool good = n == kSdsPacketSize && (x & 0x7F) == m[n - 2];
            f.check = good ? MessageCheck::kGood : MessageCheck::kBad;
            break;
        }
        case 0x03:
            f.kind = "Dump request";
            break;
        case kSdsIdExtended:
            if (n > 5 && m[4] == kSdsExtendedHeader) {
                f.kind = "Extended dump header";
            } else if (n > 5 && m[4] == kSdsExtendedSampleName) {
                f.kind = "Sample name";
            } else {
                f.kind = "Sample dump extension";
            }
            break;
        case 0x06:
            f.family = {};
            f.kind = n > 5 && m[4] == 0x02 ? "Identity reply" : "General information";
            return;
        case kSdsIdWait:
            f.kind = "WAIT";
            break;
        case kSdsIdCancel:
            f.kind = "CANCEL";
            break;
        case kSdsIdNak:
            f.kind = "NAK";
            break;
        case kSdsIdAck:
            f.kind = "ACK";
            break;
        default:
            return;
    }
    f.family = "SDS";
}

// The first `byte` in [from, size), or size. The first bytes are looked at
// one by one, since a memchr call costs more than a short message.
size_t find_byte(const uint8_t* data, size_t from, size_t size, uint8_t byte) {
    const size_t near_end = std::min(size, from + 16);
    for (size_t i = from; i < near_end; ++i) {
        if (data[i] == byte) return i;
    }
    if (near_end == size) return size;
    const void* hit = std::memchr(data + near_end, byte, size - near_end);
    return hit ? size_t(static_cast<const uint8_t*>(hit) - data) : size;
}

}  // namespace

std::vector<MessageSpan> index_messages(const uint8_t* data, size_t size) {
    std::vector<MessageSpan> spans;
    size_t i = 0;
    while (i < size) {
        const size_t s = find_byte(data, i, size, kSysexStart);
        if (s == size) break;
        const size_t e = find_byte(data, s + 1, size, kSysexEnd);
        if (e == size) break;  // an unterminated tail
        spans.push_back({uint32_t(s), uint32_t(e - s + 1)});
        i = e + 1;
    }
    return spans;
}

MessageFacts describe_message(const uint8_t* data, size_t size, const MessageSpan& span) {
    MessageFacts f;
    if (size_t(span.offset) + span.length > size || span.length < 2) return f;
    const uint8_t* m = data + span.offset;
    const size_t n = span.length;
    // The maker id: one byte, or three when the first is 00; only data bytes
    // before the F7 count.
    const size_t maker_bytes = m[1] == 0x00 ? 3 : 1;
    size_t have = 0;
    while (have < maker_bytes && 1 + have < n - 1 && m[1 + have] < 0x80) ++have;
    f.maker = hex_pairs(m + 1, have);
    if (have != maker_bytes) return f;
    for (const Maker& k : kMakers) {
        if (std::memcmp(k.id.data(), m + 1, maker_bytes) == 0 &&
            (maker_bytes == 3 || k.id[0] != 0x00)) {
            f.maker_name = k.name;
            break;
        }
    }
    static constexpr uint8_t kFamilyHeader[4] = {0x00, 0x20, 0x3C, 0x00};
    if (maker_bytes == 3 && std::memcmp(m + 1, kFamilyHeader, 3) == 0 && n > 6 &&
        m[5] == kFamilyHeader[3]) {
        describe_family(m, n, f);
    } else if (m[1] == kUniversalNonRealTime) {
        describe_universal(m, n, f);
    }
    return f;
}

std::string_view check_word(MessageCheck check) {
    switch (check) {
        case MessageCheck::kGood:
            return "good";
        case MessageCheck::kBad:
            return "bad";
        default:
            return "";
    }
}

}  // namespace j3
