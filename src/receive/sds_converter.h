// The SDS converter's memory: what it keeps between the messages of a dump,
// and the output of the message in hand. Whoever feeds it messages
// (receive_sds_message) owns it: the reception on the MIDI service's input
// thread, a dump assembler on the thread that drives it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "receive/dump_writer.h"

namespace j3 {

// One dump in progress for one writer (SysEx, WAV or AIFF). Each header
// starts a new dump; a dump in one format never disturbs the others, so a
// format changed in the middle of a dump starts afresh.
struct SdsDumpState {
    bool open = false;               // a valid header started a dump that has not completed
    uint8_t channel = 0;             // the header's channel: packets of another are not the dump's
    int32_t expected_packet = 0;     // number the next data packet must carry, 0 .. 127
    int32_t samples_counted = 0;     // sample words taken from accepted packets
    int32_t length = 0;              // sample words announced by the header
    int32_t bits = 0;                // bits per sample word, 1 .. 28
    int32_t samples_per_packet = 0;  // 60, 40 or 30
    int32_t word_bytes = 0;          // 2, 3 or 4 bytes per word in a packet
    int32_t output_bytes = 2;        // B: bytes per sample written to WAV / AIFF (1 .. 4)
    int32_t period_ns = 0;
    int32_t sample_rate = 0;  // Hz, derived from the period
    int32_t loop_start = 0;
    int32_t loop_end = 0;
    uint8_t loop_type = 0x7F;  // 0x7F no loop; anything else is written as forward
};

constexpr int32_t kScratchSize = 256;

struct SdsConverter {
    // Shared with the replies: bytes 2 and 4 of ACK, NAK and CANCEL.
    uint8_t sds_channel = 0;
    int32_t current_packet = 0;

    // Output of SDS reception for the current message; the caller empties it
    // (scratch_fill = 0) before each message and takes scratch_fill bytes after.
    uint8_t scratch_buffer[kScratchSize] = {};
    int32_t scratch_fill = 0;
    // The SysEx writer passes messages through whole. One longer than the
    // scratch buffer is not copied there: pass_through is then the number of
    // bytes of the message itself (from its F0) that are the output, and
    // nothing is in the scratch buffer. 0 otherwise; set for every message.
    int32_t pass_through = 0;

    // By the writer's row in the table (dump_writer_row).
    SdsDumpState dumps[kDumpWriterCount];
};

// The dump of the writer that keeps items in `sds_format`.
inline SdsDumpState& converter_dump(SdsConverter& c, int32_t sds_format) {
    return c.dumps[dump_writer_row(sds_format)];
}
inline const SdsDumpState& converter_dump(const SdsConverter& c, int32_t sds_format) {
    return c.dumps[dump_writer_row(sds_format)];
}

// Appends to the scratch buffer (a byte is dropped if it is full, which no
// message can make happen). Sound files are written byte by byte, in the
// byte order their format names.
inline void emit_byte(SdsConverter& out, uint8_t byte) {
    if (out.scratch_fill < kScratchSize) out.scratch_buffer[out.scratch_fill++] = byte;
}
inline void emit_bytes(SdsConverter& out, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) emit_byte(out, p[i]);
}
inline void emit_tag(SdsConverter& out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) emit_byte(out, uint8_t(tag[i]));
}
inline void emit_le(SdsConverter& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) emit_byte(out, uint8_t(v >> (8 * i)));
}
inline void emit_be(SdsConverter& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) emit_byte(out, uint8_t(v >> (8 * i)));
}

}  // namespace j3
