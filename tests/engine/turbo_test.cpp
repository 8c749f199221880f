#include "engine/turbo.h"

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

// Notes the speed in force when the label changes: `j3 turbo` prints it as
// soon as it sees the change.
struct LabelWatch : FakeWindow {
    explicit LabelWatch(const Context& c) : ctx(c) {}
    void set_speed_label(std::string_view text) override {
        factor_at_label = ctx.send.speed_factor();
        FakeWindow::set_speed_label(text);
    }
    const Context& ctx;
    int32_t factor_at_label = 0;
};

TEST_F(Speed, ReportsPutTheSpeedInForce) {
    struct Case {
        uint8_t index;
        const char* want_label;
        bool want_indicator;
        int want_bytes_per_second;
        int32_t want_factor;
    };
    const Case cases[] = {
        {9, "13.3x", true, 41562, 133}, {0, " ", false, 3125, 10}, {1, " ", false, 3125, 10},
        {11, "20x", true, 62500, 200},  {2, "2x", true, 6250, 20},
    };
    for (const Case& c : cases) {
        SpeedHarness s;
        LabelWatch window(s.t.ctx);
        s.t.ctx.window = &window;
        // Another speed in force before, so the one reported is seen to change.
        set_speed(s.t.ctx, c.want_factor == 10 ? 11 : 1);
        s.t.midi.sent.clear();
        window.set_speed_indicator(!c.want_indicator);
        report(s.t.ctx, c.index);
        EXPECT_EQ(window.text(kSpeedLabel), c.want_label) << int(c.index);
        EXPECT_EQ(window.factor_at_label, c.want_factor) << int(c.index);
        EXPECT_EQ(window.speed_indicator, c.want_indicator) << int(c.index);
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
    // The send's own request, handed over first, still carries its message.
    const SysexRequest* data_request = t.midi.in_flight.front();
    EXPECT_EQ(Bytes(data_request->data, data_request->data + data_request->bytes_to_send),
              (Bytes{0xF0, 0x01, 0xF7}));
    // Each record still carries what it was given.
    std::vector<Bytes> carried;
    for (SysexRequest* r : t.midi.in_flight)
        if (r != data_request) carried.emplace_back(r->data, r->data + r->bytes_to_send);
    EXPECT_EQ(carried, (std::vector<Bytes>{kSpeedRequestBytes, speed_set(1), kSpeedRequestBytes,
                                           kSpeedRequestBytes}));

    // Once reported, records are taken again rather than made anew.
    t.midi.complete_all();
    for (int i = 0; i < 10; ++i) {
        send_speed_request(t.ctx);
        ASSERT_EQ(t.midi.held(), 1u);
        EXPECT_EQ(records.count(t.midi.in_flight.front()), 1u) << "a record was made anew";
        EXPECT_NE(t.midi.in_flight.front(), data_request) << "a control message took the send's";
        t.midi.complete_all();
    }
}

TEST_F(Speed, NothingGoesToADestinationThatIsNotChosen) {
    t.ctx.endpoints.destination_endpoint = kNoEndpoint;
    turbo_command(t.ctx);
    send_speed_request(t.ctx);
    EXPECT_TRUE(t.midi.sent_copy().empty());
}

}  // namespace
}  // namespace j3::testing
