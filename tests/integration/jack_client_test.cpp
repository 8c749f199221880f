// J3's own JACK client against clients that are not ours: where each event
// lands (by frame, one message each), input as it arrives, ports that leave
// and come back, and a client made and closed many times under load.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/fake_window.h"
#include "jack_fixture.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::eventually;
using namespace std::chrono_literals;

constexpr int kPeriodFrames = 256;

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

// What the input thread hands the read procedure, gathered.
struct Heard {
    ReadProc proc() {
        return [this](const MidiPacketList& list) {
            std::lock_guard lock(mutex);
            for (const MidiPacket& p : list) {
                bytes.insert(bytes.end(), p.bytes.begin(), p.bytes.end());
                ++packets;
            }
        };
    }
    size_t size() {
        std::lock_guard lock(mutex);
        return bytes.size();
    }
    Bytes all() {
        std::lock_guard lock(mutex);
        return bytes;
    }
    std::mutex mutex;
    Bytes bytes;
    size_t packets = 0;
};

struct OwnClientOverJack : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>(kPeriodFrames);
        ASSERT_TRUE(server->running());
        ctx.window = &window;
        ctx.clock = &clock;
        midi = make_midi_service(MidiServiceOptions{false, true});
        ctx.midi = midi.get();
    }
    void TearDown() override {
        if (ctx.send.sending()) stop_sending(ctx);
        midi.reset();
    }

    int32_t wait_for(const std::string& name, bool source) {
        return testing::wait_for_endpoint(*midi, ctx.endpoints, heard.proc(), name, source);
    }
    bool connected(const std::string& port, const std::string& to) {
        return testing::run({"jack_lsp", "-c", port}).out.find(to) != std::string::npos;
    }

    std::unique_ptr<testing::JackServer> server;
    testing::FakeWindow window;
    SystemClock clock;
    Context ctx;
    Heard heard;
    std::unique_ptr<MidiService> midi;
};

// Each message is one event, and each event starts no earlier than the one
// before it has crossed the wire at the destination's speed, plus the send
// loop's Delay, to the frame: a request completes a cycle or two before its
// last byte leaves, and the Delay the loop waits from there is still counted
// from the wire's end. The first gap of a send too: the wait for the output's
// connection is not wire time.
TEST_F(OwnClientOverJack, EachMessageIsOneEventSpacedByItsWireTimeAndTheDelay) {
    testing::ScriptedInstrument recorder("recorder", [](int, const Bytes&) {
        return std::vector<testing::ScriptedInstrument::Reply>{};
    });
    ASSERT_TRUE(recorder.ok());
    const int32_t to = wait_for("recorder - in", false);
    ASSERT_NE(to, 0);
    const Endpoint destination = midi->destination(to - 1);
    const uint64_t rate = recorder.sample_rate();

    struct Case {
        const char* description;
        int speed;         // bytes per second
        int32_t delay;     // ticks of 1/60 s
        bool one_request;  // all messages in one request, not through the send loop
        std::vector<size_t> sizes;
    };
    const Case cases[] = {
        {"MIDI speed, no Delay", 3125, 0, false, {10, 200, 40, 6}},
        {"speed index 8 with a Delay of 2 ticks", 31250, 2, false, {1000, 8, 300}},
        {"speed index 11, a message of 4096 bytes", 62500, 0, false, {4096, 100, 20, 4096}},
        {"a dump header and two name messages in one request", 3125, 0, true, {21, 20, 20}},
        // Many shorter than a cycle: each is ready before the wire is free,
        // and still none comes early.
        {"speed index 11, 120 messages of 16 bytes", 62500, 0, false, std::vector<size_t>(120, 16)},
    };
    size_t before = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<Bytes> messages;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            messages.push_back(sysex(c.sizes[i], uint8_t((0x10 + i) & 0x7F)));
        midi->set_max_sysex_speed(destination, c.speed);
        if (c.one_request) {
            const Bytes all = concat(messages);
            std::atomic<bool> done{false};
            SysexRequest r;
            r.destination = destination;
            r.data = all.data();
            r.bytes_to_send = uint32_t(all.size());
            r.completion_ref = &done;
            r.completion_proc = [](SysexRequest* q) {
                *static_cast<std::atomic<bool>*>(q->completion_ref) = true;
            };
            ASSERT_EQ(midi->send_sysex(&r), kSendTaken);
            ASSERT_TRUE(eventually([&] { return done.load(); }));
            EXPECT_EQ(r.outcome, kSendTaken);
        } else {
            ctx.files.with_entries([](std::vector<FileEntry>& all) { all.clear(); });
            FileEntry e;
            e.file = "item.syx";
            e.data = concat(messages);
            append_entry(ctx, std::move(e));
            window.select({1});
            refresh_selection(ctx);
            ctx.settings.send_delay = c.delay;
            ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);
            midi->set_max_sysex_speed(destination, c.speed);
            ASSERT_TRUE(start_sending(ctx));
            ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }, 30s));
            // An xrun on a loaded machine only warns; the events below show
            // whether anything was lost.
            EXPECT_TRUE(testing::sent_whole(window.text(testing::kSendStatus)))
                << window.text(testing::kSendStatus);
        }
        ASSERT_TRUE(recorder.wait_heard(before + messages.size()));
        const std::vector<testing::ScriptedInstrument::Event> events = recorder.events();
        ASSERT_EQ(events.size(), before + messages.size());
        for (size_t i = 0; i < messages.size(); ++i) {
            const auto& e = events[before + i];
            EXPECT_EQ(e.bytes, messages[i]) << "event " << i;
            if (i == 0) continue;
            const auto& previous = events[before + i - 1];
            const uint64_t wire = messages[i - 1].size() * rate / uint64_t(c.speed);
            const uint64_t delay = uint64_t(c.delay) * rate / 60;
            EXPECT_GE(e.frame - previous.frame, wire + delay)
                << "gap before event " << i << ": " << e.frame - previous.frame
                << " frames, wire time " << wire << ", Delay " << delay;
        }
        before += messages.size();
    }
}

// A long dump arrives at the read procedure piece by piece: `j3 receive`
// counts its bytes while it arrives and its idle time never ends inside it.
TEST_F(OwnClientOverJack, ALongMessageArrivesAsItComesAndTheIdleTimeWaitsForIt) {
    testing::TestMidiClient instrument("instrument");
    ASSERT_TRUE(instrument.ok());
    const std::string dir = testing::temp_path("received");
    std::filesystem::create_directories(dir);
    const std::string out = testing::temp_path("out"), err = testing::temp_path("err");
    const pid_t pid = testing::spawn(
        {J3_CLI_DRIVER, "receive", "--from", "instrument", "-o", dir, "--idle", "2"}, out, err);
    ASSERT_TRUE(eventually([&] { return connected("instrument:out", "Input port"); }));

    // 40000 bytes in events of 500, over about four seconds: twice the idle time.
    const Bytes message = sysex(40000, 0x2A);
    for (size_t at = 0; at < message.size(); at += 500) {
        instrument.send(Bytes(message.begin() + long(at), message.begin() + long(at + 500)));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(testing::wait_child(pid, 30s), 0) << testing::read_text(err);
    const std::string text =
        testing::read_text((std::filesystem::path(dir) / "Received data 1.syx").string());
    EXPECT_EQ(Bytes(text.begin(), text.end()), message);

    // The count went up while the message was still arriving.
    std::istringstream lines(testing::read_text(out));
    std::string line;
    std::vector<int> counts;
    while (std::getline(lines, line)) {
        int n = 0;
        if (std::sscanf(line.c_str(), "Receiving. %d bytes.", &n) == 1) counts.push_back(n);
    }
    ASSERT_FALSE(counts.empty());
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    EXPECT_TRUE(std::any_of(counts.begin(), counts.end(), [](int n) { return n > 0 && n < 40000; }))
        << testing::read_text(out);
    std::filesystem::remove_all(dir);
}

// A message whose F7 never comes: its bytes reach the read procedure anyway.
TEST_F(OwnClientOverJack, AMessageWithoutItsEndStillReachesTheReadProcedure) {
    testing::TestMidiClient instrument("instrument");
    ASSERT_TRUE(instrument.ok());
    const int32_t from = wait_for("instrument - out", true);
    ASSERT_NE(from, 0);
    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
    ASSERT_TRUE(eventually([&] { return connected("instrument:out", "Input port"); }));

    Bytes unended(300, 0x33);
    unended.front() = 0xF0;
    instrument.send(Bytes(unended.begin(), unended.begin() + 150));
    instrument.send(Bytes(unended.begin() + 150, unended.end()));
    ASSERT_TRUE(eventually([&] { return heard.size() >= unended.size(); }));
    EXPECT_EQ(heard.all(), unended);
}

// An instrument's client quits and starts again under the same name while J3
// runs: both ports are reported gone, then connected again by themselves,
// and what it sends after its return is heard.
TEST_F(OwnClientOverJack, APortThatLeavesAndReturnsIsConnectedAgainBothWays) {
    auto instrument = std::make_unique<testing::TestMidiClient>("instrument");
    ASSERT_TRUE(instrument->ok());
    const int32_t from = wait_for("instrument - out", true);
    const int32_t to = wait_for("instrument - in", false);
    ASSERT_NE(from, 0);
    ASSERT_NE(to, 0);
    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
    ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);
    const Endpoint source = ctx.endpoints.source_endpoint;
    const Endpoint destination = ctx.endpoints.destination_endpoint;
    FileEntry e;
    e.file = "item.syx";
    e.data = sysex(20, 0x01);
    append_entry(ctx, std::move(e));
    window.select({1});
    refresh_selection(ctx);
    ASSERT_TRUE(start_sending(ctx));
    ASSERT_TRUE(instrument->wait_bytes(20));
    EXPECT_TRUE(midi->source_present(source));
    EXPECT_TRUE(midi->destination_present(destination));

    instrument.reset();
    EXPECT_TRUE(eventually([&] { return !midi->source_present(source); }));
    EXPECT_TRUE(eventually([&] { return !midi->destination_present(destination); }));

    instrument = std::make_unique<testing::TestMidiClient>("instrument");
    ASSERT_TRUE(instrument->ok());
    EXPECT_TRUE(eventually([&] { return midi->source_present(source); }));
    EXPECT_TRUE(eventually([&] { return midi->destination_present(destination); }));
    EXPECT_TRUE(eventually([&] { return connected("instrument:out", "Input port"); }));
    EXPECT_TRUE(eventually([&] { return connected("instrument:in", "Output port"); }));
    const Bytes after = sysex(64, 0x02);
    instrument->send(after);
    ASSERT_TRUE(eventually([&] { return heard.size() >= after.size(); }));
    EXPECT_EQ(heard.all(), after);
}

// A server that stands still (kept off the processor) shows in stall_ns, so
// a wait for an answer can be made longer by as much; while it runs its
// cycles, the count stays put.
TEST_F(OwnClientOverJack, TheTimeTheServerStandsStillIsCounted) {
    scan_midi(*ctx.midi, ctx.endpoints, nullptr);
    // Some cycles first, so the client knows its period.
    std::this_thread::sleep_for(200ms);
    const uint64_t before = midi->stall_ns();
    server->pause();
    std::this_thread::sleep_for(500ms);
    const uint64_t during = midi->stall_ns();
    server->resume();
    std::this_thread::sleep_for(200ms);
    const uint64_t after = midi->stall_ns();
    // Counted while it is still under way, and kept once it is over.
    EXPECT_GT(during, before);
    EXPECT_GE(after, during);
    EXPECT_GE(after - before, uint64_t(200'000'000)) << "less than half the pause counted";
}

// A JACK client that sends a clock byte in every cycle to whatever its output
// is connected to, to keep J3's input busy.
class Chatter {
  public:
    explicit Chatter(const char* name) {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(
            client_,
            [](jack_nframes_t frames, void* arg) {
                void* buffer = jack_port_get_buffer(static_cast<Chatter*>(arg)->port_, frames);
                jack_midi_clear_buffer(buffer);
                const jack_midi_data_t clock = 0xF8;
                jack_midi_event_write(buffer, 0, &clock, 1);
                return 0;
            },
            this);
        jack_activate(client_);
    }
    ~Chatter() {
        if (client_) jack_client_close(client_);
    }
    bool ok() const { return client_ != nullptr; }

  private:
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
};

// The window's start and quit, over and over, with input arriving and a send
// under way each time, while the processor is kept busy: the client goes
// without a process cycle ever running on what was freed.
TEST_F(OwnClientOverJack, StartAndQuit200TimesUnderLoad) {
    midi.reset();
    Chatter chatter("chatter");
    ASSERT_TRUE(chatter.ok());
    testing::TestMidiClient reader("reader");
    ASSERT_TRUE(reader.ok());
    // Stopped and joined however the test ends, so a failed check stays a
    // failure of its own.
    std::jthread load([](std::stop_token stop) {
        volatile uint64_t x = 0;
        while (!stop.stop_requested()) x = x + 1;
    });
    const Bytes message = sysex(300, 0x44);
    int sent = 0;
    for (int round = 0; round < 200; ++round) {
        auto service = make_midi_service(MidiServiceOptions{false, true});
        MidiEndpoints endpoints;
        std::atomic<size_t> got{0};
        Endpoint source = kNoEndpoint, destination = kNoEndpoint;
        // A client opened while the processor is this busy may miss the
        // server's answer; the next scan opens it again.
        eventually([&] {
            scan_midi(*service, endpoints, [&](const MidiPacketList& list) { got += list.size(); });
            for (int i = 0; i < service->source_count(); ++i)
                if (endpoint_display_name(*service, service->source(i), false) == "chatter - out")
                    source = service->source(i);
            for (int i = 0; i < service->destination_count(); ++i)
                if (endpoint_display_name(*service, service->destination(i), false) ==
                    "reader - in")
                    destination = service->destination(i);
            return source != kNoEndpoint && destination != kNoEndpoint;
        });
        ASSERT_NE(source, kNoEndpoint) << "round " << round;
        ASSERT_NE(destination, kNoEndpoint) << "round " << round;
        ASSERT_TRUE(service->connect_source(source)) << "round " << round;
        SysexRequest r;
        r.destination = destination;
        r.data = message.data();
        r.bytes_to_send = uint32_t(message.size());
        r.completion_proc = [](SysexRequest*) {};
        service->set_max_sysex_speed(destination, 3125);
        if (service->send_sysex(&r) == kSendTaken) ++sent;
        // Quit while the request is on the wire (300 bytes take 96 ms) and
        // input arrives, at a different moment each round.
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 7 * 4));
        service.reset();
        EXPECT_TRUE(r.complete) << "round " << round;
    }
    EXPECT_EQ(sent, 200);
}

}  // namespace
}  // namespace j3
