// `j3 ports` and `j3 send` as a user runs them, with a JACK server running and
// JACK's own monitor listening.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "jack_fixture.h"

namespace j3 {
namespace {

using testing::Bytes;
using testing::run;
using namespace std::chrono_literals;

struct CommandLine : ::testing::Test {
    void SetUp() override {
        server = std::make_unique<testing::JackServer>();
        ASSERT_TRUE(server->running());
        dump = std::make_unique<testing::MidiDump>("j3dump");
        // Wait until the monitor's port is listed.
        ASSERT_TRUE(testing::eventually([&] {
            return run({J3_CLI_DRIVER, "ports"}).out.find("j3dump - input") != std::string::npos;
        }));
    }
    void TearDown() override {
        dump.reset();
        for (const std::string& f : files) std::filesystem::remove(f);
    }
    std::string write(const Bytes& bytes) {
        files.push_back(testing::temp_path("file.syx"));
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return files.back();
    }
    std::unique_ptr<testing::JackServer> server;
    std::unique_ptr<testing::MidiDump> dump;
    std::vector<std::string> files;
};

TEST_F(CommandLine, PortsListsTheSystemsEndpointsThenTheLoopbackAndNotItsOwnPorts) {
    const testing::RunResult r = run({J3_CLI_DRIVER, "ports"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Sources:\n"
              "   1  J3 Loopback\n"
              "Destinations:\n"
              "   1  j3dump - input\n"
              "   2  J3 Loopback\n");
    // The names alone, one a line, as --to and --from take them whole.
    const testing::RunResult destinations =
        run({J3_CLI_DRIVER, "ports", "--names", "destinations"});
    EXPECT_EQ(destinations.status, 0);
    EXPECT_EQ(destinations.out, "j3dump - input\nJ3 Loopback\n");
    EXPECT_EQ(run({J3_CLI_DRIVER, "ports", "--names", "sources"}).out, "J3 Loopback\n");
}

TEST_F(CommandLine, SendDeliversTheFilesIntactAndPrintsTheStatusLine) {
    Bytes big(3000, 0x22);
    big.front() = 0xF0;
    big.back() = 0xF7;
    const std::string first = write({0xF0, 0x01, 0x02, 0xF7, 0x00, 0xF0, 0x03, 0xF7});
    const std::string second = write(big);
    const testing::RunResult r =
        run({J3_CLI_DRIVER, "send", first, second, "--to", "j3dump", "--delay", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Sending file 2 of 2. "), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("Done.\n")) << r.out;

    std::this_thread::sleep_for(100ms);
    const std::vector<Bytes> want = {{0xF0, 0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}, big};
    EXPECT_EQ(dump->stop(), want);
}

TEST_F(CommandLine, SendByPositionAtATurboSpeed) {
    const std::string file = write({0xF0, 0x05, 0xF7});
    const testing::RunResult r = run({J3_CLI_DRIVER, "send", file, "--to", "1", "--speed", "11"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(dump->stop(), (std::vector<Bytes>{{0xF0, 0x05, 0xF7}}));
}

TEST_F(CommandLine, SendRefusesWhatItCannotDoWithAMessageAndNothingSent) {
    const std::string file = write({0xF0, 0x05, 0xF7});
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int want_status;
        std::string want_in_err;
    };
    const Case cases[] = {
        {"a missing file", {file, "/nonexistent/j3.syx", "--to", "j3dump"}, 1, "j3.syx"},
        {"an unknown destination", {file, "--to", "synth"}, 1, "no destination matches"},
        {"an ambiguous destination", {file, "--to", "p"}, 1, "matches several"},
        {"a position beyond the list", {file, "--to", "3"}, 1, "no destination 3"},
        {"no destination given", {file}, 2, "--to DEST is required"},
        {"a speed index out of range", {file, "--to", "1", "--speed", "12"}, 2, "--speed"},
        {"a negative delay", {file, "--to", "1", "--delay", "-1"}, 2, "--delay"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {J3_CLI_DRIVER, "send"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const testing::RunResult r = run(argv);
        EXPECT_EQ(r.status, c.want_status) << c.description;
        EXPECT_NE(r.err.find(c.want_in_err), std::string::npos) << c.description << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.description;
    }
    EXPECT_TRUE(dump->stop().empty());
}

TEST_F(CommandLine, PortNamesStayAsTheSystemGivesThem) {
    // Accents and characters no 8-bit code page has, as JACK lists them.
    testing::TestMidiClient synth("Synthé 波形");
    ASSERT_TRUE(synth.ok());
    testing::RunResult ports;
    ASSERT_TRUE(testing::eventually([&] {
        ports = run({J3_CLI_DRIVER, "ports"});
        return ports.out.find("Synthé 波形 - in") != std::string::npos;
    })) << ports.out;
    EXPECT_NE(ports.out.find("Synthé 波形 - out"), std::string::npos) << ports.out;

    const std::string file = write({0xF0, 0x06, 0xF7});
    const testing::RunResult r = run({J3_CLI_DRIVER, "send", file, "--to", "波形 - in"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(synth.wait_bytes(3));
    EXPECT_EQ(synth.received(), (std::vector<Bytes>{{0xF0, 0x06, 0xF7}}));
}

// A long send to a client of the test's own, started as a user would; the
// destination has by then taken its first 1000 bytes.
struct LongSend {
    LongSend(CommandLine& test, testing::TestMidiClient& reader) {
        Bytes messages;
        for (int i = 0; i < 40; ++i) {
            Bytes m(500, uint8_t(i));
            m.front() = 0xF0;
            m.back() = 0xF7;
            messages.insert(messages.end(), m.begin(), m.end());
        }
        out = testing::temp_path("out");
        err = testing::temp_path("err");
        pid = testing::spawn({J3_CLI_DRIVER, "send", test.write(messages), "--to", "reader - in"},
                             out, err);
        started = reader.wait_bytes(1000);
    }
    pid_t pid = -1;
    std::string out, err;
    bool started = false;
};

// Every message that arrived came whole.
void expect_whole_messages(const std::vector<Bytes>& got) {
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].size(), 500u) << "message " << i;
        EXPECT_EQ(got[i].front(), 0xF0);
        EXPECT_EQ(got[i].back(), 0xF7);
    }
}

TEST_F(CommandLine, CtrlCEndsASendPromptly) {
    testing::TestMidiClient reader("reader");
    ASSERT_TRUE(reader.ok());
    LongSend send(*this, reader);
    ASSERT_TRUE(send.started) << testing::read_text(send.err);
    ::kill(send.pid, SIGINT);
    EXPECT_EQ(testing::wait_child(send.pid, 20s), 130) << testing::read_text(send.err);
    std::this_thread::sleep_for(200ms);
    const std::vector<Bytes> got = reader.received();
    EXPECT_LT(got.size(), 40u);
    expect_whole_messages(got);
}

TEST_F(CommandLine, ADisconnectedDestinationStopsTheSendAndTheNextOneConnectsAgain) {
    testing::TestMidiClient reader("reader");
    ASSERT_TRUE(reader.ok());
    LongSend send(*this, reader);
    ASSERT_TRUE(send.started) << testing::read_text(send.err);
    ASSERT_TRUE(reader.disconnect_in());
    EXPECT_EQ(testing::wait_child(send.pid, 20s), 1);
    const std::string err = testing::read_text(send.err);
    EXPECT_NE(err.find("disconnected"), std::string::npos) << err;
    EXPECT_EQ(testing::read_text(send.out).find("Done."), std::string::npos);
    std::this_thread::sleep_for(200ms);
    const size_t before = reader.received().size();
    EXPECT_LT(before, 40u);
    expect_whole_messages(reader.received());

    const testing::RunResult again =
        run({J3_CLI_DRIVER, "send", write({0xF0, 0x07, 0xF7}), "--to", "reader - in"});
    EXPECT_EQ(again.status, 0) << again.err;
    ASSERT_TRUE(testing::eventually([&] { return reader.received().size() == before + 1; }));
    EXPECT_EQ(reader.received().back(), (Bytes{0xF0, 0x07, 0xF7}));
}

}  // namespace
}  // namespace j3
