// Everything a reception holds: the message being assembled, the received
// chunks that become the next entry, the SDS converter's memory, and the
// replies to the sender. Only the reception's own files include this
// (reception.cpp, midi_read.cpp, received_entry.cpp, replies.cpp), and only
// the input routine and the replies, friends of Reception, reach a
// reception's internals; everyone else goes through reception.h.
//
// Threads: the MIDI service's input thread (midi_read) and the thread that
// starts and stops a reception (GUI or command line) change it, always under
// `mutex`; the replies have a lock of their own, taken also on the
// completion thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/thread_annotations.h"
#include "engine/outcomes.h"
#include "filelist/file_entry.h"
#include "midi/midi_service.h"
#include "receive/sds_converter.h"

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
    Mutex mutex{LockRank::kReplyQueue};
    // Filled under the lock; the MIDI service reads it through the pointer
    // it was handed, while `held`.
    SysexRequest request J3_GUARDED_BY(mutex);
    ReplyMessage sending J3_GUARDED_BY(mutex){};            // what request.data points at
    bool held J3_GUARDED_BY(mutex) = false;                 // request is with the service
    std::deque<ReplyMessage> waiting J3_GUARDED_BY(mutex);  // in the order asked for
    static constexpr size_t kMaxWaiting = 1024;             // beyond this a reply is dropped
};

struct ReceptionInternals {
    // Guards everything below but the atomics and `replies`. Held by
    // midi_read for a whole packet list and by start and stop; never across
    // a wait.
    Mutex mutex{LockRank::kReception};

    // Polled by the status line.
    std::atomic<bool> receiving{false};
    // Bytes of the entry in progress: the chunks' byte counts add up to it.
    std::atomic<int64_t> received_total{0};

    // Counted for a request series and the time left (ReceiveProgress).
    std::atomic<int32_t> dumps_started{0};
    std::atomic<int32_t> dumps_done{0};
    std::atomic<int32_t> dump_packets{0};
    std::atomic<int32_t> dump_packets_taken{0};
    // The sample a request series asked for, or -1 (Reception::set_requested_sample).
    int32_t requested_sample J3_GUARDED_BY(mutex) = -1;

    // from a packet starting F0 to one whose last kept byte is F7
    bool in_sysex J3_GUARDED_BY(mutex) = false;
    // Bytes of the SysEx message in progress so far, from its F0.
    int64_t open_message_bytes J3_GUARDED_BY(mutex) = 0;
    uint8_t receive_buffer[kReceiveBufferSize] J3_GUARDED_BY(mutex) = {};
    int32_t receive_fill J3_GUARDED_BY(mutex) = 0;
    // receive_buffer gathers an SDS message (F0 7E ...) to be handed on whole.
    bool sds_message J3_GUARDED_BY(mutex) = false;
    // An F0 7E message has been seen for the entry being received: it is
    // named by the sample dump rules.
    bool sds_active J3_GUARDED_BY(mutex) = false;
    // As it was when the SDS message in hand began.
    bool sds_active_before_message J3_GUARDED_BY(mutex) = false;
    // The entry in progress, in arrival order.
    std::deque<std::vector<uint8_t>> chunks J3_GUARDED_BY(mutex);
    int32_t nak_count J3_GUARDED_BY(mutex) = 0;  // rejected SDS messages in a row
    // A name message's four 7-bit characters, first on top; 0 none.
    uint32_t pending_name J3_GUARDED_BY(mutex) = 0;
    // The number in the next "Received data %d" name.
    int32_t received_counter J3_GUARDED_BY(mutex) = 1;
    // What SDS reception keeps between messages, and its output.
    SdsConverter sds J3_GUARDED_BY(mutex);

    // The most an entry may hold: a chunk that would go beyond is treated as
    // an allocation failure.
    uint64_t max_received_bytes J3_GUARDED_BY(mutex) = kMaxEntryBytes;
    // Where "Fit." and the out-of-memory line go (standard output; nullptr
    // for none).
    FILE* diagnostics J3_GUARDED_BY(mutex) = stdout;

    // Packet bytes with the clock and active-sensing bytes left out, kept to
    // spare an allocation per packet.
    std::vector<uint8_t> kept J3_GUARDED_BY(mutex);

    // While a dump kept as a sound file is open, what arrives that is no part
    // of it (other SysEx, another channel's packets) is kept here, and becomes
    // an entry of its own after the dump's.
    std::deque<std::vector<uint8_t>> aside J3_GUARDED_BY(mutex);
    std::atomic<int64_t> aside_total{0};
    // Bytes of the entries this reception made, and the sound files among
    // them whose dump was cut short: for the ending's line.
    int64_t entries_bytes J3_GUARDED_BY(mutex) = 0;
    std::vector<PartialDump> partial_dumps J3_GUARDED_BY(mutex);
    // The MIDI service's xrun count when the reception started.
    uint64_t xruns_at_start J3_GUARDED_BY(mutex) = 0;

    // How the last reception ended; none before the first one ended.
    std::optional<ReceiveOutcome> outcome J3_GUARDED_BY(mutex);

    ReplyQueue replies;
};

struct Context;

// Turns the received chunks into one new entry, empties them and hands the
// entry to the GUI thread (received_entry.h); *name_out (when given) gets its
// name. With `cut_short`, the chunks are a WAV or AIFF file of that dump,
// which ended early: the entry is the file cut to the frames it holds. Nothing
// when no byte is held. Any thread. False when the entry's buffer cannot be
// had: the chunks are dropped all the same, so the next entry starts clean.
bool make_received_entry(Context& ctx, ReceptionInternals& in, std::string* name_out = nullptr,
                         const SdsDumpState* cut_short = nullptr) J3_REQUIRES(in.mutex);

}  // namespace j3
