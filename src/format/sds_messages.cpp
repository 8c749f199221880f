#include "format/sds_messages.h"

#include <cstring>

namespace j3 {
namespace {

// Device SysEx header of the instrument family: F0 00 20 3C, device 02, 00,
// message 73 (the sample's name).
constexpr uint8_t kDeviceNameIntro[] = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73};

bool starts_universal(const uint8_t* data, size_t size, size_t min_size, uint8_t id) {
    return size >= min_size && data[0] == 0xF0 && data[1] == 0x7E && data[3] == id;
}

// The sample number's two groups, high first (extended messages) or low first.
void write_sample_number(uint8_t* p, int32_t n, bool high_first) {
    uint8_t low = uint8_t(n & 0x7F), high = uint8_t((n >> 7) & 0x7F);
    p[0] = high_first ? high : low;
    p[1] = high_first ? low : high;
}

int32_t read_sample_number(const uint8_t* p, bool high_first) {
    return high_first ? (p[0] & 0x7F) << 7 | (p[1] & 0x7F) : (p[1] & 0x7F) << 7 | (p[0] & 0x7F);
}

}  // namespace

void write_7bit_groups_signed(uint8_t* p, int32_t value, int groups) {
    for (int i = 0; i < groups; ++i) p[i] = uint8_t((value >> (7 * i)) & 0x7F);
}

uint64_t read_7bit_groups_wide(const uint8_t* p, int groups) {
    uint64_t v = 0;
    for (int i = 0; i < groups && i < 5; ++i) v |= uint64_t(p[i] & 0x7F) << (7 * i);
    return v;
}

SdsGeometry sds_geometry(int32_t bits) {
    if (bits < 1 || bits > 28) return {};
    if (bits <= 14) return {2, 60};
    if (bits <= 21) return {3, 40};
    return {4, 30};
}

size_t build_standard_header(uint8_t* out, const SdsDumpHeader& h) {
    out[0] = 0xF0;
    out[1] = 0x7E;
    out[2] = h.channel & 0x7F;
    out[3] = kSdsIdDumpHeader;
    write_sample_number(out + 4, h.sample_number, false);
    out[6] = uint8_t(h.bits & 0x7F);
    write_7bit_groups_signed(out + 7, h.period_ns, 3);
    write_7bit_groups_signed(out + 10, h.length, 3);
    write_7bit_groups_signed(out + 13, h.loop_start, 3);
    write_7bit_groups_signed(out + 16, h.loop_end, 3);
    out[19] = h.loop_type & 0x7F;
    out[20] = 0xF7;
    return kSdsStandardHeaderSize;
}

size_t build_extended_header(uint8_t* out, const SdsDumpHeader& h) {
    out[0] = 0xF0;
    out[1] = 0x7E;
    out[2] = h.channel & 0x7F;
    out[3] = kSdsIdExtended;
    out[4] = kSdsExtendedHeader;
    write_sample_number(out + 5, h.sample_number, true);
    out[7] = uint8_t(h.bits & 0x7F);
    write_7bit_groups_signed(out + 8, h.rate_hz, 4);
    std::memset(out + 12, 0, 4);  // fraction of the rate
    write_7bit_groups_signed(out + 16, h.length, 5);
    write_7bit_groups_signed(out + 21, h.loop_start, 5);
    write_7bit_groups_signed(out + 26, h.loop_end, 5);
    out[31] = h.loop_type & 0x7F;
    out[32] = 0x01;  // one channel
    out[33] = 0xF7;
    return kSdsExtendedHeaderSize;
}

bool is_sds_dump_header(const uint8_t* data, size_t size) {
    if (starts_universal(data, size, 4, kSdsIdDumpHeader)) return true;
    return starts_universal(data, size, 5, kSdsIdExtended) && data[4] == kSdsExtendedHeader;
}

bool read_dump_header(const uint8_t* data, size_t size, SdsDumpHeader& out) {
    SdsDumpHeader h;
    if (starts_universal(data, size, kSdsStandardHeaderSize, kSdsIdDumpHeader)) {
        h.channel = data[2];
        h.sample_number = read_sample_number(data + 4, false);
        h.bits = data[6] & 0x7F;
        h.period_ns = int32_t(read_7bit_groups_wide(data + 7, 3));
        h.length = int32_t(read_7bit_groups_wide(data + 10, 3));
        h.loop_start = int32_t(read_7bit_groups_wide(data + 13, 3));
        h.loop_end = int32_t(read_7bit_groups_wide(data + 16, 3));
        h.loop_type = data[19] & 0x7F;
        out = h;
        return true;
    }
    if (starts_universal(data, size, kSdsExtendedHeaderSize, kSdsIdExtended) &&
        data[4] == kSdsExtendedHeader) {
        uint64_t length = read_7bit_groups_wide(data + 16, 5);
        uint64_t loop_start = read_7bit_groups_wide(data + 21, 5);
        uint64_t loop_end = read_7bit_groups_wide(data + 26, 5);
        constexpr uint64_t kMax = 0x7FFFFFFF;
        if (length > kMax || loop_start > kMax || loop_end > kMax) return false;
        h.channel = data[2];
        h.sample_number = read_sample_number(data + 5, true);
        h.bits = data[7] & 0x7F;
        h.rate_hz = int32_t(read_7bit_groups_wide(data + 8, 4));
        h.length = int32_t(length);
        h.loop_start = int32_t(loop_start);
        h.loop_end = int32_t(loop_end);
        h.loop_type = data[31] & 0x7F;
        h.extended = true;
        out = h;
        return true;
    }
    return false;
}

size_t build_sample_name_message(uint8_t* out, uint8_t channel, int32_t sample_number,
                                 std::string_view name) {
    size_t n = name.size() < kSdsSampleNameMax ? name.size() : kSdsSampleNameMax;
    out[0] = 0xF0;
    out[1] = 0x7E;
    out[2] = channel & 0x7F;
    out[3] = kSdsIdExtended;
    out[4] = kSdsExtendedSampleName;
    write_sample_number(out + 5, sample_number, true);
    out[7] = 0x00;  // language
    out[8] = uint8_t(n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = uint8_t(name[i]);
        out[9 + i] = c < 0x80 ? c : uint8_t('_');
    }
    out[9 + n] = 0xF7;
    return kSdsSampleNameBaseSize + n;
}

bool read_sample_name_message(const uint8_t* data, size_t size, int32_t& sample_number,
                              std::string& name) {
    if (!starts_universal(data, size, kSdsSampleNameBaseSize, kSdsIdExtended) ||
        data[4] != kSdsExtendedSampleName)
        return false;
    size_t n = data[8] & 0x7F;
    if (9 + n >= size) n = size - 10;  // keep the F7 outside the name
    sample_number = read_sample_number(data + 5, true);
    name.assign(reinterpret_cast<const char*>(data + 9), n);
    size_t f7 = name.find('\xF7');
    if (f7 != std::string::npos) name.resize(f7);
    return true;
}

size_t build_device_name_message(uint8_t* out, int32_t sample_number, uint32_t name_code) {
    std::memcpy(out, kDeviceNameIntro, sizeof kDeviceNameIntro);
    // Bit 7 would make a status byte of sample numbers from 128 on.
    out[7] = uint8_t(sample_number & 0x7F);
    out[8] = uint8_t((name_code >> 24) & 0x7F);
    out[9] = uint8_t((name_code >> 16) & 0x7F);
    out[10] = uint8_t((name_code >> 8) & 0x7F);
    out[11] = uint8_t(name_code & 0x7F);
    out[12] = 0xF7;
    return kSdsDeviceNameSize;
}

bool read_device_name_message(const uint8_t* data, size_t size, uint8_t& sample_number,
                              uint32_t& name_code) {
    if (size != kSdsDeviceNameSize || std::memcmp(data, kDeviceNameIntro, 7) != 0 ||
        data[12] != 0xF7)
        return false;
    sample_number = data[7];
    name_code = uint32_t(data[8]) << 24 | uint32_t(data[9]) << 16 | uint32_t(data[10]) << 8 |
                uint32_t(data[11]);
    return true;
}

uint8_t sds_packet_checksum(const uint8_t* packet) {
    uint8_t sum = 0;
    for (size_t i = 1; i < 125; ++i) sum ^= packet[i];
    return sum & 0x7F;
}

void finish_data_packet(uint8_t* packet, uint8_t channel, uint8_t packet_number) {
    packet[0] = 0xF0;
    packet[1] = 0x7E;
    packet[2] = channel & 0x7F;
    packet[3] = kSdsIdDataPacket;
    packet[4] = packet_number & 0x7F;
    packet[125] = sds_packet_checksum(packet);
    packet[126] = 0xF7;
}

bool read_data_packet(const uint8_t* data, size_t size, SdsPacketView& out) {
    if (!starts_universal(data, size, kSdsPacketSize, kSdsIdDataPacket)) return false;
    out.channel = data[2];
    out.packet_number = data[4];
    out.data = data + 5;
    out.checksum_ok = sds_packet_checksum(data) == data[125];
    return true;
}

size_t build_handshake(uint8_t* out, uint8_t channel, SdsMessageId type, uint8_t packet) {
    out[0] = 0xF0;
    out[1] = 0x7E;
    out[2] = channel & 0x7F;
    out[3] = type;
    out[4] = packet & 0x7F;
    out[5] = 0xF7;
    return kSdsHandshakeSize;
}

bool read_handshake(const uint8_t* data, size_t size, uint8_t& channel, SdsMessageId& type,
                    uint8_t& packet) {
    if (size != kSdsHandshakeSize || data[0] != 0xF0 || data[1] != 0x7E || data[5] != 0xF7)
        return false;
    if (data[3] < kSdsIdWait || data[3] > kSdsIdAck) return false;
    channel = data[2];
    type = SdsMessageId(data[3]);
    packet = data[4];
    return true;
}

}  // namespace j3
