#include "engine/outcomes.h"

#include <cstdio>

namespace j3 {

std::string send_outcome_text(const SendOutcome& o) {
    switch (o.end) {
        case SendEnd::kDone:
            return "Done.";
        case SendEnd::kDoneWithNote:
            return "Done. " + o.detail;
        case SendEnd::kStopped:
            return "Stopped.";
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
    return "Stopped.";
}

int send_exit_status(SendEnd end) {
    switch (end) {
        case SendEnd::kDone:
        case SendEnd::kDoneWithNote:
            return 0;
        case SendEnd::kStopped:
            return 130;
        default:
            return 1;
    }
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

int receive_exit_status(ReceiveEnd end) {
    return end == ReceiveEnd::kStopped ? 0 : 1;
}

int receive_exit_status(const ReceiveOutcome& o) {
    // An xrun is said, but fails nothing by itself: what arrived may well be
    // whole, and a dump it damaged fails on its own account.
    if (!o.partial_dumps.empty()) return 1;
    return receive_exit_status(o.end);
}

std::string receive_progress_text(int64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "Receiving. %lld bytes.", static_cast<long long>(bytes));
    return text;
}

}  // namespace j3
