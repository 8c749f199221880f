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
        EXPECT_EQ(exit_status(send_verb_end(c.outcome.end)), c.want_status) << c.description;
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
        EXPECT_EQ(exit_status(receive_verb_end(c.outcome)), c.want_status) << c.description;
    }
}

// The manual's EXIT STATUS section is written from this table: each ending
// has one row, and the statuses scripts rely on stay where they are.
TEST(Outcomes, EveryVerbEndingHasOneExitStatus) {
    const struct {
        VerbEnd end;
        int want_status;
    } cases[] = {{VerbEnd::kDone, 0},
                 {VerbEnd::kFailed, 1},
                 {VerbEnd::kUsageError, 2},
                 {VerbEnd::kInterrupted, 130}};
    for (const auto& c : cases) {
        EXPECT_EQ(exit_status(c.end), c.want_status) << c.want_status;
        int rows = 0;
        for (const ExitStatusRow& row : kExitStatuses) rows += row.end == c.end ? 1 : 0;
        EXPECT_EQ(rows, 1) << c.want_status;
    }
}

// A send or reception that ended without saying how is no success.
TEST(Outcomes, AMissingOutcomeIsAFailure) {
    EXPECT_EQ(send_verb_end(std::optional<SendOutcome>()), VerbEnd::kFailed);
    EXPECT_EQ(send_verb_end(std::optional<SendOutcome>(SendOutcome{SendEnd::kDone})),
              VerbEnd::kDone);
    EXPECT_FALSE(send_failure_text(std::nullopt).empty());
    EXPECT_EQ(receive_verb_end(std::nullopt), VerbEnd::kFailed);
    EXPECT_EQ(receive_verb_end(ReceiveOutcome{ReceiveEnd::kStopped}), VerbEnd::kDone);
    EXPECT_FALSE(receive_verb_failure_text(std::nullopt).empty());
}

// Every ending of a request series: the window's status line, the command
// line's ending and what it says on standard error.
TEST(Outcomes, EachRequestSeriesEndingHasItsTextsAndEnding) {
    struct Case {
        const char* description;
        SeriesOutcome outcome;
        std::string want_status_line;
        VerbEnd want_end;
        std::string want_failure;
    } cases[] = {
        {"every sample came", {SeriesEnd::kDone, 3}, "Done.", VerbEnd::kDone, ""},
        {"some did not come, whole or at all",
         {SeriesEnd::kDone, 10, {9, 6}, {7}},
         "Done. No sample 6, 7, 9.",
         VerbEnd::kFailed,
         "3 of 10 samples did not come"},
        {"no source or destination",
         {SeriesEnd::kNoSource, 2},
         "",
         VerbEnd::kFailed,
         "the requests cannot be sent: no source or destination"},
        {"stopped by hand",
         {SeriesEnd::kStopped, 2, {}, {}, ReceiveOutcome{ReceiveEnd::kStopped}},
         "",
         VerbEnd::kFailed,
         "the reception stopped"},
        {"the source went away",
         {SeriesEnd::kStopped, 2, {}, {}, ReceiveOutcome{ReceiveEnd::kSourceGone}},
         "",
         VerbEnd::kFailed,
         "Stopped: the source has gone away."},
    };
    for (const Case& c : cases) {
        // The window shows the series' own line only once it ran its course.
        if (c.outcome.end == SeriesEnd::kDone) {
            EXPECT_EQ(series_outcome_text(c.outcome), c.want_status_line) << c.description;
        }
        EXPECT_EQ(series_verb_end(c.outcome), c.want_end) << c.description;
        EXPECT_EQ(series_failure_text(c.outcome), c.want_failure) << c.description;
    }
    EXPECT_EQ(series_missing_line(6, 10), "no sample 6 within 10 s");
    EXPECT_EQ(series_incomplete_line(7), "sample 7 stopped part way");
}

TEST(Outcomes, ProgressLines) {
    EXPECT_EQ(send_progress_text({true, false, 1, 2, 300}), "Sending file 1 of 2. 300 bytes.");
    EXPECT_EQ(send_progress_text({true, true, 2, 2, 4000}), "Sending file 2 of 2. 4000 samples.");
    EXPECT_EQ(send_progress_text({}), "");
    EXPECT_EQ(receive_progress_text(1234), "Receiving. 1234 bytes.");
}

}  // namespace
}  // namespace j3
