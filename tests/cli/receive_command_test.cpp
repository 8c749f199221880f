// `j3 receive` refusing what it cannot do, with the words and exit statuses
// scripts rely on. Reception itself is tested over a JACK server
// (tests/integration).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "fakes/test_folder.h"

namespace j3 {
namespace {

using testing::CliRun;
using testing::run_j3;

struct ReceiveCommand : testing::TestFolder {};

TEST_F(ReceiveCommand, RefusesWhatItCannotDo) {
    const std::string folder = dir.string();
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int want_status;
        std::string want_err_start;
    } cases[] = {
        {"no source", {"receive", "-o", folder}, 2, "j3 receive: --from SRC is required\n"},
        {"no folder", {"receive", "--from", "1"}, 2, "j3 receive: -o DIR is required\n"},
        {"handshake without a destination",
         {"receive", "--from", "1", "-o", folder, "--handshake"},
         2,
         "j3 receive: --handshake needs --to DEST, where the replies go\n"},
        {"unknown format",
         {"receive", "--from", "1", "-o", folder, "--format", "mp3"},
         2,
         "j3 receive: --format takes syx, wav, aiff or syx-all\n"},
        {"device out of range",
         {"receive", "--from", "1", "-o", folder, "--device", "128"},
         2,
         "j3 receive: --device takes a device number from 0 to 127\n"},
        {"no idle time",
         {"receive", "--from", "1", "-o", folder, "--idle", "0"},
         2,
         "j3 receive: --idle takes a number of seconds, 1 or more\n"},
        {"a folder that is not there",
         {"receive", "--from", "1", "-o", folder + "/missing"},
         1,
         "j3 receive: no folder \"" + folder + "/missing\"\n"},
        {"no such source",
         {"receive", "--from", "no source has this name", "-o", folder},
         1,
         "j3 receive: no source matches \"no source has this name\" (see j3 ports)\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run_j3(c.args);
        EXPECT_EQ(r.status, c.want_status) << c.description;
        EXPECT_EQ(r.err.substr(0, c.want_err_start.size()), c.want_err_start) << c.description;
        EXPECT_EQ(r.out, "") << c.description;
    }
}

}  // namespace
}  // namespace j3
