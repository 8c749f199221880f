#include "audio/sds_encoder.h"

#include <algorithm>
#include <cstdio>

#include "format/item_choices.h"

namespace j3 {
namespace {

using Filler = const uint8_t* (*)(const SampleInfo&, int32_t, const uint8_t*, int32_t, int32_t,
                                  PacketWords&);

Filler filler_for(const SampleInfo& info) {
    switch (info.file_kind) {
        case kKindWav:
            return fill_packet_words_wav;
        case kKindAiff:
            return fill_packet_words_aiff;
        case kKindAifc:
            return fill_packet_words_aifc;
        default:
            return nullptr;
    }
}

// Runs the reader the buffer's header names into a fresh record.
bool parse_item(const uint8_t* data, size_t size, SampleInfo& info) {
    info = SampleInfo{};
    return parse_audio_file(data, size, info);
}

uint8_t loop_type_byte(const SampleInfo& info, int32_t loop_choice) {
    switch (loop_choice) {
        case kLoopOn:
            return 0x00;
        case kLoopOff:
            return kSdsNoLoop;
        default:
            return uint8_t(info.loop_type & 0x7F);
    }
}

void forget_item(SdsEncoder& enc) {
    enc.info = SampleInfo{};
    enc.file_length = 0;
    enc.word_bytes = 0;
    enc.words_per_packet = 0;
}

int32_t first_call(SdsEncoder& enc, const SdsItemParams& item, int32_t& position, int32_t* length,
                   const uint8_t*& message) {
    enc.out_length = 0;
    forget_item(enc);
    if (length == nullptr || *length <= 0 || message == nullptr) return 0;
    SampleInfo info;
    if (!parse_item(message, size_t(*length), info)) return 0;
    SdsGeometry g = sds_geometry(info.bits_per_sample);
    if (g.word_bytes == 0 || info.sample_length <= 0 || filler_for(info) == nullptr) return 0;

    enc.file_length = info.sample_length;
    if (item.name_text == nullptr && info.sample_length > kStandardHeaderMaxWords)
        info.sample_length = kStandardHeaderMaxWords;
    // Loop points lie inside what is sent, for both headers alike: a file's
    // marker may say anything (a negative or far position), and a header
    // carrying it could not be read back.
    info.loop_end = std::clamp(info.loop_end, 0, info.sample_length - 1);
    info.loop_start = std::clamp(info.loop_start, 0, info.loop_end);
    enc.info = info;
    enc.channel = item.channel & 0x7F;
    enc.stereo_choice = item.stereo_choice;
    enc.sample_number = item.sample_number;
    enc.word_bytes = g.word_bytes;
    enc.words_per_packet = g.words_per_packet;
    enc.packet_frame = enc.next_frame = 0;
    enc.packet_number = enc.next_packet_number = 0;

    build_dump_header(enc, item.loop_choice, item.name_text);
    *length = enc.info.sample_length == 1 ? 2 : enc.info.sample_length;
    message = enc.first_message;
    position = 1;
    if (item.name_code != 0) device_name_message(enc, item.name_code);
    return enc.out_length;
}

}  // namespace

SentLoop sent_loop(const SampleInfo& info, int32_t loop_choice) {
    SentLoop loop{.looped = loop_type_byte(info, loop_choice) != kSdsNoLoop,
                  .start = info.loop_start,
                  .end = info.loop_end};
    if (loop_choice == kLoopOn && info.loop_end == 0) {
        loop.start = 0;
        loop.end = info.sample_length - 1;
    }
    return loop;
}

void build_dump_header(SdsEncoder& enc, int32_t loop_choice, const std::string* name_text) {
    SampleInfo& info = enc.info;
    const SentLoop loop = sent_loop(info, loop_choice);
    info.loop_start = loop.start;
    info.loop_end = loop.end;
    SdsDumpHeader h;
    h.channel = enc.channel;
    h.sample_number = enc.sample_number;
    h.bits = info.bits_per_sample;
    h.period_ns = std::min(info.sample_period_ns, kStandardHeaderMaxPeriod);
    h.rate_hz = info.sample_rate;
    h.length = info.sample_length;
    h.loop_start = info.loop_start;
    h.loop_end = info.loop_end;
    h.loop_type = loop_type_byte(info, loop_choice);
    if (name_text == nullptr) {
        enc.out_length = int32_t(build_standard_header(enc.first_message, h));
        return;
    }
    size_t n = build_extended_header(enc.first_message, h);
    n += build_sample_name_message(enc.first_message + n, enc.channel, enc.sample_number,
                                   *name_text);
    enc.out_length = int32_t(n);
}

std::string sample_cut_note(const SdsEncoder& enc, const char* extended_switch) {
    if (enc.file_length <= enc.info.sample_length) return {};
    char text[240];
    std::snprintf(text, sizeof text,
                  "Only the first %d of %d frames are sent: a standard dump header cannot "
                  "announce more. The extended header (%s) sends the whole sample.",
                  int(enc.info.sample_length), int(enc.file_length), extended_switch);
    return text;
}

void device_name_message(SdsEncoder& enc, uint32_t name_code) {
    enc.out_length += int32_t(build_device_name_message(enc.first_message + enc.out_length,
                                                        enc.sample_number, name_code));
}

void build_data_packet(SdsEncoder& enc) {
    const int32_t bits = enc.info.bits_per_sample;
    uint8_t* out = enc.packet + 5;
    for (int32_t i = 0; i < enc.words_per_packet; ++i, out += enc.word_bytes)
        encode_sds_word(out, enc.packet_words[size_t(i)], bits, enc.word_bytes);
    finish_data_packet(enc.packet, enc.channel, uint8_t(enc.packet_number));
    enc.next_packet_number = enc.packet_number + 1 == 128 ? 0 : enc.packet_number + 1;
    enc.next_frame = enc.packet_frame + enc.words_per_packet;
}

int32_t next_sds_message(SdsEncoder& enc, const SdsItemParams& item, int32_t& position,
                         int32_t* length, const uint8_t*& message) {
    if (position == 0) return first_call(enc, item, position, length, message);
    Filler fill = filler_for(enc.info);
    if (enc.words_per_packet == 0 || fill == nullptr) return 0;
    enc.packet_number = enc.next_packet_number;
    enc.packet_frame = enc.next_frame;
    enc.info.read_pos = fill(enc.info, enc.stereo_choice, enc.info.read_pos, enc.packet_frame,
                             enc.words_per_packet, enc.packet_words);
    build_data_packet(enc);
    message = enc.packet;
    enc.out_length = int32_t(kSdsPacketSize);
    position = enc.next_frame;
    return enc.out_length;
}

}  // namespace j3
