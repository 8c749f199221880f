// Fuzz target for the file-list reader: whatever the bytes, it stays inside
// them, every entry it returns is one the list could load, and what it read
// is written and read back unchanged. Built as a libFuzzer program with
// clang, and linked into the deterministic corpus run everywhere.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "filelist/list_file.h"

namespace {

using namespace j3;

void check(bool ok) {
    if (!ok) std::abort();
}

void check_read(const ListFileContents& got, std::string_view prefix) {
    check(got.sample_number >= 0);
    for (const ListFileEntry& e : got.entries) {
        check(e.loop >= 0 && e.loop <= 2);
        check(e.stereo >= 0 && e.stereo <= 2);
        check(!e.path.empty() && e.path[0] == '/');
        check(e.path.size() <= kMaxListPathBytes);
        check(e.path.find('\0') == std::string::npos);
    }
    // Written again with its own folder and read back: the same list.
    std::vector<FileEntry> entries(got.entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].file = got.entries[i].path;
        entries[i].loop = got.entries[i].loop;
        entries[i].stereo = got.entries[i].stereo;
    }
    const std::vector<uint8_t> bytes = format_file_list(got.sample_number, entries, prefix);
    ListFileContents again;
    check(parse_file_list(bytes.data(), bytes.size(), prefix, again) == ListFileStatus::kRead);
    check(again.sample_number == got.sample_number);
    check(again.unusable == 0);
    check(again.entries.size() == got.entries.size());
    for (size_t i = 0; i < got.entries.size(); ++i) {
        check(again.entries[i].path == got.entries[i].path);
        check(again.entries[i].loop == got.entries[i].loop);
        check(again.entries[i].stereo == got.entries[i].stereo);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (std::string_view prefix : {std::string_view("/f/"), std::string_view()}) {
        ListFileContents got;
        const ListFileStatus status = parse_file_list(data, size, prefix, got);
        if (status == ListFileStatus::kRead) {
            check_read(got, prefix);
        } else {
            check(got.entries.empty() && got.unusable == 0);
        }
    }
    return 0;
}
