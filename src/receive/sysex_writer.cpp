// Dumps kept as SysEx: the item is the dump's own messages, byte for byte,
// so it can be sent again as it came, its sample's name included.
#include "receive/dump_writer.h"
#include "receive/sds_converter.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

void begin(SdsConverter& out, const SdsDumpState&, const uint8_t* header, size_t size) {
    write_message(out, header, size);
}

// Whole packets are counted: the last may carry words beyond the length.
void append(SdsConverter& out, SdsDumpState& d, const uint8_t* packet, size_t size,
            const uint8_t*) {
    write_message(out, packet, size);
    d.samples_counted += d.samples_per_packet;
}

}  // namespace

extern const DumpWriter kSysexWriter = {
    .sds_format = kSdsFormatSysex,
    .extension = ".syx",
    .sound_file = false,
    .begin = begin,
    .append = append,
    .finish = nullptr,
    .cut_short = nullptr,
};

}  // namespace j3
