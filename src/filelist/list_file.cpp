#include "filelist/list_file.h"

#include <cstring>
#include <limits>
#include <system_error>

namespace j3 {
namespace {

namespace fs = std::filesystem;

constexpr char kVersion = '0';
constexpr char kRelativeMark = '*';

// The next NUL-terminated string from pos; complete is false for a last
// string that runs to the end of the data without its NUL.
struct Strings {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool next(std::string_view& text, bool& complete) {
        if (pos >= size) return false;
        const auto* start = reinterpret_cast<const char*>(data + pos);
        const void* nul = std::memchr(start, 0, size - pos);
        const size_t length = nul ? size_t(static_cast<const char*>(nul) - start) : size - pos;
        text = std::string_view(start, length);
        complete = nul != nullptr;
        pos += length + 1;
        return true;
    }
};

bool choice_digit(char c) {
    return c >= '0' && c <= '2';
}

int32_t leading_number(std::string_view text) {
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    }
    return int32_t(n);
}

char stored_digit(int32_t choice) {
    return choice >= 0 && choice <= 2 ? char('0' + choice) : '0';
}

}  // namespace

std::string list_folder_prefix(const fs::path& list_file) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(list_file, ec);
    if (ec) return {};
    std::string prefix = absolute.lexically_normal().parent_path().string();
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    if (prefix.size() > kMaxListPathBytes) return {};
    return prefix;
}

bool is_list_file_name(const fs::path& path) {
    const std::string extension = path.extension().string();
    if (extension.size() != kListFileExtension.size() + 1) return false;
    for (size_t i = 0; i < kListFileExtension.size(); ++i) {
        char c = extension[i + 1];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != kListFileExtension[i]) return false;
    }
    return true;
}

bool list_file_can_hold(const FileEntry& entry) {
    return entry.file.size() <= kMaxListPathBytes && fs::path(entry.file).is_absolute();
}

std::vector<uint8_t> format_file_list(int32_t sample_number, std::span<const FileEntry> entries,
                                      std::string_view folder_prefix) {
    std::string text(kListFileMagic);
    text += '\0';
    text += kVersion;
    text += '\0';
    text += std::to_string(sample_number);
    text += '\0';
    for (const FileEntry& e : entries) {
        // A bare name would be looked up wherever the reader runs.
        if (!list_file_can_hold(e)) continue;
        text += stored_digit(e.loop);
        text += stored_digit(e.stereo);
        const std::string_view file = e.file;
        // Compared with the plain folder path, so a folder whose name holds
        // a space or any other character still gets relative entries.
        if (!folder_prefix.empty() && file.size() > folder_prefix.size() &&
            file.starts_with(folder_prefix)) {
            text += kRelativeMark;
            text += file.substr(folder_prefix.size());
        } else {
            text += file;
        }
        text += '\0';
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

ListFileStatus parse_file_list(const uint8_t* data, size_t size, std::string_view folder_prefix,
                               ListFileContents& contents) {
    contents = {};
    if (size < kListFileMagic.size() ||
        std::memcmp(data, kListFileMagic.data(), kListFileMagic.size()) != 0) {
        return ListFileStatus::kNotAList;
    }
    Strings strings{data, size};
    std::string_view magic, version, number;
    bool complete = false;
    strings.next(magic, complete);
    if (!complete) return ListFileStatus::kDamaged;
    if (!strings.next(version, complete)) return ListFileStatus::kDamaged;
    // A later version may store anything after its header: read none of it.
    if (version.empty() || version[0] != kVersion) {
        return complete ? ListFileStatus::kUnknownVersion : ListFileStatus::kDamaged;
    }
    if (!complete || !strings.next(number, complete) || !complete) return ListFileStatus::kDamaged;
    contents.sample_number = leading_number(number);

    std::string_view s;
    while (strings.next(s, complete)) {
        if (!complete || s.size() < 3 || !choice_digit(s[0]) || !choice_digit(s[1])) {
            ++contents.unusable;
            continue;
        }
        std::string path;
        if (s[2] == kRelativeMark) {
            const std::string_view rest = s.substr(3);
            if (folder_prefix.empty() || rest.empty()) {
                ++contents.unusable;
                continue;
            }
            path.reserve(folder_prefix.size() + rest.size());
            path.append(folder_prefix).append(rest);
        } else {
            path = s.substr(2);
        }
        // A bare name (an item made in memory, never saved) would otherwise
        // be looked up in whatever folder the program runs in.
        if (path.size() > kMaxListPathBytes || !fs::path(path).is_absolute()) {
            ++contents.unusable;
            continue;
        }
        contents.entries.push_back({s[0] - '0', s[1] - '0', std::move(path)});
    }
    return ListFileStatus::kRead;
}

Result write_file_list(const fs::path& list_file, std::span<const FileEntry> entries,
                       int32_t sample_number) {
    const std::vector<uint8_t> bytes =
        format_file_list(sample_number, entries, list_folder_prefix(list_file));
    return write_whole_file(list_file, bytes.data(), bytes.size());
}

ListFileRead read_file_list(const fs::path& list_file) {
    ListFileRead read;
    const std::string shown = "\"" + list_file.string() + "\"";
    std::error_code ec;
    const fs::file_status status = fs::status(list_file, ec);
    if (fs::is_directory(status)) {
        read.message = shown + " is a folder, not a file list.";
        return read;
    }
    // Opening a pipe would wait for a writer that may never come.
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        read.message = shown + " is not a regular file.";
        return read;
    }
    std::vector<uint8_t> data;
    if (const Result r = read_whole_file(list_file, data); !r) {
        read.message = "Could not open " + shown + ": " + r.message + ".";
        return read;
    }
    read.status =
        parse_file_list(data.data(), data.size(), list_folder_prefix(list_file), read.contents);
    switch (read.status) {
        case ListFileStatus::kRead:
        case ListFileStatus::kUnreadable:
            break;
        case ListFileStatus::kNotAList:
            read.message = shown + " is not a J3 file list.";
            break;
        case ListFileStatus::kUnknownVersion:
            read.message = shown + " was saved by a later version of J3 and cannot be opened.";
            break;
        case ListFileStatus::kDamaged:
            read.message = shown + " is damaged: it ends before its header is complete.";
            break;
    }
    return read;
}

}  // namespace j3
