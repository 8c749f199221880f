// Asking the instrument, as a user runs it from the command line: sample dump
// requests, send-and-receive and the identity request, against stand-in
// instruments on a real JACK server that hold samples and answer requests.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "format/sds_messages.h"
#include "jack_fixture.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::run;
using testing::ScriptedInstrument;
using namespace std::chrono_literals;
using Replies = std::vector<ScriptedInstrument::Reply>;

constexpr int32_t kBits = 16;
constexpr int32_t kWordBytes = 3;
constexpr int32_t kWordsPerPacket = 40;
constexpr uint32_t kGap = 256;  // frames between the messages of a dump sent open loop

// A 16-bit dump of n samples for sample number `number`: header, packets.
std::vector<Bytes> dump_of(int32_t number, int32_t n, uint8_t channel) {
    SdsDumpHeader h;
    h.channel = channel;
    h.sample_number = number;
    h.bits = kBits;
    h.period_ns = 22676;
    h.length = n;
    Bytes header(kSdsStandardHeaderSize);
    build_standard_header(header.data(), h);
    std::vector<Bytes> messages = {header};
    for (int32_t first = 0, k = 0; first < n; first += kWordsPerPacket, ++k) {
        Bytes p(kSdsPacketSize, 0);
        for (int32_t i = 0; i < kWordsPerPacket && first + i < n; ++i)
            encode_sds_word(p.data() + 5 + i * kWordBytes, (first + i) * 97 + number, kBits,
                            kWordBytes);
        finish_data_packet(p.data(), channel, uint8_t(k & 0x7F));
        messages.push_back(p);
    }
    return messages;
}

Bytes cat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Held {
    int32_t length = 0;  // sample words
    std::string name;    // four characters, or empty for none
};

// An instrument that holds samples by number and answers the sample dump
// request for its device: the header, a name message when the sample has a
// name, and the packets, all at once or each after the receiver's ACK of
// the one before. Its state is the process thread's alone.
struct SampleHolder {
    SampleHolder(std::map<int32_t, Held> samples, uint8_t device_number, bool acked)
        : held(std::move(samples)), device(device_number), wait_for_ack(acked) {}

    Replies answer(const Bytes& m) {
        if (m.size() == 7 && m[0] == 0xF0 && m[1] == 0x7E && m[2] == device && m[3] == 0x03) {
            const int32_t number = m[4] | m[5] << 7;
            const auto found = held.find(number);
            if (found == held.end()) return {};
            pending = dump_of(number, found->second.length, device);
            next = 1;
            Replies r = {{pending[0], 0}};
            if (!found->second.name.empty()) {
                Bytes name = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, uint8_t(number & 0x7F)};
                for (const char c : found->second.name) name.push_back(uint8_t(c));
                name.push_back(0xF7);
                r.push_back({name, kGap / 2});
            }
            if (!wait_for_ack) {
                for (uint32_t i = 1; i < pending.size(); ++i) r.push_back({pending[i], kGap * i});
                pending.clear();
            }
            return r;
        }
        // An ACK: the next packet of the dump in hand.
        if (wait_for_ack && m.size() == 6 && m[1] == 0x7E && m[3] == 0x7F && next < pending.size())
            return {{pending[next++], 0}};
        return {};
    }

    std::map<int32_t, Held> held;
    uint8_t device;
    bool wait_for_ack;
    std::vector<Bytes> pending;
    size_t next = 0;
};

struct AskTheInstrument : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>();
        ASSERT_TRUE(server->running());
        dir = testing::temp_path("received");
        std::filesystem::create_directory(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        for (const std::string& f : files) std::filesystem::remove(f);
    }
    // Waits until the instrument's ports are listed.
    void wait_listed(const std::string& name) {
        ASSERT_TRUE(testing::eventually([&] {
            return run({J3_CLI_DRIVER, "ports"}).out.find(name + " - out") != std::string::npos;
        }));
    }
    std::map<std::string, Bytes> written() {
        std::map<std::string, Bytes> got;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(e.path(), std::ios::binary);
            got[e.path().filename().string()] =
                Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return got;
    }
    std::string write(const Bytes& bytes) {
        files.push_back(testing::temp_path("request.syx"));
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return files.back();
    }
    std::unique_ptr<testing::JackServer> server;
    std::string dir;
    std::vector<std::string> files;
};

TEST_F(AskTheInstrument, RequestFetchesEachHeldSampleNamesThemAndSkipsTheMissingOne) {
    // Numbers past 127 show the request's two groups, low first; device 5
    // shows the device byte. 201 is not held.
    struct Case {
        const char* description;
        bool handshake;
    };
    for (const Case c : {Case{"without the handshake", false}, Case{"with the handshake", true}}) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directory(dir);
        auto holder = std::make_shared<SampleHolder>(
            std::map<int32_t, Held>{{200, {100, ""}}, {202, {130, "KICK"}}}, 5, c.handshake);
        ScriptedInstrument sampler("sampler",
                                   [holder](int, const Bytes& m) { return holder->answer(m); });
        ASSERT_TRUE(sampler.ok());
        wait_listed("sampler");
        std::vector<std::string> argv = {
            J3_CLI_DRIVER, "receive",   "--from",  "sampler - out", "--to", "sampler - in", "-o",
            dir,           "--request", "200-202", "--device",      "5",    "--idle",       "2"};
        if (c.handshake) argv.push_back("--handshake");
        const testing::RunResult r = run(argv);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("no sample 201"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("no sample 200"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Done."), std::string::npos) << r.out;

        const std::map<std::string, Bytes> got = written();
        ASSERT_EQ(got.size(), 2u) << r.out;
        ASSERT_TRUE(got.count("Sample 200.syx")) << r.out;
        ASSERT_TRUE(got.count("KICK.syx")) << r.out;
        EXPECT_EQ(got.at("Sample 200.syx"), cat(dump_of(200, 100, 5)));
        EXPECT_EQ(got.at("KICK.syx"), cat(dump_of(202, 130, 5)));

        std::vector<Bytes> requests;
        for (const Bytes& m : sampler.heard())
            if (m.size() > 3 && m[3] == 0x03) requests.push_back(m);
        const std::vector<Bytes> want = {{0xF0, 0x7E, 0x05, 0x03, 0x48, 0x01, 0xF7},
                                         {0xF0, 0x7E, 0x05, 0x03, 0x49, 0x01, 0xF7},
                                         {0xF0, 0x7E, 0x05, 0x03, 0x4A, 0x01, 0xF7}};
        EXPECT_EQ(requests, want);
        // ACKs only when asked for: header and every packet.
        size_t acks = 0;
        for (const Bytes& m : sampler.heard()) acks += m.size() == 6 && m[3] == 0x7F;
        EXPECT_EQ(acks, c.handshake ? (1 + 3) + (1 + 4) : 0u);
    }
}

TEST_F(AskTheInstrument, RequestWhereEverySampleComesEndsDoneAsWav) {
    auto holder = std::make_shared<SampleHolder>(
        std::map<int32_t, Held>{{0, {80, ""}}, {1, {40, ""}}}, 0, false);
    ScriptedInstrument sampler("sampler",
                               [holder](int, const Bytes& m) { return holder->answer(m); });
    ASSERT_TRUE(sampler.ok());
    wait_listed("sampler");
    const testing::RunResult r =
        run({J3_CLI_DRIVER, "receive", "--from", "sampler - out", "--to", "sampler - in", "-o", dir,
             "--request", "0-1", "--format", "wav", "--idle", "2"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("Done.\n")) << r.out;
    EXPECT_NE(r.out.find("Requesting sample 1 (2 of 2)."), std::string::npos) << r.out;
    const std::map<std::string, Bytes> got = written();
    ASSERT_EQ(got.size(), 2u);
    // 44-byte header and 2 bytes a sample.
    EXPECT_EQ(got.at("Sample 0.wav").size(), 44u + 160u);
    EXPECT_EQ(got.at("Sample 1.wav").size(), 44u + 80u);
}

TEST_F(AskTheInstrument, CtrlCKeepsWhatCameAndExits130) {
    auto holder = std::make_shared<SampleHolder>(std::map<int32_t, Held>{{0, {80, ""}}}, 0, false);
    ScriptedInstrument sampler("sampler",
                               [holder](int, const Bytes& m) { return holder->answer(m); });
    ASSERT_TRUE(sampler.ok());
    wait_listed("sampler");
    const std::string out = testing::temp_path("out"), err = testing::temp_path("err");
    const pid_t pid =
        testing::spawn({J3_CLI_DRIVER, "receive", "--from", "sampler - out", "--to", "sampler - in",
                        "-o", dir, "--request", "0-9", "--idle", "30"},
                       out, err);
    // Sample 0 is written; sample 1 is being waited for.
    ASSERT_TRUE(testing::eventually([&] { return sampler.heard().size() >= 2; }));
    ::kill(pid, SIGINT);
    EXPECT_EQ(testing::wait_child(pid, 20s), 130) << testing::read_text(err);
    const std::map<std::string, Bytes> got = written();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.at("Sample 0.syx"), cat(dump_of(0, 80, 0)));
    EXPECT_EQ(testing::read_text(out).find("Done."), std::string::npos);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
}

TEST_F(AskTheInstrument, SendAndReceiveCatchesTheBankTheRequestAsksFor) {
    const Bytes ask = {0xF0, 0x43, 0x20, 0x7A, 0xF7};
    Bytes bank(600, 0x11);
    bank.front() = 0xF0;
    bank.back() = 0xF7;
    const Bytes second = {0xF0, 0x43, 0x00, 0x01, 0xF7};
    ScriptedInstrument synth("synth", [&](int, const Bytes& m) {
        if (m == ask) return Replies{{bank, 0}, {second, kGap}};
        return Replies{};
    });
    ASSERT_TRUE(synth.ok());
    wait_listed("synth");
    const testing::RunResult r =
        run({J3_CLI_DRIVER, "receive", "--from", "synth - out", "--to", "synth - in", "-o", dir,
             "--send", write(ask), "--count", "1", "--idle", "5"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(synth.heard(), std::vector<Bytes>{ask});
    const std::map<std::string, Bytes> got = written();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.begin()->second, cat({bank, second}));
}

Bytes identity_reply(uint8_t device, const Bytes& maker) {
    Bytes r = {0xF0, 0x7E, device, 0x06, 0x02};
    r.insert(r.end(), maker.begin(), maker.end());
    const Bytes rest = {0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0, 0xF7};
    r.insert(r.end(), rest.begin(), rest.end());
    return r;
}

TEST_F(AskTheInstrument, IdentifyPrintsEachReplyOrSaysNobodyAnswered) {
    struct Case {
        const char* description;
        std::vector<std::string> options;
        Bytes reply;  // empty: silent
        int want_status;
        std::string want_out;
        Bytes want_request;
    };
    const Case cases[] = {
        {"a one-byte maker id",
         {},
         identity_reply(0x10, {0x43}),
         0,
         "Device 16: maker 43 (Yamaha), family 257, member 255, version 1.0.12.0\n",
         {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
        {"a three-byte maker id, as JSON, to one device",
         {"--device", "3", "--json"},
         identity_reply(0x03, {0x00, 0x20, 0x3C}),
         0,
         "{\"device\": 3, \"maker\": \"00 20 3C\", \"family\": 257, \"member\": 255, "
         "\"version\": \"1.0.12.0\"}\n",
         {0xF0, 0x7E, 0x03, 0x06, 0x01, 0xF7}},
        {"nobody", {}, {}, 1, "", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        ScriptedInstrument synth("synth", [&c](int, const Bytes& m) {
            if (c.reply.empty() || m.size() != 6 || m[3] != 0x06) return Replies{};
            return Replies{{c.reply, 0}};
        });
        ASSERT_TRUE(synth.ok());
        wait_listed("synth");
        std::vector<std::string> argv = {J3_CLI_DRIVER, "identify", "--to",
                                         "synth - in",  "--from",   "synth - out"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        const testing::RunResult r = run(argv);
        EXPECT_EQ(r.status, c.want_status) << r.err;
        EXPECT_EQ(r.out, c.want_out);
        if (c.want_status != 0) {
            EXPECT_NE(r.err.find("no answer"), std::string::npos) << r.err;
        }
        EXPECT_EQ(synth.heard(), std::vector<Bytes>{c.want_request});
    }
}

}  // namespace
}  // namespace j3
