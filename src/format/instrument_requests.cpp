#include "format/instrument_requests.h"

#include <cstdio>

namespace j3 {
namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kNonRealTime = 0x7E;
constexpr uint8_t kGeneralInformation = 0x06;
constexpr uint8_t kIdentityAsk = 0x01;
constexpr uint8_t kIdentityAnswer = 0x02;
constexpr uint8_t kDumpRequest = 0x03;

}  // namespace

std::array<uint8_t, 7> sds_dump_request(uint8_t device, int32_t sample_number) {
    const uint32_t n = uint32_t(sample_number) & 0x3FFF;
    return {kStart,          kNonRealTime, uint8_t(device & 0x7F), kDumpRequest, uint8_t(n & 0x7F),
            uint8_t(n >> 7), kEnd};
}

std::array<uint8_t, 6> identity_request(uint8_t device) {
    return {kStart, kNonRealTime, uint8_t(device & 0x7F), kGeneralInformation, kIdentityAsk, kEnd};
}

std::optional<IdentityReply> read_identity_reply(const uint8_t* data, size_t size) {
    // 15 bytes with a one-byte maker id, 17 with a three-byte one.
    if (size < 15 || data[0] != kStart || data[size - 1] != kEnd) return std::nullopt;
    for (size_t i = 1; i + 1 < size; ++i)
        if (data[i] >= 0x80) return std::nullopt;
    if (data[1] != kNonRealTime || data[3] != kGeneralInformation || data[4] != kIdentityAnswer)
        return std::nullopt;
    IdentityReply r;
    r.device = data[2];
    r.maker_size = data[5] == 0x00 ? 3 : 1;
    if (size != size_t(14 + r.maker_size)) return std::nullopt;
    for (size_t i = 0; i < r.maker_size; ++i) r.maker[i] = data[5 + i];
    const uint8_t* p = data + 5 + r.maker_size;
    r.family = uint16_t(p[0] | p[1] << 7);
    r.member = uint16_t(p[2] | p[3] << 7);
    for (size_t i = 0; i < 4; ++i) r.version[i] = p[4 + i];
    return r;
}

std::string identity_maker_hex(const IdentityReply& reply) {
    std::string text;
    for (size_t i = 0; i < reply.maker_size && i < reply.maker.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", reply.maker[i]);
        if (!text.empty()) text += ' ';
        text += pair;
    }
    return text;
}

std::string identity_version_text(const IdentityReply& reply) {
    std::string text;
    for (const uint8_t v : reply.version) {
        if (!text.empty()) text += '.';
        text += std::to_string(v);
    }
    return text;
}

}  // namespace j3
