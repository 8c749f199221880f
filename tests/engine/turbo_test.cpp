#include "engine/turbo.h"
#include "engine/send_state.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/test_context.h"
#include "receive/midi_read.h"

namespace j3::testing {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr Endpoint kDestination = 1001;
const Bytes kSpeedRequestBytes = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7};

Bytes speed_set(uint8_t index) {
    return {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, index, 0xF7};
}

void report(Context& ctx, uint8_t index) {
    MidiPacket p;
    p.bytes = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, index, 0xF7};
    midi_read(ctx, {p});
}

struct SpeedHarness {
    SpeedHarness() {
        t.ctx.endpoints.destination_endpoint = kDestination;
        t.ctx.endpoints.virtual_destination = FakeMidiService::kVirtualDestination;
    }
    std::vector<std::pair<Endpoint, Bytes>> sent() {
        std::vector<std::pair<Endpoint, Bytes>> out;
        for (const SentRequest& r : t.midi.sent_copy()) out.emplace_back(r.destination, r.bytes);
        return out;
    }
    TestContext t;
};
struct Speed : ::testing::Test, SpeedHarness {};

TEST_F(Speed, ReportsPutTheSpeedInForce) {
    struct Case {
        uint8_t index;
        const char* want_label;
        bool want_indicator;
        int want_bytes_per_second;
    };
    const Case cases[] = {
        {9, "13.3x", true, 41562}, {0, " ", false, 3125}, {1, " ", false, 3125},
        {11, "20x", true, 62500},  {2, "2x", true, 6250},
    };
    for (const Case& c : cases) {
        SpeedHarness s;
        s.t.window.set_speed_indicator(!c.want_indicator);
        report(s.t.ctx, c.index);
        EXPECT_EQ(s.t.window.text(kSpeedLabel), c.want_label) << int(c.index);
        EXPECT_EQ(s.t.window.speed_indicator, c.want_indicator) << int(c.index);
        EXPECT_EQ(s.t.midi.max_sysex_speed(kDestination), c.want_bytes_per_second) << int(c.index);
        // The speed request goes to the private destination, which discards it.
        EXPECT_EQ(s.sent(), (std::vector<std::pair<Endpoint, Bytes>>{
                                {FakeMidiService::kVirtualDestination, kSpeedRequestBytes}}))
            << int(c.index);
    }
}

TEST_F(Speed, AReportBeyondTheTableIsIgnored) {
    report(t.ctx, 7);
    report(t.ctx, 12);
    report(t.ctx, 0x7F);
    EXPECT_EQ(t.window.text(kSpeedLabel), "8x");
    EXPECT_EQ(t.ctx.send.speed_factor(), 80);
    EXPECT_EQ(t.midi.max_sysex_speed(kDestination), 25000);
    EXPECT_EQ(t.midi.sent_copy().size(), 1u);
}

TEST_F(Speed, TurboAsksForTheLimitAndGoesBackToNormalAtOnce) {
    t.ctx.settings.turbo_limit = 11;
    turbo_command(t.ctx);
    EXPECT_EQ(sent(), (std::vector<std::pair<Endpoint, Bytes>>{{kDestination, speed_set(11)}}));
    // Nothing changes until the instrument reports.
    EXPECT_EQ(t.ctx.send.speed_factor(), 10);
    EXPECT_TRUE(t.window.texts(kSpeedLabel).empty());

    report(t.ctx, 7);
    t.midi.sent.clear();
    turbo_command(t.ctx);
    EXPECT_EQ(sent(), (std::vector<std::pair<Endpoint, Bytes>>{
                          {kDestination, speed_set(1)},
                          {FakeMidiService::kVirtualDestination, kSpeedRequestBytes}}));
    EXPECT_EQ(t.window.text(kSpeedLabel), " ");
    EXPECT_FALSE(t.window.speed_indicator);
    EXPECT_EQ(t.midi.max_sysex_speed(kDestination), 3125);

    t.ctx.settings.turbo_limit = 6;
    t.midi.sent.clear();
    turbo_command(t.ctx);
    EXPECT_EQ(sent(), (std::vector<std::pair<Endpoint, Bytes>>{{kDestination, speed_set(6)}}));
}

TEST_F(Speed, ControlMessagesNeverShareARecordWhileHeldAndNeverWait) {
    // A send holds data_request meanwhile; the service reports nothing yet.
    FileEntry e;
    e.data = {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7};
    append_entry(t.ctx, std::move(e));
    t.window.select({1});
    refresh_selection(t.ctx);
    ASSERT_TRUE(start_sending(t.ctx));

    report(t.ctx, 9);
    turbo_command(t.ctx);  // back to normal: two messages at once
    send_speed_request(t.ctx);
    ASSERT_EQ(t.midi.held(), 5u);
    std::set<SysexRequest*> records;
    for (SysexRequest* r : t.midi.in_flight) records.insert(r);
    EXPECT_EQ(records.size(), 5u) << "a held record was refilled";
    EXPECT_EQ(records.count(&t.ctx.send.state().data_request), 1u);
    // Each record still carries what it was given.
    std::vector<Bytes> carried;
    for (SysexRequest* r : t.midi.in_flight)
        if (r != &t.ctx.send.state().data_request)
            carried.emplace_back(r->data, r->data + r->bytes_to_send);
    EXPECT_EQ(carried, (std::vector<Bytes>{kSpeedRequestBytes, speed_set(1), kSpeedRequestBytes,
                                           kSpeedRequestBytes}));

    // Once reported, records are taken again rather than made anew.
    t.midi.complete_all();
    for (int i = 0; i < 10; ++i) {
        send_speed_request(t.ctx);
        t.midi.complete_all();
    }
    EXPECT_EQ(t.ctx.send.state().control_requests.records.size(), 4u);
}

TEST_F(Speed, NothingGoesToADestinationThatIsNotChosen) {
    t.ctx.endpoints.destination_endpoint = kNoEndpoint;
    turbo_command(t.ctx);
    send_speed_request(t.ctx);
    EXPECT_TRUE(t.midi.sent_copy().empty());
}

}  // namespace
}  // namespace j3::testing
