#include "analysis/device_family.h"

#include <algorithm>
#include <cstring>

#include "audio/sample_info.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

// Next F0 at or after `from`, or size.
size_t next_sysex_start(const uint8_t* data, size_t size, size_t from) {
    if (from >= size) return size;
    const void* hit = std::memchr(data + from, kSysexStart, size - from);
    return hit ? size_t(static_cast<const uint8_t*>(hit) - data) : size;
}

// The pattern's bytes follow the F0 at i in full, inside the buffer.
bool pattern_follows(const uint8_t* data, size_t size, size_t i, const DevicePattern& pattern) {
    const size_t length = pattern[0];
    if (size - i - 1 < length) return false;
    return std::memcmp(data + i + 1, pattern.data() + 1, length) == 0;
}

bool is_recognised_id(uint8_t id) {
    for (const DevicePattern& p : device_pattern_table) {
        if (p[4] == id) return true;
    }
    return false;
}

}  // namespace

bool find_device_pattern(const uint8_t* data, size_t size, const DevicePattern& pattern) {
    for (size_t i = next_sysex_start(data, size, 0); i < size;
         i = next_sysex_start(data, size, i + 1)) {
        if (pattern_follows(data, size, i, pattern)) return true;
    }
    return false;
}

bool is_device_sysex(const uint8_t* data, size_t size, uint8_t device_id) {
    for (const DevicePattern& p : device_pattern_table) {
        if (p[4] == device_id) return find_device_pattern(data, size, p);
    }
    return false;
}

namespace {

// The bit of the recognised device whose header starts at the F0 at i, in
// full inside the buffer; 0 for none.
uint32_t device_bit_at(const uint8_t* data, size_t size, size_t i) {
    // Any entry serves as the template: they differ only in the id byte.
    static_assert(device_pattern_table[0][0] == 5);
    if (size - i < 6) return 0;
    const uint8_t* h = data + i;
    if (h[1] == 0x00 && h[2] == 0x20 && h[3] == 0x3C && h[5] == 0x00 && h[4] < 32 &&
        is_recognised_id(h[4]))
        return uint32_t(1) << h[4];
    return 0;
}

}  // namespace

uint32_t device_ids_present(const uint8_t* data, size_t size) {
    uint32_t present = 0;
    for (size_t i = next_sysex_start(data, size, 0); i < size;
         i = next_sysex_start(data, size, i + 1)) {
        if (size - i < 6) break;
        present |= device_bit_at(data, size, i);
    }
    return present;
}

void scan_device_ids(DeviceIdScan& scan, const uint8_t* data, size_t size) {
    constexpr size_t kTail = sizeof scan.tail;
    // The tail and this piece's first bytes: a header that starts in the
    // tail is whole in them once it can be.
    uint8_t joint[2 * kTail];
    const size_t head = std::min(size, kTail);
    std::memcpy(joint, scan.tail, scan.tail_size);
    if (head > 0) std::memcpy(joint + scan.tail_size, data, head);
    const size_t joined = scan.tail_size + head;
    for (size_t i = 0; i < scan.tail_size; ++i) {
        if (joint[i] == kSysexStart) scan.present |= device_bit_at(joint, joined, i);
    }
    scan.present |= device_ids_present(data, size);
    // The last bytes of all so far.
    if (size >= kTail) {
        std::memcpy(scan.tail, data + size - kTail, kTail);
        scan.tail_size = kTail;
    } else {
        const size_t keep = std::min(joined, kTail);
        std::memmove(scan.tail, joint + joined - keep, keep);
        scan.tail_size = keep;
    }
}

bool is_sds_dump(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != 0xF0 || data[1] != 0x7E) return false;
    return data[3] == 0x01 || (size >= 5 && data[3] == 0x05 && data[4] == 0x05);
}

std::string_view type_tag_for_buffer(const uint8_t* data, size_t size) {
    if (is_wav_file(data, size)) return "WAV";
    if (is_aiff_file(data, size)) return "AIFF";
    if (is_aifc_file(data, size)) return "AIFC";
    const uint32_t present = device_ids_present(data, size);
    auto has = [present](DeviceId id) { return (present >> id) & 1; };
    if (has(kDeviceKx)) return "KX";
    if (has(kDeviceLy)) return "LY";
    if (has(kDevicePw)) return "PW";
    if (has(kDeviceVqr)) return "VQR";
    if (is_sds_dump(data, size)) return "SDS";
    if (has(kDeviceZb)) return "ZB";
    return "-";
}

}  // namespace j3
