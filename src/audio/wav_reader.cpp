// RIFF/WAVE chunk walk. All fields are little-endian. Offsets are 64-bit so
// that no chunk size, however large, wraps around the end of the buffer.
#include <algorithm>
#include <climits>

#include "audio/sample_info.h"
#include "format/bytes.h"

namespace j3 {
namespace {

// The fields read from a chunk must lie inside it.
constexpr uint64_t kFmtFieldsBytes = 16;      // format tag .. bits per sample
constexpr uint64_t kSmplHeaderBytes = 32;     // up to the loop count
constexpr uint64_t kSmplFirstLoopBytes = 52;  // up to the first loop's end
constexpr int32_t kDefaultRate = 44100;

// What the walk carries from one chunk to the next.
struct Walk {
    int32_t rate = kDefaultRate;
    bool loop_set = false;  // loop points came from this file (smpl or the data defaults)
};

AudioParseStatus read_fmt(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    // The data chunk's frames were counted with the format before it.
    if (info.data_start != nullptr) return AudioParseStatus::kWrongForm;
    if (chunk_size < kFmtFieldsBytes) return AudioParseStatus::kChunkSize;
    info.format_code = read_le16(b);
    if (info.format_code != kWavFormatPcm && info.format_code != kWavFormatFloat) {
        return AudioParseStatus::kUnsupported;
    }
    info.channels = read_le16(b + 2);
    info.sample_rate = int32_t(read_le32(b + 4));
    const int32_t bits = read_le16(b + 14);
    // Sample lengths and periods divide by these.
    if (info.channels == 0 || info.sample_rate <= 0 || info.sample_rate > kMaxSampleRate) {
        return AudioParseStatus::kUnsupported;
    }
    walk.rate = info.sample_rate;
    if (info.format_code == kWavFormatPcm) {
        if (bits == 0 || bits > 32) return AudioParseStatus::kUnsupported;
        info.bytes_per_sample = ((bits - 1) >> 3) + 1;
        info.bits_per_sample = std::min(bits, kMaxSampleBits);
        info.file_bits = bits;
    } else {
        // Floats are converted to 24-bit words; 64-bit floats are doubles.
        info.bytes_per_sample = bits == 64 ? 8 : 4;
        info.bits_per_sample = 24;
        info.file_bits = 0;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus read_data(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    // The frame size is only known from a format chunk before this one.
    if (info.bytes_per_sample == 0) return AudioParseStatus::kWrongForm;
    info.data_start = info.read_pos = b;
    info.data_end = b + chunk_size;
    info.sample_length = int32_t(std::min<uint64_t>(
        chunk_size / uint64_t(info.bytes_per_sample) / uint64_t(info.channels), INT32_MAX));
    const bool period_unset = info.sample_period_ns == 0;
    if (period_unset) info.sample_period_ns = sample_period_for_rate(walk.rate);
    // A smpl chunk before this one with a zero period field gets the
    // defaults too; one with a period but no loop should not keep the
    // loop points of nothing.
    if (period_unset || !walk.loop_set) {
        info.loop_start = 0;
        info.loop_end = info.sample_length - 1;
        info.loop_type = 127;
        walk.loop_set = true;
    }
    return AudioParseStatus::kOk;
}

AudioParseStatus read_smpl(const uint8_t* b, uint64_t chunk_size, SampleInfo& info, Walk& walk) {
    if (chunk_size < kSmplHeaderBytes) return AudioParseStatus::kChunkSize;
    const int32_t period = int32_t(read_le32(b + 8));
    if (period > 0) info.sample_period_ns = period;
    if (read_le32(b + 28) != 0) {
        if (chunk_size < kSmplFirstLoopBytes) return AudioParseStatus::kChunkSize;
        // The low byte of the first loop's type: 0 forward, 1 alternating, 2 backward.
        info.loop_type = b[40] & 0x7F;
        info.loop_start = int32_t(read_le32(b + 44));
        info.loop_end = int32_t(read_le32(b + 48));
        info.loop_present = 1;
        walk.loop_set = true;
    }
    return AudioParseStatus::kOk;
}

}  // namespace

AudioParseStatus parse_wav(const uint8_t* data, size_t size, SampleInfo& info) {
    const int32_t keep_compression = info.aifc_compression;
    info = SampleInfo{};
    info.aifc_compression = keep_compression;

    if (size < 4 || !tag_is(data, "RIFF")) return AudioParseStatus::kNotContainer;
    if (size < 12 || !tag_is(data + 8, "WAVE")) return AudioParseStatus::kWrongForm;

    // The form ends at the RIFF size or the buffer's end, whichever comes first.
    const uint64_t form_end = 8 + std::min<uint64_t>(read_le32(data + 4), size - 8);

    Walk walk;
    uint64_t pos = 12;
    while (pos < form_end) {
        // Fewer bytes than a chunk header: trailing padding some writers leave.
        if (form_end - pos < 8) break;
        const uint8_t* header = data + pos;
        const uint64_t chunk_size = read_le32(header + 4);
        const uint64_t body = pos + 8;
        const uint64_t end = body + chunk_size;
        if (end > form_end) return AudioParseStatus::kChunkSize;
        const uint8_t* b = data + body;

        AudioParseStatus read = AudioParseStatus::kOk;
        if (tag_is(header, "fmt ")) {
            read = read_fmt(b, chunk_size, info, walk);
        } else if (tag_is(header, "data")) {
            read = read_data(b, chunk_size, info, walk);
        } else if (tag_is(header, "smpl")) {
            read = read_smpl(b, chunk_size, info, walk);
        }
        if (read != AudioParseStatus::kOk) return read;

        pos = end + (chunk_size & 1);  // odd chunks carry one pad byte
    }

    if (info.data_start == nullptr) return AudioParseStatus::kChunkSize;
    info.file_kind = kKindWav;
    info.sample_period_ns = sample_period_for_rate(walk.rate);
    return AudioParseStatus::kOk;
}

}  // namespace j3
