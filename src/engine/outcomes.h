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

// A sample dump stored as WAV or AIFF that ended before its announced length:
// its entry holds the frames that came, in a file that says so.
struct PartialDump {
    std::string name;  // the entry
    int64_t frames = 0;
    int64_t announced = 0;
};

struct ReceiveOutcome {
    ReceiveEnd end = ReceiveEnd::kStopped;
    std::string detail;                      // kPartial: the entry holding the unfinished message
    int64_t bytes = 0;                       // kPartial: bytes of the unfinished message
    int64_t received = 0;                    // bytes of the entries the reception made
    std::vector<PartialDump> partial_dumps;  // entries that hold a dump cut short
    bool xrun = false;                       // the MIDI server fell behind meanwhile
};

// The receive status line once a reception has ended: the bytes received
// ("Received 14372 bytes."), then why it stopped when the user did not stop
// it, each dump cut short ("Received data 3.wav: 120 of 8820 frames.") and an
// xrun.
std::string receive_outcome_text(const ReceiveOutcome& outcome);
// What went wrong or may have, for standard error: why a reception the user
// did not stop ended, the dumps cut short and an xrun; empty when nothing did.
std::string receive_failure_text(const ReceiveOutcome& outcome);
// 0 for a reception the user (or --count / --idle) stopped, 1 otherwise.
int receive_exit_status(ReceiveEnd end);
// As above, and 1 as well when a dump was cut short. An xrun alone does not
// change it (it is said all the same).
int receive_exit_status(const ReceiveOutcome& outcome);

// "Receiving. 1234 bytes."
std::string receive_progress_text(int64_t bytes);

}  // namespace j3
