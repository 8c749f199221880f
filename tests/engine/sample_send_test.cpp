// Sample items through the send loop, against a scripted receiver that
// answers through the input routine as an instrument would.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <thread>

#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/test_context.h"
#include "fixtures/audio_files.h"
#include "receive/midi_read.h"

namespace j3::testing {
namespace {

Bytes handshake(uint8_t channel, uint8_t type, uint8_t packet) {
    return {0xF0, 0x7E, channel, type, packet, 0xF7};
}
constexpr uint8_t kAck = 0x7F, kNak = 0x7E, kCancel = 0x7D, kWait = 0x7C;

void deliver(Context& ctx, const Bytes& message) {
    MidiPacket p;
    p.bytes = message;
    midi_read(ctx, {p});
}

// "H" for an item's first request, "P<n>" for data packet n.
std::string label(const Bytes& m) {
    if (m.size() == 127 && m[3] == 0x02) return "P" + std::to_string(m[4]);
    return "H";
}

Bytes mono16(size_t frames) {
    WavFile w;
    for (size_t i = 0; i < frames; ++i) w.samples.push_back(int32_t(i * 97 % 60000) - 30000);
    return make_wav(w);
}

// A clock whose 1 ms rounds hand the test a turn: the receiver's late
// replies, or a Stop from another thread.
struct ScriptClock : Clock {
    void pause_ticks(int ticks) override {
        ticks_paused += ticks;
        if (during_pause) during_pause();
    }
    void sleep_ms(int ms) override {
        ms_slept += ms;
        if (during_round) during_round(ms_slept);
    }
    std::function<void()> during_pause;
    std::function<void(int)> during_round;
    std::atomic<int> ms_slept{0};
    std::atomic<int> ticks_paused{0};
};

// What the receiver does about one message: replies at once (before the
// request is reported done), and replies after some rounds of waiting.
struct Answer {
    std::vector<Bytes> now;
    int later_after_ms = 0;
    std::vector<Bytes> later;
};
// n: how many messages came before this one; m: the message.
using Script = std::function<Answer(int n, const Bytes& m)>;

struct Harness {
    Harness() { t.ctx.clock = &clock; }
    void add(std::string name, Bytes data) {
        FileEntry e;
        e.file = std::move(name);
        e.data = std::move(data);
        append_entry(t.ctx, std::move(e));
    }
    void start(std::vector<uint32_t> ids) {
        t.window.select(ids);
        ASSERT_EQ(refresh_selection(t.ctx), int32_t(ids.size()));
        t.ctx.endpoints.destination_endpoint = 1001;
        ASSERT_TRUE(start_sending(t.ctx));
    }
    // Runs the send to its end with the receiver's script; the labels of what
    // went out, in order.
    std::vector<std::string> run(const Script& script) {
        std::vector<Bytes> pending;
        int pending_at = 0;
        clock.during_round = [&](int slept) {
            if (each_round) each_round(slept);
            if (!pending.empty() && slept >= pending_at) {
                for (const Bytes& b : std::exchange(pending, {})) deliver(t.ctx, b);
            }
        };
        size_t answered = 0;
        while (t.midi.held() > 0) {
            const std::vector<SentRequest> sent = t.midi.sent_copy();
            for (; answered < sent.size(); ++answered) {
                Answer a = script(int(answered), sent[answered].bytes);
                for (const Bytes& b : a.now) deliver(t.ctx, b);
                pending = std::move(a.later);
                pending_at = clock.ms_slept + a.later_after_ms;
            }
            t.midi.complete_next();
        }
        std::vector<std::string> labels;
        for (const SentRequest& r : t.midi.sent_copy()) labels.push_back(label(r.bytes));
        return labels;
    }
    TestContext t;
    ScriptClock clock;
    std::function<void(int slept_ms)> each_round;  // besides the script's late replies
};

struct SampleSend : ::testing::Test, Harness {};

std::vector<std::string> labels(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

TEST_F(SampleSend, RepliesOfTheReceiverSteerTheDump) {
    const auto ack_all = [](int, const Bytes& m) {
        return Answer{{handshake(0, kAck, label(m) == "H" ? 0 : m[4])}};
    };
    // Acks everything, but answers message `at` with `reply` instead (once).
    const auto instead = [](int at, Bytes reply, Answer then = {}) {
        return [=](int n, const Bytes& m) {
            if (n == at) {
                Answer a = then;
                a.now.insert(a.now.begin(), reply);
                return a;
            }
            return Answer{{handshake(0, kAck, label(m) == "H" ? 0 : m[4])}};
        };
    };
    struct Case {
        const char* description;
        bool ignore_handshake;
        Script script;
        std::vector<std::string> want_sent;
        std::string want_status;
        int want_ms;  // 1 ms rounds spent waiting for the receiver
    };
    const std::vector<std::string> whole = labels({"H", "P0", "P1", "P2", "P3", "P4"});
    const Case cases[] = {
        {"a receiver that acks every message", false, ack_all, whole, "Done.", 0},
        {"a silent receiver: one probe, then open loop", false,
         [](int, const Bytes&) { return Answer{}; }, whole, "Done.", 200},
        {"a NAK of the packet just sent resends it", false, instead(3, handshake(0, kNak, 2)),
         labels({"H", "P0", "P1", "P2", "P2", "P3", "P4"}), "Done.", 0},
        {"a NAK of the last packet resends it", false, instead(5, handshake(0, kNak, 4)),
         labels({"H", "P0", "P1", "P2", "P3", "P4", "P4"}), "Done.", 0},
        {"a NAK of the header sends the header again", false, instead(0, handshake(0, kNak, 0)),
         labels({"H", "H", "P0", "P1", "P2", "P3", "P4"}), "Done.", 0},
        {"WAIT then ACK: the send waits past 65 ms", false,
         instead(2, handshake(0, kWait, 1), Answer{{}, 3000, {handshake(0, kAck, 1)}}), whole,
         "Done.", 3000},
        {"CANCEL mid-dump ends the whole send", false, instead(3, handshake(0, kCancel, 2)),
         labels({"H", "P0", "P1", "P2"}), "Stopped: the receiver cancelled the dump.", 0},
        {"a NAK of an older packet ends the send", false, instead(4, handshake(0, kNak, 1)),
         labels({"H", "P0", "P1", "P2", "P3"}),
         "Stopped: the receiver asked for packet 1 again, which is no longer held.", 0},
        {"replies on another channel are not heard", false,
         [](int, const Bytes& m) { return Answer{{handshake(5, kAck, m[4])}}; }, whole, "Done.",
         200},
        {"a receiver that falls silent ends the send", false,
         [](int n, const Bytes&) { return n < 2 ? Answer{{handshake(0, kAck, 0)}} : Answer{}; },
         labels({"H", "P0", "P1"}), "Stopped: the receiver stopped answering.", 65},
        {"WAIT after the header, then nothing", false,
         [](int n, const Bytes&) { return n == 0 ? Answer{{handshake(0, kWait, 0)}} : Answer{}; },
         labels({"H"}), "Stopped: the receiver stopped answering.", 5000},
        {"ignoring the handshake: NAK and WAIT change nothing", true,
         [](int, const Bytes&) {
             return Answer{{handshake(0, kNak, 0), handshake(0, kWait, 0)}};
         },
         whole, "Done.", 0},
        {"ignoring the handshake: CANCEL still ends the send", true,
         instead(1, handshake(0, kCancel, 0)), labels({"H", "P0"}),
         "Stopped: the receiver cancelled the dump.", 0},
    };
    for (const Case& c : cases) {
        Harness s;
        s.t.ctx.settings.ignore_handshake = c.ignore_handshake;
        s.add("/s/tone.wav", mono16(200));  // five packets of 40 words
        s.start({1});
        EXPECT_EQ(s.run(c.script), c.want_sent) << c.description;
        EXPECT_EQ(s.t.window.text(kSendStatus), c.want_status) << c.description;
        EXPECT_EQ(s.clock.ms_slept, c.want_ms) << c.description;
        EXPECT_FALSE(s.t.ctx.send.sending()) << c.description;
        EXPECT_EQ(s.t.window.text(kSendButton), "Send") << c.description;
    }
}

// With a service that can hold a packet for its ACK, the next packet is
// handed over before the answer to the one before it: it goes with that ACK,
// and a NAK takes it back and sends the refused packet again.
TEST_F(SampleSend, APacketHandedAheadGoesWithItsAckAndIsTakenBackOnANak) {
    struct Case {
        const char* description;
        int nak_packet;  // NAKed once; -1 none
        std::vector<std::string> want_sent;
        std::vector<int32_t> want_held_for;  // the ACK each waited for, -1 none
        std::vector<std::string> want_taken_back;
    };
    const Case cases[] = {
        {"every packet acked",
         -1,
         labels({"H", "P0", "P1", "P2", "P3", "P4"}),
         {-1, -1, 0, 1, 2, 3},
         {}},
        {"a NAK of P2 takes P3 back and sends P2 again",
         2,
         labels({"H", "P0", "P1", "P2", "P3", "P2", "P3", "P4"}),
         {-1, -1, 0, 1, 2, -1, 2, 3},
         labels({"P3"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        Harness s;
        s.t.midi.holds_for_ack = true;
        s.t.ctx.settings.ignore_handshake = false;
        s.add("/s/tone.wav", mono16(200));
        s.start({1});
        // The receiver answers what has gone out, in order, one message a
        // round; a held packet goes out with the ACK it waits for, and is
        // never heard when a NAK came instead.
        std::set<size_t> released, withheld;
        size_t answered = 0;
        bool nak_sent = false;
        const auto answer = [&] {
            const std::vector<SentRequest> sent = s.t.midi.sent_copy();
            while (answered < sent.size() && withheld.count(answered)) ++answered;
            if (answered >= sent.size()) return;
            const SentRequest& r = sent[answered];
            if (r.hold_for_ack >= 0 && !released.count(answered)) return;
            const int32_t number = label(r.bytes) == "H" ? 0 : r.bytes[4];
            const bool nak = !nak_sent && label(r.bytes) != "H" && number == c.nak_packet;
            nak_sent = nak_sent || nak;
            if (answered + 1 < sent.size() && sent[answered + 1].hold_for_ack == number)
                (nak ? withheld : released).insert(answered + 1);
            ++answered;
            deliver(s.t.ctx, handshake(0, nak ? kNak : kAck, uint8_t(number)));
        };
        s.clock.during_round = [&](int) { answer(); };
        // A request the send cancelled before the service reported it.
        std::vector<std::string> taken_back;
        while (s.t.midi.held() > 0) {
            {
                std::lock_guard lock(s.t.midi.mutex);
                if (s.t.midi.in_flight.front()->complete)
                    taken_back.push_back(label(s.t.midi.sent.back().bytes));
            }
            s.t.midi.complete_next();
        }
        std::vector<std::string> sent;
        std::vector<int32_t> held_for;
        for (const SentRequest& r : s.t.midi.sent_copy()) {
            sent.push_back(label(r.bytes));
            held_for.push_back(r.hold_for_ack);
        }
        EXPECT_EQ(sent, c.want_sent);
        EXPECT_EQ(held_for, c.want_held_for);
        EXPECT_EQ(taken_back, c.want_taken_back);
        EXPECT_EQ(s.t.window.text(kSendStatus), "Done.");
    }
}

TEST_F(SampleSend, AResentPacketIsTheSamePacket) {
    t.ctx.settings.ignore_handshake = false;
    add("/s/tone.wav", mono16(200));
    start({1});
    run([](int n, const Bytes& m) {
        return Answer{{handshake(0, n == 3 ? kNak : kAck, label(m) == "H" ? 0 : m[4])}};
    });
    const std::vector<SentRequest> sent = t.midi.sent_copy();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[3].bytes, sent[4].bytes);
    EXPECT_EQ(label(sent[3].bytes), "P2");
}

TEST_F(SampleSend, PacketNumbersWrapOverThreeHundredPackets) {
    t.ctx.settings.ignore_handshake = false;
    add("/s/long.wav", mono16(300 * 40));
    start({1});
    // Acks each packet by its number; asks for packet 5 of the second round again.
    int naks = 0;
    run([&](int n, const Bytes& m) {
        const uint8_t p = label(m) == "H" ? 0 : m[4];
        if (n == 1 + 128 + 5 && naks++ == 0) return Answer{{handshake(0, kNak, p)}};
        return Answer{{handshake(0, kAck, p)}};
    });
    std::vector<int> numbers;
    for (const SentRequest& r : t.midi.sent_copy())
        if (label(r.bytes) != "H") numbers.push_back(r.bytes[4]);
    std::vector<int> want;
    for (int i = 0; i < 300; ++i) {
        want.push_back(i % 128);
        if (i == 128 + 5) want.push_back(5);
    }
    EXPECT_EQ(numbers, want);
    EXPECT_EQ(t.window.text(kSendStatus), "Done.");
    EXPECT_EQ(t.ctx.send.progress().position, 300 * 40);
}

TEST_F(SampleSend, NamesComeFromTheFileName) {
    struct Case {
        const char* description;
        const char* file;
        bool extended, send_filename;
        size_t want_size;
        Bytes want_tail;  // the last bytes of the first request
    };
    const Case cases[] = {
        {"four characters: three first and the last",
         "/s/Åsa-1.wav",
         false,
         true,
         21 + 13,
         {'[', 'S', 'A', '1', 0xF7}},
        {"a short name is padded",
         "/s/ab.aif.wav",
         false,
         true,
         21 + 13,
         {'A', 'B', '.', 'F', 0xF7}},
        {"two characters", "/s/ab.wav", false, true, 21 + 13, {'A', 'B', ' ', ' ', 0xF7}},
        {"no names", "/s/ab.wav", false, false, 21, {0x7F, 0xF7}},
        {"the extended header carries the base name",
         "/s/ab.wav",
         true,
         false,
         34 + 10 + 2,
         {0x00, 2, 'a', 'b', 0xF7}},
        {"an empty base name still gets its extended header",
         "/s/.wav",
         true,
         false,
         34 + 10,
         {0x00, 0, 0xF7}},
    };
    for (const Case& c : cases) {
        Harness s;
        s.t.ctx.settings.extended_sds = c.extended;
        s.t.ctx.settings.send_filename = c.send_filename;
        s.add(c.file, mono16(10));
        s.start({1});
        const Bytes first = s.t.midi.sent_copy().at(0).bytes;
        EXPECT_EQ(first.size(), c.want_size) << c.description;
        ASSERT_GE(first.size(), c.want_tail.size());
        EXPECT_EQ(Bytes(first.end() - long(c.want_tail.size()), first.end()), c.want_tail)
            << c.description;
        if (c.extended) {
            EXPECT_EQ(first[3], 0x05) << c.description;
        }
        s.t.midi.complete_all();
    }
}

TEST_F(SampleSend, TheDumpCarriesTheSettingsAndKeepsItsOwnItem) {
    t.ctx.settings.device_number = 5;
    t.window.set_sample_number(9);
    add("/s/a.wav", mono16(100));
    add("/s/b.wav", mono16(7));
    t.ctx.files.with_entry(1, [](FileEntry& e) { e.loop = kLoopOff; });
    start({1});
    // Another item selected meanwhile has its info text made without
    // touching the item being sent.
    show_item_info(t.ctx, 2, kItemSelectedNotification);
    std::vector<Bytes> sent;
    run([&](int, const Bytes& m) {
        sent.push_back(m);
        return Answer{};
    });
    ASSERT_EQ(sent.size(), 4u);  // header and 100 words in packets of 40
    EXPECT_EQ(sent[0][2], 5);
    EXPECT_EQ(sent[0][4], 9);
    EXPECT_EQ(sent[0][19], 0x7F);  // no loop
    EXPECT_EQ(sent[3][2], 5);
}

// The MIDI server standing still during a wait for a reply (its cycles stop,
// so neither the packet nor the answer can move) is not the receiver's
// silence: the wait grows by the stall.
TEST(SampleSendStall, AServerStallDuringAReplyWaitExtendsIt) {
    struct Case {
        const char* description;
        uint64_t stall_ms;
        std::vector<std::string> want;
        std::string want_status;
    } cases[] = {
        {"no stall: a reply after 90 ms is too late",
         0,
         {"H", "P0", "P1"},
         "Stopped: the receiver stopped answering."},
        {"a 40 ms stall inside the wait", 40, {"H", "P0", "P1", "P2"}, "Done."},
    };
    for (const Case& c : cases) {
        Harness h;
        h.t.ctx.settings.ignore_handshake = false;
        h.add("/s/a.wav", mono16(100));
        h.start({1});
        bool stalled = false;
        h.each_round = [&](int) {
            if (!stalled && h.t.midi.sent_copy().size() == 3) {
                h.t.midi.stall += c.stall_ms * 1000000;
                stalled = true;
            }
        };
        const auto got = h.run([](int n, const Bytes& m) {
            const Bytes ack = handshake(0, kAck, m[4]);
            if (n == 2) return Answer{{}, 90, {ack}};
            return Answer{{ack}};
        });
        EXPECT_EQ(got, c.want) << c.description;
        EXPECT_EQ(h.t.window.text(kSendStatus), c.want_status) << c.description;
    }
}

TEST_F(SampleSend, SampleNumbersAdvanceByItemAndComeBackAtTheEnd) {
    add("/s/a.wav", mono16(50));
    add("/s/b.wav", mono16(50));
    t.window.set_sample_number(5);
    start({1, 2});
    std::vector<int> header_numbers, field_while_sending;
    run([&](int, const Bytes& m) {
        if (label(m) == "H") {
            header_numbers.push_back(m[4] | m[5] << 7);
            field_while_sending.push_back(t.window.sample_number_value());
        }
        return Answer{};
    });
    EXPECT_EQ(header_numbers, (std::vector<int>{5, 6}));
    EXPECT_EQ(field_while_sending, (std::vector<int>{5, 6}));
    EXPECT_EQ(t.window.text(kSampleNumberField), "5");
    EXPECT_EQ(t.window.text(kSendStatus), "Done.");
}

TEST_F(SampleSend, AnItemWhoseAudioCannotBeReadStopsTheSendNamingIt) {
    Bytes broken = mono16(100);
    broken.resize(30);  // the header promises chunks that are not there
    add("/s/first.syx", {0xF0, 0x01, 0xF7});
    add("/s/Broken One.wav", broken);
    add("/s/last.syx", {0xF0, 0x02, 0xF7});
    start({1, 2, 3});
    t.midi.complete_all();
    EXPECT_EQ(t.midi.sent_copy().size(), 1u);
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.text(kSendStatus),
              "Stopped: the audio of Broken One cannot be read as a sample.");
}

TEST_F(SampleSend, TheStatusLineCountsSamples) {
    add("/s/a.wav", mono16(100));
    start({1});
    EXPECT_TRUE(t.ctx.send.sending());
    EXPECT_TRUE(t.ctx.send.progress().sample);
    EXPECT_EQ(t.window.progress_max, 100);
    t.midi.complete_next();  // header done; first packet out
    EXPECT_EQ(t.ctx.send.progress().position, 40);
    t.midi.complete_all();
    EXPECT_EQ(t.ctx.send.progress().position, 100);
}

// Stop and CANCEL arrive from other threads while the completion waits; the
// wait must not hold them up, and nothing more may go out after them.
TEST_F(SampleSend, StopAndCancelEndEveryKindOfWait) {
    struct Case {
        const char* description;
        bool cancel;  // the receiver's CANCEL rather than the Stop button
        int during;   // the message whose wait is cut short
        bool in_pause;
        Script script;
    };
    const auto acks_then = [](int until, uint8_t then) {
        return [=](int n, const Bytes& m) {
            const uint8_t p = label(m) == "H" ? 0 : m[4];
            return Answer{{handshake(0, n < until ? kAck : then, p)}};
        };
    };
    const Script silent = [](int, const Bytes&) { return Answer{}; };
    std::vector<Case> cases;
    for (bool cancel : {false, true}) {
        cases.push_back({"the probe after the header", cancel, 0, false, silent});
        cases.push_back({"the wait for an answer", cancel, 1, false, acks_then(1, 0x00)});
        cases.push_back({"the wait after a WAIT", cancel, 2, false, acks_then(2, kWait)});
        cases.push_back({"the Delay pause", cancel, 2, true, acks_then(99, kAck)});
    }
    for (const Case& c : cases) {
        Harness s;
        s.t.ctx.settings.ignore_handshake = false;
        s.t.ctx.settings.send_delay = c.in_pause ? 3 : 0;
        s.add("/s/tone.wav", mono16(400));
        s.start({1});
        std::atomic<bool> fired{false};
        size_t sent_at_stop = 0;
        const auto stop_from_another_thread = [&] {
            if (s.t.midi.sent_copy().size() != size_t(c.during) + 1 || fired.exchange(true)) return;
            sent_at_stop = s.t.midi.sent_copy().size();
            std::thread([&] {
                if (c.cancel)
                    deliver(s.t.ctx, handshake(0, kCancel, 0));
                else
                    stop_sending(s.t.ctx);
            }).join();
        };
        if (c.in_pause) s.clock.during_pause = stop_from_another_thread;
        const int ms_before = s.clock.ms_slept;
        s.run([&](int n, const Bytes& m) {
            if (!c.in_pause && n == c.during) {
                s.clock.during_round = [&](int) { stop_from_another_thread(); };
            }
            return c.script(n, m);
        });
        EXPECT_TRUE(fired) << c.description;
        EXPECT_EQ(s.t.midi.sent_copy().size(), sent_at_stop) << c.description;
        EXPECT_EQ(s.t.midi.held(), 0u) << c.description;
        EXPECT_FALSE(s.t.ctx.send.sending()) << c.description;
        EXPECT_FALSE(s.t.ctx.send.busy()) << c.description;
        if (!c.in_pause) {
            // The wait ended in the round the Stop came in.
            EXPECT_LE(s.clock.ms_slept - ms_before, 1) << c.description;
        }
        if (c.cancel) {
            EXPECT_EQ(s.t.window.text(kSendStatus), "Stopped: the receiver cancelled the dump.")
                << c.description;
        }
        EXPECT_EQ(s.t.window.text(kSendButton), "Send") << c.description;
    }
}

}  // namespace
}  // namespace j3::testing
