#include "filelist/file_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace j3 {

namespace {

constexpr const char* kTooLarge = "File too large (2 GB or more); J3 holds items below 2 GB";

}  // namespace

Result read_whole_file(const std::filesystem::path& path, std::vector<uint8_t>& data) {
    namespace fs = std::filesystem;
    // Looked at before opening: opening a FIFO waits for a writer, a device
    // may never end, and a file too large is refused without reading it.
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    uintmax_t expected = 0;
    if (fs::exists(status)) {
        if (fs::is_directory(status)) return failure(std::strerror(EISDIR));
        if (!fs::is_regular_file(status))
            return failure("Not a regular file (a device, pipe or socket); J3 reads files only");
        expected = fs::file_size(path, ec);
        if (!ec && expected > kMaxEntryBytes) return failure(kTooLarge);
    }
    FILE* f = std::fopen(path.string().c_str(), "rb");
    if (!f) return failure(std::strerror(errno));
    std::vector<uint8_t> buffer;
    if (!ec && expected <= kMaxEntryBytes) buffer.reserve(size_t(expected));
    uint8_t chunk[65536];
    size_t n;
    bool too_large = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (buffer.size() + n > kMaxEntryBytes) {
            too_large = true;
            break;
        }
        buffer.insert(buffer.end(), chunk, chunk + n);
    }
    const int read_errno = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (too_large) return failure(kTooLarge);
    if (read_errno) return failure(std::strerror(read_errno));
    data = std::move(buffer);
    return {};
}

Result read_item_file(const std::filesystem::path& path, std::vector<uint8_t>& data) {
    const std::string shown = path.string();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return failure("\"" + shown + "\" is a folder, not a file.");
    Result read = read_whole_file(path, data);
    if (!read) return failure("Could not open \"" + shown + "\": " + read.message + ".");
    return read;
}

Result map_item_file(const std::filesystem::path& path, EntryBytes& data) {
    const std::string shown = path.string();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return failure("\"" + shown + "\" is a folder, not a file.");
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size < kSmallestMappedItem) {
        std::vector<uint8_t> bytes;
        Result read = read_item_file(path, bytes);
        if (read) data = EntryBytes(std::move(bytes));
        return read;
    }
    auto file = std::make_shared<MappedFile>();
    Result mapped = map_file(path, *file);
    if (!mapped) return failure("Could not open \"" + shown + "\": " + mapped.message + ".");
    data = EntryBytes(std::move(file));
    return mapped;
}

namespace {

Result write_failure(const std::filesystem::path& path, const std::string& reason) {
    return failure("cannot write \"" + path.string() + "\": " + reason);
}

// Hands what the stream holds to the disk, so the rename that follows never
// puts an empty or partial file in the target's place after a crash.
bool flush_to_disk(FILE* f) {
    if (std::fflush(f) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return ::fsync(fileno(f)) == 0;
#endif
}

// Writes the pieces into an open stream (to the disk when sync is set) and
// closes it; the reason on failure.
Result write_and_close(FILE* f, const std::filesystem::path& path, const FilePieces& next,
                       bool sync) {
    bool written = true;
    for (std::span<const uint8_t> piece = next(); written && !piece.empty(); piece = next())
        written = std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
    written = written && (!sync || flush_to_disk(f));
    const int write_errno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written) return write_failure(path, std::strerror(write_errno));
    if (!closed) return write_failure(path, std::strerror(errno));
    return {};
}

}  // namespace

Result write_whole_file(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    bool given = false;
    return write_file_in_pieces(path, [&]() -> std::span<const uint8_t> {
        if (given || size == 0) return {};
        given = true;
        return {data, size};
    });
}

Result write_file_in_pieces(const std::filesystem::path& path, const FilePieces& next) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // A link is followed, so the file it names is replaced and the link stays.
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) target = std::move(resolved);
    }
    // A terminal, a pipe or a device (-o /dev/stdout) is written as it is:
    // renaming over it would replace the device's name, not fill it.
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        if (fs::is_directory(status)) return write_failure(path, "Is a directory");
        FILE* f = std::fopen(target.string().c_str(), "wb");
        if (!f) return write_failure(path, std::strerror(errno));
        return write_and_close(f, path, next, false);
    }

    // A name of its own in the same folder, so the rename replaces the file
    // in one step and two writers never share a temporary file.
    std::random_device random;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(random()));
    fs::path temporary = target;
    temporary += suffix;
    FILE* f = std::fopen(temporary.string().c_str(), "wb");
    if (!f) return write_failure(path, std::strerror(errno));
    if (Result written = write_and_close(f, path, next, true); !written) {
        fs::remove(temporary, ec);
        return written;
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(temporary, ec);
        return write_failure(path, reason);
    }
    return {};
}

void set_entry_data(FileEntry& entry, EntryBytes data) {
    entry.data = std::move(data);
    entry.type_tag.clear();
    entry.type_tag_valid = false;
}

size_t FileList::size() const {
    Lock lock(mutex_);
    return entries_.size();
}

std::optional<FileEntry> FileList::entry(uint32_t id) const {
    Lock lock(mutex_);
    if (id < 1 || id > entries_.size()) return std::nullopt;
    return entries_[id - 1];
}

std::vector<FileEntry> FileList::entries() const {
    Lock lock(mutex_);
    return entries_;
}

bool FileList::with_entry(uint32_t id, const std::function<void(FileEntry&)>& use) {
    Lock lock(mutex_);
    if (id < 1 || id > entries_.size()) return false;
    use(entries_[id - 1]);
    return true;
}

void FileList::with_entries(const std::function<void(std::vector<FileEntry>&)>& use) {
    Lock lock(mutex_);
    use(entries_);
}

std::vector<uint32_t> FileList::selected_ids() const {
    Lock lock(mutex_);
    return selected_ids_;
}

int32_t FileList::selected_count() const {
    Lock lock(mutex_);
    return int32_t(selected_ids_.size());
}

void FileList::set_selected_ids(std::vector<uint32_t> ids) {
    Lock lock(mutex_);
    selected_ids_ = std::move(ids);
}

std::vector<uint32_t> unsaved_entry_ids(const FileList& files) {
    const std::vector<FileEntry> entries = files.entries();
    std::vector<uint32_t> ids;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].unsaved) ids.push_back(uint32_t(i + 1));
    return ids;
}

uint32_t push_entry(FileList& list, FileEntry entry) {
    uint32_t id = 0;
    list.with_entries([&](std::vector<FileEntry>& entries) {
        entries.push_back(std::move(entry));
        id = uint32_t(entries.size());
    });
    return id;
}

void erase_entries(FileList& list, const std::vector<uint32_t>& ascending_ids) {
    list.with_entries([&](std::vector<FileEntry>& entries) {
        // From the highest position down, so the lower positions stay valid.
        for (auto it = ascending_ids.rbegin(); it != ascending_ids.rend(); ++it)
            entries.erase(entries.begin() + (*it - 1));
    });
}

}  // namespace j3
