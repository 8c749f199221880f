// Reception through the real MIDI service over a real JACK server, with a
// small libjack client standing in for the instrument: it sends SysEx and
// sample dumps and hears J3's replies. What J3 makes of a dump as WAV or AIFF
// is read back by libsndfile.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/clock.h"
#include "engine/context.h"
#include "fakes/fake_window.h"
#include "fixtures/libsndfile_oracle.h"
#include "format/sds_messages.h"
#include "jack_fixture.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::eventually;
using namespace std::chrono_literals;

constexpr int32_t kBits = 16;
constexpr int32_t kWordBytes = 3;
constexpr int32_t kWordsPerPacket = 40;

// A 16-bit dump of `samples`: the header and its packets, each a message.
std::vector<Bytes> dump_messages(const std::vector<int16_t>& samples, uint8_t channel = 0) {
    SdsDumpHeader h;
    h.channel = channel;
    h.bits = kBits;
    h.period_ns = 22676;  // 44100 Hz
    h.length = int32_t(samples.size());
    Bytes header(kSdsStandardHeaderSize);
    build_standard_header(header.data(), h);
    std::vector<Bytes> messages = {header};
    for (size_t first = 0, n = 0; first < samples.size(); first += kWordsPerPacket, ++n) {
        Bytes p(kSdsPacketSize, 0);
        for (size_t i = 0; i < kWordsPerPacket && first + i < samples.size(); ++i)
            encode_sds_word(p.data() + 5 + i * kWordBytes, samples[first + i], kBits, kWordBytes);
        finish_data_packet(p.data(), channel, uint8_t(n & 0x7F));
        messages.push_back(p);
    }
    return messages;
}

std::vector<int16_t> some_samples(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = int16_t(int32_t(i * 2477 % 65536) - 32768);
    return s;
}

Bytes cat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes ack(uint8_t packet) {
    return {0xF0, 0x7E, 0x00, 0x7F, packet, 0xF7};
}

struct ReceiveOverJack : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>();
        ASSERT_TRUE(server->running());
        instrument = std::make_unique<testing::TestMidiClient>("instrument");
        ASSERT_TRUE(instrument->ok());
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        midi = make_midi_service(MidiServiceOptions{false, true});
        ctx.midi = midi.get();
        const int32_t from = wait_for("instrument - out", true);
        const int32_t to = wait_for("instrument - in", false);
        ASSERT_NE(from, 0);
        ASSERT_NE(to, 0);
        ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);
        ASSERT_TRUE(eventually([&] { return instrument_connected(); }));
    }
    void TearDown() override {
        midi.reset();
        instrument.reset();
    }

    int32_t wait_for(const std::string& name, bool source) {
        return testing::wait_for_endpoint(
            *midi, ctx.endpoints, [this](const MidiPacketList& list) { midi_read(ctx, list); },
            name, source);
    }
    bool instrument_connected() {
        const testing::RunResult r = testing::run({"jack_lsp", "-c", "instrument:out"});
        return r.out.find("\n   ") != std::string::npos;
    }
    // Sends the messages open loop, a few per JACK cycle.
    void send_all(const std::vector<Bytes>& messages) {
        for (const Bytes& m : messages) {
            instrument->send(m);
            std::this_thread::sleep_for(2ms);
        }
    }
    // Sends each message and waits for J3's reply to it before the next.
    void send_with_handshake(const std::vector<Bytes>& messages) {
        size_t heard = cat(instrument->received()).size();
        for (const Bytes& m : messages) {
            instrument->send(m);
            heard += 6;
            ASSERT_TRUE(instrument->wait_bytes(heard));
        }
    }
    // The entries, once J3 has made as many.
    std::vector<FileEntry> entries(size_t n) {
        EXPECT_TRUE(eventually([&] {
            window.run_posted();
            return ctx.files.size() >= n;
        }));
        return ctx.files.entries();
    }

    std::unique_ptr<testing::JackServer> server;
    std::unique_ptr<testing::TestMidiClient> instrument;
    testing::FakeWindow window;
    SystemClock clock;
    Reception reception;
    Context ctx;
    std::unique_ptr<MidiService> midi;
};

TEST_F(ReceiveOverJack, SysExInPiecesWithClocksBetweenArrivesByteExact) {
    ASSERT_TRUE(start_receiving(ctx));
    Bytes longer(600, 0x3C);
    longer.front() = 0xF0;
    longer.back() = 0xF7;
    const std::vector<Bytes> pieces = {{0xF0, 0x00, 0x20}, {0xF8}, {0x3C, 0x01}, {0xFE},
                                       {0x02, 0x03, 0xF7}, longer};
    send_all(pieces);
    const size_t want = 8 + longer.size();
    ASSERT_TRUE(eventually([&] { return size_t(ctx.reception->progress().bytes) >= want; }));
    stop_receiving(ctx);
    const std::vector<FileEntry> e = entries(1);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].file, "Received data 1.syx");
    EXPECT_EQ(e[0].data, cat({{0xF0, 0x00, 0x20, 0x3C, 0x01, 0x02, 0x03, 0xF7}, longer}));
}

TEST_F(ReceiveOverJack, SampleDumpOpenLoopAndWithHandshakeInEveryFormat) {
    const std::vector<int16_t> samples = some_samples(100);
    const std::vector<Bytes> dump = dump_messages(samples);
    struct Case {
        int32_t format;
        bool handshake;
        const char* want_name;
    };
    const Case cases[] = {
        {kSdsFormatSysex, false, "Received data 1.syx"},
        {kSdsFormatWav, true, "Received data 2.wav"},
        {kSdsFormatAiff, false, "Received data 3.aiff"},
        {kSdsFormatWav, false, "Received data 4.wav"},
    };
    size_t made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want_name);
        store_sds_format(ctx.settings, c.format);
        ctx.settings.ignore_handshake = !c.handshake;
        ASSERT_TRUE(start_receiving(ctx));
        if (c.handshake) {
            send_with_handshake(dump);
            const std::vector<Bytes> replies = instrument->received();
            EXPECT_EQ(replies, (std::vector<Bytes>{ack(0), ack(0), ack(1), ack(2)}));
        } else {
            send_all(dump);
        }
        const std::vector<FileEntry> e = entries(++made);
        stop_receiving(ctx);
        ASSERT_EQ(e.size(), made);
        const FileEntry& got = e.back();
        EXPECT_EQ(got.file, c.want_name);
        if (c.format == kSdsFormatSysex) {
            EXPECT_EQ(got.data, cat(dump));
            continue;
        }
        const testing::SoundRead read =
            testing::read_with_libsndfile(Bytes(got.data.begin(), got.data.end()));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.info.channels, 1);
        EXPECT_EQ(read.info.samplerate, 44100);
        ASSERT_EQ(read.info.frames, int64_t(samples.size()));
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(read.samples[i], int32_t(samples[i]) * 65536) << "sample " << i;
    }
    // Open loop J3 stays silent.
    EXPECT_EQ(instrument->received().size(), 4u);
}

TEST_F(ReceiveOverJack, BadPacketsAreAnsweredByNakAndThreeInARowCancel) {
    ctx.settings.ignore_handshake = false;
    store_sds_format(ctx.settings, kSdsFormatWav);
    ASSERT_TRUE(start_receiving(ctx));
    std::vector<Bytes> dump = dump_messages(some_samples(100));
    Bytes bad = dump[2];
    bad[125] ^= 0x01;  // checksum
    const Bytes nak1 = {0xF0, 0x7E, 0x00, 0x7E, 0x01, 0xF7};

    // One bad packet, then the same packet again, accepted.
    send_with_handshake({dump[0], dump[1], bad, dump[2]});
    EXPECT_EQ(instrument->received(), (std::vector<Bytes>{ack(0), ack(0), nak1, ack(1)}));

    // Three bad in a row: NAK, NAK, CANCEL, and what arrived is kept.
    Bytes bad2 = dump[3];
    bad2[125] ^= 0x01;
    send_with_handshake({bad2, bad2, bad2});
    const std::vector<Bytes> replies = instrument->received();
    ASSERT_EQ(replies.size(), 7u);
    EXPECT_EQ(replies[6], (Bytes{0xF0, 0x7E, 0x00, 0x7D, 0x02, 0xF7}));
    EXPECT_EQ(replies[5], (Bytes{0xF0, 0x7E, 0x00, 0x7E, 0x02, 0xF7}));
    EXPECT_FALSE(ctx.reception->receiving());
    const std::vector<FileEntry> e = entries(1);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].file, "Received data 1.wav");
    EXPECT_EQ(e[0].data.size(), 44u + 80u * 2u);  // the header and two packets' samples
}

TEST_F(ReceiveOverJack, ANameMessageNamesTheEntry) {
    store_sds_format(ctx.settings, kSdsFormatAiff);
    ASSERT_TRUE(start_receiving(ctx));
    std::vector<Bytes> dump = dump_messages(some_samples(40));
    Bytes name(kSdsDeviceNameSize);
    build_device_name_message(
        name.data(), 0,
        uint32_t('K') << 24 | uint32_t('I') << 16 | uint32_t('X') << 8 | uint32_t('['));
    dump.insert(dump.begin() + 1, name);
    send_all(dump);
    const std::vector<FileEntry> e = entries(1);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].file, "KIX\xC3\x85.aiff");
    EXPECT_TRUE(testing::read_with_libsndfile(Bytes(e[0].data.begin(), e[0].data.end())).ok);
}

// Whether the server dies (else the source's client leaves).
struct SourceLossOverJack : ReceiveOverJack, ::testing::WithParamInterface<bool> {};

// A source that goes away mid-dump, by leaving or with its server: reception
// stops by itself, says why, and keeps what came as an entry.
TEST_P(SourceLossOverJack, ReceptionStopsByItselfSaysWhyAndKeepsWhatCame) {
    ctx.settings.ignore_handshake = true;
    store_sds_format(ctx.settings, kSdsFormatSysex);
    ASSERT_TRUE(start_receiving(ctx));
    const std::vector<Bytes> dump = dump_messages(some_samples(400));
    const std::vector<Bytes> part(dump.begin(), dump.begin() + 3);  // the header, two packets
    send_all(part);
    ASSERT_TRUE(
        eventually([&] { return size_t(ctx.reception->progress().bytes) >= cat(part).size(); }));
    if (GetParam()) {
        server->kill_now();
    } else {
        instrument->close();
    }
    // As the window's status timer does.
    ASSERT_TRUE(eventually([&] {
        stop_receiving_if_source_gone(ctx);
        return !ctx.reception->receiving();
    }));
    // A machine slow enough to make the server fall behind adds a line of its
    // own after the reason.
    const std::string line = window.text(testing::kReceiveStatus);
    EXPECT_EQ(line.rfind("Received " + std::to_string(cat(part).size()) +
                             " bytes. Stopped: the source has gone away.",
                         0),
              0u)
        << line;
    const std::vector<FileEntry> e = entries(1);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].file, "Received data 1.syx");
    EXPECT_EQ(e[0].data, cat(part));
}

INSTANTIATE_TEST_SUITE_P(LeavesOrServerDies, SourceLossOverJack, ::testing::Bool());

// `j3 receive` as a script runs it.
struct ReceiveCommandOverJack : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>();
        ASSERT_TRUE(server->running());
        instrument = std::make_unique<testing::TestMidiClient>("instrument");
        ASSERT_TRUE(instrument->ok());
        dir = testing::temp_path("received");
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        instrument.reset();
        std::filesystem::remove_all(dir);
    }
    // Starts the command and waits until it listens to the instrument.
    pid_t start(std::vector<std::string> args) {
        args.insert(args.begin(), {J3_CLI_DRIVER, "receive", "--from", "instrument"});
        out = testing::temp_path("out");
        err = testing::temp_path("err");
        const pid_t pid = testing::spawn(args, out, err);
        EXPECT_TRUE(eventually([&] {
            return testing::run({"jack_lsp", "-c", "instrument:out"}).out.find("\n   ") !=
                   std::string::npos;
        })) << testing::read_text(err);
        return pid;
    }
    Bytes file(const std::string& name) {
        const std::string text = testing::read_text((std::filesystem::path(dir) / name).string());
        return Bytes(text.begin(), text.end());
    }

    std::unique_ptr<testing::JackServer> server;
    std::unique_ptr<testing::TestMidiClient> instrument;
    std::string dir, out, err;
};

TEST_F(ReceiveCommandOverJack, WritesEachDumpUnderItsNameAndStopsAfterTheCount) {
    // A file of the first name is there already: it is kept.
    std::ofstream(std::filesystem::path(dir) / "Received data 1.wav") << "keep";
    const pid_t pid =
        start({"-o", dir, "--format", "wav", "--count", "2", "--to", "instrument", "--handshake"});
    const std::vector<Bytes> dump = dump_messages(some_samples(40));
    size_t heard = 0;
    for (int i = 0; i < 2; ++i) {
        for (const Bytes& m : dump) {
            instrument->send(m);
            heard += 6;
            ASSERT_TRUE(instrument->wait_bytes(heard));
        }
    }
    EXPECT_EQ(testing::wait_child(pid, 20s), 0) << testing::read_text(err);
    const std::string printed = testing::read_text(out);
    EXPECT_NE(printed.find("Receiving. "), std::string::npos) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 6), "Done.\n") << printed;
    EXPECT_EQ(file("Received data 1.wav"), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(testing::read_with_libsndfile(file("Received data 1 2.wav")).ok);
    EXPECT_TRUE(testing::read_with_libsndfile(file("Received data 2.wav")).ok);
}

TEST_F(ReceiveCommandOverJack, EndsAfterTheIdleTimeWithWhatIsHeld) {
    const pid_t pid = start({"-o", dir, "--idle", "1"});
    Bytes message(300, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    instrument->send(message);
    EXPECT_EQ(testing::wait_child(pid, 20s), 0) << testing::read_text(err);
    EXPECT_EQ(file("Received data 1.syx"), message);
    const std::string printed = testing::read_text(out);
    EXPECT_NE(printed.find("Fit.\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 6), "Done.\n") << printed;
}

TEST_F(ReceiveCommandOverJack, ASourceThatLeavesEndsItWithTheReasonAndWhatCameWritten) {
    // Far longer than the test waits: only the source's leaving can end it.
    const pid_t pid = start({"-o", dir, "--idle", "600"});
    instrument->send({0xF0, 0x01, 0x02, 0xF7});
    ASSERT_TRUE(eventually(
        [&] { return testing::read_text(out).find("Receiving. 4 bytes.") != std::string::npos; }));
    instrument->close();
    EXPECT_EQ(testing::wait_child(pid, 20s), 1);
    EXPECT_EQ(testing::read_text(err), "j3 receive: Stopped: the source has gone away.\n");
    EXPECT_EQ(testing::read_text(out).find("Done."), std::string::npos);
    EXPECT_EQ(file("Received data 1.syx"), (Bytes{0xF0, 0x01, 0x02, 0xF7}));
}

TEST_F(ReceiveCommandOverJack, TheCountIsExactEvenForDumpsBackToBack) {
    const pid_t pid = start({"-o", dir, "--format", "wav", "--count", "1"});
    std::vector<Bytes> two = dump_messages(some_samples(40));
    const std::vector<Bytes> second = dump_messages(some_samples(40));
    two.insert(two.end(), second.begin(), second.end());
    instrument->send(cat(two));
    EXPECT_EQ(testing::wait_child(pid, 20s), 0) << testing::read_text(err);
    size_t files = 0;
    for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(testing::read_with_libsndfile(file("Received data 1.wav")).info.frames, 40);
}

TEST_F(ReceiveCommandOverJack, ADumpCutShortIsWrittenAsFarAsItCameAndFails) {
    enum Way { kIdle, kCtrlC, kSourceLeaves };
    struct Case {
        const char* format;
        Way way;
        int want_status;
    } cases[] = {
        {"wav", kIdle, 1},
        {"aiff", kCtrlC, 130},
        {"aiff", kIdle, 1},
        {"wav", kSourceLeaves, 1},
    };
    for (const Case& c : cases) {
        const std::string where = std::string(c.format) + ", way " + std::to_string(c.way);
        if (!instrument) instrument = std::make_unique<testing::TestMidiClient>("instrument");
        const std::string name = std::string("Received data 1.") + c.format;
        std::filesystem::remove(std::filesystem::path(dir) / name);
        const pid_t pid =
            start({"-o", dir, "--format", c.format, "--idle", c.way == kIdle ? "1" : "600"});
        // The header and two packets of a dump of 400 words: 80 of them.
        const std::vector<Bytes> dump = dump_messages(some_samples(400));
        instrument->send(cat({dump[0], dump[1], dump[2]}));
        // The header and 80 16-bit frames.
        const std::string held = std::string("Receiving. ") +
                                 (c.format == std::string("wav") ? "204" : "214") + " bytes.";
        ASSERT_TRUE(eventually([&] {
            return testing::read_text(out).find(held) != std::string::npos;
        })) << where;
        if (c.way == kCtrlC) ::kill(pid, SIGINT);
        if (c.way == kSourceLeaves) instrument.reset();
        EXPECT_EQ(testing::wait_child(pid, 20s), c.want_status) << where;
        const testing::SoundRead read = testing::read_with_libsndfile(file(name));
        ASSERT_TRUE(read.ok) << where << ": " << read.error;
        EXPECT_EQ(read.info.frames, 80) << where;
        const std::string said = testing::read_text(err);
        EXPECT_NE(said.find(name + ": 80 of 400 frames."), std::string::npos) << where << said;
    }
}

TEST_F(ReceiveCommandOverJack, CtrlCWritesWhatIsHeldAndExits130) {
    const pid_t pid = start({"-o", dir});
    instrument->send({0xF0, 0x01, 0x02, 0xF7});
    ASSERT_TRUE(eventually(
        [&] { return testing::read_text(out).find("Receiving. 4 bytes.") != std::string::npos; }));
    ::kill(pid, SIGINT);
    EXPECT_EQ(testing::wait_child(pid, 20s), 130);
    EXPECT_EQ(file("Received data 1.syx"), (Bytes{0xF0, 0x01, 0x02, 0xF7}));
}

}  // namespace
}  // namespace j3
