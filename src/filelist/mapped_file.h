// A file's bytes for a reader: mapped read-only, so its pages are the
// system's file cache (read when touched, dropped when memory runs short)
// and never a copy. A reader that looks only at headers touches only their
// pages.
//
//     MappedFile file;
//     if (const Result r = map_file(path, file); !r) ... r.message ...
//     parse(file.data, file.size);
//
// Where mapping is not possible (no mmap on the system, the system refuses,
// or every place for a mapping is taken) the bytes are read into memory the
// file owns instead.
//
// Another program may cut the file short while it is mapped; touching the
// lost pages would then raise SIGBUS. J3 keeps every mapping it makes in a
// small table its SIGBUS handler reads: a fault inside one of them puts zero
// pages in place of the whole mapping, so the reader goes on, and marks it
// changed (changed_on_disk), so whoever uses the bytes next can say so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
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
    int slot = -1;               // its place in the table the SIGBUS handler reads
    std::vector<uint8_t> owned;  // the bytes, when read instead

    // What the mapped file was when it was mapped, to tell a change in place.
    std::string path;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modified_ns = 0;
};

// Maps a whole regular file of less than 2 GiB; the same checks and messages
// as read_whole_file. On failure the file is left empty.
Result map_file(const std::filesystem::path& path, MappedFile& file);

// True when the file was mapped and has since changed under J3: it was cut
// short (a read met the lost pages and got zeros), or the same file on disk
// now has another size or time of change. Bytes read into memory never
// change; a file replaced by another of its name (a save through a rename)
// leaves the mapped one whole. Any thread.
bool changed_on_disk(const MappedFile& file);

// Only the first half of changed_on_disk: a read met pages lost when the file
// was cut short. One atomic load, for checks made often (each piece a send
// hands over). Any thread.
bool cut_short(const MappedFile& file);

}  // namespace j3
