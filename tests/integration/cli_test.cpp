// `j3 ports` and `j3 send` as a user runs them, with a JACK server running and
// JACK's own monitor listening.
#include <gtest/gtest.h>

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
              "   1  - J3 Loopback\n"
              "Destinations:\n"
              "   1  j3dump - input\n"
              "   2  - J3 Loopback\n");
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

}  // namespace
}  // namespace j3
