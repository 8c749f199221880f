#include "engine/outcomes.h"

#include <gtest/gtest.h>

namespace j3 {
namespace {

// Every ending of a send: the status line both the window and the command
// line show, and the command line's exit status.
TEST(Outcomes, EachSendEndingHasItsTextAndExitStatus) {
    struct Case {
        const char* description;
        SendOutcome outcome;
        std::string want_text;
        int want_status;
    } cases[] = {
        {"done", {SendEnd::kDone}, "Done.", 0},
        {"done with a note",
         {SendEnd::kDoneWithNote, "kick.wav: only the first 2097151 words were sent."},
         "Done. kick.wav: only the first 2097151 words were sent.",
         0},
        {"stopped", {SendEnd::kStopped}, "Stopped.", 130},
        {"stopped for a reason",
         {SendEnd::kStoppedBecause, "the receiver stopped answering."},
         "Stopped: the receiver stopped answering.",
         1},
        {"too large",
         {SendEnd::kTooLarge, {}, kSendTooLarge, 20000},
         "Stopped: the destination could not take a message of 20000 bytes.",
         1},
        {"destination gone",
         {SendEnd::kLost, {}, kSendNoDestination},
         "Stopped: the destination is not there.",
         1},
        {"server gone",
         {SendEnd::kLost, {}, kSendBackendLost},
         "Stopped: the MIDI server behind the destination has gone away.",
         1},
        {"disconnected",
         {SendEnd::kLost, {}, kSendDisconnected},
         "Stopped: the destination was disconnected from J3's output.",
         1},
        {"the MIDI system raised an error",
         {SendEnd::kBackendError, "snd_seq_event_output: No space left on device"},
         "Stopped: the MIDI system refused the message: snd_seq_event_output: No space left "
         "on device",
         1},
        {"xrun",
         {SendEnd::kXrun},
         "Sent, but the MIDI server fell behind during the send (xrun): some data may have been "
         "lost.",
         1},
        {"nothing to send",
         {SendEnd::kNothingToSend, {}, kSendTaken, 0, {"a.syx", "b.syx"}},
         "Nothing to send: no complete SysEx message in a.syx. Nothing to send: no complete "
         "SysEx message in b.syx.",
         1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(send_outcome_text(c.outcome), c.want_text) << c.description;
        EXPECT_EQ(send_exit_status(c.outcome.end), c.want_status) << c.description;
    }
}

TEST(Outcomes, EachReceiveEndingHasItsLinesAndExitStatus) {
    struct Case {
        const char* description;
        ReceiveOutcome outcome;
        std::string want_status_line;
        std::string want_failure;
        int want_status;
    } cases[] = {
        // A stop keeps the count on the line, never a blank.
        {"stopped", {ReceiveEnd::kStopped, {}, 0, 14372}, "Received 14372 bytes.", "", 0},
        {"cancelled after rejections",
         {ReceiveEnd::kCancelled, {}, 0, 300},
         "Received 300 bytes. Stopped: the sample dump was cancelled after messages that were "
         "rejected.",
         "the sample dump was cancelled after messages that were rejected",
         1},
        {"source gone",
         {ReceiveEnd::kSourceGone, {}, 0, 12},
         "Received 12 bytes. Stopped: the source has gone away.",
         "Stopped: the source has gone away.",
         1},
        {"out of memory",
         {ReceiveEnd::kOutOfMemory},
         "Stopped: out of memory.",
         "Stopped: out of memory.",
         1},
        {"a message that never ended",
         {ReceiveEnd::kPartial, "Received data 2.syx", 20000, 20000},
         "Received 20000 bytes. Stopped inside a SysEx message that never ended: its 20000 bytes "
         "are kept in Received data 2.syx.",
         "Stopped inside a SysEx message that never ended: its 20000 bytes are kept in "
         "Received data 2.syx.",
         1},
        {"stopped inside a dump kept as a sound file",
         {ReceiveEnd::kStopped, {}, 0, 284, {{"Received data 3.wav", 120, 8820}}},
         "Received 284 bytes. Received data 3.wav: 120 of 8820 frames.",
         "Received data 3.wav: 120 of 8820 frames.",
         1},
        // Said, but by itself no failure: what came may well be whole.
        {"the server fell behind",
         {ReceiveEnd::kStopped, {}, 0, 6, {}, true},
         "Received 6 bytes. The MIDI server fell behind during the reception (xrun): some data "
         "may have been lost.",
         "The MIDI server fell behind during the reception (xrun): some data may have been lost.",
         0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(receive_outcome_text(c.outcome), c.want_status_line) << c.description;
        EXPECT_EQ(receive_failure_text(c.outcome), c.want_failure) << c.description;
        EXPECT_EQ(receive_exit_status(c.outcome), c.want_status) << c.description;
    }
}

TEST(Outcomes, ProgressLines) {
    EXPECT_EQ(send_progress_text({true, false, 1, 2, 300}), "Sending file 1 of 2. 300 bytes.");
    EXPECT_EQ(send_progress_text({true, true, 2, 2, 4000}), "Sending file 2 of 2. 4000 samples.");
    EXPECT_EQ(send_progress_text({}), "");
    EXPECT_EQ(receive_progress_text(1234), "Receiving. 1234 bytes.");
}

}  // namespace
}  // namespace j3
