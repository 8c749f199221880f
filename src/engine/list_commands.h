// The file list as the window shows it: adding, removing and selecting
// entries, with the list view kept in step. GUI thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_entry.h"
#include "format/result.h"

namespace j3 {

struct Context;

// Reads the file whole. With existing == nullptr a new entry is appended, shown
// and, when nothing was selected, selected and scrolled into view. With an
// existing entry only its data is replaced. A file that cannot be read (or is
// too large) changes nothing; the message says why, for the user.
Result add_file_entry(Context& ctx, const std::filesystem::path& path, FileEntry* existing);

// Appends an entry made in memory and shows it (received data, built items).
void append_entry(Context& ctx, FileEntry entry);

// Rebuilds the list's selection (FileList::selected_ids) from the list view and returns the
// count. Resets the send queue position unless a send is running.
int32_t refresh_selection(Context& ctx);

// The Erase command: removes every selected entry and renumbers the list view.
// Does nothing while a send runs (or the service still holds its last
// request) or when nothing is selected.
void remove_selected_entries(Context& ctx);

// Removes every entry and empties the list view; not while sending (nor while
// the service still holds the last request).
void remove_all_entries(Context& ctx);

// True while the list must stay as it is: a send runs, or the MIDI service
// still holds a request that points into an entry's data. Loading a list and
// drops on the list are refused then.
bool list_in_use(const Context& ctx);

// What opening a file list did.
struct ListLoad {
    bool is_list = false;  // the file is a file list (loaded, or refused as a whole)
    bool loaded = false;   // the list was replaced by the file's entries
    // For the user: why nothing was loaded, or which entries were left out.
    std::vector<std::string> problems;
};

// Opens a list file: the sample number goes to its field and the whole list
// is replaced by the file's entries, each read again from its file with its
// Loop and Stereo choice. Entries whose file cannot be read are left out and
// named in problems; the others still load, in order. A file that is not a
// list, or a list of a later version, changes nothing; so does any list while
// list_in_use.
//
// Entries that were never saved would be lost with the list: may_replace
// (when given) is asked first, only then, and a false answer changes nothing.
using ReplaceCheck = std::function<bool()>;
ListLoad load_file_list(Context& ctx, const std::filesystem::path& list_file,
                        const ReplaceCheck& may_replace = {});

// Appends the entries of a list file after the present ones, each read from
// its file with its own Loop and Stereo choice (the command line's send).
// Changes nothing and says why when the file is no readable list or an
// entry's file cannot be read.
Result append_file_list(Context& ctx, const std::filesystem::path& list_file);

// Where the paths come from, which decides what a list file among them does.
enum class FilesFrom {
    kOpenDialog,  // a list file is opened and the paths after it still count
    kDrop,        // a list file is opened and ends the drop; folders are skipped
};

struct FilesTaken {
    bool ended_at_list = false;  // a dropped list file was opened: the drop is refused
    std::vector<std::string> problems;
};

// Takes files the user chose or dropped, in their order: a path without an
// extension is named in problems and left out, a ".j3" (any case) is opened as
// a list (never added as an item; one that is not a list is skipped), any
// other file is added as an item. may_replace is load_file_list's.
FilesTaken take_files(Context& ctx, const std::vector<std::filesystem::path>& paths, FilesFrom from,
                      const ReplaceCheck& may_replace = {});

// The entry's type tag (the list's TYPE column), computed once and kept in
// the entry until set_entry_data replaces its buffer. The view stays valid
// until the entry's data changes.
std::string_view entry_type_tag(FileEntry& entry);
// For a const entry: the kept tag when there is one, else computed afresh
// (nothing is stored).
std::string_view entry_type_tag(const FileEntry& entry);

}  // namespace j3
