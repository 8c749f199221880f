#include "engine/list_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fakes/held_send.h"
#include "fakes/test_context.h"
#include "fakes/test_folder.h"
#include "filelist/file_entry.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using testing::TestContext;

struct FileEntries : testing::TestFolder {
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (auto& e : t.ctx.files.entries()) out.push_back(fs::path(e.file).filename().string());
        return out;
    }
    TestContext t;
};

TEST_F(FileEntries, AddingReadsTheWholeFileAndSelectsOnlyTheFirstIntoAnEmptySelection) {
    ASSERT_TRUE(add_file_entry(t.ctx, write("a.syx", "\xF0\x01\xF7"), nullptr).ok);
    ASSERT_TRUE(add_file_entry(t.ctx, write("b.syx", ""), nullptr).ok);
    ASSERT_EQ(t.ctx.files.size(), 2u);
    const FileEntry a = t.ctx.files.entry(1).value();
    EXPECT_EQ(a.file, (dir / "a.syx").string());
    EXPECT_EQ(a.data, (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
    EXPECT_EQ(a.loop, 0);
    EXPECT_EQ(a.stereo, 0);
    EXPECT_EQ(a.is_new, 0);
    EXPECT_TRUE(t.ctx.files.entry(2)->data.empty());
    EXPECT_EQ(t.window.list_items, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(t.window.selection, (std::vector<uint32_t>{1}));
    EXPECT_EQ(t.window.revealed, 1u);
    EXPECT_EQ(t.ctx.files.selected_count(), 1);
}

TEST_F(FileEntries, UnreadableFilesChangeNothingAndSayWhy) {
    ASSERT_TRUE(add_file_entry(t.ctx, write("a.syx", "x"), nullptr).ok);
    struct Case {
        const char* description;
        fs::path path;
        const char* says;
    } cases[] = {
        {"missing file", dir / "missing.syx", "Could not open"},
        {"a folder", dir, "is a folder"},
    };
    for (const Case& c : cases) {
        Result r = add_file_entry(t.ctx, c.path, nullptr);
        EXPECT_FALSE(r.ok) << c.description;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.description << ": " << r.message;
        EXPECT_EQ(t.ctx.files.size(), 1u) << c.description;
        EXPECT_EQ(t.window.list_items.size(), 1u) << c.description;
    }
}

TEST_F(FileEntries, FilesOf2GiBOrMoreAreRefused) {
    fs::path big = dir / "big.syx";
    { std::ofstream(big, std::ios::binary) << 'x'; }
    fs::resize_file(big, uint64_t(1) << 31);  // sparse: no disk used
    Result r = add_file_entry(t.ctx, big, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("too large"), std::string::npos);
    EXPECT_EQ(t.ctx.files.size(), 0u);
}

TEST_F(FileEntries, ReloadingAnEntryReplacesOnlyItsData) {
    fs::path p = write("a.syx", "old");
    add_file_entry(t.ctx, write("z.syx", "z"), nullptr);
    add_file_entry(t.ctx, p, nullptr);
    FileEntry e = t.ctx.files.entry(2).value();
    e.loop = 1;
    e.stereo = 2;
    e.type_tag = "ZB";
    e.type_tag_valid = true;
    write("a.syx", "newer");
    ASSERT_TRUE(add_file_entry(t.ctx, p, &e).ok);
    EXPECT_EQ(std::string(e.data.begin(), e.data.end()), "newer");
    EXPECT_EQ(e.loop, 1);
    EXPECT_EQ(e.stereo, 2);
    EXPECT_FALSE(e.type_tag_valid);
    EXPECT_EQ(t.ctx.files.size(), 2u);
    EXPECT_EQ(t.window.list_items.size(), 2u);
}

TEST_F(FileEntries, RemovingANonContiguousSelectionKeepsTheRestInOrder) {
    for (const char* n : {"p", "q", "r", "s"}) add_file_entry(t.ctx, write(n, n), nullptr);
    t.window.select({1, 3});
    remove_selected_entries(t.ctx);
    EXPECT_EQ(names(), (std::vector<std::string>{"q", "s"}));
    EXPECT_EQ(t.window.list_items, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(t.ctx.files.selected_count(), 0);

    // Nothing selected: nothing happens.
    remove_selected_entries(t.ctx);
    EXPECT_EQ(names().size(), 2u);
}

TEST_F(FileEntries, RemovalIsRefusedWhileSending) {
    for (const char* n : {"p", "q"}) add_file_entry(t.ctx, write(n, "\xF0\x01\xF7"), nullptr);
    t.window.select({1, 2});
    ASSERT_TRUE(testing::start_held_send(t.ctx));
    remove_selected_entries(t.ctx);
    remove_all_entries(t.ctx);
    EXPECT_EQ(names().size(), 2u);
    ASSERT_TRUE(testing::end_held_send(t.ctx, t.midi));
    remove_all_entries(t.ctx);
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(t.window.list_items.empty());
}

TEST_F(FileEntries, RefreshSelectionEmptiesWithNothingSelected) {
    add_file_entry(t.ctx, write("p", "p"), nullptr);
    t.window.select({});
    EXPECT_EQ(refresh_selection(t.ctx), 0);
    EXPECT_TRUE(t.ctx.files.selected_ids().empty());
}

}  // namespace
}  // namespace j3
