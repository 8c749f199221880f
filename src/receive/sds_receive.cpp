#include "receive/sds_receive.h"

#include <algorithm>
#include <memory>

#include "format/sample_period.h"
#include "format/sds_messages.h"

namespace j3 {
namespace {

// Largest D (sample bytes) whose file sizes still fit the 32-bit size fields.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 116;

void emit_bytes(SdsConverter& s, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) emit_byte(s, p[i]);
}

void emit_tag(SdsConverter& s, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) emit_byte(s, uint8_t(tag[i]));
}

void emit_le(SdsConverter& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) emit_byte(s, uint8_t(v >> (8 * i)));
}

void emit_be(SdsConverter& s, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) emit_byte(s, uint8_t(v >> (8 * i)));
}

// Everything of a message up to and including its first F7: copied when it
// fits the scratch buffer, else named by pass_through, never cut.
void emit_message(SdsConverter& s, const uint8_t* data, size_t size) {
    size_t n = 0;
    while (n < size && data[n] != 0xF7) ++n;
    if (n < size) ++n;
    if (n > size_t(kScratchSize - s.scratch_fill)) {
        s.pass_through = int32_t(n);
        return;
    }
    emit_bytes(s, data, n);
}

bool has_loop(const SdsDumpState& d) {
    return d.loop_type != kSdsNoLoop;
}

uint32_t data_bytes(const SdsDumpState& d) {
    return uint32_t(d.length) * uint32_t(d.output_bytes);
}

void emit_wav_header(SdsConverter& s, const SdsDumpState& d) {
    uint32_t D = data_bytes(d);
    uint32_t B = uint32_t(d.output_bytes);
    emit_tag(s, "RIFF");
    emit_le(s, D + (has_loop(d) ? 104 : 36), 4);
    emit_tag(s, "WAVE");
    emit_tag(s, "fmt ");
    emit_le(s, 16, 4);
    emit_le(s, 1, 2);  // PCM
    emit_le(s, 1, 2);  // one channel
    emit_le(s, uint32_t(d.sample_rate), 4);
    emit_le(s, uint32_t(d.sample_rate) * B, 4);  // bytes per second
    emit_le(s, B, 2);                            // block align
    emit_le(s, 8 * B, 2);                        // container bits
    if (has_loop(d)) {
        emit_tag(s, "smpl");
        emit_le(s, 60, 4);
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
        for (uint32_t v : fields) emit_le(s, v, 4);
    }
    emit_tag(s, "data");
    emit_le(s, D, 4);
}

// The rate as an 80-bit IEEE 754 extended value: exponent 16383 + e, where e
// is the rate's highest set bit, and the rate left-justified in the 64-bit
// mantissa with its explicit integer bit.
void emit_extended_rate(SdsConverter& s, uint32_t rate) {
    int e = 31;
    while (e > 0 && !(rate >> e)) --e;
    emit_be(s, uint64_t(16383 + e), 2);
    emit_be(s, uint64_t(rate) << (63 - e), 8);
}

void emit_aiff_header(SdsConverter& s, const SdsDumpState& d) {
    uint32_t D = data_bytes(d);
    emit_tag(s, "FORM");
    emit_be(s, D + (has_loop(d) ? 108 : 46), 4);
    emit_tag(s, "AIFF");
    emit_tag(s, "COMM");
    emit_be(s, 18, 4);
    emit_be(s, 1, 2);  // one channel
    emit_be(s, uint32_t(d.length), 4);
    emit_be(s, uint32_t(d.bits), 2);
    emit_extended_rate(s, uint32_t(d.sample_rate));
    if (has_loop(d)) {
        emit_tag(s, "INST");
        emit_be(s, 20, 4);
        const uint8_t notes[] = {60, 0, 0, 127, 1, 127};  // base, detune, notes, velocities
        emit_bytes(s, notes, sizeof notes);
        const uint16_t loops[] = {
            0,        // gain
            1, 0, 1,  // sustain loop: forward, from marker 0 to marker 1
            0, 0, 2,  // release loop: off
        };
        for (uint16_t v : loops) emit_be(s, v, 2);
        emit_tag(s, "MARK");
        emit_be(s, 26, 4);
        emit_be(s, 3, 2);
        const uint32_t positions[] = {uint32_t(d.loop_start), uint32_t(d.loop_end),
                                      uint32_t(d.length)};
        for (uint16_t id = 0; id < 3; ++id) {
            emit_be(s, id, 2);
            emit_be(s, positions[id], 4);
            emit_byte(s, 1);  // a one-character name: the marker's digit
            emit_byte(s, uint8_t('0' + id));
        }
    }
    emit_tag(s, "SSND");
    emit_be(s, D + 8, 4);
    emit_be(s, 0, 4);  // offset
    emit_be(s, 0, 4);  // block size
}

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

// Decodes the samples of an accepted packet into B-byte samples, little-endian
// for WAV (8-bit WAV data is unsigned), big-endian for AIFF (always signed);
// left-justified in B bytes.
SdsReceiveResult emit_samples(SdsConverter& s, SdsDumpState& d, const uint8_t* words, bool wav) {
    const int B = d.output_bytes;
    const uint32_t offset = (wav && B == 1) ? 0 : uint32_t(1) << (d.bits - 1);
    const int justify = 8 * B - d.bits;
    for (int32_t i = 0; i < d.samples_per_packet; ++i) {
        if (d.samples_counted >= d.length) break;
        uint32_t value = decode_sds_word(words + i * d.word_bytes, d.bits, d.word_bytes);
        uint32_t sample = (value - offset) << justify;  // two's complement in B bytes
        if (wav) {
            emit_le(s, sample, B);
        } else {
            emit_be(s, sample, B);
        }
        ++d.samples_counted;
    }
    if (d.samples_counted >= d.length) {
        d.open = false;
        return kSdsDumpComplete;
    }
    return kSdsPacketAccepted;
}

void emit_sound_file_header(SdsConverter& s, const SdsDumpState& d, int32_t format) {
    if (format == kSdsFormatWav) {
        emit_wav_header(s, d);
    } else {
        emit_aiff_header(s, d);
    }
}

SdsReceiveResult receive_header(SdsConverter& s, SdsDumpState& d, int32_t format,
                                const uint8_t* data, size_t size) {
    s.sds_channel = data[2];
    s.current_packet = 0;
    SdsDumpHeader h;
    if (!read_dump_header(data, size, h) || !open_dump(d, h)) {
        d = SdsDumpState{};
        return kSdsRejected;
    }
    switch (format) {
        case kSdsFormatWav:
            emit_wav_header(s, d);
            break;
        case kSdsFormatAiff:
            emit_aiff_header(s, d);
            break;
        default:
            emit_message(s, data, size);
    }
    return kSdsHeaderAccepted;
}

SdsReceiveResult receive_packet(SdsConverter& s, SdsDumpState& d, int32_t format,
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
    switch (format) {
        case kSdsFormatWav:
            return emit_samples(s, d, p.data, true);
        case kSdsFormatAiff:
            return emit_samples(s, d, p.data, false);
        default:
            emit_message(s, data, size);
            d.samples_counted += d.samples_per_packet;
            if (d.samples_counted >= d.length) {
                d.open = false;
                return kSdsDumpComplete;
            }
            return kSdsPacketAccepted;
    }
}

}  // namespace

std::vector<uint8_t> cut_short_sound_file(const std::vector<uint8_t>& file, const SdsDumpState& d,
                                          int32_t format) {
    // The header as it was written, to know where the samples begin.
    const auto scratch = std::make_unique<SdsConverter>();
    emit_sound_file_header(*scratch, d, format);
    const size_t header_bytes = size_t(scratch->scratch_fill);
    SdsDumpState held = d;
    held.length = d.samples_counted;
    // A loop that reaches beyond the frames held would point outside the file.
    if (held.loop_end >= held.length || held.loop_start > held.loop_end)
        held.loop_type = kSdsNoLoop;
    scratch->scratch_fill = 0;
    emit_sound_file_header(*scratch, held, format);
    const size_t available = file.size() > header_bytes ? file.size() - header_bytes : 0;
    const size_t sample_bytes =
        std::min(size_t(held.length) * size_t(held.output_bytes), available);
    std::vector<uint8_t> out(scratch->scratch_buffer,
                             scratch->scratch_buffer + scratch->scratch_fill);
    out.insert(out.end(), file.begin() + long(header_bytes),
               file.begin() + long(header_bytes + sample_bytes));
    return out;
}

SdsReceiveResult receive_sds_message(SdsConverter& state, int32_t sds_format, const uint8_t* data,
                                     size_t size) {
    state.pass_through = 0;
    if (size < 4 || data[0] != 0xF0 || data[1] != 0x7E) return kSdsIgnored;
    int32_t format =
        sds_format == kSdsFormatWav || sds_format == kSdsFormatAiff ? sds_format : kSdsFormatSysex;
    SdsDumpState& dump = format == kSdsFormatWav    ? state.wav_dump
                         : format == kSdsFormatAiff ? state.aiff_dump
                                                    : state.sysex_dump;
    if (is_sds_dump_header(data, size)) return receive_header(state, dump, format, data, size);
    if (data[3] == kSdsIdDataPacket) return receive_packet(state, dump, format, data, size);
    if (format == kSdsFormatSysex && size > 4 && data[3] == kSdsIdExtended &&
        data[4] == kSdsExtendedSampleName)
        emit_message(state, data, size);
    return kSdsIgnored;
}

}  // namespace j3
