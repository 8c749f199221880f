#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/held_send.h"
#include "fakes/test_context.h"
#include "fakes/test_folder.h"
#include "filelist/list_file.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using testing::TestContext;

struct ListFileLoad : testing::TestFolder {
    // The entries as "name loop stereo", by file name.
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (const FileEntry& e : t.ctx.files.entries()) {
            out.push_back(fs::path(e.file).filename().string() + " " + std::to_string(e.loop) +
                          " " + std::to_string(e.stereo));
        }
        return out;
    }
    bool mentions(const std::vector<std::string>& problems, const std::string& text) {
        for (const std::string& p : problems) {
            if (p.find(text) != std::string::npos) return true;
        }
        return false;
    }
    // A saved list of a.syx (Loop On), b.wav (Right) and c.syx in the folder,
    // sample number 25.
    fs::path saved_list() {
        std::vector<FileEntry> entries(3);
        const char* names[] = {"a.syx", "b.wav", "c.syx"};
        for (int i = 0; i < 3; ++i) entries[i].file = write(names[i], std::string(1, 'a' + i));
        entries[0].loop = 1;
        entries[1].stereo = 2;
        EXPECT_TRUE(write_file_list(dir / "Filelist.j3", entries, 25));
        return dir / "Filelist.j3";
    }
    TestContext t;
};

TEST_F(ListFileLoad, AListReplacesTheListWithItsEntriesChoicesAndSampleNumber) {
    const fs::path list = saved_list();
    fs::remove(dir / "b.wav");
    ASSERT_TRUE(add_file_entry(t.ctx, write("old.syx", "o"), nullptr));

    const ListLoad load = load_file_list(t.ctx, list);
    EXPECT_TRUE(load.is_list);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(shown(), (std::vector<std::string>{"a.syx 1 0", "c.syx 0 0"}));
    EXPECT_EQ(t.ctx.files.entry(2).value().data, std::vector<uint8_t>{'c'});
    EXPECT_EQ(t.window.sample_number, 25);
    EXPECT_EQ(t.window.list_items, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(t.window.selection, (std::vector<uint32_t>{1}));
    ASSERT_EQ(load.problems.size(), 1u);
    EXPECT_TRUE(mentions(load.problems, (dir / "b.wav").string()));
}

TEST_F(ListFileLoad, NothingChangesWhenTheFileIsNoListOrTheListIsInUse) {
    const fs::path list = saved_list();
    const fs::path later = write("later.j3", std::string("J3 Filelist\0"
                                                         "1\0"
                                                         "0\0",
                                                         16));
    const fs::path other = write("other.j3", "RIFF");
    // A send of the list's entry: none, running, or stopped with its last
    // request still held by the service.
    enum class Send { kNone, kRunning, kHeld };
    struct Case {
        const char* description;
        fs::path path;
        Send send;
        bool is_list;
        const char* says;
    } cases[] = {
        {"not a list", other, Send::kNone, false, "not a J3 file list"},
        {"a later version", later, Send::kNone, true, "later version"},
        {"while a send runs", list, Send::kRunning, true, "while a send is running"},
        {"while a request is still held", list, Send::kHeld, true, "while a send is running"},
    };
    for (const Case& c : cases) {
        TestContext fresh;
        ASSERT_TRUE(add_file_entry(fresh.ctx, write("kept.syx", "\xF0\x01\xF7"), nullptr));
        fresh.window.set_sample_number(3);
        if (c.send != Send::kNone) {
            ASSERT_TRUE(testing::start_held_send(fresh.ctx)) << c.description;
        }
        if (c.send == Send::kHeld) stop_sending(fresh.ctx);
        const ListLoad load = load_file_list(fresh.ctx, c.path);
        EXPECT_EQ(load.is_list, c.is_list) << c.description;
        EXPECT_FALSE(load.loaded) << c.description;
        EXPECT_TRUE(mentions(load.problems, c.says)) << c.description;
        ASSERT_EQ(fresh.ctx.files.size(), 1u) << c.description;
        EXPECT_EQ(fs::path(fresh.ctx.files.entry(1)->file).filename(), "kept.syx");
        EXPECT_EQ(fresh.window.sample_number, 3) << c.description;
        EXPECT_TRUE(testing::end_held_send(fresh.ctx, fresh.midi)) << c.description;
    }
}

TEST_F(ListFileLoad, DroppedAndOpenedFilesAreTakenByTheirKind) {
    const fs::path list = saved_list();
    const fs::path x = write("x.syx", "x"), y = write("y.aif", "y");
    const fs::path plain = write("README", "r"), dotted = write("name.", "n");
    const fs::path not_list = write("broken.j3", "nothing");
    fs::create_directories(dir / "folder.syx");
    struct Case {
        const char* description;
        std::vector<fs::path> paths;
        FilesFrom from;
        std::vector<std::string> want;
        bool ended_at_list;
        size_t problems;
    } cases[] = {
        {"files in drop order; a folder skipped, names without extension said",
         {y, dir / "folder.syx", plain, dotted, x},
         FilesFrom::kDrop,
         {"y.aif 0 0", "x.syx 0 0"},
         false,
         2},
        {"opened names without extension said",
         {plain, x, dotted},
         FilesFrom::kOpenDialog,
         {"x.syx 0 0"},
         false,
         2},
        {"a dropped list ends the drop",
         {x, list, y},
         FilesFrom::kDrop,
         {"a.syx 1 0", "b.wav 0 2", "c.syx 0 0"},
         true,
         0},
        {"a dropped file that is no list is skipped",
         {not_list, x},
         FilesFrom::kDrop,
         {"x.syx 0 0"},
         false,
         1},
        {"an opened list is read and what follows still added",
         {x, list, y},
         FilesFrom::kOpenDialog,
         {"a.syx 1 0", "b.wav 0 2", "c.syx 0 0", "y.aif 0 0"},
         false,
         0},
        {"an opened folder is reported",
         {dir / "folder.syx"},
         FilesFrom::kOpenDialog,
         {},
         false,
         1},
    };
    for (const Case& c : cases) {
        t.ctx.files.with_entries([](std::vector<FileEntry>& all) { all.clear(); });
        t.window.list_items.clear();
        const FilesTaken taken = take_files(t.ctx, c.paths, c.from);
        EXPECT_EQ(shown(), c.want) << c.description;
        EXPECT_EQ(taken.ended_at_list, c.ended_at_list) << c.description;
        EXPECT_EQ(taken.problems.size(), c.problems) << c.description;
    }
    const FilesTaken taken = take_files(t.ctx, {plain}, FilesFrom::kDrop);
    ASSERT_EQ(taken.problems.size(), 1u);
    EXPECT_EQ(taken.problems[0],
              "\"" + plain.string() + "\" has no extension, which tells J3 what the file holds.");
}

TEST_F(ListFileLoad, AnEntryNamingAPipeIsLeftOutWithoutWaiting) {
    ASSERT_EQ(::mkfifo((dir / "pipe.syx").c_str(), 0600), 0);
    std::vector<FileEntry> entries(2);
    entries[0].file = (dir / "pipe.syx").string();
    entries[1].file = write("a.syx", "a");
    ASSERT_TRUE(write_file_list(dir / "l.j3", entries, 0));
    const ListLoad load = load_file_list(t.ctx, dir / "l.j3");
    EXPECT_EQ(shown(), (std::vector<std::string>{"a.syx 0 0"}));
    EXPECT_TRUE(mentions(load.problems, "not a regular file"));
}

}  // namespace
}  // namespace j3
