// How a send, a reception, a request series and every command-line verb end,
// and the one place where the status lines and the exit statuses are made
// from those endings. The window and the command line both show these texts;
// neither makes its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_service.h"

namespace j3 {

// --- Every verb ----------------------------------------------------------------

// How a command-line verb ended, as its exit status tells it. Each verb's
// own ending (a send's, a reception's, ...) comes down to one of these.
enum class VerbEnd {
    kDone,         // everything asked for was done
    kFailed,       // a port, file or folder would not do, the work stopped by itself, ...
    kUsageError,   // the line itself was wrong: the usage was shown
    kInterrupted,  // Ctrl-C
};

// The exit status of each ending, and what the manual says of it (a word
// between backquotes is a verb, set in bold there).
struct ExitStatusRow {
    VerbEnd end;
    int status;
    std::string_view manual;
};

inline constexpr ExitStatusRow kExitStatuses[] = {
    {VerbEnd::kDone, 0, "Done: every file was sent, received, read or written."},
    {VerbEnd::kFailed, 1,
     "A failure: a port, file or folder that will not do, a send or reception that stopped by "
     "itself (\"Stopped: ...\", the reason on standard error), damaged input, an instrument "
     "that did not answer."},
    {VerbEnd::kUsageError, 2,
     "A usage error: an unknown verb or option, or a value out of range; the usage follows the "
     "message."},
    {VerbEnd::kInterrupted, 130,
     "Interrupted by Ctrl-C: `send` stops after the message on its way, `receive` writes what "
     "it holds first."},
};

// The one mapping from an ending to the process's exit status.
int exit_status(VerbEnd end);

// What a verb hands back as it ends: the ending, and for a failure what was
// said about it on standard error.
struct VerbOutcome {
    VerbEnd end = VerbEnd::kFailed;
    std::string detail;
};

// The line a verb prints on standard output when it got through ("Done.")
// and when Ctrl-C ended it ("Stopped.").
std::string verb_done_text();
std::string verb_stopped_text();

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
// Done for a send that is done, interrupted for one the user stopped, failed
// otherwise; a send that ended without saying how has failed.
VerbEnd send_verb_end(SendEnd end);
VerbEnd send_verb_end(const std::optional<SendOutcome>& outcome);
// What the command line says of a send that did not get through, or of one
// that ended without an outcome.
std::string send_failure_text(const std::optional<SendOutcome>& outcome);

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
    // The bytes of the entries the reception had made once this one was: its
    // entry lies within the first that many (0: not known, taken as the first).
    int64_t made_through = 0;
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
// Done for a reception the user (or --count / --idle) stopped, failed
// otherwise, and failed as well when a dump was cut short. An xrun alone does
// not change it (it is said all the same). A reception that ended without an
// outcome (it never started) has failed.
VerbEnd receive_verb_end(const std::optional<ReceiveOutcome>& outcome);
// What the command line says on standard error of a reception's ending; empty
// when it has nothing to say.
std::string receive_verb_failure_text(const std::optional<ReceiveOutcome>& outcome);

// "Receiving. 1234 bytes."
std::string receive_progress_text(int64_t bytes);

// --- Requesting samples ----------------------------------------------------------

enum class SeriesEnd {
    kRunning,
    kDone,      // every number was asked for (missing and incomplete say which did not come)
    kStopped,   // the reception ended: Stop, Ctrl-C, the source left
    kNoSource,  // no source chosen, or no destination to ask
};

// How a request series ended.
struct SeriesOutcome {
    SeriesEnd end = SeriesEnd::kRunning;
    int32_t count = 0;                // numbers asked for
    std::vector<int32_t> missing;     // no dump header within the wait
    std::vector<int32_t> incomplete;  // the dump stopped coming part way
    // kStopped: how the reception ended.
    std::optional<ReceiveOutcome> reception;
};

// The receive status line at the end of a series that ran its course:
// "Done.", or "Done. No sample 6, 9." (the numbers that did not come,
// incomplete ones included).
std::string series_outcome_text(const SeriesOutcome& outcome);
// Done when every sample came; failed when some did not, when the series
// could not start, and when its reception stopped by itself.
VerbEnd series_verb_end(const SeriesOutcome& outcome);
// What the command line says on standard error when the series failed.
std::string series_failure_text(const SeriesOutcome& outcome);
// The command line's line for a number that did not come: "no sample 6
// within 10 s", "sample 7 stopped part way".
std::string series_missing_line(int32_t number, int32_t wait_seconds);
std::string series_incomplete_line(int32_t number);

}  // namespace j3
