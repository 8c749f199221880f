#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/test_folder.h"
#include "filelist/file_entry.h"
#include "filelist/mapped_file.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;

struct WholeFile : testing::TestFolder {
    std::vector<fs::path> files() const {
        std::vector<fs::path> out(fs::directory_iterator(dir), fs::directory_iterator{});
        return out;
    }
};

TEST_F(WholeFile, WritingReplacesTheFileInOneStepAndReadsBackTheSameBytes) {
    const std::vector<uint8_t> bytes = {0xF0, 0x00, 0xF7, 0x00, 0xFF};
    const fs::path path = write("item.syx", "an older and longer content");
    ASSERT_TRUE(write_whole_file(path, bytes.data(), bytes.size()));
    std::vector<uint8_t> back;
    ASSERT_TRUE(read_whole_file(path, back));
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(files(), std::vector<fs::path>{path}) << "no temporary file is left";
}

TEST_F(WholeFile, FailuresSayWhyAndLeaveNothingBehind) {
    struct Case {
        const char* description;
        fs::path path;
        const char* says;
    } cases[] = {
        {"a missing folder", dir / "missing" / "a.syx", "No such file or directory"},
        {"a folder in the way", dir, "cannot write"},
    };
    const uint8_t byte = 0xF0;
    for (const Case& c : cases) {
        const Result r = write_whole_file(c.path, &byte, 1);
        EXPECT_FALSE(r) << c.description;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.description << ": " << r.message;
        EXPECT_NE(r.message.find(c.path.string()), std::string::npos) << c.description;
        EXPECT_TRUE(files().empty()) << c.description;
    }
    std::vector<uint8_t> data = {1, 2};
    const Result read = read_whole_file(dir / "none", data);
    EXPECT_FALSE(read);
    EXPECT_EQ(read.message, "No such file or directory");
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2})) << "a failed read leaves the buffer alone";
}

TEST_F(WholeFile, ALinkIsFollowedAndAPipeIsWrittenNotReplaced) {
    const std::vector<uint8_t> bytes = {0xF0, 0x7E, 0xF7};
    const fs::path target = write("target.syx", "old");
    const fs::path link = dir / "link.syx";
    fs::create_symlink(target, link);
    ASSERT_TRUE(write_whole_file(link, bytes.data(), bytes.size()));
    EXPECT_TRUE(fs::is_symlink(link));
    std::vector<uint8_t> back;
    ASSERT_TRUE(read_whole_file(target, back));
    EXPECT_EQ(back, bytes);

    // As `j3 convert -o /dev/stdout` into a pipe.
    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<uint8_t> piped;
    std::thread reader([&] {  // a plain reader: J3's own refuses pipes
        std::ifstream in(pipe, std::ios::binary);
        piped.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    const Result w = write_whole_file(pipe, bytes.data(), bytes.size());
    reader.join();
    EXPECT_TRUE(w) << w.message;
    EXPECT_EQ(piped, bytes);
    EXPECT_TRUE(fs::is_fifo(pipe));
}

// Only regular files are read: a FIFO would block the reader until some
// writer came (the window never appearing), and a file of 2 GiB or more is
// refused by its size before a byte is read.
TEST_F(WholeFile, ReadsRegularFilesOnly) {
    const fs::path fifo = dir / "fifo.syx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = dir / "huge.syx";
    { std::ofstream(huge).put('x'); }
    fs::resize_file(huge, uintmax_t(2) << 30);  // sparse: nothing is written
    struct Case {
        const char* description;
        fs::path path;
        const char* says;
    } cases[] = {
        {"a FIFO", fifo, "Not a regular file"},
        {"a device", "/dev/zero", "Not a regular file"},
        {"2 GiB", huge, "too large"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = {1};
        auto read = std::async(std::launch::async, [&] { return read_whole_file(c.path, data); });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << c.description << ": the read blocks";
            // Release a reader stuck on the FIFO.
            if (c.path == fifo) std::ofstream(fifo).put('x');
        }
        const Result r = read.get();
        EXPECT_FALSE(r) << c.description;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.description << ": " << r.message;
        EXPECT_EQ(data, std::vector<uint8_t>{1}) << c.description;
    }
}

// A mapped file holds the same bytes a read gives, and refuses what a read
// refuses with the same words, without opening a FIFO.
TEST_F(WholeFile, MappingGivesTheBytesAReadGivesAndRefusesTheSame) {
    const fs::path fifo = dir / "fifo.syx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = dir / "huge.syx";
    { std::ofstream(huge).put('x'); }
    fs::resize_file(huge, uintmax_t(2) << 30);
    std::string long_text(70000, 'a');
    for (size_t i = 0; i < long_text.size(); ++i) long_text[i] = char(i * 7919 % 251);
    struct Case {
        const char* description;
        fs::path path;
        const char* says;  // nullptr: mapped
    } cases[] = {
        {"a small file", write("small.syx", "\xF0\x01\xF7"), nullptr},
        {"a file of several pages", write("long.syx", long_text), nullptr},
        {"an empty file", write("empty.syx", ""), nullptr},
        {"a missing file", dir / "none", "No such file or directory"},
        {"a folder", dir, "Is a directory"},
        {"a FIFO", fifo, "Not a regular file"},
        {"2 GiB", huge, "too large"},
    };
    for (const Case& c : cases) {
        MappedFile mapped;
        auto mapping = std::async(std::launch::async, [&] { return map_file(c.path, mapped); });
        if (mapping.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << c.description << ": mapping blocks";
            if (c.path == fifo) std::ofstream(fifo).put('x');
        }
        const Result r = mapping.get();
        if (c.says) {
            EXPECT_FALSE(r) << c.description;
            EXPECT_NE(r.message.find(c.says), std::string::npos)
                << c.description << ": " << r.message;
            EXPECT_EQ(mapped.size, 0u) << c.description;
            continue;
        }
        ASSERT_TRUE(r) << c.description << ": " << r.message;
        std::vector<uint8_t> read;
        ASSERT_TRUE(read_whole_file(c.path, read)) << c.description;
        EXPECT_EQ(std::vector<uint8_t>(mapped.data, mapped.data + mapped.size), read)
            << c.description;
    }
}

// An item's file is mapped, not copied, and stays a safe buffer whatever
// another program does to the file meanwhile: cut short, the lost pages read
// as zeros instead of crashing J3 and the entry says its file changed; a file
// replaced or removed leaves the mapped one whole.
TEST_F(WholeFile, AMappedItemSurvivesItsFileBeingCutShortReplacedOrRemoved) {
    std::vector<uint8_t> bytes(3 * kSmallestMappedItem);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + 7);
    const auto cut_short = [](const fs::path& p) {
        const int fd = ::open(p.c_str(), O_WRONLY);  // another descriptor than J3's
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 4096), 0);
        ::close(fd);
    };
    const auto rewrite_in_place = [&](const fs::path& p) {
        std::fstream(p, std::ios::in | std::ios::out | std::ios::binary).put('x');
        fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(2));
    };
    const auto replace = [&](const fs::path& p) {
        ASSERT_TRUE(write_whole_file(p, bytes.data(), 10));
    };
    const auto remove = [](const fs::path& p) { fs::remove(p); };
    struct Case {
        const char* description;
        std::function<void(const fs::path&)> change;
        bool changed;
        bool whole;      // the bytes are still the file as mapped
        bool cut_short;  // a read met lost pages
    } cases[] = {
        {"cut short by another program", cut_short, true, false, true},
        {"rewritten in place", rewrite_in_place, true, false, false},
        {"replaced through a rename", replace, false, true, false},
        {"removed", remove, false, true, false},
    };
    for (const Case& c : cases) {
        const fs::path path = write(std::string("item") + c.description, bytes);
        FileEntry entry;
        ASSERT_TRUE(map_item_file(path, entry.data)) << c.description;
        ASSERT_TRUE(entry.data.mapped()) << c.description;
        const FileEntry copy = entry;  // shares the mapping
        EXPECT_EQ(copy.data.data(), entry.data.data()) << c.description;
        EXPECT_FALSE(entry.data.changed_on_disk()) << c.description;
        c.change(path);
        // Every page read, the lost ones included: no SIGBUS.
        const std::vector<uint8_t> seen(entry.data.begin(), entry.data.end());
        EXPECT_EQ(seen.size(), bytes.size()) << c.description;
        EXPECT_EQ(seen == bytes, c.whole) << c.description;
        EXPECT_EQ(entry.data.changed_on_disk(), c.changed) << c.description;
        EXPECT_EQ(copy.data.changed_on_disk(), c.changed) << c.description;
        EXPECT_EQ(entry.data.cut_short(), c.cut_short) << c.description;
    }

    // Small files and bytes made in memory are J3's own copy: never changed.
    const fs::path small = write("small.syx", "\xF0\x01\xF7");
    FileEntry entry;
    ASSERT_TRUE(map_item_file(small, entry.data));
    EXPECT_FALSE(entry.data.mapped());
    EXPECT_EQ(entry.data, (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
    cut_short(small);
    EXPECT_FALSE(entry.data.changed_on_disk());

    // Refused as read_item_file refuses, in the same whole sentences.
    for (const fs::path& p : {dir / "none.syx", dir}) {
        std::vector<uint8_t> read;
        const Result want = read_item_file(p, read);
        const Result got = map_item_file(p, entry.data);
        EXPECT_FALSE(got) << p;
        EXPECT_EQ(got.message, want.message);
    }
    EXPECT_EQ(entry.data, (std::vector<uint8_t>{0xF0, 0x01, 0xF7})) << "left alone";
}

// A SIGBUS outside J3's mappings is not swallowed: it ends the program as it
// would without J3's handler.
TEST_F(WholeFile, AFaultOutsideJ3sMappingsStillEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path path = write("other.bin", std::vector<uint8_t>(2 * 4096, 1));
    EXPECT_EXIT(
        {
            // A fresh process: no sanitizer's handler behind J3's, so the
            // fault meets the system's own action.
            std::signal(SIGBUS, SIG_DFL);
            FileEntry entry;
            map_item_file(write("item.bin", std::vector<uint8_t>(kSmallestMappedItem, 2)),
                          entry.data);  // J3's handler is in place
            const int fd = ::open(path.c_str(), O_RDWR);
            void* other = ::mmap(nullptr, 2 * 4096, PROT_READ, MAP_PRIVATE, fd, 0);
            ::ftruncate(fd, 0);
            volatile uint8_t b = static_cast<const uint8_t*>(other)[4096];
            (void)b;
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGBUS), "");
}

// Pieces made while the file is written arrive in order, and the file takes
// the place of the old one only when the last piece is in.
TEST_F(WholeFile, PiecesAreWrittenInOrderIntoOneFile) {
    const fs::path path = write("out.syx", "old");
    int made = 0;
    std::vector<uint8_t> piece;
    const Result r = write_file_in_pieces(path, [&]() -> std::span<const uint8_t> {
        if (made == 300) return {};
        EXPECT_EQ(fs::file_size(path), 3u) << "the old file stays until the end";
        piece.assign(size_t(made % 7 + 1), uint8_t(made));
        ++made;
        return piece;
    });
    ASSERT_TRUE(r) << r.message;
    std::vector<uint8_t> want;
    for (int k = 0; k < 300; ++k) want.insert(want.end(), size_t(k % 7 + 1), uint8_t(k));
    std::vector<uint8_t> back;
    ASSERT_TRUE(read_whole_file(path, back));
    EXPECT_EQ(back, want);
    EXPECT_EQ(files(), std::vector<fs::path>{path}) << "no temporary file is left";
}

}  // namespace
}  // namespace j3
