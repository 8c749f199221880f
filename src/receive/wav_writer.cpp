// Dumps kept as WAV files: 16-byte PCM "fmt ", a "smpl" chunk with one
// forward loop when the dump is looped, and the frames little-endian (8-bit
// frames unsigned, as WAV has them). The header announces the dump's whole
// length up front, so nothing follows the last frame.
#include "format/sds_messages.h"
#include "receive/dump_writer.h"
#include "receive/sds_converter.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

void write_header(SdsConverter& out, const SdsDumpState& d) {
    const bool looped = d.loop_type != kSdsNoLoop;
    const uint32_t D = uint32_t(d.length) * uint32_t(d.output_bytes);  // sample bytes
    const uint32_t B = uint32_t(d.output_bytes);
    emit_tag(out, "RIFF");
    emit_le(out, D + (looped ? 104 : 36), 4);
    emit_tag(out, "WAVE");
    emit_tag(out, "fmt ");
    emit_le(out, 16, 4);
    emit_le(out, 1, 2);  // PCM
    emit_le(out, 1, 2);  // one channel
    emit_le(out, uint32_t(d.sample_rate), 4);
    emit_le(out, uint32_t(d.sample_rate) * B, 4);  // bytes per second
    emit_le(out, B, 2);                            // block align
    emit_le(out, 8 * B, 2);                        // container bits
    if (looped) {
        emit_tag(out, "smpl");
        emit_le(out, 60, 4);
        const uint32_t fields[] = {
            0,                      // manufacturer
            0,                      // product
            uint32_t(d.period_ns),  // sample period
            60,                     // unity note
            0,                      // pitch fraction
            0,                      // SMPTE format
            0,                      // SMPTE offset
            1,                      // loop count
            0,                      // sampler data
            0,                      // cue id
            0,                      // forward
            uint32_t(d.loop_start),
            uint32_t(d.loop_end),
            0,  // fraction
            0,  // play count (endless)
        };
        for (uint32_t v : fields) emit_le(out, v, 4);
    }
    emit_tag(out, "data");
    emit_le(out, D, 4);
}

void begin(SdsConverter& out, const SdsDumpState& d, const uint8_t*, size_t) {
    write_header(out, d);
}

void append(SdsConverter& out, SdsDumpState& d, const uint8_t*, size_t, const uint8_t* words) {
    const uint32_t offset = d.output_bytes == 1 ? 0 : uint32_t(1) << (d.bits - 1);
    write_frames(out, d, words, offset, true);
}

std::vector<uint8_t> cut_short(const std::vector<uint8_t>& file, const SdsDumpState& d) {
    return cut_sound_file(file, d, write_header);
}

}  // namespace

extern const DumpWriter kWavWriter = {
    .sds_format = kSdsFormatWav,
    .extension = ".wav",
    .sound_file = true,
    .begin = begin,
    .append = append,
    .finish = nullptr,
    .cut_short = cut_short,
};

}  // namespace j3
