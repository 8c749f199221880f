// The list of items: every file opened, dump received or waveform built is one
// FileEntry of the FileList. An item opened from a file holds a read-only
// mapping of it; received and built items own their bytes (entry_bytes.h).
// The commands that show the list in the window are in engine/list_commands.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/thread_annotations.h"
#include "filelist/entry_bytes.h"
#include "format/result.h"

namespace j3 {

struct FileEntry {
    std::string file;    // "File": full POSIX path, or a bare name for data made in memory (UTF-8)
    int32_t loop = 0;    // "Loop": LoopChoice
    int32_t stereo = 0;  // "Stereo": StereoChoice
    int32_t is_new = 0;  // "New": 1 when the data exists only in memory
    EntryBytes data;     // "Addr" and "Size": the whole item, owned or mapped
    // Received data or a built item that has not been written to a file yet;
    // quitting, Erase and opening a list ask before it is lost.
    bool unsaved = false;

    // The list's type tag, kept until the data changes (see set_entry_data).
    std::string type_tag;
    bool type_tag_valid = false;
};

// Replaces an entry's buffer and forgets what was derived from the old one.
void set_entry_data(FileEntry& entry, EntryBytes data);

// The list of items. The GUI thread (the command line's main and console
// threads) changes and reads it, the completion thread reads the item it is
// about to send: every look goes through these calls, which take the list's
// lock. Item id of the entry at position p is p + 1, always.
class FileList {
  public:
    size_t size() const;
    // A copy of the entry of id, its bytes shared; none when there is no such
    // entry.
    std::optional<FileEntry> entry(uint32_t id) const;
    // Copies of every entry, in id order.
    std::vector<FileEntry> entries() const;
    // Runs `use` on the entry of id under the lock (to change it, or to read
    // it without a copy); false when there is no such entry. `use` takes no
    // lock that comes before the list's (base/lock_order.h).
    bool with_entry(uint32_t id, const std::function<void(FileEntry&)>& use);
    // The same for the whole array, for changes of more than one entry.
    void with_entries(const std::function<void(std::vector<FileEntry>&)>& use);

    // The list view's selection, ascending ids (refresh_selection).
    std::vector<uint32_t> selected_ids() const;
    int32_t selected_count() const;
    void set_selected_ids(std::vector<uint32_t> ids);

  private:
    mutable Mutex mutex_{LockRank::kFileList};
    std::vector<FileEntry> entries_ J3_GUARDED_BY(mutex_);
    std::vector<uint32_t> selected_ids_ J3_GUARDED_BY(mutex_);
};

// Ids of the entries that were received or made and never saved, ascending.
std::vector<uint32_t> unsaved_entry_ids(const FileList& files);

// Appends an entry and returns its item id.
uint32_t push_entry(FileList& list, FileEntry entry);

// Removes the entries of the given ids (ascending, each valid).
void erase_entries(FileList& list, const std::vector<uint32_t>& ascending_ids);

// Items of 2 GiB or more are refused: sizes travel as 32-bit counts.
constexpr uint64_t kMaxEntryBytes = (uint64_t(1) << 31) - 1;

// Reads a whole regular file of less than 2 GiB into data. On failure data
// is left alone and the message holds the system's words ("No such file or
// directory", "Is a directory") or says the file is too large (known from its
// size, before reading) or no regular file (a FIFO, device or socket, which
// is never opened).
Result read_whole_file(const std::filesystem::path& path, std::vector<uint8_t>& data);

// Reads an item's file for the list: as read_whole_file, but a folder is
// refused by name and the message is a whole sentence naming the file.
Result read_item_file(const std::filesystem::path& path, std::vector<uint8_t>& data);

// Files below this are read: a copy costs less than a mapping's pages and its
// place in the mapping table.
constexpr size_t kSmallestMappedItem = 64 * 1024;

// Gives an item's file to the list: mapped read-only (mapped_file.h), or read
// when it is small or cannot be mapped; the checks and messages of
// read_item_file. On failure data is left alone.
Result map_item_file(const std::filesystem::path& path, EntryBytes& data);

// Writes size bytes as the whole file: into a temporary file beside it,
// renamed over it, so a failure never leaves half a file. A symbolic link is
// followed (the file it names is replaced); a terminal, pipe or device is
// written directly. The message names the file and the system's reason.
Result write_whole_file(const std::filesystem::path& path, const uint8_t* data, size_t size);

// As write_whole_file, for bytes made while they are written: `next` gives
// each piece in turn (valid until the next call), then an empty one.
using FilePieces = std::function<std::span<const uint8_t>()>;
Result write_file_in_pieces(const std::filesystem::path& path, const FilePieces& next);

}  // namespace j3
