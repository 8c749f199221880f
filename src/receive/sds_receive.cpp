#include "receive/sds_receive.h"

#include "format/sample_period.h"
#include "format/sds_messages.h"
#include "receive/dump_writer.h"

namespace j3 {
namespace {

// Largest D (sample bytes) whose file sizes still fit the 32-bit size fields.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 116;

// Starts a new dump from a header; false when the header cannot describe one.
bool open_dump(SdsDumpState& d, const SdsDumpHeader& h) {
    d = SdsDumpState{};
    SdsGeometry g = sds_geometry(h.bits);
    if (g.word_bytes == 0) return false;
    if (h.extended) {
        if (h.rate_hz <= 0) return false;
        d.sample_rate = h.rate_hz;
        d.period_ns = sample_period_for_rate(h.rate_hz);
    } else {
        if (h.period_ns <= 0) return false;
        d.period_ns = h.period_ns;
        d.sample_rate = sds_rate_from_period(h.period_ns);
    }
    d.channel = h.channel;
    d.bits = h.bits;
    d.length = h.length;
    d.samples_per_packet = g.words_per_packet;
    d.word_bytes = g.word_bytes;
    d.output_bytes = (h.bits - 1) / 8 + 1;
    if (uint64_t(d.length) * uint64_t(d.output_bytes) > kMaxDataBytes) return false;
    d.loop_start = h.loop_start;
    d.loop_end = h.loop_end;
    d.loop_type = h.loop_type;
    d.open = true;
    return true;
}

SdsReceiveResult receive_header(SdsConverter& s, SdsDumpState& d, const DumpWriter& writer,
                                const uint8_t* data, size_t size) {
    s.sds_channel = data[2];
    s.current_packet = 0;
    SdsDumpHeader h;
    if (!read_dump_header(data, size, h) || !open_dump(d, h)) {
        d = SdsDumpState{};
        return kSdsRejected;
    }
    writer.begin(s, d, data, size);
    return kSdsHeaderAccepted;
}

SdsReceiveResult receive_packet(SdsConverter& s, SdsDumpState& d, const DumpWriter& writer,
                                const uint8_t* data, size_t size) {
    // Two instruments through a merger: the other one's packets are no part
    // of this dump, and are not answered.
    if (d.open && data[2] != d.channel) return kSdsIgnored;
    s.current_packet = d.expected_packet;
    SdsPacketView p;
    // A packet of another length would put bytes that are no samples where
    // samples go: it is asked for again.
    if (size != kSdsPacketSize || !read_data_packet(data, size, p) || !d.open ||
        p.packet_number != d.expected_packet || !p.checksum_ok)
        return kSdsRejected;
    d.expected_packet = (d.expected_packet + 1) % 128;
    writer.append(s, d, data, size, p.data);
    if (d.samples_counted < d.length) return kSdsPacketAccepted;
    d.open = false;
    if (writer.finish) writer.finish(s, d);
    return kSdsDumpComplete;
}

}  // namespace

SdsReceiveResult receive_sds_message(SdsConverter& state, int32_t sds_format, const uint8_t* data,
                                     size_t size) {
    state.pass_through = 0;
    if (size < 4 || data[0] != 0xF0 || data[1] != 0x7E) return kSdsIgnored;
    const DumpWriter& writer = dump_writer(sds_format);
    SdsDumpState& dump = converter_dump(state, sds_format);
    if (is_sds_dump_header(data, size)) return receive_header(state, dump, writer, data, size);
    if (data[3] == kSdsIdDataPacket) return receive_packet(state, dump, writer, data, size);
    // A sample's name goes with the dump's messages, so that a stored dump
    // can be sent back with it; a sound file has no room for it.
    if (!writer.sound_file && size > 4 && data[3] == kSdsIdExtended &&
        data[4] == kSdsExtendedSampleName)
        write_message(state, data, size);
    return kSdsIgnored;
}

}  // namespace j3
