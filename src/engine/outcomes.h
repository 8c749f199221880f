// How a send and a reception end, and the one place where the status lines
// and the command line's exit statuses are made from those endings. The
// window and the command line both show these texts; neither makes its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace j3 {

// --- Sending -----------------------------------------------------------------

enum class SendEnd {
    kDone,            // everything handed over went out: "Done."
    kDoneWithNote,    // done, with a note (a sample cut to what its header announces)
    kStopped,         // Stop, Esc or Ctrl-C
    kStoppedBecause,  // the send could not go on; detail says why
    kTooLarge,        // the destination's MIDI system cannot carry a message that long
    kLost,            // the destination or its server went away, or was disconnected
    kBackendError,    // the MIDI system raised an error; detail is what it said
    kXrun,            // sent, but the MIDI server fell behind meanwhile
    kNothingToSend,   // no item held a complete SysEx message
};

struct SendOutcome {
    SendEnd end = SendEnd::kDone;
    std::string detail;                        // the note, the reason, or the MIDI system's words
    SendResult result = kSendTaken;            // kLost: what the service reported
    uint32_t refused_length = 0;               // kTooLarge: bytes of the refused message
    std::vector<std::string> nothing_to_send;  // kNothingToSend: the items' names
};

// The send status line for an ending ("Done.", "Stopped: ...", ...).
std::string send_outcome_text(const SendOutcome& outcome);
// 0 for a send that is done, 130 for one the user stopped, 1 otherwise.
int send_exit_status(SendEnd end);

// Where a running send is, for the status line.
struct SendProgress {
    bool sending = false;
    bool sample = false;   // the item is a sample: position counts sample words
    int32_t index = 0;     // 1-based number of the item being sent
    int32_t count = 0;     // items in the send
    int32_t position = 0;  // bytes or sample words of the item consumed
};

// "Sending file 1 of 2. 300 bytes." (or "... samples."); empty when idle.
std::string send_progress_text(const SendProgress& progress);

// --- Receiving ---------------------------------------------------------------

enum class ReceiveEnd {
    kStopped,      // Stop, or the command line's --count, --idle or Ctrl-C
    kCancelled,    // three sample dump messages in a row were rejected
    kSourceGone,   // the source left, or its MIDI server went away
    kOutOfMemory,  // what arrived could not be held; nothing was kept
    // Stopped inside a SysEx message whose end never came: its bytes so far
    // were kept in the entry that detail names.
    kPartial,
};

struct ReceiveOutcome {
    ReceiveEnd end = ReceiveEnd::kStopped;
    std::string detail;  // kPartial: the entry holding the unfinished message
    int64_t bytes = 0;   // kPartial: bytes of the unfinished message
};

// The receive status line once a reception has ended ("" after a plain Stop).
std::string receive_outcome_text(const ReceiveOutcome& outcome);
// Why a reception the user did not stop ended, for standard error; empty
// for kStopped.
std::string receive_failure_text(const ReceiveOutcome& outcome);
// 0 for a reception the user (or --count / --idle) stopped, 1 otherwise.
int receive_exit_status(ReceiveEnd end);

// "Receiving. 1234 bytes."
std::string receive_progress_text(int64_t bytes);

}  // namespace j3
