// `j3 list` writes and shows file lists as the window saves and opens them,
// and `j3 send` takes the entries of a list among its files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "fakes/test_context.h"
#include "fakes/test_folder.h"
#include "filelist/list_file.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::run_j3;

struct ListCommand : testing::TestFolder {};

TEST_F(ListCommand, AWrittenListShowsItsEntriesAndWhichFilesAreMissing) {
    const std::string a = write("my files/a.syx", "\xF0\xF7");
    const std::string b = write("my files/sub/b.wav", "RIFF");
    const std::string far = write("elsewhere/c.aif", "FORM");
    const std::string list = (dir / "my files" / "Filelist.j3").string();
    CliRun r = run_j3({"list", "-o", list, "--sample-number", "25", "--loop", "on", "--stereo",
                       "right", a, b, far});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // Stored as the window stores it: relative below the list's folder.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(read_whole_file(list, bytes));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, std::string("J3 Filelist\0"
                                "0\0"
                                "25\0"
                                "12*a.syx\0"
                                "12*sub/b.wav\0",
                                39) +
                        "12" + far + std::string(1, '\0'));

    // A second list keeps the first one's entries with their own choices.
    const std::string d = write("d.syx", "\xF0\xF7");
    const std::string both = (dir / "both.j3").string();
    r = run_j3({"list", "--output", both, list, d});
    ASSERT_EQ(r.status, 0) << r.err;

    fs::remove(b);
    r = run_j3({"list", both});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Sample number: 0\n"
              "Loop On\tRight\t" +
                  a + "\n" + "Loop On\tRight\t" + b + "\tmissing\n" + "Loop On\tRight\t" + far +
                  "\n" + "Loop:File\tL + R\t" + d + "\n");
    r = run_j3({"list", "--json", list});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"sample_number\": 25, \"entries\": [{\"path\": \"" + a +
                         "\", \"loop\": 1, \"stereo\": 2, \"exists\": true}, {\"path\": \"" + b +
                         "\", \"loop\": 1, \"stereo\": 2, \"exists\": false}, {\"path\": \"" + far +
                         "\", \"loop\": 1, \"stereo\": 2, \"exists\": true}]}\n");
}

TEST_F(ListCommand, RelativeFileNamesAreStoredByTheirFullPath) {
    const std::string a = write("a.syx", "\xF0\xF7");
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const CliRun r = run_j3({"list", "-o", "./l.j3", "./a.syx"});
    fs::current_path(before);
    ASSERT_EQ(r.status, 0) << r.err;
    const ListFileRead read = read_file_list(dir / "l.j3");
    ASSERT_EQ(read.contents.entries.size(), 1u);
    EXPECT_EQ(read.contents.entries[0].path, a);
}

TEST_F(ListCommand, WhatCannotBeDoneIsSaidAndNothingIsWritten) {
    const std::string a = write("a.syx", "\xF0\xF7");
    const std::string other = write("other.j3", "RIFF");
    const std::string out = (dir / "out.j3").string();
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {"no list", {"list"}, 2, "j3 list: no list file\n"},
        {"two lists", {"list", other, a}, 2, "one list file only"},
        {"a write option without -o",
         {"list", "--loop", "on", other},
         2,
         "--loop is for writing a list (-o OUT.j3)"},
        {"json with -o", {"list", "--json", "-o", out, a}, 2, "--json is for showing a list"},
        {"no files to write", {"list", "-o", out}, 2, "no file to list"},
        {"a bad loop word", {"list", "-o", out, "--loop", "maybe", a}, 2, "--loop takes file"},
        {"a bad stereo word", {"list", "-o", out, "--stereo", "both", a}, 2, "--stereo takes mix"},
        {"a sample number too large",
         {"list", "-o", out, "--sample-number", "16384", a},
         2,
         "from 0 to 16383"},
        {"an unknown option", {"list", "--bogus"}, 2, "unknown option \"--bogus\""},
        {"not a list", {"list", other}, 1, "is not a J3 file list"},
        {"a missing list", {"list", (dir / "none.j3").string()}, 1, "Could not open"},
        {"a missing file",
         {"list", "-o", out, a, (dir / "none.syx").string()},
         1,
         "No such file or directory"},
        {"a folder", {"list", "-o", out, dir.string()}, 1, "is a folder"},
        {"a file that is no list among the files",
         {"list", "-o", out, other},
         1,
         "is not a J3 file list"},
        {"an output folder that is missing",
         {"list", "-o", (dir / "no" / "l.j3").string(), a},
         1,
         "cannot write"},
    };
    for (const Case& c : cases) {
        const CliRun r = run_j3(c.args);
        EXPECT_EQ(r.status, c.status) << c.description;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.description << ": " << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.description;
    }
}

TEST_F(ListCommand, SendTakesTheEntriesOfAListWithTheirOwnChoices) {
    std::vector<FileEntry> entries(2);
    entries[0].file = write("a.syx", "\xF0\x01\xF7");
    entries[0].loop = 2;
    entries[1].file = write("b.syx", "\xF0\x02\xF7");
    entries[1].stereo = 1;
    ASSERT_TRUE(write_file_list(dir / "l.j3", entries, 0));
    // The pause before the second message keeps the send running past a
    // status line, which counts both entries.
    const CliRun sent =
        run_j3({"send", (dir / "l.j3").string(), "--to", "J3 Loopback", "--delay", "30"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_NE(sent.out.find(" of 2. "), std::string::npos) << sent.out;
    EXPECT_TRUE(sent.out.ends_with("Done.\n")) << sent.out;

    testing::TestContext t;
    ASSERT_TRUE(add_file_entry(t.ctx, write("first.syx", "\xF0\xF7"), nullptr));
    ASSERT_TRUE(append_file_list(t.ctx, dir / "l.j3"));
    ASSERT_EQ(t.ctx.files.size(), 3u);
    EXPECT_EQ(t.ctx.files.entry(2)->loop, 2);
    EXPECT_EQ(t.ctx.files.entry(3)->stereo, 1);
    EXPECT_EQ(t.window.list_items, (std::vector<uint32_t>{1, 2, 3}));

    // A list naming a file that is gone adds nothing.
    fs::remove(entries[1].file);
    const Result r = append_file_list(t.ctx, dir / "l.j3");
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find(entries[1].file), std::string::npos) << r.message;
    EXPECT_EQ(t.ctx.files.size(), 3u);

    const CliRun refused = run_j3({"send", (dir / "l.j3").string(), "--to", "J3 Loopback"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(entries[1].file), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace j3
