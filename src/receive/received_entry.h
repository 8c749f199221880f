// Received entries: what a reception holds becomes one list entry, in memory
// only until the user saves it.
//
//   input thread:  ... chunks ... make_received_entry --post_to_gui--> add_received_entry
//                  (reception_internals.h: the reception's own)
//   GUI thread:    Save --> save_selected_entries (one dialog per selected entry)
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "filelist/file_entry.h"
#include "format/result.h"

namespace j3 {

struct Context;

// The name of a received entry (UTF-8, no folder). A sample dump that a name
// message named takes the message's four characters ("KIXÅ.wav"); any other
// entry is "Received data N" with N taken from counter, which then advances.
// The extension follows the format: ".wav" (2), ".aiff" (3), else ".syx".
// Characters that cannot stand in a file name become '_'.
std::string received_entry_name(bool sds_active, uint32_t pending_name, int32_t sds_format,
                                int32_t& counter);

// The name of a requested sample's dump that brought no name message:
// "Sample 5.syx", ".wav" or ".aiff" by the format.
std::string requested_sample_name(int32_t number, int32_t sds_format);

// GUI thread: appends the entry to the list, shows it and scrolls it into
// view; the selection stays as it is.
void add_received_entry(Context& ctx, FileEntry entry);

// Asks for the file an entry is saved to, proposing its name; nullopt when
// the user cancels. GUI thread.
using SavePathChooser =
    std::function<std::optional<std::filesystem::path>(const std::string& proposed_name)>;

struct SaveOutcome {
    int32_t saved = 0;       // entries written, each now pointing at its file
    bool cancelled = false;  // a dialog was cancelled; the entries after it were not offered
    Result result;           // a write that failed ended the sequence; its message
};

// The Save command with entries selected (after refresh_selection): one
// dialog per selected entry, in ascending order, each entry written whole
// (atomically) to the file chosen and then pointing at it. A cancel or a
// failed write ends the sequence; entries already saved keep their files. A
// running send is not disturbed. GUI thread.
SaveOutcome save_selected_entries(Context& ctx, const SavePathChooser& choose);

// Entries that were never saved (received or built), and one more while a
// reception holds bytes that are not an entry yet: what quitting would
// lose. GUI thread.
int32_t unsaved_item_count(Context& ctx);

}  // namespace j3
