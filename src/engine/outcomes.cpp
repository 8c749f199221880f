#include "engine/outcomes.h"

#include <algorithm>
#include <cstdio>

namespace j3 {

int exit_status(VerbEnd end) {
    for (const ExitStatusRow& row : kExitStatuses)
        if (row.end == end) return row.status;
    return exit_status(VerbEnd::kFailed);
}

std::string verb_done_text() {
    return "Done.";
}

std::string verb_stopped_text() {
    return "Stopped.";
}

std::string send_outcome_text(const SendOutcome& o) {
    switch (o.end) {
        case SendEnd::kDone:
            return verb_done_text();
        case SendEnd::kDoneWithNote:
            return verb_done_text() + " " + o.detail;
        case SendEnd::kStopped:
            return verb_stopped_text();
        case SendEnd::kStoppedBecause:
            return "Stopped: " + o.detail;
        case SendEnd::kTooLarge:
            return "Stopped: the destination could not take a message of " +
                   std::to_string(o.refused_length) + " bytes.";
        case SendEnd::kLost:
            return std::string("Stopped: ") + send_result_text(o.result) + ".";
        case SendEnd::kBackendError:
            return "Stopped: the MIDI system refused the message: " +
                   (o.detail.empty() ? std::string("no reason given.") : o.detail);
        case SendEnd::kXrun:
            return "Sent, but the MIDI server fell behind during the send (xrun): some data may "
                   "have been lost.";
        case SendEnd::kNothingToSend: {
            std::string text;
            for (const std::string& name : o.nothing_to_send) {
                if (!text.empty()) text += ' ';
                text += "Nothing to send: no complete SysEx message in " + name + ".";
            }
            return text;
        }
    }
    return verb_stopped_text();
}

VerbEnd send_verb_end(SendEnd end) {
    switch (end) {
        case SendEnd::kDone:
        case SendEnd::kDoneWithNote:
            return VerbEnd::kDone;
        case SendEnd::kStopped:
            return VerbEnd::kInterrupted;
        default:
            return VerbEnd::kFailed;
    }
}

VerbEnd send_verb_end(const std::optional<SendOutcome>& outcome) {
    return outcome ? send_verb_end(outcome->end) : VerbEnd::kFailed;
}

std::string send_failure_text(const std::optional<SendOutcome>& outcome) {
    return outcome ? send_outcome_text(*outcome) : "the send ended without telling how";
}

std::string send_progress_text(const SendProgress& p) {
    if (!p.sending) return {};
    char text[96];
    std::snprintf(
        text, sizeof text,
        p.sample ? "Sending file %d of %d. %d samples." : "Sending file %d of %d. %d bytes.",
        int(p.index), int(p.count), int(p.position));
    return text;
}

namespace {

// Why the reception ended, when the user did not end it; empty for kStopped.
std::string receive_end_reason(const ReceiveOutcome& o) {
    switch (o.end) {
        case ReceiveEnd::kStopped:
            return {};
        case ReceiveEnd::kCancelled:
            return "Stopped: the sample dump was cancelled after messages that were rejected.";
        case ReceiveEnd::kSourceGone:
            return "Stopped: the source has gone away.";
        case ReceiveEnd::kOutOfMemory:
            return "Stopped: out of memory.";
        case ReceiveEnd::kPartial:
            return "Stopped inside a SysEx message that never ended: its " +
                   std::to_string(o.bytes) + " bytes are kept in " + o.detail + ".";
    }
    return {};
}

// The dumps cut short and an xrun, each a sentence.
std::string receive_notes(const ReceiveOutcome& o) {
    std::string text;
    for (const PartialDump& p : o.partial_dumps) {
        if (!text.empty()) text += ' ';
        text += p.name + ": " + std::to_string(p.frames) + " of " + std::to_string(p.announced) +
                " frames.";
    }
    if (o.xrun) {
        if (!text.empty()) text += ' ';
        text +=
            "The MIDI server fell behind during the reception (xrun): some data may have been "
            "lost.";
    }
    return text;
}

void add_sentence(std::string& text, const std::string& sentence) {
    if (sentence.empty()) return;
    if (!text.empty()) text += ' ';
    text += sentence;
}

}  // namespace

std::string receive_outcome_text(const ReceiveOutcome& o) {
    std::string text;
    // Out of memory, nothing was kept: the count would mislead.
    if (o.end != ReceiveEnd::kOutOfMemory)
        text = "Received " + std::to_string(o.received) + " bytes.";
    add_sentence(text, receive_end_reason(o));
    add_sentence(text, receive_notes(o));
    return text;
}

std::string receive_failure_text(const ReceiveOutcome& o) {
    std::string text = o.end == ReceiveEnd::kCancelled
                           ? "the sample dump was cancelled after messages that were rejected"
                           : receive_end_reason(o);
    add_sentence(text, receive_notes(o));
    return text;
}

VerbEnd receive_verb_end(const std::optional<ReceiveOutcome>& o) {
    if (!o) return VerbEnd::kFailed;
    // An xrun is said, but fails nothing by itself: what arrived may well be
    // whole, and a dump it damaged fails on its own account.
    if (!o->partial_dumps.empty()) return VerbEnd::kFailed;
    return o->end == ReceiveEnd::kStopped ? VerbEnd::kDone : VerbEnd::kFailed;
}

std::string receive_verb_failure_text(const std::optional<ReceiveOutcome>& o) {
    if (!o) return "the reception did not start";
    if (const std::string text = receive_failure_text(*o); !text.empty()) return text;
    return receive_verb_end(o) == VerbEnd::kDone ? std::string() : "the reception stopped";
}

std::string receive_progress_text(int64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "Receiving. %lld bytes.", static_cast<long long>(bytes));
    return text;
}

// --- Requesting samples ----------------------------------------------------------

namespace {

// The numbers that did not come, whole or at all, in order.
std::vector<int32_t> absent_numbers(const SeriesOutcome& o) {
    std::vector<int32_t> absent = o.missing;
    absent.insert(absent.end(), o.incomplete.begin(), o.incomplete.end());
    std::sort(absent.begin(), absent.end());
    return absent;
}

}  // namespace

std::string series_outcome_text(const SeriesOutcome& o) {
    const std::vector<int32_t> absent = absent_numbers(o);
    if (absent.empty()) return verb_done_text();
    std::string text = verb_done_text() + " No sample ";
    for (size_t i = 0; i < absent.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(absent[i]);
    }
    return text + ".";
}

VerbEnd series_verb_end(const SeriesOutcome& o) {
    if (o.end != SeriesEnd::kDone) return VerbEnd::kFailed;
    return o.missing.empty() && o.incomplete.empty() ? VerbEnd::kDone : VerbEnd::kFailed;
}

std::string series_failure_text(const SeriesOutcome& o) {
    switch (o.end) {
        case SeriesEnd::kRunning:
            return "the requests did not end";
        case SeriesEnd::kNoSource:
            return "the requests cannot be sent: no source or destination";
        case SeriesEnd::kStopped:
            // Stopped by hand, the reception has nothing to say: the series
            // failed all the same, as it did not run its course.
            if (o.reception) {
                if (std::string text = receive_failure_text(*o.reception); !text.empty())
                    return text;
            }
            return "the reception stopped";
        case SeriesEnd::kDone:
            break;
    }
    if (series_verb_end(o) == VerbEnd::kDone) return {};
    return std::to_string(o.missing.size() + o.incomplete.size()) + " of " +
           std::to_string(o.count) + " samples did not come";
}

std::string series_missing_line(int32_t number, int32_t wait_seconds) {
    return "no sample " + std::to_string(number) + " within " + std::to_string(wait_seconds) + " s";
}

std::string series_incomplete_line(int32_t number) {
    return "sample " + std::to_string(number) + " stopped part way";
}

}  // namespace j3
