// The writers of received sample dumps: one per format an item is kept in
// (SysEx, WAV, AIFF), all with one interface, and the table that picks one
// by the "SDS format" value. The converter (sds_receive.h) checks each
// message; the writer turns what it accepted into the bytes of the item.
//
//   const DumpWriter& w = dump_writer(load_sds_format(settings));
//   w.begin(out, dump, header, size);             // a header opened the dump
//   w.append(out, dump, packet, size, words);     // each accepted data packet
//   if (w.finish) w.finish(out, dump);            // the announced length is reached
//   bytes = w.cut_short ? w.cut_short(bytes, dump) : bytes;  // it ended early
//
// begin, append and finish write into the converter's scratch buffer (at
// most 116 bytes of a file header, 120 of a packet's samples, or one whole
// message) and never allocate: they run on the input thread for every
// message. A writer keeps nothing of its own; the dump's SdsDumpState holds
// what lasts from one message to the next. Adding a format is a file with
// its writer and one row in the table (dump_writer.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace j3 {

struct SdsConverter;  // sds_converter.h
struct SdsDumpState;

struct DumpWriter {
    int32_t sds_format;     // the "SDS format" value that picks it
    const char* extension;  // of the items it makes: ".syx", ".wav", ".aiff"
    // The item holds the samples alone: a sound file has no room for a
    // sample's name, a message that is no part of the dump, or a dump
    // message cut short.
    bool sound_file;
    // A header (`header`, size bytes) opened dump `d`: writes the start of
    // its item.
    void (*begin)(SdsConverter& out, const SdsDumpState& d, const uint8_t* header, size_t size);
    // An accepted data packet of `d` (`packet`, size bytes; `words`, its 120
    // data bytes): writes what the item keeps of it and counts the sample
    // words taken in d.samples_counted.
    void (*append)(SdsConverter& out, SdsDumpState& d, const uint8_t* packet, size_t size,
                   const uint8_t* words);
    // The last packet brought the announced length: writes the end of the
    // item. nullptr: nothing follows the last packet.
    void (*finish)(SdsConverter& out, const SdsDumpState& d);
    // The item of dump `d`, which ended before its announced length, made
    // whole as far as it goes (d.samples_counted words). nullptr: kept as it
    // came. Allocates; not for the per-message path.
    std::vector<uint8_t> (*cut_short)(const std::vector<uint8_t>& item, const SdsDumpState& d);
};

// Rows in the table; the converter keeps one dump per writer.
constexpr size_t kDumpWriterCount = 3;

// The writer that keeps items in `sds_format`; the SysEx writer for any
// value no writer names (4, SysEx as one item, and 0, which names no format).
const DumpWriter& dump_writer(int32_t sds_format);
// Its row in the table, 0 .. kDumpWriterCount - 1.
size_t dump_writer_row(int32_t sds_format);

// --- For the writers ----------------------------------------------------------

// Everything of a message up to and including its first F7: copied when it
// fits the scratch buffer, else named by out.pass_through, never cut.
void write_message(SdsConverter& out, const uint8_t* data, size_t size);

// The samples of an accepted packet as frames of d.output_bytes bytes, the
// d.bits of each word left-justified, `offset` taken from each word first
// (0 keeps them unsigned), little- or big-endian; stops at the announced
// length and counts the words in d.samples_counted.
void write_frames(SdsConverter& out, SdsDumpState& d, const uint8_t* words, uint32_t offset,
                  bool little_endian);

// A sound file made by a writer whose `begin` wrote its header, cut to the
// d.samples_counted frames it holds: the header again, announcing those, and
// the frames. A loop that reaches beyond them is left out.
std::vector<uint8_t> cut_sound_file(const std::vector<uint8_t>& file, const SdsDumpState& d,
                                    void (*write_header)(SdsConverter& out, const SdsDumpState& d));

}  // namespace j3
