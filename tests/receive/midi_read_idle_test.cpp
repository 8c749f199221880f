#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/test_context.h"
#include "fixtures/audio_files.h"
#include "receive/midi_read.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace testing;

// Feeds bytes to the input routine cut into packets of at most `chunk` bytes.
void feed(Context& ctx, const Bytes& bytes, size_t chunk) {
    MidiPacketList list;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        MidiPacket p;
        p.bytes.assign(bytes.begin() + long(at),
                       bytes.begin() + long(std::min(bytes.size(), at + chunk)));
        list.push_back(std::move(p));
    }
    midi_read(ctx, list);
}

// When the bytes reach the input routine: while a sample item's first packet
// waits for its answer, while a SysEx item before it goes out, or before
// the send.
enum class Fed { kWhileASampleWaits, kWhileSysexGoesOut, kWithNoSend };

// What the send made of them, told by what it did next: the label of the
// message it sent ("P<n>": data packet n), or its status line once it
// ended; and the 1 ms rounds it waited for the answer.
struct Seen {
    std::string next;
    int ms = 0;
    bool operator==(const Seen&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << '"' << s.next << "\" after " << s.ms << " ms";
}
const Seen kAckHeard{"P1", 0};
const Seen kNothingHeard{"Stopped: the receiver stopped answering.", 65};
const Seen kWaitHeard{"Stopped: the receiver stopped answering.", 5000};

// Sends a SysEx item, then a sample item to a receiver on `device` that
// answers its header; feed_bytes runs at the point `when` names, and the
// wait for the answer to the sample's first packet then runs.
Seen after_feeding(Fed when, uint8_t device, const std::function<void(Context&)>& feed_bytes) {
    TestContext t;
    t.ctx.settings.device_number = device;
    t.ctx.settings.ignore_handshake = false;
    FileEntry sysex;
    sysex.file = "a.syx";
    sysex.data = {0xF0, 0x01, 0xF7};
    append_entry(t.ctx, std::move(sysex));
    FileEntry sample;
    sample.file = "s.wav";
    WavFile w;
    w.samples.assign(200, 0);  // five packets of 40 words
    sample.data = make_wav(w);
    append_entry(t.ctx, std::move(sample));
    t.window.select({1, 2});
    refresh_selection(t.ctx);

    if (when == Fed::kWithNoSend) feed_bytes(t.ctx);
    EXPECT_TRUE(start_sending(t.ctx));
    if (when == Fed::kWhileSysexGoesOut) feed_bytes(t.ctx);
    t.midi.complete_next();  // the SysEx item is out: the sample's header goes
    feed(t.ctx, {0xF0, 0x7E, device, 0x7F, 0x00, 0xF7}, 6);
    t.midi.complete_next();  // the header is answered: the first packet goes
    if (when == Fed::kWhileASampleWaits) feed_bytes(t.ctx);
    const size_t sent_before = t.midi.sent_copy().size();
    const int ms_before = t.clock.ms_slept;
    t.midi.complete_next();  // the wait for the first packet's answer

    Seen seen;
    seen.ms = t.clock.ms_slept - ms_before;
    const std::vector<SentRequest> sent = t.midi.sent_copy();
    if (sent.size() > sent_before) {
        const Bytes& m = sent.back().bytes;
        seen.next = m.size() == 127 && m[3] == 0x02 ? "P" + std::to_string(m[4]) : "?";
    } else {
        seen.next = t.window.text(kSendStatus);
    }
    stop_sending(t.ctx);
    t.midi.complete_all();
    return seen;
}

TEST(MidiReadIdle, HandshakeRepliesCountOnlyOnTheDeviceChannelWhileASampleGoesOut) {
    struct Case {
        const char* what;
        Bytes bytes;
        Fed when;
        Seen want;
    };
    const Case cases[] = {
        {"ACK", {0xF0, 0x7E, 0x05, 0x7F, 0x11, 0xF7}, Fed::kWhileASampleWaits, kAckHeard},
        {"NAK names its packet",
         {0xF0, 0x7E, 0x05, 0x7E, 0x22, 0xF7},
         Fed::kWhileASampleWaits,
         {"Stopped: the receiver asked for packet 34 again, which is no longer held.", 0}},
        {"WAIT", {0xF0, 0x7E, 0x05, 0x7C, 0x00, 0xF7}, Fed::kWhileASampleWaits, kWaitHeard},
        {"clock bytes inside",
         {0xF0, 0xF8, 0x7E, 0x05, 0xFE, 0x7F, 0x00, 0xF7},
         Fed::kWhileASampleWaits,
         kAckHeard},
        {"other channel",
         {0xF0, 0x7E, 0x06, 0x7F, 0x00, 0xF7},
         Fed::kWhileASampleWaits,
         kNothingHeard},
        {"SysEx send",
         {0xF0, 0x7E, 0x05, 0x7F, 0x00, 0xF7},
         Fed::kWhileSysexGoesOut,
         kNothingHeard},
        {"no send", {0xF0, 0x7E, 0x05, 0x7F, 0x00, 0xF7}, Fed::kWithNoSend, kNothingHeard},
        {"CANCEL in a SysEx send",
         {0xF0, 0x7E, 0x05, 0x7D, 0x00, 0xF7},
         Fed::kWhileSysexGoesOut,
         kNothingHeard},
        {"too short", {0xF0, 0x7E, 0x05, 0x7F, 0xF7}, Fed::kWhileASampleWaits, kNothingHeard},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {size_t(1), size_t(2), size_t(100)}) {
            const Seen seen =
                after_feeding(c.when, 5, [&](Context& ctx) { feed(ctx, c.bytes, chunk); });
            EXPECT_EQ(seen, c.want) << c.what << " chunk " << chunk;
        }
    }
}

TEST(MidiReadIdle, SpeedReportPutsTheSpeedInForceOnceItsEndHasArrived) {
    struct Case {
        Bytes bytes;
        int32_t want_factor;
        const char* want_label;
    };
    const Case cases[] = {
        {{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x09, 0xF7}, 133, "13.3x"},
        {{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x01, 0xF7}, 10, " "},
        {{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7}, 10, ""},  // no such speed
        {{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x09}, 10, ""},        // unfinished
    };
    for (const Case& c : cases) {
        TestContext t;
        t.ctx.endpoints.destination_endpoint = 77;
        feed(t.ctx, c.bytes, 3);
        EXPECT_EQ(t.ctx.send.speed_factor(), c.want_factor);
        EXPECT_EQ(t.window.text(kSpeedLabel), c.want_label);
    }
}

TEST(MidiReadIdle, RunawayMessageNeverOverflowsAndTheNextReplyStillCounts) {
    Bytes junk(5000, 0x12);
    junk.insert(junk.begin(), 0xF0);
    const Seen seen = after_feeding(Fed::kWhileASampleWaits, 0, [&](Context& ctx) {
        feed(ctx, junk, 64);
        feed(ctx, {0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7}, 6);
    });
    EXPECT_EQ(seen, kAckHeard);
}

}  // namespace
}  // namespace j3
