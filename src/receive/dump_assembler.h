// Dump assembly: turns received SDS messages into whole items. Each message
// goes through the SDS converter (sds_receive.h); the assembler collects its
// output into the item in progress, decides where an item starts and ends, and
// drops what an incomplete dump left behind, so that j3 convert and reception
// from MIDI make the same items of the same messages.
//
//   DumpAssembler dumps;
//   dumps.sds_format = kSdsFormatWav;
//   assemble_bytes(dumps, file.data(), file.size());   // or assemble_message per message
//   finish_assembly(dumps, file.size());
//   for (DumpEvent& e : dumps.events) ...               // items and reports, in order
//
// One assembler belongs to one thread at a time: the MIDI service's input
// thread while receiving, the caller's thread in j3 convert and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "receive/sds_converter.h"
#include "receive/sds_receive.h"

namespace j3 {

// What assembly produced or noticed, in the order it happened. Positions are
// byte offsets in the input as the caller counts it (assemble_bytes counts
// every byte it was given).
struct DumpEvent {
    enum class Kind {
        // A whole dump (SysEx as one item: every whole dump up to the end);
        // `item` holds the item's bytes.
        kItemDone,
        // A dump ended before its announced length: a new header arrived
        // (`at` is that header's position) or the input ended (`at` is the
        // end). What it produced is dropped.
        kItemIncomplete,
        // The converter refused a header or a data packet (see
        // kSdsRejected); the message added nothing to the item.
        kMessageRejected,
        // assemble_bytes: an F0 without its F7 before the next F0 or the end
        // of the input; the message was not assembled.
        kMessageUnended,
    };
    using enum Kind;
    Kind kind = kItemDone;
    size_t at = 0;     // the message's first byte, or where an incomplete dump was cut off
    int32_t dump = 0;  // the dump concerned, 1 for the first header accepted; 0 for none
    // kItemIncomplete: sample words taken and announced.
    int32_t samples_arrived = 0;
    int32_t samples_announced = 0;
    // kMessageRejected: it was a dump header (else a data packet), and
    // whether a dump was open when it came.
    bool header = false;
    bool dump_open = false;
    std::vector<uint8_t> item;  // kItemDone
};

struct DumpAssembler {
    // How items are stored: kSdsFormatSysex (each dump an item), WAV, AIFF,
    // or kSdsFormatSysexOneItem (every whole dump into one item, done at
    // finish_assembly). Set before the first message.
    int32_t sds_format = kSdsFormatSysex;
    // The converter's memory; its sds_channel and current_packet name the
    // message just assembled, for a reply. Kept on the heap: the scratch
    // buffer is the bulk of it.
    std::unique_ptr<SdsConverter> state = std::make_unique<SdsConverter>();

    std::vector<uint8_t> item;  // the item in progress
    size_t item_kept = 0;       // bytes of `item` that belong to whole dumps (one-item SysEx)
    bool dump_open = false;     // a header was accepted and its dump has not ended
    int32_t dumps = 0;          // headers accepted
    int32_t not_sds = 0;        // messages that are no F0 7E message, left alone

    // assemble_bytes' framing across calls.
    std::vector<uint8_t> message;  // the message being gathered, real-time bytes left out
    bool in_message = false;       // an F0 came and its F7 has not
    size_t message_at = 0;         // position of its F0
    size_t fed = 0;                // bytes given to assemble_bytes so far

    std::vector<DumpEvent> events;  // the caller takes them when it likes
};

// Assembles one complete message (F0 ... F7, size bytes) that began at
// position `at` of the input. Returns the converter's SdsReceiveResult;
// kSdsIgnored also for a message that is no F0 7E message (counted in
// not_sds). A header while a dump is open ends that dump as incomplete
// first.
SdsReceiveResult assemble_message(DumpAssembler& a, const uint8_t* data, size_t size, size_t at);

// Frames a stream of stored or captured MIDI bytes, in chunks of any size,
// and assembles each complete message. Bytes outside a message are skipped;
// real-time bytes (F8 .. FF) inside one are no part of it. For input that
// needs no reply per message (a file, a capture): a receiver that answers
// each message frames them itself and calls assemble_message.
void assemble_bytes(DumpAssembler& a, const uint8_t* data, size_t size);

// The input ended at position `at`: reports a message assemble_bytes still
// gathers and a dump still open (both dropped), and hands over the one item
// of kSdsFormatSysexOneItem when it holds a whole dump. The assembler can
// then take a new input; its counts go on.
void finish_assembly(DumpAssembler& a, size_t at);

}  // namespace j3
