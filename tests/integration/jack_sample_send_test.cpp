// Sample dumps through the real send loop and MIDI service over a real JACK
// server, to a libjack client that answers as a sampler would. Its JACK frame
// times order what it heard against what it said.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "audio/sds_encoder.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/fake_window.h"
#include "fixtures/audio_files.h"
#include "jack_fixture.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::eventually;
using testing::ScriptedInstrument;
using namespace std::chrono_literals;
using Replies = std::vector<ScriptedInstrument::Reply>;

constexpr uint8_t kAck = 0x7F, kNak = 0x7E, kCancel = 0x7D, kWait = 0x7C;
constexpr int kFrames = 400;  // ten packets of 40 words

Bytes handshake(uint8_t channel, uint8_t type, uint8_t packet) {
    return {0xF0, 0x7E, channel, type, packet, 0xF7};
}

Bytes tone() {
    testing::WavFile w;
    for (int i = 0; i < kFrames; ++i) w.samples.push_back((i * 331) % 65536 - 32768);
    return testing::make_wav(w);
}

// The dump as the encoder makes it: the header group, then the packets.
std::vector<Bytes> dump_of(const Bytes& file) {
    auto enc = std::make_unique<SdsEncoder>();
    SdsItemParams item;
    int32_t pos = 0, size = int32_t(file.size());
    const uint8_t* m = file.data();
    std::vector<Bytes> out;
    int32_t n = next_sds_message(*enc, item, pos, &size, m);
    while (n > 0) {
        out.emplace_back(m, m + n);
        if (pos >= size) break;
        n = next_sds_message(*enc, item, pos, nullptr, m);
    }
    return out;
}

// The packet number a reply names for a message: 0 for the header group.
uint8_t packet_of(const Bytes& m) {
    return m.size() == 127 && m[3] == 0x02 ? m[4] : 0;
}

// One J3 over the running server, sending to and hearing from the instrument.
struct J3 {
    explicit J3(const std::string& instrument) {
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        midi = make_midi_service(MidiServiceOptions{false, true});
        ctx.midi = midi.get();
        const auto position = [&](const std::string& name, bool source) {
            return testing::wait_for_endpoint(
                *midi, ctx.endpoints, [this](const MidiPacketList& p) { midi_read(ctx, p); }, name,
                source);
        };
        const int32_t to = position(instrument + " - in", false);
        const int32_t from = position(instrument + " - out", true);
        ok = to != 0 && from != 0;
        if (!ok) return;
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);
        ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
        midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, 31250);
    }
    ~J3() {
        if (ctx.send.sending()) stop_sending(ctx);
        midi.reset();  // the service completes into the context: it goes first
    }
    bool send(Bytes file, bool handshake) {
        FileEntry e;
        e.file = "/samples/tone.wav";
        e.data = std::move(file);
        append_entry(ctx, std::move(e));
        ctx.settings.ignore_handshake = !handshake;
        window.select({1});
        refresh_selection(ctx);
        return start_sending(ctx) && eventually([&] { return !ctx.send.sending(); }, 30s);
    }
    bool ok = false;
    testing::FakeWindow window;
    SystemClock clock;
    Reception reception;
    Context ctx;
    std::unique_ptr<MidiService> midi;
};

TEST(SampleOverJack, TheDumpFollowsTheSamplersReplies) {
    testing::JackServer server(128);
    ASSERT_TRUE(server.running());
    const Bytes file = tone();
    const std::vector<Bytes> dump = dump_of(file);
    ASSERT_EQ(dump.size(), 11u);

    const auto ack = [](int, const Bytes& m) {
        return Replies{{handshake(0, kAck, packet_of(m))}};
    };
    // Acks every message, but answers message `at` with `reply` (once).
    const auto at = [](int where, Bytes reply, Replies then = {}) {
        return [=](int i, const Bytes& m) {
            if (i != where) return Replies{{handshake(0, kAck, packet_of(m))}};
            Replies r = {{reply}};
            r.insert(r.end(), then.begin(), then.end());
            return r;
        };
    };
    enum Order { kAnswered, kEndsAtTheReply, kAny };
    struct Case {
        const char* description;
        bool handshake;
        ScriptedInstrument::Script script;
        std::vector<int> want;  // indices into the dump, as heard
        std::string want_status;
        Order order;
    };
    std::vector<int> whole;
    for (int i = 0; i <= 10; ++i) whole.push_back(i);
    const uint32_t tenth_second = 4800;  // frames at the dummy driver's 48 kHz
    const Case cases[] = {
        {"acks every message", true, ack, whole, "Done.", kAnswered},
        {"silent", true, [](int, const Bytes&) { return Replies{}; }, whole, "Done.", kAny},
        {"NAK once",
         true,
         at(4, handshake(0, kNak, 3)),
         {0, 1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10},
         "Done.",
         kAnswered},
        // The header's ACK names packet 0 too: it must not let packet 1 go
        // before packet 0 is answered.
        {"NAK of the first packet",
         true,
         at(1, handshake(0, kNak, 0)),
         {0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         "Done.",
         kAnswered},
        {"WAIT then ACK", true,
         at(5, handshake(0, kWait, 4), {{handshake(0, kAck, 4), 3 * tenth_second}}), whole, "Done.",
         kAnswered},
        {"CANCEL mid-dump",
         true,
         at(6, handshake(0, kCancel, 5)),
         {0, 1, 2, 3, 4, 5, 6},
         "Stopped: the receiver cancelled the dump.",
         kEndsAtTheReply},
        {"NAK of an older packet",
         true,
         at(7, handshake(0, kNak, 2)),
         {0, 1, 2, 3, 4, 5, 6, 7},
         "Stopped: the receiver asked for packet 2 again, which is no longer held.",
         kEndsAtTheReply},
        {"replies on the wrong channel", true,
         [](int, const Bytes& m) { return Replies{{handshake(3, kAck, packet_of(m))}}; }, whole,
         "Done.", kAny},
        {"handshake ignored", false, at(3, handshake(0, kNak, 2)), whole, "Done.", kAny},
    };
    int serial = 0;
    for (const Case& c : cases) {
        const std::string name = "sampler" + std::to_string(++serial);
        ScriptedInstrument sampler(name, c.script);
        ASSERT_TRUE(sampler.ok()) << c.description;
        J3 j3(name);
        ASSERT_TRUE(j3.ok) << c.description;
        ASSERT_TRUE(j3.send(file, c.handshake)) << c.description;
        const std::string status = j3.window.text(testing::kSendStatus);
        if (c.want_status == "Done.") {
            EXPECT_TRUE(testing::sent_whole(status)) << c.description << ": " << status;
        } else {
            EXPECT_EQ(status, c.want_status) << c.description;
        }
        std::this_thread::sleep_for(100ms);  // anything still under way arrives

        std::vector<Bytes> want;
        for (int i : c.want) want.push_back(dump[size_t(i)]);
        EXPECT_EQ(sampler.heard(), want) << c.description;

        // What J3 sent next came after the reply it waited for.
        const std::vector<ScriptedInstrument::Event> events = sampler.events();
        if (c.order == kAnswered) {
            const ScriptedInstrument::Event* last_said = nullptr;
            bool first = true;
            for (const auto& e : events) {
                if (e.said) {
                    last_said = &e;
                    continue;
                }
                if (!first) {
                    ASSERT_TRUE(last_said) << c.description;
                    EXPECT_TRUE(last_said->bytes[3] == kAck || last_said->bytes[3] == kNak)
                        << c.description << ": a message at frame " << e.frame
                        << " did not wait for the answer";
                }
                first = false;
                last_said = nullptr;
            }
        } else if (c.order == kEndsAtTheReply) {
            ASSERT_FALSE(events.empty());
            EXPECT_TRUE(events.back().said) << c.description << ": sent on after the reply";
        }
    }
}

// A sampler that fails in the middle of a dump: the send ends by itself with
// the reason, never "Done.", and the list stays as it was.
TEST(SampleOverJack, AFailingSamplerEndsTheSendWithTheReason) {
    testing::JackServer server(128);
    ASSERT_TRUE(server.running());
    const Bytes file = tone();
    const std::vector<Bytes> dump = dump_of(file);
    const uint32_t tenth_second = 4800;  // frames at the dummy driver's 48 kHz
    struct Case {
        const char* description;
        ScriptedInstrument::Script script;
        std::vector<int> want;  // indices into the dump, as heard
        std::string want_status;
    };
    std::vector<int> nak_storm = {0, 1, 2, 3};
    nak_storm.insert(nak_storm.end(), 10, 3);
    const Case cases[] = {
        {"goes silent mid-dump",
         [](int i, const Bytes& m) {
             return i < 5 ? Replies{{handshake(0, kAck, packet_of(m))}} : Replies{};
         },
         {0, 1, 2, 3, 4, 5},
         "Stopped: the receiver stopped answering."},
        {"refuses the same packet over and over",
         [](int i, const Bytes& m) {
             return Replies{{handshake(0, i < 3 ? kAck : kNak, packet_of(m))}};
         },
         nak_storm, "Stopped: the receiver refused packet 2 11 times in a row."},
        {"cancels while it has J3 wait",
         [=](int i, const Bytes& m) {
             if (i != 4) return Replies{{handshake(0, kAck, packet_of(m))}};
             return Replies{{handshake(0, kWait, packet_of(m))},
                            {handshake(0, kCancel, packet_of(m)), 3 * tenth_second}};
         },
         {0, 1, 2, 3, 4},
         "Stopped: the receiver cancelled the dump."},
    };
    int serial = 0;
    for (const Case& c : cases) {
        const std::string name = "failing" + std::to_string(++serial);
        ScriptedInstrument sampler(name, c.script);
        ASSERT_TRUE(sampler.ok()) << c.description;
        J3 j3(name);
        ASSERT_TRUE(j3.ok) << c.description;
        ASSERT_TRUE(j3.send(file, true)) << c.description;
        EXPECT_EQ(j3.window.text(testing::kSendStatus), c.want_status) << c.description;
        std::this_thread::sleep_for(100ms);  // anything still under way arrives
        std::vector<Bytes> want;
        for (int i : c.want) want.push_back(dump[size_t(i)]);
        EXPECT_EQ(sampler.heard(), want) << c.description;
        const std::vector<ScriptedInstrument::Event> events = sampler.events();
        ASSERT_FALSE(events.empty()) << c.description;
        if (c.want_status.find("cancelled") != std::string::npos) {
            EXPECT_TRUE(events.back().said) << c.description << ": sent on after the CANCEL";
        }
        ASSERT_EQ(j3.ctx.files.size(), 1u) << c.description;
        EXPECT_EQ(j3.ctx.files.entry(1)->data, file) << c.description;
    }
}

// `j3 send` and `j3 turbo` as a script runs them, against the same kind of
// stand-in instrument.
struct CommandLineOverJack : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>(128);
        ASSERT_TRUE(server->running());
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    // A file of that name in a folder of the test's own (the name is sent).
    std::string write(const std::string& leaf, const Bytes& bytes) {
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/" + leaf;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    // Waits until the command line lists the instrument's ports.
    bool listed(const std::string& name) {
        return eventually([&] {
            return testing::run({J3_CLI_DRIVER, "ports"}).out.find(name + " - out") !=
                   std::string::npos;
        });
    }
    std::unique_ptr<testing::JackServer> server;
    const std::string folder = testing::temp_path("files");
};

TEST_F(CommandLineOverJack, SendFollowsTheHandshakeWithTheWindowsOptions) {
    ScriptedInstrument sampler(
        "sampler", [](int, const Bytes& m) { return Replies{{handshake(5, kAck, packet_of(m))}}; });
    ASSERT_TRUE(listed("sampler"));
    const std::string path = write("Åsa-1.wav", tone());
    const testing::RunResult r =
        testing::run({J3_CLI_DRIVER, "send", path, "--to", "sampler - in", "--from",
                      "sampler - out", "--handshake", "--device", "5", "--send-filename",
                      "--sample-number", "7", "--loop", "on", "--speed", "8"});
    // A server overrun under load ends the send with a warning and status 1;
    // what the sampler heard, below, tells whether anything was lost.
    const bool overrun = r.err.find("Sent, but the MIDI server fell behind") != std::string::npos;
    EXPECT_EQ(r.status, overrun ? 1 : 0) << r.err;
    if (!overrun) {
        EXPECT_TRUE(r.out.ends_with("Done.\n")) << r.out;
        EXPECT_EQ(r.err, "");
    }
    // The header and the name message arrive as two events: one message each.
    const std::vector<Bytes> heard = sampler.heard();
    ASSERT_EQ(heard.size(), 12u);
    const Bytes& header = heard[0];
    ASSERT_EQ(header.size(), 21u);
    EXPECT_EQ(header[2], 5);      // the channel
    EXPECT_EQ(header[4], 7);      // the sample number
    EXPECT_EQ(header[19], 0x00);  // looped
    const Bytes& name = heard[1];
    ASSERT_EQ(name.size(), 13u);
    EXPECT_EQ(Bytes(name.end() - 5, name.end()), (Bytes{'[', 'S', 'A', '1', 0xF7}));
    for (size_t i = 2; i < heard.size(); ++i) EXPECT_EQ(int(heard[i][4]), int(i) - 2);
}

TEST_F(CommandLineOverJack, ACancelledSendSaysWhyAndFails) {
    ScriptedInstrument sampler("sampler", [](int i, const Bytes& m) {
        return Replies{{handshake(0, i == 3 ? kCancel : kAck, packet_of(m))}};
    });
    ASSERT_TRUE(listed("sampler"));
    const std::string path = write("tone.wav", tone());
    const testing::RunResult r = testing::run(
        {J3_CLI_DRIVER, "send", path, "--to", "sampler", "--from", "sampler", "--handshake"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("Stopped: the receiver cancelled the dump.\n")) << r.out;
    EXPECT_EQ(r.out.find("Done."), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "j3 send: Stopped: the receiver cancelled the dump.\n");
    EXPECT_EQ(sampler.heard().size(), 4u);
}

TEST_F(CommandLineOverJack, InterruptedSendSaysStoppedAndExits130) {
    // Never answers; the dump goes out open loop at standard speed, slowly.
    ScriptedInstrument sampler("sampler", [](int, const Bytes&) { return Replies{}; });
    ASSERT_TRUE(listed("sampler"));
    testing::WavFile w;
    w.samples.assign(40 * 200, 0);
    const std::string path = write("long.wav", testing::make_wav(w));
    const std::string out = testing::temp_path("out"), err = testing::temp_path("err");
    const pid_t pid = testing::spawn({J3_CLI_DRIVER, "send", path, "--to", "sampler"}, out, err);
    ASSERT_TRUE(sampler.wait_heard(3));
    ::kill(pid, SIGINT);
    EXPECT_EQ(testing::wait_child(pid, 20s), 130);
    const std::string printed = testing::read_text(out);
    EXPECT_TRUE(printed.ends_with("Stopped.\n")) << printed;
    EXPECT_EQ(printed.find("Done."), std::string::npos) << printed;
    EXPECT_LT(sampler.heard().size(), 201u);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
}

TEST_F(CommandLineOverJack, TurboRaisesTheSpeedAndThenLowersIt) {
    // An instrument whose link runs at any speed it is asked for.
    std::atomic<uint8_t> speed{1};
    ScriptedInstrument instrument("synth", [&](int, const Bytes& m) {
        const Bytes request = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7};
        if (m.size() == 9 && m[6] == 0x03) speed = m[7];
        if (m == request || (m.size() == 9 && m[6] == 0x03)) {
            return Replies{{{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, speed, 0xF7}}};
        }
        return Replies{};
    });
    ASSERT_TRUE(listed("synth"));
    const std::vector<std::string> turbo = {J3_CLI_DRIVER, "turbo",  "--to",
                                            "synth - in",  "--from", "synth - out"};
    testing::RunResult r = testing::run(turbo);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "20\n");
    EXPECT_EQ(speed.load(), 11);

    r = testing::run(turbo);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(speed.load(), 1);

    std::vector<std::string> limited = turbo;
    limited.insert(limited.end(), {"--limit", "9"});
    r = testing::run(limited);
    EXPECT_EQ(r.out, "13.3\n");
    EXPECT_EQ(speed.load(), 9);
}

TEST_F(CommandLineOverJack, TurboWithoutAReportFails) {
    ScriptedInstrument mute("mute", [](int, const Bytes&) { return Replies{}; });
    ASSERT_TRUE(listed("mute"));
    const testing::RunResult r =
        testing::run({J3_CLI_DRIVER, "turbo", "--to", "mute - in", "--from", "mute - out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "j3 turbo: the instrument did not report its speed\n");
}

}  // namespace
}  // namespace j3
