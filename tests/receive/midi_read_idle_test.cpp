#include <gtest/gtest.h>

#include <vector>

#include "engine/send_state.h"
#include "fakes/test_context.h"
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

TEST(MidiReadIdle, HandshakeRepliesCountOnlyOnTheDeviceChannelWhileASampleGoesOut) {
    struct Case {
        const char* what;
        Bytes bytes;
        SendMode mode;
        HandshakeReply want_reply;
        int32_t want_wait;
        uint8_t want_nak_packet;
    };
    const Case cases[] = {
        {"ACK", {0xF0, 0x7E, 0x05, 0x7F, 0x11, 0xF7}, kSendSample, kReplyAck, 0, 0},
        {"NAK names its packet",
         {0xF0, 0x7E, 0x05, 0x7E, 0x22, 0xF7},
         kSendSample,
         kReplyNak,
         0,
         0x22},
        {"WAIT", {0xF0, 0x7E, 0x05, 0x7C, 0x00, 0xF7}, kSendSample, kReplyNone, 1, 0},
        {"clock bytes inside",
         {0xF0, 0xF8, 0x7E, 0x05, 0xFE, 0x7F, 0x00, 0xF7},
         kSendSample,
         kReplyAck,
         0,
         0},
        {"other channel", {0xF0, 0x7E, 0x06, 0x7F, 0x00, 0xF7}, kSendSample, kReplyNone, 0, 0},
        {"SysEx send", {0xF0, 0x7E, 0x05, 0x7F, 0x00, 0xF7}, kSendSysex, kReplyNone, 0, 0},
        {"no send", {0xF0, 0x7E, 0x05, 0x7F, 0x00, 0xF7}, kSendIdle, kReplyNone, 0, 0},
        {"too short", {0xF0, 0x7E, 0x05, 0x7F, 0xF7}, kSendSample, kReplyNone, 0, 0},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {size_t(1), size_t(2), size_t(100)}) {
            TestContext t;
            t.ctx.settings.device_number = 5;
            t.ctx.send.state().send_mode = c.mode;
            feed(t.ctx, c.bytes, chunk);
            EXPECT_EQ(t.ctx.send.state().handshake_reply, c.want_reply)
                << c.what << " chunk " << chunk;
            EXPECT_EQ(t.ctx.send.state().wait_received, c.want_wait)
                << c.what << " chunk " << chunk;
            EXPECT_EQ(t.ctx.send.state().nak_packet, c.want_nak_packet)
                << c.what << " chunk " << chunk;
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
    TestContext t;
    t.ctx.send.state().send_mode = kSendSample;
    Bytes junk(5000, 0x12);
    junk.insert(junk.begin(), 0xF0);
    feed(t.ctx, junk, 64);
    feed(t.ctx, {0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7}, 6);
    EXPECT_EQ(t.ctx.send.state().handshake_reply, kReplyAck);
}

}  // namespace
}  // namespace j3
