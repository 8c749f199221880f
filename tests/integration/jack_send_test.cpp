// The real send loop through the real MIDI service over a real JACK server,
// checked by clients that are not ours: JACK's own jack_midi_dump and a
// libjack client.
#include <gtest/gtest.h>

#include <memory>

#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/fake_window.h"
#include "jack_fixture.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/reception.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::eventually;
using namespace std::chrono_literals;

Bytes sysex(size_t length, uint8_t fill) {
    Bytes m(length, fill);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct OverJack : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>();
        ASSERT_TRUE(server->running());
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        midi = make_midi_service(MidiServiceOptions{false, true});
        ctx.midi = midi.get();
    }
    void TearDown() override {
        // The service completes into the context: it goes first.
        if (ctx.send.sending()) stop_sending(ctx);
        midi.reset();
    }

    int32_t wait_for(const std::string& name, bool source) {
        return testing::wait_for_endpoint(*midi, ctx.endpoints, read_proc, name, source);
    }

    void add(Bytes data) {
        FileEntry e;
        e.file = "item.syx";
        e.data = std::move(data);
        append_entry(ctx, std::move(e));
    }

    // Starts sending every entry to the destination at that position.
    bool start_all(int32_t position, int speed = 3125) {
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, position, false);
        midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, speed);
        std::vector<uint32_t> ids;
        for (uint32_t id = 1; id <= ctx.files.size(); ++id) ids.push_back(id);
        window.select(ids);
        refresh_selection(ctx);
        return start_sending(ctx);
    }
    // ... and waits for the end.
    bool send_all(int32_t position, int speed) {
        return start_all(position, speed) && eventually([&] { return !ctx.send.sending(); }, 60s);
    }
    // A send of 40 messages of 500 bytes (over six seconds at MIDI speed),
    // started, with its first 1000 bytes arrived at the reader.
    bool start_long_send(int32_t position, testing::TestMidiClient& reader) {
        for (int i = 0; i < 40; ++i) add(sysex(500, uint8_t(i)));
        return start_all(position) && reader.wait_bytes(1000);
    }

    std::unique_ptr<testing::JackServer> server;
    testing::FakeWindow window;
    SystemClock clock;
    Reception reception;
    Context ctx;
    ReadProc read_proc;
    std::unique_ptr<MidiService> midi;
};

TEST_F(OverJack, TheSendLoopDeliversEveryMessageInOrderToJacksOwnMonitor) {
    testing::MidiDump dump("j3dump");
    const int32_t to = wait_for("j3dump - input", false);
    ASSERT_NE(to, 0);

    const Bytes a1 = sysex(10, 0x01), a2 = sysex(300, 0x02), a3 = sysex(4096, 0x03);
    const Bytes b = sysex(5000, 0x04);
    add(concat({a1, a2, a3}));
    add(concat({{0x00, 0x7F}, b}));
    ctx.settings.send_delay = 1;
    ASSERT_TRUE(send_all(to, 62500));
    EXPECT_TRUE(testing::sent_whole(window.text(testing::kSendStatus)))
        << window.text(testing::kSendStatus);

    // A message longer than a piece goes out as pieces of 4096 bytes and the rest.
    const std::vector<Bytes> want = {a1, a2, a3, Bytes(b.begin(), b.begin() + 4096),
                                     Bytes(b.begin() + 4096, b.end())};
    std::this_thread::sleep_for(100ms);  // the last event crosses the graph
    const std::vector<Bytes> got = dump.stop();
    std::vector<size_t> got_sizes;
    for (const Bytes& e : got) got_sizes.push_back(e.size());
    EXPECT_EQ(got, want) << ::testing::PrintToString(got_sizes);
}

// Larger than any one event a JACK port buffer carries: it goes out whole, in
// events of 4096 bytes, and its request completes once.
TEST_F(OverJack, AMessageOfAnyLengthArrivesWholeInEventsOf4096Bytes) {
    testing::TestMidiClient reader("reader");
    ASSERT_TRUE(reader.ok());
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    const Endpoint destination = midi->destination(to - 1);
    midi->set_max_sysex_speed(destination, 1000000);

    std::atomic<int> completions{0};
    auto done = [](SysexRequest* r) { ++*static_cast<std::atomic<int>*>(r->completion_ref); };
    const Bytes large = sysex(40000, 0x05);
    SysexRequest r;
    r.destination = destination;
    r.data = large.data();
    r.bytes_to_send = uint32_t(large.size());
    r.completion_proc = done;
    r.completion_ref = &completions;
    EXPECT_EQ(midi->send_sysex(&r), kSendTaken);
    ASSERT_TRUE(reader.wait_bytes(large.size()));
    ASSERT_TRUE(eventually([&] { return completions == 1; }));
    EXPECT_EQ(r.outcome, kSendTaken);
    const std::vector<Bytes> got = reader.received();
    ASSERT_EQ(got.size(), 10u);
    for (size_t i = 0; i + 1 < got.size(); ++i) EXPECT_EQ(got[i].size(), 4096u) << i;
    EXPECT_EQ(concat(got), large);
}

TEST_F(OverJack, WhatAJackSourceSendsReachesTheReadProcedure) {
    testing::TestMidiClient writer("writer");
    ASSERT_TRUE(writer.ok());
    // Shared with the read procedure, which the input thread may still be
    // running when this body ends: the service outlives it until TearDown.
    struct Heard {
        std::mutex mutex;
        Bytes bytes;
    };
    const auto heard = std::make_shared<Heard>();
    std::mutex& mutex = heard->mutex;
    Bytes& got = heard->bytes;
    read_proc = [heard](const MidiPacketList& list) {
        std::lock_guard lock(heard->mutex);
        for (auto& p : list)
            heard->bytes.insert(heard->bytes.end(), p.bytes.begin(), p.bytes.end());
    };
    const int32_t from = wait_for("writer - out", true);
    ASSERT_NE(from, 0);
    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);

    // SysEx, clock and active sensing all arrive: the read procedure decides.
    const Bytes message = sysex(200, 0x07);
    writer.send(message);
    writer.send({0xF8});
    writer.send({0xFE});
    Bytes want = message;
    want.push_back(0xF8);
    want.push_back(0xFE);
    EXPECT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return got.size() >= want.size();
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(got, want) << got.size() << " bytes of " << want.size();
}

TEST_F(OverJack, StopEndsASendAtOnceAndItsLastRequestStillCompletes) {
    testing::TestMidiClient reader("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    ASSERT_TRUE(start_long_send(to, reader));

    stop_sending(ctx);
    EXPECT_FALSE(ctx.send.sending());
    EXPECT_EQ(window.text(testing::kSendStatus), "Stopped.");
    EXPECT_TRUE(eventually([&] { return !ctx.send.busy(); }));
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(concat(reader.received()).size(), 40u * 500u);
}

TEST_F(OverJack, ADestinationThatLeavesMidSendStopsTheSendWithoutHanging) {
    auto reader = std::make_unique<testing::TestMidiClient>("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    ASSERT_TRUE(start_long_send(to, *reader));

    reader.reset();  // the destination's client quits
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    EXPECT_NE(window.text(testing::kSendStatus), "Done.") << "the loss is not reported as success";
}

TEST_F(OverJack, ADestinationThatComesBackIsReachedAgain) {
    auto reader = std::make_unique<testing::TestMidiClient>("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    add(sysex(100, 0x01));
    ASSERT_TRUE(send_all(to, 62500));
    ASSERT_TRUE(reader->wait_bytes(100));

    reader.reset();
    ASSERT_TRUE(send_all(to, 62500));
    EXPECT_NE(window.text(testing::kSendStatus), "Done.");

    // The same client and port again, under the same endpoint.
    reader = std::make_unique<testing::TestMidiClient>("reader");
    ASSERT_EQ(wait_for("reader - in", false), to);
    ASSERT_TRUE(send_all(to, 62500));
    EXPECT_TRUE(testing::sent_whole(window.text(testing::kSendStatus)))
        << window.text(testing::kSendStatus);
    EXPECT_TRUE(reader->wait_bytes(100));
    EXPECT_EQ(reader->received(), std::vector<Bytes>{sysex(100, 0x01)});
}

// A patchbay takes J3's connection to the destination away mid-send: the send
// stops with the reason rather than "sending" on into nothing and saying
// "Done."; the next send to the same port connects again.
TEST_F(OverJack, ADisconnectedDestinationStopsTheSendAndIsReconnectedNextTime) {
    testing::TestMidiClient reader("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    ASSERT_TRUE(start_long_send(to, reader));

    ASSERT_TRUE(reader.disconnect_in());
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    EXPECT_EQ(window.text(testing::kSendStatus),
              "Stopped: the destination was disconnected from J3's output.");
    ASSERT_TRUE(eventually([&] { return !ctx.send.busy(); }));
    const size_t before = concat(reader.received()).size();
    EXPECT_LT(before, 40u * 500u);

    while (ctx.files.size() > 0) {
        window.select({1});
        remove_selected_entries(ctx);
    }
    add(sysex(100, 0x09));
    ASSERT_TRUE(send_all(to, 62500));
    EXPECT_TRUE(testing::sent_whole(window.text(testing::kSendStatus)))
        << window.text(testing::kSendStatus);
    ASSERT_TRUE(reader.wait_bytes(before + 100));
    EXPECT_EQ(reader.received().back(), sysex(100, 0x09));

    // Taken away between sends, nothing is lost: the next send connects again.
    ASSERT_TRUE(reader.disconnect_in());
    ASSERT_TRUE(send_all(to, 62500));
    EXPECT_TRUE(testing::sent_whole(window.text(testing::kSendStatus)))
        << window.text(testing::kSendStatus);
    ASSERT_TRUE(reader.wait_bytes(before + 200));
}

TEST_F(OverJack, StopStillWorksRightAfterTheDestinationLeaves) {
    auto reader = std::make_unique<testing::TestMidiClient>("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    ASSERT_TRUE(start_long_send(to, *reader));

    reader.reset();
    stop_sending(ctx);
    EXPECT_FALSE(ctx.send.sending());
    EXPECT_EQ(window.text(testing::kSendButton), "Send");
    EXPECT_TRUE(eventually([&] { return !ctx.send.busy(); }));
}

TEST_F(OverJack, AServerThatDiesMidSendEndsTheSendWithoutHanging) {
    testing::TestMidiClient reader("reader");
    const int32_t to = wait_for("reader - in", false);
    ASSERT_NE(to, 0);
    ASSERT_TRUE(start_long_send(to, reader));

    server->kill_now();
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    EXPECT_NE(window.text(testing::kSendStatus), "Done.");
    ASSERT_TRUE(eventually([&] { return !ctx.send.busy(); }));

    // A rescan finds the server gone and lists the loopback pair alone.
    scan_midi(*ctx.midi, ctx.endpoints, nullptr);
    EXPECT_EQ(midi->destination_count(), 1);
    EXPECT_EQ(endpoint_display_name(*midi, midi->destination(0), false), "J3 Loopback");
    reader.close();
}

TEST_F(OverJack, AServerThatGoesAwayIsDroppedAtTheNextScanAndANewOneFound) {
    scan_midi(*ctx.midi, ctx.endpoints, nullptr);
    server->kill_now();
    // Only this program's own clients were on that server.
    ASSERT_TRUE(eventually([&] {
        scan_midi(*ctx.midi, ctx.endpoints, nullptr);
        return midi->destination_count() == 1;
    }));
    server = std::make_unique<testing::JackServer>();
    ASSERT_TRUE(server->running());
    testing::TestMidiClient reader("reader");
    ASSERT_TRUE(reader.ok());
    EXPECT_NE(wait_for("reader - in", false), 0);
}

}  // namespace
}  // namespace j3
