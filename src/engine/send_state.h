// The send loop's own state: what the send in progress has done and holds.
// Only the send's files include this (send_loop.cpp, sds_handshake.cpp,
// turbo.cpp); everyone else reaches the send through send_loop.h.
//
// Threads: the GUI thread (Send, Stop), the MIDI service's completion thread
// (send_completion) and its input thread (handshake replies, CANCEL).
// Polled fields are atomics; the rest are guarded by send_mutex, which is
// never held across a pause or a wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "audio/sds_encoder.h"
#include "base/thread_annotations.h"
#include "engine/outcomes.h"
#include "filelist/entry_bytes.h"
#include "format/sysex_split.h"
#include "midi/midi_service.h"

namespace j3 {

enum SendMode : int32_t { kSendIdle = 0, kSendSample = 1, kSendSysex = 2 };

// What the send knows of the receiver's SDS handshake.
enum HandshakeState : int32_t {
    kHandshakeSilent = 0,   // it does not answer: open loop
    kHandshakeAnswers = 1,  // it answers each message
    kHandshakeUnknown = 2,  // not yet known
};

// The last handshake reply that arrived for the message in flight.
enum HandshakeReply : int32_t { kReplyNone = 0, kReplyAck = 1, kReplyNak = 2 };

// The records that carry control messages (speed request, speed set). A
// record is never refilled while the service holds it, so messages sent in
// quick succession each take a free record, and a new one is made when all
// are held: the sender never waits for a completion (which may be queued
// behind a send loop that is pausing on the completion thread).
struct ControlRequest {
    SysexRequest request;
    uint8_t bytes[16] = {};
    std::atomic<bool> held{false};
};
struct ControlRequests {
    Mutex mutex{LockRank::kControlRequests};
    std::list<ControlRequest> records J3_GUARDED_BY(mutex);  // a list: records never move
};

struct SendState {
    // Serialises send_completion against Stop and CANCEL.
    Mutex send_mutex{LockRank::kSend};

    std::atomic<SendMode> send_mode{kSendIdle};

    // The send queue: the ids that were selected when the send started, so
    // commands that re-read the selection meanwhile cannot restart or change a
    // running send. send_index is the 1-based number of the item being sent.
    std::vector<uint32_t> send_queue J3_GUARDED_BY(send_mutex);
    std::atomic<int32_t> send_count{0};
    std::atomic<int32_t> send_index{0};

    // The item being sent, held so its bytes (its file's mapping) stay while
    // they are read, and its name for a reason.
    EntryBytes current_bytes J3_GUARDED_BY(send_mutex);
    std::string current_name J3_GUARDED_BY(send_mutex);

    // Buffer of the item being sent, and its size in bytes (SysEx) or sample
    // words (SDS); 0 once stopped.
    const uint8_t* current_data J3_GUARDED_BY(send_mutex) = nullptr;
    int32_t current_size J3_GUARDED_BY(send_mutex) = 0;
    int32_t current_loop J3_GUARDED_BY(send_mutex) = 0;    // LoopChoice of the item
    int32_t current_stereo J3_GUARDED_BY(send_mutex) = 0;  // StereoChoice of the item
    std::atomic<int32_t> send_pos{0};                      // bytes or sample words consumed
    const uint8_t* message_ptr J3_GUARDED_BY(send_mutex) = nullptr;
    SplitState split J3_GUARDED_BY(send_mutex);

    // Keeps its own copy of the item's audio facts, so a reader run for the
    // info text cannot disturb a running send.
    SdsEncoder encoder J3_GUARDED_BY(send_mutex);
    // Carries item data; the send fills and cancels it under send_mutex, the
    // service reads it while it holds it.
    SysexRequest data_request J3_GUARDED_BY(send_mutex);
    ControlRequests control_requests;  // carry the speed messages, never item data

    HandshakeState handshake_state J3_GUARDED_BY(send_mutex) = kHandshakeSilent;
    // Written by the input thread's replies, polled by a handshake wait.
    std::atomic<HandshakeReply> handshake_reply{kReplyNone};
    std::atomic<uint8_t> nak_packet{0};
    std::atomic<int32_t> wait_received{0};
    // The last message of the item sent, kept for a resend after NAK; none
    // before the item's first message. last_is_first_request: it is the dump
    // header group, which a NAK asks for again whatever packet number it names.
    const uint8_t* last_packet J3_GUARDED_BY(send_mutex) = nullptr;
    uint32_t last_packet_length J3_GUARDED_BY(send_mutex) = 0;
    bool last_is_first_request J3_GUARDED_BY(send_mutex) = false;
    // How many times in a row the last message went out again after a NAK.
    int32_t resends_in_a_row J3_GUARDED_BY(send_mutex) = 0;
    // The packet number of the last ACK heard (written before handshake_reply).
    std::atomic<int32_t> ack_packet{-1};
    // A packet handed over ahead of the answer to the one before it, which
    // the service holds until that ACK: the encoder and position before it,
    // to take it back should the answer be a NAK; withdrawing: it was taken
    // back, and once it is reported the packet before it goes again.
    SdsEncoder encoder_before J3_GUARDED_BY(send_mutex);
    int32_t pos_before J3_GUARDED_BY(send_mutex) = 0;
    bool withdrawing J3_GUARDED_BY(send_mutex) = false;

    int32_t sample_number J3_GUARDED_BY(send_mutex) = 0;
    int32_t start_sample_number J3_GUARDED_BY(send_mutex) = 0;
    // Four name characters, first in the top byte; 0 = none.
    uint32_t name_code J3_GUARDED_BY(send_mutex) = 0;
    // Mac Roman base name for the sample name message, and whether it goes
    // out ("Extended SDS"), even when empty.
    std::string name_text J3_GUARDED_BY(send_mutex);
    bool send_name_text J3_GUARDED_BY(send_mutex) = false;
    std::atomic<int32_t> speed_factor{10};  // MIDI speed x 10

    // Bumped by every start and finish, so a completion that paused can tell
    // that the send it belonged to has ended meanwhile. Atomic so a handshake
    // wait, which runs unlocked, sees a Stop at once.
    std::atomic<uint64_t> send_generation{0};
    // Set before finish_sending when a send cannot go on; the ending then
    // says why instead of "Done.".
    std::optional<std::string> stop_reason J3_GUARDED_BY(send_mutex);
    // data_request is held by the MIDI service (handed over, not yet reported).
    std::atomic<bool> request_held{false};
    // The service refused data_request (its code); the send stops when the
    // refused request is reported.
    SendResult send_refused J3_GUARDED_BY(send_mutex) = kSendTaken;
    uint32_t refused_length J3_GUARDED_BY(send_mutex) = 0;
    // What the MIDI system said when it raised an error for data_request.
    std::string backend_error J3_GUARDED_BY(send_mutex);
    // What the send has done so far, for the line that tells its end.
    int32_t pieces_handed J3_GUARDED_BY(send_mutex) = 0;
    // Names of items without a complete message.
    std::vector<std::string> nothing_to_send J3_GUARDED_BY(send_mutex);
    // The MIDI service's xrun count when the send started.
    uint64_t xruns_at_start J3_GUARDED_BY(send_mutex) = 0;
    // No request of this send has been handed over yet.
    bool send_starting J3_GUARDED_BY(send_mutex) = false;
    // Said after "Done.": a sample went out cut to what its header announces.
    std::optional<std::string> send_note J3_GUARDED_BY(send_mutex);
    // A Send asked for while the previous send's last request was still with
    // the service: it starts, with this queue, once that request is back.
    bool start_pending J3_GUARDED_BY(send_mutex) = false;
    std::vector<uint32_t> pending_queue J3_GUARDED_BY(send_mutex);

    // How the last send ended; none before the first one ended.
    std::optional<SendOutcome> outcome J3_GUARDED_BY(send_mutex);
};

}  // namespace j3
