// State of the input routine while it receives: the message being assembled,
// the received chunks that become the next entry, and the replies to the
// sender. The MIDI service's input thread (midi_read) and the GUI thread
// (the Receive command) both change it, always under `mutex`; the replies
// have a lock of their own, taken also on the completion thread.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

#include "filelist/file_entry.h"
#include "midi/midi_service.h"

namespace j3 {

// Assembly buffer of the message in progress: an SDS message is gathered
// whole (at most 254 bytes), ordinary SysEx passes through in 256-byte chunks.
constexpr int32_t kReceiveBufferSize = 256;
constexpr int32_t kSdsMessageMax = 254;

// An ACK, NAK or CANCEL: F0 7E <channel> <7F|7E|7D> <packet> F7.
using ReplyMessage = std::array<uint8_t, 6>;

// The one request record that carries every reply, and the replies waiting
// for it: it is never refilled while the service holds it.
struct ReplyQueue {
    std::mutex mutex;
    SysexRequest request;
    ReplyMessage sending{};                      // what request.data points at
    bool held = false;                           // request is with the service
    std::deque<ReplyMessage> waiting;            // in the order they were asked for
    static constexpr size_t kMaxWaiting = 1024;  // beyond this a reply is dropped
};

struct InputState {
    // Guards everything below but `replies`. Held by midi_read for a whole
    // packet list and by start_receiving / stop_receiving; never across a wait.
    std::mutex mutex;

    bool in_sysex = false;  // from a packet starting F0 to one whose last kept byte is F7
    uint8_t receive_buffer[kReceiveBufferSize] = {};
    int32_t receive_fill = 0;
    // receive_buffer gathers an SDS message (F0 7E ...) to be handed on whole.
    bool sds_message = false;
    // An F0 7E message has been seen for the entry being received: it is
    // named by the sample dump rules.
    bool sds_active = false;
    bool sds_active_before_message = false;  // as it was when the SDS message in hand began
    // The entry in progress, in arrival order; the byte counts always add up
    // to TransferState::received_total.
    std::deque<std::vector<uint8_t>> chunks;
    int32_t nak_count = 0;         // rejected SDS messages in a row
    uint32_t pending_name = 0;     // a name message's four 7-bit characters, first on top; 0 none
    int32_t received_counter = 1;  // the number in the next "Received data %d" name

    // The most an entry may hold: a chunk that would go beyond is treated as
    // an allocation failure.
    uint64_t max_received_bytes = kMaxEntryBytes;
    // Where "Fit." and the out-of-memory line go (standard output; nullptr
    // for none).
    FILE* diagnostics = stdout;

    // Packet bytes with the clock and active-sensing bytes left out, kept to
    // spare an allocation per packet.
    std::vector<uint8_t> kept;

    ReplyQueue replies;
};

}  // namespace j3
