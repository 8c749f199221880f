// SDS reception: checks the messages of a Sample Dump Standard dump, one at a
// time as they arrive, and has the writer of the format items are kept in
// (dump_writer.h) turn each one it accepts into bytes of the item being
// received: the messages themselves (a .syx item) or a WAV or AIFF file built
// on the fly.
//
// Runs on the MIDI service's input thread (midi_read), or on whatever thread
// drives it offline (j3 convert, tests). Never allocates; one pass over each
// message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "receive/sds_converter.h"

namespace j3 {

// "SDS format" values: how received dumps are stored.
enum SdsFormat : int32_t {
    kSdsFormatSysex = 1,
    kSdsFormatWav = 2,
    kSdsFormatAiff = 3,
    kSdsFormatSysexOneItem = 4,  // SysEx, and a new header does not start a new item
};

enum class SdsReceiveResult {
    // A complete F0 7E message that is no part of a dump (a dump request, an
    // identity reply, a sample name message, a stray handshake, a data packet
    // on another channel than the open dump's): accepted without effect.
    // Nothing is produced for WAV and AIFF, the dump's state is untouched; the
    // SysEx writer keeps a sample name message with the item so that a stored
    // dump can be sent back with its name.
    kSdsIgnored = 0,
    kSdsHeaderAccepted = 1,  // a new dump started (its output is the file header)
    kSdsPacketAccepted = 2,  // the packet was taken and the dump goes on
    kSdsDumpComplete = 3,    // the packet was taken and the announced length is reached
    // Rejected, nothing produced: a packet with another number than the one
    // expected, a wrong checksum or another length than 127 bytes (the
    // expected number stays, so the NAK names it again), a packet while no
    // dump is open, a header with a period or rate of 0 or bits outside 1 to
    // 28 (it closes that writer's dump), or a message too short for its kind.
    kSdsRejected = 4,
};
using enum SdsReceiveResult;

// Handles one complete message (F0 7E ... F7, size bytes) with the writer
// sds_format picks (dump_writer). Output goes into state.scratch_buffer: 116
// bytes at most for a file header, 120 for the samples of a packet, the whole
// message for a SysEx pass-through; a message too long for the buffer is
// passed through whole by state.pass_through instead (never cut). Sets
// state.sds_channel and state.current_packet for the reply. Both the standard
// header (01) and the extended one (05 05) start a dump.
SdsReceiveResult receive_sds_message(SdsConverter& state, int32_t sds_format, const uint8_t* data,
                                     size_t size);

}  // namespace j3
