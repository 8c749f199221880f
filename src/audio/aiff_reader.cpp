// AIFF and AIFC chunk walks. All fields are big-endian. Offsets are 64-bit so
// that no chunk size, however large, wraps around the end of the buffer.
#include <algorithm>
#include <climits>

#include "audio/sample_info.h"
#include "format/bytes.h"

namespace j3 {
namespace {

// The fields read from a chunk must lie inside it.
constexpr uint64_t kCommAiffBytes = 18;   // channels .. sample rate
constexpr uint64_t kCommAifcBytes = 22;   // .. compression type
constexpr uint64_t kSsndHeaderBytes = 8;  // offset and block size
constexpr uint64_t kInstBytes = 14;       // up to the sustain loop's end marker
constexpr uint64_t kMarkCountBytes = 2;
constexpr uint64_t kMarkerFixedBytes = 7;  // id, position, name count byte
constexpr int32_t kDefaultRate = 44100;
constexpr int kMarkerTableSize = 16;  // marker ids 0 .. 15 are remembered

// AIFF play modes of the sustain loop.
constexpr int kPlayNoLooping = 0;
constexpr int kPlayForward = 1;

// What the walk carries from one chunk to the next.
struct Walk {
    bool aifc = false;
    // An AIFF has no "unsupported" result of its own; its unusable COMM values
    // are an unknown format.
    AudioParseStatus bad_format = AudioParseStatus::kWrongForm;
    int32_t rate = kDefaultRate;
    int32_t sustain_begin = -1;  // -1: no INST chunk read yet
    int32_t sustain_end = -1;
    int32_t marker_pos[kMarkerTableSize] = {};
    bool marker_known[kMarkerTableSize] = {};
    bool markers_read = false;
};

// The AIFC compression type; false for one J3 cannot read.
bool read_compression(const uint8_t* type, SampleInfo& info) {
    if (tag_is(type, "NONE")) {
        info.aifc_compression = kAifcNone;
    } else if (tag_is(type, "sowt")) {
        info.aifc_compression = kAifcSowt;
    } else if (tag_is(type, "fl32")) {
        info.aifc_compression = kAifcFl32;
    } else if (tag_is(type, "fl64")) {
        info.aifc_compression = kAifcFl64;
    } else {
        info.aifc_compression = kAifcOther;
        return false;
    }
    return true;
}

AudioParseStatus read_comm(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    // The SSND chunk's frames were counted with the COMM before it.
    if (info.data_start != nullptr) return AudioParseStatus::kWrongForm;
    if (chunk_size < (walk.aifc ? kCommAifcBytes : kCommAiffBytes))
        return AudioParseStatus::kChunkSize;
    info.channels = read_be16(b);
    int32_t bits = read_be16(b + 6);
    info.sample_rate = walk.rate = decode_extended_rate(b + 8);
    if (walk.aifc && !read_compression(b + 18, info)) return AudioParseStatus::kUnsupported;
    const bool is_float =
        walk.aifc && (info.aifc_compression == kAifcFl32 || info.aifc_compression == kAifcFl64);
    // Sample lengths and periods divide by these.
    if (info.channels == 0 || walk.rate <= 0 || walk.rate > kMaxSampleRate) return walk.bad_format;
    if (is_float) {
        // Floats are converted to 24-bit words.
        info.bytes_per_sample = info.aifc_compression == kAifcFl64 ? 8 : 4;
        info.bits_per_sample = 24;
        info.file_bits = 0;
    } else {
        if (bits == 0 || bits > 32) return walk.bad_format;
        info.bytes_per_sample = ((bits - 1) >> 3) + 1;
        info.bits_per_sample = std::min(bits, kMaxSampleBits);
        info.file_bits = bits;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus read_ssnd(const uint8_t* b, uint64_t chunk_size, SampleInfo& info,
                           const Walk& walk) {
    // The frame size is only known from a COMM chunk before this one.
    if (info.bytes_per_sample == 0) return AudioParseStatus::kWrongForm;
    if (chunk_size < kSsndHeaderBytes) return AudioParseStatus::kChunkSize;
    // The offset and block size fields are not applied: writers leave them 0.
    info.data_start = info.read_pos = b + kSsndHeaderBytes;
    info.data_end = b + chunk_size;
    info.sample_length = int32_t(std::min<uint64_t>(
        (chunk_size - kSsndHeaderBytes) / uint64_t(info.bytes_per_sample) / uint64_t(info.channels),
        INT32_MAX));
    if (info.sample_period_ns == 0) info.sample_period_ns = sample_period_for_rate(walk.rate);
    if (info.loop_present == 0) {
        info.loop_start = 0;
        info.loop_end = info.sample_length - 1;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus read_inst(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    if (chunk_size < kInstBytes) return AudioParseStatus::kChunkSize;
    const int mode = read_be16(b + 8);
    if (mode == kPlayNoLooping) info.loop_type = 127;
    if (mode == kPlayForward) info.loop_type = 0;
    walk.sustain_begin = read_be16(b + 10);
    walk.sustain_end = read_be16(b + 12);
    if (walk.markers_read) {
        if (walk.sustain_begin < kMarkerTableSize && walk.marker_known[walk.sustain_begin]) {
            info.loop_start = walk.marker_pos[walk.sustain_begin];
        }
        if (walk.sustain_end < kMarkerTableSize && walk.marker_known[walk.sustain_end]) {
            info.loop_end = walk.marker_pos[walk.sustain_end];
        }
        info.loop_present = 1;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus read_mark(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    if (chunk_size < kMarkCountBytes) return AudioParseStatus::kChunkSize;
    const int count = read_be16(b);
    uint64_t m = kMarkCountBytes;
    for (int i = 0; i < count; ++i) {
        if (m + kMarkerFixedBytes > chunk_size) return AudioParseStatus::kChunkSize;
        const int id = read_be16(b + m);
        const int32_t position = int32_t(read_be32(b + m + 2));
        const unsigned name_length = b[m + 6];
        // The count byte and the name are padded to an even length;
        // the name itself is not needed.
        m += 6 + ((1 + name_length + 1) & ~1u);
        if (id < kMarkerTableSize) {
            walk.marker_pos[id] = position;
            walk.marker_known[id] = true;
        }
        if (walk.sustain_begin >= 0) {
            if (id == walk.sustain_begin) info.loop_start = position;
            if (id == walk.sustain_end) info.loop_end = position;
            info.loop_present = 1;
        }
        walk.markers_read = true;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus parse_form(const uint8_t* data, size_t size, SampleInfo& info, bool aifc) {
    const int32_t keep_compression = info.aifc_compression;
    info = SampleInfo{};
    if (!aifc) info.aifc_compression = keep_compression;

    if (size < 4 || !tag_is(data, "FORM")) return AudioParseStatus::kNotContainer;
    if (size < 12 || !tag_is(data + 8, aifc ? "AIFC" : "AIFF")) return AudioParseStatus::kWrongForm;
    Walk walk;
    walk.aifc = aifc;
    if (aifc) walk.bad_format = AudioParseStatus::kUnsupported;

    // The form ends at the FORM size or the buffer's end, whichever comes first.
    const uint64_t form_end = 8 + std::min<uint64_t>(read_be32(data + 4), size - 8);

    info.format_code = aifc ? kFormatAifc : kFormatAiff;

    uint64_t pos = 12;
    while (pos < form_end) {
        // Fewer bytes than a chunk header: trailing padding some writers leave.
        if (form_end - pos < 8) break;
        const uint8_t* header = data + pos;
        const uint64_t chunk_size = read_be32(header + 4);
        const uint64_t body = pos + 8;
        const uint64_t end = body + chunk_size;
        if (end > form_end) return AudioParseStatus::kChunkSize;
        const uint8_t* b = data + body;

        AudioParseStatus read = AudioParseStatus::kOk;
        if (tag_is(header, "COMM")) {
            read = read_comm(b, chunk_size, info, walk);
        } else if (tag_is(header, "SSND")) {
            read = read_ssnd(b, chunk_size, info, walk);
        } else if (tag_is(header, "INST")) {
            read = read_inst(b, chunk_size, info, walk);
        } else if (tag_is(header, "MARK")) {
            read = read_mark(b, chunk_size, info, walk);
        }
        if (read != AudioParseStatus::kOk) return read;

        pos = end + (chunk_size & 1);  // odd chunks carry one pad byte
    }

    if (info.data_start == nullptr) return AudioParseStatus::kChunkSize;
    info.file_kind = aifc ? kKindAifc : kKindAiff;
    return AudioParseStatus::kOk;
}

}  // namespace

AudioParseStatus parse_aiff(const uint8_t* data, size_t size, SampleInfo& info) {
    return parse_form(data, size, info, false);
}

AudioParseStatus parse_aifc(const uint8_t* data, size_t size, SampleInfo& info) {
    return parse_form(data, size, info, true);
}

int32_t decode_extended_rate(const uint8_t b[10]) {
    const bool negative = (b[0] & 0x80) != 0;
    const int exponent = (b[0] & 0x7F) << 8 | b[1];
    // The top 31 bits of the 64-bit mantissa; the lower bits are fractions of a hertz
    // for every rate below 2^31 Hz.
    const uint32_t mantissa31 =
        uint32_t(b[2]) << 23 | uint32_t(b[3]) << 15 | uint32_t(b[4]) << 7 | uint32_t(b[5]) >> 1;
    if (exponent == 0x7FFF) return 0;  // infinity or not-a-number
    // 16383 is the exponent bias, 30 the mantissa31's binary point.
    const int shift = 16413 - exponent;
    if (shift < 0) return 0;   // 2^31 Hz or more does not fit
    if (shift > 31) return 0;  // below 1 Hz
    const int32_t value = int32_t(mantissa31 >> shift);
    return negative ? -value : value;
}

}  // namespace j3
