// The file list as the window shows it: adding, removing and selecting
// entries, with the list view kept in step. GUI thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

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

// Rebuilds selected_ids and selected_count from the list view and returns the
// count. Resets the send queue position unless a send is running.
int32_t refresh_selection(Context& ctx);

// The Erase command: removes every selected entry and renumbers the list view.
// Does nothing while a send runs (or the service still holds its last
// request) or when nothing is selected.
void remove_selected_entries(Context& ctx);

// Removes every entry and empties the list view; not while sending (nor while
// the service still holds the last request).
void remove_all_entries(Context& ctx);

// The entry's type tag (the list's TYPE column), computed once and kept in
// the entry until set_entry_data replaces its buffer. The view stays valid
// until the entry's data changes.
std::string_view entry_type_tag(FileEntry& entry);
// For a const entry: the kept tag when there is one, else computed afresh
// (nothing is stored).
std::string_view entry_type_tag(const FileEntry& entry);

}  // namespace j3
