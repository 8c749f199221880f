// A file's bytes for a command that only reads them: mapped read-only, so
// its pages are the system's file cache (read when touched, dropped when
// memory runs short) and never a copy. A reader that looks only at headers
// touches only their pages.
//
//     MappedFile file;
//     if (const Result r = map_file(path, file); !r) ... r.message ...
//     parse(file.data, file.size);
//
// Where mapping is not possible (no mmap on the system, or the system
// refuses) the bytes are read into memory the file owns instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "format/result.h"

namespace j3 {

struct MappedFile {
    const uint8_t* data = nullptr;  // size bytes; nullptr for an empty file
    size_t size = 0;

    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    void* mapping = nullptr;     // the mapping to release, when mapped
    std::vector<uint8_t> owned;  // the bytes, when read instead
};

// Maps a whole regular file of less than 2 GiB; the same checks and messages
// as read_whole_file. On failure the file is left empty.
Result map_file(const std::filesystem::path& path, MappedFile& file);

}  // namespace j3
