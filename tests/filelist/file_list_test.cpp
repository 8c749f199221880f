#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/send_loop.h"
#include "fakes/test_context.h"
#include "filelist/file_entry.h"

namespace j3 {
namespace {

// Entries named by one letter each.
void add(FileList& list, const std::string& names) {
    for (char name : names) {
        FileEntry e;
        e.file = std::string(1, name);
        push_entry(list, std::move(e));
    }
}

std::string names_of(const FileList& list) {
    std::string names;
    for (const FileEntry& e : list.entries()) names += e.file;
    return names;
}

TEST(FileList, AnItemIdIsItsPositionPlusOne) {
    FileList list;
    add(list, "PQR");
    struct Case {
        uint32_t id;
        const char* want;  // nullptr: no such entry
    };
    const Case cases[] = {{0, nullptr}, {1, "P"}, {2, "Q"}, {3, "R"}, {4, nullptr}};
    for (const Case& c : cases) {
        const std::optional<FileEntry> e = list.entry(c.id);
        ASSERT_EQ(e.has_value(), c.want != nullptr) << "id " << c.id;
        bool ran = false;
        const bool found = list.with_entry(c.id, [&](FileEntry& f) {
            ran = true;
            EXPECT_EQ(f.file, c.want) << "id " << c.id;
        });
        EXPECT_EQ(found, c.want != nullptr) << "id " << c.id;
        EXPECT_EQ(ran, found) << "id " << c.id;
        if (e) {
            EXPECT_EQ(e->file, c.want) << "id " << c.id;
        }
    }
    EXPECT_EQ(list.size(), 3u);
}

TEST(FileList, ErasingRenumbersTheEntriesThatFollow) {
    FileList list;
    add(list, "PQRS");
    erase_entries(list, {1, 3});
    EXPECT_EQ(names_of(list), "QS");
    EXPECT_EQ(list.entry(1)->file, "Q");
    EXPECT_EQ(list.entry(2)->file, "S");
    EXPECT_FALSE(list.entry(3));
}

TEST(FileList, ACopyIsTheEntryAsItWasAndSharesItsBytes) {
    FileList list;
    add(list, "P");
    list.with_entry(1, [](FileEntry& e) { set_entry_data(e, std::vector<uint8_t>{1, 2, 3}); });
    const FileEntry copy = list.entry(1).value();
    list.with_entry(1, [](FileEntry& e) { e.file = "changed"; });
    EXPECT_EQ(copy.file, "P");
    EXPECT_EQ(copy.data.data(), list.entry(1)->data.data());
}

TEST(FileList, TheSelectionIsKeptAsGiven) {
    FileList list;
    add(list, "PQR");
    EXPECT_EQ(list.selected_count(), 0);
    list.set_selected_ids({1, 3});
    EXPECT_EQ(list.selected_ids(), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(list.selected_count(), 2);
}

// The send takes the list's lock inside its own: the other way round ends the
// program at once instead of waiting for the deadlock.
TEST(FileList, ASendStartedUnderTheListsLockIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            testing::TestContext t;
            t.ctx.files.with_entries([&](std::vector<FileEntry>&) { start_sending(t.ctx); });
        },
        "lock order broken: SendState::send_mutex taken while FileList::mutex_ is held");
}

}  // namespace
}  // namespace j3
