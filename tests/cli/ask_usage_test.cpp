// The verbs that ask the instrument refuse a line they cannot carry out,
// before touching MIDI: exit 2, the reason and (for option errors) the usage.
#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace j3 {
namespace {

using testing::run_j3;

TEST(AskUsage, BadRequestSendAndIdentifyLinesAreUsageErrors) {
    struct Case {
        const char* description;
        std::vector<std::string> args;
        std::string want_first_line;
    };
    const Case cases[] = {
        {"a range that runs backwards",
         {"receive", "--from", "1", "--to", "1", "-o", ".", "--request", "5-3"},
         "j3 receive: --request takes a sample number N or a range N-M, 0 to 16383"},
        {"a number past 14 bits",
         {"receive", "--from", "1", "--to", "1", "-o", ".", "--request", "16384"},
         "j3 receive: --request takes a sample number N or a range N-M, 0 to 16383"},
        {"a range with no end",
         {"receive", "--from", "1", "--to", "1", "-o", ".", "--request", "3-"},
         "j3 receive: --request takes a sample number N or a range N-M, 0 to 16383"},
        {"requests with nowhere to go",
         {"receive", "--from", "1", "-o", ".", "--request", "3"},
         "j3 receive: --request needs --to DEST, where the requests go"},
        {"a send with nowhere to go",
         {"receive", "--from", "1", "-o", ".", "--send", "a.syx"},
         "j3 receive: --send needs --to DEST, where the messages go"},
        {"both at once",
         {"receive", "--from", "1", "--to", "1", "-o", ".", "--request", "3", "--send", "a.syx"},
         "j3 receive: --request and --send do not go together"},
        {"identify without a destination",
         {"identify", "--from", "1"},
         "j3 identify: --to DEST is required"},
        {"identify without a source",
         {"identify", "--to", "1"},
         "j3 identify: --from SRC is required (the replies come back there)"},
        {"identify to a device past 127",
         {"identify", "--to", "1", "--from", "1", "--device", "128"},
         "j3 identify: --device takes a device number from 0 to 127"},
    };
    for (const Case& c : cases) {
        const testing::CliRun r = run_j3(c.args);
        EXPECT_EQ(r.status, 2) << c.description;
        EXPECT_EQ(r.out, "") << c.description;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.want_first_line) << c.description;
        EXPECT_NE(r.err.find("usage: j3 "), std::string::npos) << c.description;
    }
    const testing::CliRun help = run_j3({"identify", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(
        help.out.starts_with("usage: j3 identify --to DEST --from SRC [--device D] [--json]"));
}

}  // namespace
}  // namespace j3
