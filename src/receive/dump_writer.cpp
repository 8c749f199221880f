#include "receive/dump_writer.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "format/sds_messages.h"
#include "format/sysex_split.h"
#include "receive/sds_converter.h"

namespace j3 {

// Each in its own file.
extern const DumpWriter kSysexWriter;
extern const DumpWriter kWavWriter;
extern const DumpWriter kAiffWriter;

namespace {

// The first row is the one for every value no row names.
constexpr const DumpWriter* kDumpWriters[] = {&kSysexWriter, &kWavWriter, &kAiffWriter};
static_assert(std::size(kDumpWriters) == kDumpWriterCount);

}  // namespace

size_t dump_writer_row(int32_t sds_format) {
    for (size_t row = 0; row < kDumpWriterCount; ++row)
        if (kDumpWriters[row]->sds_format == sds_format) return row;
    return 0;
}

const DumpWriter& dump_writer(int32_t sds_format) {
    return *kDumpWriters[dump_writer_row(sds_format)];
}

void write_message(SdsConverter& out, const uint8_t* data, size_t size) {
    size_t n = 0;
    while (n < size && data[n] != kSysexEnd) ++n;
    if (n < size) ++n;
    if (n > size_t(kScratchSize - out.scratch_fill)) {
        out.pass_through = int32_t(n);
        return;
    }
    emit_bytes(out, data, n);
}

void write_frames(SdsConverter& out, SdsDumpState& d, const uint8_t* words, uint32_t offset,
                  bool little_endian) {
    const int B = d.output_bytes;
    const int justify = 8 * B - d.bits;
    for (int32_t i = 0; i < d.samples_per_packet; ++i) {
        if (d.samples_counted >= d.length) break;
        const uint32_t value = decode_sds_word(words + i * d.word_bytes, d.bits, d.word_bytes);
        const uint32_t sample = (value - offset) << justify;  // two's complement in B bytes
        if (little_endian) {
            emit_le(out, sample, B);
        } else {
            emit_be(out, sample, B);
        }
        ++d.samples_counted;
    }
}

std::vector<uint8_t> cut_sound_file(const std::vector<uint8_t>& file, const SdsDumpState& d,
                                    void (*write_header)(SdsConverter& out,
                                                         const SdsDumpState& d)) {
    // The header as it was written, to know where the samples begin.
    const auto scratch = std::make_unique<SdsConverter>();
    write_header(*scratch, d);
    const size_t header_bytes = std::min(size_t(scratch->scratch_fill), file.size());
    const size_t available = file.size() - header_bytes;
    SdsDumpState held = d;
    // The frames that came, and no more than the file holds: the header
    // announces only what follows it.
    held.length = int32_t(std::min(size_t(d.samples_counted), available / size_t(d.output_bytes)));
    // A loop that reaches beyond the frames held would point outside the file.
    if (held.loop_end >= held.length || held.loop_start > held.loop_end)
        held.loop_type = kSdsNoLoop;
    scratch->scratch_fill = 0;
    write_header(*scratch, held);
    const size_t sample_bytes = size_t(held.length) * size_t(held.output_bytes);
    std::vector<uint8_t> out(scratch->scratch_buffer,
                             scratch->scratch_buffer + scratch->scratch_fill);
    out.insert(out.end(), file.begin() + long(header_bytes),
               file.begin() + long(header_bytes + sample_bytes));
    return out;
}

}  // namespace j3
