#include "filelist/list_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fakes/test_folder.h"
#include "filelist/move_entries.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

FileEntry entry(std::string file, int32_t loop = 0, int32_t stereo = 0) {
    FileEntry e;
    e.file = std::move(file);
    e.loop = loop;
    e.stereo = stereo;
    return e;
}

std::string text_of(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Parses from a heap block of exactly the text's size, so a read past it is
// a fault under the sanitizers.
ListFileStatus parse(const std::string& text, std::string_view prefix, ListFileContents& out) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[text.size() + (text.empty() ? 1 : 0)]);
    std::memcpy(exact.get(), text.data(), text.size());
    return parse_file_list(exact.get(), text.size(), prefix, out);
}

const std::string kHeader =
    "J3 Filelist\0"s
    "0\0"s;

TEST(ListFile, WorkedCasesAreStoredAsTheFormatSaysAndReadBackInTheirNewFolder) {
    struct Case {
        const char* description;
        std::string prefix;  // where the list is saved
        int32_t sample_number;
        std::vector<FileEntry> entries;
        std::string stored;    // the bytes after the version string
        std::string moved_to;  // the folder the list is read from
        std::vector<std::string> read_back;
    } cases[] = {
        {"relative and full paths, then the folder moved",
         "/a/b/",
         0,
         {entry("/a/b/x.syx"), entry("/a/b/sub/y.wav"), entry("/q/z.syx")},
         "0\0"s
         "00*x.syx\0"s
         "00*sub/y.wav\0"s
         "00/q/z.syx\0"s,
         "/d/e/",
         {"/d/e/x.syx", "/d/e/sub/y.wav", "/q/z.syx"}},
        {"the choices are two digits before the path",
         "/a/",
         7,
         {entry("/a/s.wav", 1, 2)},
         "7\0"s
         "12*s.wav\0"s,
         "/a/",
         {"/a/s.wav"}},
        {"an empty list is the header alone", "/a/", 25, {}, "25\0"s, "/a/", {}},
        {"a folder with a space stores relative paths",
         "/my samples/",
         0,
         {entry("/my samples/k.syx"), entry("/my samples%20/k.syx")},
         "0\0"s
         "00*k.syx\0"s
         "00/my samples%20/k.syx\0"s,
         "/moved here/",
         {"/moved here/k.syx", "/my samples%20/k.syx"}},
        {"a sibling folder sharing the name's start is no subfolder",
         "/a/b/",
         0,
         {entry("/a/bc/x.syx")},
         "0\0"s
         "00/a/bc/x.syx\0"s,
         "/d/",
         {"/a/bc/x.syx"}},
        {"a choice outside 0 to 2 is stored as 0",
         "/a/",
         0,
         {entry("/a/x.wav", 7, -1)},
         "0\0"s
         "00*x.wav\0"s,
         "/a/",
         {"/a/x.wav"}},
        {"items made in memory and paths over the limit are left out",
         "/a/",
         0,
         {entry("/a/x.syx"), entry("Received data 1.syx"),
          entry("/a/" + std::string(kMaxListPathBytes, 'p'))},
         "0\0"s
         "00*x.syx\0"s,
         "/a/",
         {"/a/x.syx"}},
        {"no prefix: every path in full",
         "",
         0,
         {entry("/a/x.syx")},
         "0\0"s
         "00/a/x.syx\0"s,
         "/a/",
         {"/a/x.syx"}},
    };
    for (const Case& c : cases) {
        const std::string text = text_of(format_file_list(c.sample_number, c.entries, c.prefix));
        EXPECT_EQ(text, kHeader + c.stored) << c.description;

        ListFileContents got;
        ASSERT_EQ(parse(text, c.moved_to, got), ListFileStatus::kRead) << c.description;
        EXPECT_EQ(got.sample_number, c.sample_number) << c.description;
        EXPECT_EQ(got.unusable, 0) << c.description;
        std::vector<std::string> paths;
        for (const ListFileEntry& e : got.entries) paths.push_back(e.path);
        EXPECT_EQ(paths, c.read_back) << c.description;
        for (size_t i = 0; i < got.entries.size(); ++i) {
            const FileEntry& written = c.entries[i];
            const int32_t loop = written.loop >= 0 && written.loop <= 2 ? written.loop : 0;
            const int32_t stereo = written.stereo >= 0 && written.stereo <= 2 ? written.stereo : 0;
            EXPECT_EQ(got.entries[i].loop, loop) << c.description;
            EXPECT_EQ(got.entries[i].stereo, stereo) << c.description;
        }
    }
}

TEST(ListFile, OddBytesAreReadWithinTheBufferAndUnusableEntriesLeftOut) {
    const std::string long_path = "/" + std::string(kMaxListPathBytes, 'p');
    const std::string longest = "/" + std::string(kMaxListPathBytes - 1, 'p');
    struct Case {
        const char* description;
        std::string text;
        ListFileStatus status;
        int32_t sample_number;
        std::vector<std::string> paths;
        int32_t unusable;
    } cases[] = {
        {"empty file", "", ListFileStatus::kNotAList, 0, {}, 0},
        {"other bytes", "J3 Filelis", ListFileStatus::kNotAList, 0, {}, 0},
        {"magic without its NUL", "J3 Filelist", ListFileStatus::kDamaged, 0, {}, 0},
        {"no sample number", kHeader, ListFileStatus::kDamaged, 0, {}, 0},
        {"sample number without its NUL", kHeader + "12", ListFileStatus::kDamaged, 0, {}, 0},
        {"a later version",
         "J3 Filelist\0"s
         "1\0"s
         "5\0"s
         "00/a.syx\0"s,
         ListFileStatus::kUnknownVersion,
         0,
         {},
         0},
        {"an empty version",
         "J3 Filelist\0"s
         "\0"s
         "5\0"s,
         ListFileStatus::kUnknownVersion,
         0,
         {},
         0},
        {"sample number: leading digits", kHeader + "42abc\0"s, ListFileStatus::kRead, 42, {}, 0},
        {"sample number: none", kHeader + "x\0"s, ListFileStatus::kRead, 0, {}, 0},
        {"sample number: saturated",
         kHeader + "99999999999\0"s,
         ListFileStatus::kRead,
         2147483647,
         {},
         0},
        {"short strings",
         kHeader + "0\0"s
                   "\0"s
                   "0\0"s
                   "00\0"s
                   "00/a.syx\0"s,
         ListFileStatus::kRead,
         0,
         {"/a.syx"},
         3},
        {"last entry without its NUL",
         kHeader + "0\0"s
                   "00/a.syx\0"s
                   "00/b.sy"s,
         ListFileStatus::kRead,
         0,
         {"/a.syx"},
         1},
        {"digits outside 0 to 2",
         kHeader + "0\0"s
                   "30/a\0"s
                   "03/b\0"s
                   "/0/c\0"s
                   "22/d\0"s,
         ListFileStatus::kRead,
         0,
         {"/d"},
         3},
        {"a relative entry with nothing after the mark",
         kHeader + "0\0"s
                   "00*\0"s,
         ListFileStatus::kRead,
         0,
         {},
         1},
        {"a bare name (an item that was never saved)",
         kHeader + "0\0"s
                   "00Received data 1.syx\0"s,
         ListFileStatus::kRead,
         0,
         {},
         1},
        {"paths over the limit",
         kHeader +
             "0\0"s
             "00" +
             long_path +
             "\0"s
             "00" +
             longest + "\0"s,
         ListFileStatus::kRead,
         0,
         {longest},
         1},
        {"bytes after the magic in its string",
         "J3 FilelistX\0"s
         "0\0"s
         "3\0"s
         "00/a\0"s,
         ListFileStatus::kRead,
         3,
         {"/a"},
         0},
    };
    for (const Case& c : cases) {
        ListFileContents got;
        EXPECT_EQ(parse(c.text, "/f/", got), c.status) << c.description;
        EXPECT_EQ(got.sample_number, c.sample_number) << c.description;
        std::vector<std::string> paths;
        for (const ListFileEntry& e : got.entries) paths.push_back(e.path);
        EXPECT_EQ(paths, c.paths) << c.description;
        EXPECT_EQ(got.unusable, c.unusable) << c.description;
    }
    ListFileContents got;
    const std::string relative = kHeader +
                                 "0\0"s
                                 "01*" +
                                 std::string(kMaxListPathBytes, 'r') + "\0"s;
    ASSERT_EQ(parse(relative, "/f/", got), ListFileStatus::kRead);
    EXPECT_TRUE(got.entries.empty())
        << "the folder and the stored part together are over the limit";
}

TEST(ListFile, EveryPrefixOfAListReadsAsTheEntriesItHoldsWhole) {
    const std::vector<FileEntry> entries = {entry("/l/a.syx", 1, 0), entry("/l/s/b.wav", 2, 2),
                                            entry("/o/c.aif", 0, 1)};
    const std::string text = text_of(format_file_list(16383, entries, "/l/"));
    ListFileContents full;
    ASSERT_EQ(parse(text, "/l/", full), ListFileStatus::kRead);
    ASSERT_EQ(full.entries.size(), 3u);
    for (size_t n = 0; n <= text.size(); ++n) {
        ListFileContents got;
        const ListFileStatus status = parse(text.substr(0, n), "/l/", got);
        if (status != ListFileStatus::kRead) {
            EXPECT_TRUE(status == ListFileStatus::kNotAList || status == ListFileStatus::kDamaged)
                << n;
            EXPECT_TRUE(got.entries.empty()) << n;
            continue;
        }
        EXPECT_EQ(got.sample_number, 16383) << n;
        ASSERT_LE(got.entries.size(), full.entries.size()) << n;
        for (size_t i = 0; i < got.entries.size(); ++i) {
            EXPECT_EQ(got.entries[i].path, full.entries[i].path) << n;
            EXPECT_EQ(got.entries[i].loop, full.entries[i].loop) << n;
            EXPECT_EQ(got.entries[i].stereo, full.entries[i].stereo) << n;
        }
    }
}

TEST(ListFile, ListFilesAreKnownByTheirExtensionInAnyCase) {
    EXPECT_TRUE(is_list_file_name("/a/Filelist.j3"));
    EXPECT_TRUE(is_list_file_name("x.J3"));
    EXPECT_FALSE(is_list_file_name("x.j3x"));
    EXPECT_FALSE(is_list_file_name("j3"));
    EXPECT_FALSE(is_list_file_name("/a.j3/x.syx"));
}

struct ListFileOnDisk : testing::TestFolder {};

TEST_F(ListFileOnDisk, AListSavedInAFolderWithASpaceStillFindsItsFilesAfterTheFolderMoves) {
    const fs::path folder = dir / "my list";
    const std::vector<FileEntry> entries = {entry(write("my list/a.syx", "a"), 1, 2),
                                            entry(write("my list/sub/b.wav", "b"), 2, 1)};
    // Saved through a path that is not normal, as a user may type one.
    ASSERT_TRUE(write_file_list(folder / "." / "sub" / ".." / "Filelist.j3", entries, 9));
    fs::rename(folder, dir / "moved");

    const ListFileRead read = read_file_list(dir / "moved" / "Filelist.j3");
    ASSERT_EQ(read.status, ListFileStatus::kRead) << read.message;
    EXPECT_EQ(read.contents.sample_number, 9);
    ASSERT_EQ(read.contents.entries.size(), 2u);
    EXPECT_EQ(read.contents.entries[0].path, (dir / "moved" / "a.syx").string());
    EXPECT_EQ(read.contents.entries[1].path, (dir / "moved" / "sub" / "b.wav").string());
    EXPECT_EQ(read.contents.entries[0].loop, 1);
    EXPECT_EQ(read.contents.entries[0].stereo, 2);
}

TEST_F(ListFileOnDisk, FilesThatCannotBeReadAsAListSayWhy) {
    ASSERT_EQ(::mkfifo((dir / "pipe.j3").c_str(), 0600), 0);
    write("other.j3", "MThd");
    struct Case {
        const char* description;
        fs::path path;
        ListFileStatus status;
        const char* says;
    } cases[] = {
        {"missing", dir / "none.j3", ListFileStatus::kUnreadable, "Could not open"},
        {"a folder", dir, ListFileStatus::kUnreadable, "is a folder"},
        {"a pipe is not waited on", dir / "pipe.j3", ListFileStatus::kUnreadable,
         "not a regular file"},
        {"another kind of file", dir / "other.j3", ListFileStatus::kNotAList, "not a J3 file list"},
    };
    for (const Case& c : cases) {
        const ListFileRead read = read_file_list(c.path);
        EXPECT_EQ(read.status, c.status) << c.description;
        EXPECT_NE(read.message.find(c.says), std::string::npos)
            << c.description << ": " << read.message;
        EXPECT_NE(read.message.find(c.path.string()), std::string::npos) << c.description;
    }
}

TEST_F(ListFileOnDisk, AFailedSaveSaysWhyAndKeepsTheEarlierList) {
    const fs::path list = write("Filelist.j3", kHeader + "5\0"s);
    const std::vector<FileEntry> entries = {entry("/a.syx")};
    const Result r = write_file_list(dir / "missing" / "Filelist.j3", entries, 1);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("No such file or directory"), std::string::npos) << r.message;
    EXPECT_EQ(read_file_list(list).contents.sample_number, 5);
}

TEST(MoveEntries, DraggedEntriesLandTogetherAtTheGapAndNothingElseMoves) {
    struct Case {
        const char* description;
        std::vector<uint32_t> ids;
        size_t gap;
        std::string want;
    } cases[] = {
        {"one down", {2}, 3, "PRQS"},
        {"one up", {3}, 0, "RPQS"},
        {"first to last", {1}, 4, "QRSP"},
        {"onto its own place", {2}, 1, "PQRS"},
        {"several down", {1, 3}, 4, "QSPR"},
        {"several up", {2, 4}, 0, "QSPR"},
        {"several around the gap", {1, 4}, 2, "QPSR"},
        {"all", {1, 2, 3, 4}, 2, "PQRS"},
        {"past the end", {1}, 99, "QRSP"},
    };
    for (const Case& c : cases) {
        FileList list;
        for (char name : std::string("PQRS")) push_entry(list, entry(std::string(1, name)));
        const std::vector<size_t> moved_to = move_entries(list, c.ids, c.gap);
        const std::vector<FileEntry> entries = list.entries();
        std::string got;
        for (const FileEntry& e : entries) got += e.file;
        EXPECT_EQ(got, c.want) << c.description;
        for (size_t old = 0; old < 4; ++old) {
            EXPECT_EQ(entries[moved_to[old]].file, std::string(1, "PQRS"[old])) << c.description;
        }
    }
}

}  // namespace
}  // namespace j3
