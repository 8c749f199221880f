// Audio to SDS encoding: turns a WAV, AIFF or AIFC item into the messages of a
// Sample Dump Standard dump, one call at a time. The first call parses the
// item and returns the dump header (standard, or extended followed by the
// sample name message) and the optional device name message in one buffer;
// every later call returns the next 127-byte data packet.
//
//   int32_t pos = 0, size = int32_t(item.size());
//   const uint8_t* msg = item.data();
//   int32_t n = next_sds_message(encoder, params, pos, &size, msg);   // header group
//   while (n > 0 && pos < size) n = next_sds_message(encoder, params, pos, nullptr, msg);
//
// Threads: the send loop calls it on the GUI thread (the first item's first
// call) and on the MIDI completion thread (everything else); calls never
// overlap. The encoder keeps its own copy of the SampleInfo it parsed, so a
// reader run for the info text meanwhile cannot disturb it. The item's buffer
// must stay alive until the last packet. Nothing is allocated.
#pragma once

#include <cstdint>
#include <string>

#include "audio/sample_convert.h"
#include "audio/sample_info.h"
#include "format/sds_messages.h"

namespace j3 {

struct SdsEncoder {
    uint8_t first_message[kSdsFirstMessageMax] = {};  // header and name messages
    uint8_t packet[kSdsPacketSize] = {};              // one data packet
    int32_t out_length = 0;                           // bytes written into the buffer being filled
    int32_t sample_number = 0;                        // taken at the first call
    int32_t word_bytes = 0;          // 2, 3 or 4 bytes per sample word; 0 = no item
    int32_t words_per_packet = 0;    // 60, 40 or 30
    int32_t packet_number = 0;       // number of the packet being built, 0 .. 127
    int32_t next_packet_number = 0;  // number the next packet will carry
    int32_t packet_frame = 0;        // frame of the first word of the packet being built
    int32_t next_frame = 0;          // frame of the first word of the next packet

    // Taken at the first call and kept for the whole item.
    SampleInfo info;
    // The file's frames; more than info.sample_length when the standard
    // header cannot announce them all (see sample_cut_note).
    int32_t file_length = 0;
    uint8_t channel = 0;        // SDS channel byte ("Device Number")
    int32_t stereo_choice = 0;  // StereoChoice of the item
    PacketWords packet_words = {};
};

// What the first call takes from the settings and the item.
struct SdsItemParams {
    uint8_t channel = 0;        // "Device Number", 0 .. 127
    int32_t sample_number = 0;  // 14 bits are sent (7 in the device name message)
    int32_t loop_choice = 0;    // LoopChoice: 0 the file's loop, 1 on, 2 off
    int32_t stereo_choice = 0;  // StereoChoice: 0 mix, 1 left, 2 right
    uint32_t name_code = 0;     // four 7-bit characters, first in the top byte; 0 = none
    const std::string* name_text = nullptr;  // Mac Roman base name; set = extended header
};

// The loop a dump of the item announces, by the item's LoopChoice: the file's
// loop points and type (0 "Loop:File"), a forward loop over the file's points
// (1 "Loop On"; over the whole sample when the file's loop end is 0), or none
// (2 "Loop Off"). start and end are frames, end inclusive; they are the ones
// the header carries even when looped is false.
struct SentLoop {
    bool looped = false;
    int32_t start = 0;
    int32_t end = 0;
};
SentLoop sent_loop(const SampleInfo& info, int32_t loop_choice);

// Standard dump headers carry length and loop points in 3 groups of 7 bits
// and the period in 3 groups: larger values cannot be announced.
constexpr int32_t kStandardHeaderMaxWords = (1 << 21) - 1;
constexpr int32_t kStandardHeaderMaxPeriod = (1 << 21) - 1;

// position 0 asks for the first message group: the item's bytes are those
// `message` points at, *length of them. On success position becomes 1,
// *length the number of sample words the caller sends (see below), `message`
// points at the header group, and the result is its byte count (21, or
// 44 + name bytes, plus 13 with a device name message).
// Any other position asks for the next data packet: `message` points at it,
// the result is 127, position the number of frames the packets built so far
// cover.
// Result 0: nothing to send, the item ends: the buffer is no WAV, AIFF or
// AIFC, its reader did not reach the end of the form (a damaged file is never
// sent with half-read or stale values), the sample has no frames, or a packet
// is asked for without a successful first call.
//
// *length on return is sample_length, except:
// - a one-frame sample reports 2, so that a caller that asks for packets
//   while position < length gets the packet that carries the frame;
// - with the standard header a sample longer than 2^21 - 1 words is sent
//   as its first 2^21 - 1 words (the most the header can announce), and its
//   loop points are kept inside them.
int32_t next_sds_message(SdsEncoder& enc, const SdsItemParams& item, int32_t& position,
                         int32_t* length, const uint8_t*& message);

// After a successful first call: empty when the whole sample goes out, else
// a line for the user saying how many frames go and that the extended header
// (switched on by `extended_switch`) sends them all, e.g. "Only the first
// 2097151 of 5000000 frames are sent: a standard dump header cannot announce
// more. The extended header (--extended) sends the whole sample."
std::string sample_cut_note(const SdsEncoder& enc, const char* extended_switch);

// The steps of next_sds_message, over the state the first call set up.
// Writes the dump header (extended plus sample name message when name_text
// is set) at the start of first_message; out_length its size.
void build_dump_header(SdsEncoder& enc, int32_t loop_choice, const std::string* name_text);
// Appends the device name message to first_message.
void device_name_message(SdsEncoder& enc, uint32_t name_code);
// Packs packet_words into packet, numbers and checksums it.
void build_data_packet(SdsEncoder& enc);

}  // namespace j3
