// The list of items: every file read, dump received or waveform built is one
// FileEntry of file_array, and each owns its data buffer until it is removed.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace j3 {

struct Context;

struct FileEntry {
    std::string file;    // "File": full POSIX path, or a bare name for data made in memory (UTF-8)
    int32_t loop = 0;    // "Loop": LoopChoice
    int32_t stereo = 0;  // "Stereo": StereoChoice
    int32_t is_new = 0;  // "New": 1 when the data exists only in memory
    std::vector<uint8_t> data;  // "Addr" and "Size": the whole item

    // The list's type tag, kept until the data changes (see set_entry_data).
    std::string type_tag;
    bool type_tag_valid = false;
};

// Replaces an entry's buffer and forgets what was derived from the old one.
void set_entry_data(FileEntry& entry, std::vector<uint8_t> data);

struct FileList {
    // Item id of the entry at position p is p + 1, always.
    std::vector<FileEntry> file_array;
    // Changes of file_array are made on the GUI thread under this lock; the
    // completion thread takes it to read the entry it is about to send. The
    // GUI thread may read without it.
    mutable std::mutex mutex;

    // The list view's selection, rebuilt by refresh_selection: ascending ids.
    std::vector<uint32_t> selected_ids;
    std::atomic<int32_t> selected_count{0};
};

// Items of 2 GiB or more are refused: sizes travel as 32-bit counts.
constexpr uint64_t kMaxEntryBytes = (uint64_t(1) << 31) - 1;

// Reads a whole file of less than 2 GiB into data. On failure data is left
// alone and reason holds the system's words ("No such file or directory",
// "Is a directory") or says the file is too large.
bool read_whole_file(const std::filesystem::path& path, std::vector<uint8_t>& data,
                     std::string& reason);

struct AddFileResult {
    bool ok = false;
    std::string message;  // why the file was not added, for the user
};

// Reads the file whole. With existing == nullptr a new entry is appended, shown
// and, when nothing was selected, selected and scrolled into view. With an
// existing entry only its data is replaced. A file that cannot be read (or is
// too large) changes nothing. GUI thread.
AddFileResult add_file_entry(Context& ctx, const std::filesystem::path& path, FileEntry* existing);

// Rebuilds selected_ids and selected_count from the list view and returns the
// count. Resets the send queue position unless a send is running. GUI thread.
int32_t refresh_selection(Context& ctx);

// The Erase command: removes every selected entry and renumbers the list view.
// Does nothing while a send runs or when nothing is selected. GUI thread.
void remove_selected_entries(Context& ctx);

// Removes every entry and empties the list view. GUI thread; not while sending.
void remove_all_entries(Context& ctx);

// Appends an entry made in memory and shows it (received data, built items).
// GUI thread.
void append_entry(Context& ctx, FileEntry entry);

}  // namespace j3
