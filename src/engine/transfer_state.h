// The counters, flags and buffers of the send or reception in progress.
// Threads: the GUI thread (commands, status timer), the MIDI service's
// completion thread (send_completion) and its input thread (handshake replies,
// CANCEL). Polled fields are atomics; the rest are guarded by send_mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

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
    std::mutex mutex;
    std::list<ControlRequest> records;  // a list: records never move while held
};

struct TransferState {
    std::atomic<SendMode> send_mode{kSendIdle};

    // The send queue: the ids that were selected when the send started, so
    // commands that re-read the selection meanwhile cannot restart or change a
    // running send. send_index is the 1-based number of the item being sent.
    std::vector<uint32_t> send_queue;
    std::atomic<int32_t> send_count{0};
    std::atomic<int32_t> send_index{0};

    const uint8_t* current_data = nullptr;  // buffer of the item being sent
    int32_t current_size = 0;               // bytes (SysEx) or sample words (SDS); 0 once stopped
    int32_t current_loop = 0;               // LoopChoice of the item
    int32_t current_stereo = 0;             // StereoChoice of the item
    std::atomic<int32_t> send_pos{0};       // bytes or sample words consumed
    const uint8_t* message_ptr = nullptr;
    SplitState split;

    SysexRequest data_request;         // carries item data
    ControlRequests control_requests;  // carry the speed messages, never item data

    HandshakeState handshake_state = kHandshakeSilent;
    std::atomic<HandshakeReply> handshake_reply{kReplyNone};
    std::atomic<uint8_t> nak_packet{0};
    std::atomic<int32_t> wait_received{0};
    // The last message of the item sent, kept for a resend after NAK; none
    // before the item's first message. last_is_first_request: it is the dump
    // header group, which a NAK asks for again whatever packet number it names.
    const uint8_t* last_packet = nullptr;
    uint32_t last_packet_length = 0;
    bool last_is_first_request = false;
    // How many times in a row the last message went out again after a NAK.
    int32_t resends_in_a_row = 0;

    int32_t sample_number = 0;
    int32_t start_sample_number = 0;
    uint32_t name_code = 0;                 // four name characters, first in the top byte; 0 = none
    std::string name_text;                  // Mac Roman base name for the sample name message
    bool send_name_text = false;            // name_text goes out ("Extended SDS"), even when empty
    std::atomic<int32_t> speed_factor{10};  // MIDI speed x 10

    bool send_after_open = false;
    std::atomic<bool> receiving{false};
    std::atomic<int32_t> received_total{0};

    // Serialises send_completion against Stop and CANCEL. Never held across a
    // pause or a wait.
    std::mutex send_mutex;
    // Bumped by every start and finish, so a completion that paused can tell
    // that the send it belonged to has ended meanwhile.
    // Atomic so a handshake wait, which runs unlocked, sees a Stop at once.
    std::atomic<uint64_t> send_generation{0};
    // Set before finish_sending when a send cannot go on; the status line then
    // tells why ("Stopped: ...") instead of "Done.".
    std::string stop_reason;
    // data_request is held by the MIDI service (handed over, not yet reported).
    std::atomic<bool> request_held{false};
    // The service refused data_request (its code); the send stops when the
    // refused request is reported.
    SendResult send_refused = kSendTaken;
    uint32_t refused_length = 0;
    // What the send has done so far, for the line that tells its end.
    int32_t pieces_handed = 0;
    std::vector<std::string> nothing_to_send;  // names of items without a complete message
    // The MIDI service's xrun count when the send started.
    uint64_t xruns_at_start = 0;
    // No request of this send has been handed over yet.
    bool send_starting = false;
    // Said after "Done.": a sample went out cut to what its header announces.
    std::string send_note;

    // Status lines; written by the timer and by finish_sending. Use the
    // accessors below.
    mutable std::mutex text_mutex;
    std::string status_text;
    std::string receive_status_text;
};

// A send runs, or the service still holds its last request and reads the
// entry buffer it points into: entries must not be removed or rebuilt.
inline bool send_in_progress(const TransferState& state) {
    return state.send_mode != kSendIdle || state.request_held;
}

void set_status_text(TransferState& state, std::string text);
std::string status_text(const TransferState& state);
void set_receive_status_text(TransferState& state, std::string text);
std::string receive_status_text(const TransferState& state);

}  // namespace j3
