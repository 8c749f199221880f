// Dumps kept as AIFF files: "COMM" with the rate as an 80-bit extended
// value, "INST" and "MARK" with a forward sustain loop when the dump is
// looped, and the frames big-endian and signed. The header announces the
// dump's whole length up front, so nothing follows the last frame.
#include "format/sds_messages.h"
#include "receive/dump_writer.h"
#include "receive/sds_converter.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

// The rate as an 80-bit IEEE 754 extended value: exponent 16383 + e, where e
// is the rate's highest set bit, and the rate left-justified in the 64-bit
// mantissa with its explicit integer bit.
void write_extended_rate(SdsConverter& out, uint32_t rate) {
    int e = 31;
    while (e > 0 && !(rate >> e)) --e;
    emit_be(out, uint64_t(16383 + e), 2);
    emit_be(out, uint64_t(rate) << (63 - e), 8);
}

// A sustain loop from marker 0 to marker 1; marker 2 ends the sample.
void write_loop(SdsConverter& out, const SdsDumpState& d) {
    emit_tag(out, "INST");
    emit_be(out, 20, 4);
    const uint8_t notes[] = {60, 0, 0, 127, 1, 127};  // base, detune, notes, velocities
    emit_bytes(out, notes, sizeof notes);
    const uint16_t loops[] = {
        0,        // gain
        1, 0, 1,  // sustain loop: forward, from marker 0 to marker 1
        0, 0, 2,  // release loop: off
    };
    for (uint16_t v : loops) emit_be(out, v, 2);
    emit_tag(out, "MARK");
    emit_be(out, 26, 4);
    emit_be(out, 3, 2);
    const uint32_t positions[] = {uint32_t(d.loop_start), uint32_t(d.loop_end), uint32_t(d.length)};
    for (uint16_t id = 0; id < 3; ++id) {
        emit_be(out, id, 2);
        emit_be(out, positions[id], 4);
        emit_byte(out, 1);  // a one-character name: the marker's digit
        emit_byte(out, uint8_t('0' + id));
    }
}

void write_header(SdsConverter& out, const SdsDumpState& d) {
    const bool looped = d.loop_type != kSdsNoLoop;
    const uint32_t D = uint32_t(d.length) * uint32_t(d.output_bytes);  // sample bytes
    emit_tag(out, "FORM");
    emit_be(out, D + (looped ? 108 : 46), 4);
    emit_tag(out, "AIFF");
    emit_tag(out, "COMM");
    emit_be(out, 18, 4);
    emit_be(out, 1, 2);  // one channel
    emit_be(out, uint32_t(d.length), 4);
    emit_be(out, uint32_t(d.bits), 2);
    write_extended_rate(out, uint32_t(d.sample_rate));
    if (looped) write_loop(out, d);
    emit_tag(out, "SSND");
    emit_be(out, D + 8, 4);
    emit_be(out, 0, 4);  // offset
    emit_be(out, 0, 4);  // block size
}

void begin(SdsConverter& out, const SdsDumpState& d, const uint8_t*, size_t) {
    write_header(out, d);
}

void append(SdsConverter& out, SdsDumpState& d, const uint8_t*, size_t, const uint8_t* words) {
    write_frames(out, d, words, uint32_t(1) << (d.bits - 1), false);
}

std::vector<uint8_t> cut_short(const std::vector<uint8_t>& file, const SdsDumpState& d) {
    return cut_sound_file(file, d, write_header);
}

}  // namespace

extern const DumpWriter kAiffWriter = {
    .sds_format = kSdsFormatAiff,
    .extension = ".aiff",
    .sound_file = true,
    .begin = begin,
    .append = append,
    .finish = nullptr,
    .cut_short = cut_short,
};

}  // namespace j3
