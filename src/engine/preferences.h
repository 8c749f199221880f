// The preferences file: the user's settings, the chosen MIDI endpoints, the
// main window's bounds and the file list, kept in one XML property list in the
// user's preferences folder. Read once at start-up, written at quit. The
// command line never touches it. What the configuration window shows and
// takes back is in engine/config_values.h.
//
// Threads: everything here runs on the GUI thread, before any send starts or
// while none can change the settings it writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "format/result.h"

namespace j3 {

struct Context;

// The file's name inside the preferences folder.
constexpr char kPreferencesFileName[] = "org.j3.J3.plist";
// The largest file read and written (about 90,000 list entries); anything
// larger is not ours to read, and is never written.
constexpr uintmax_t kMaxPreferencesBytes = uintmax_t(32) << 20;

// What loading could not bring back, for the user to hear of.
struct LoadNotes {
    std::vector<std::string> files_not_found;   // dropped list entries: no such file
    std::vector<std::string> files_unreadable;  // dropped list entries: "path: why"
    std::vector<std::string> ports;             // "MIDI Out \"name\" is not connected."
};

// Reads the file into ctx.settings (prefs_dict included), chooses the stored
// endpoints (scan_midi must have run; a stored name wins over the stored
// position) and, with "Reload Files" on, reads the stored list's files again;
// entries whose file is gone or unreadable are dropped. notes, when given,
// gets what was dropped or is not connected. Says whether the file was used
// or the defaults were set up (no file, not a property list, "Version" other
// than 1, no "File Array"). A file that is there but refused is renamed aside
// (NAME.bad, replacing an older one) and the send status line says so.
enum class PreferencesLoad { kFromFile, kDefaults };
PreferencesLoad load_preferences(Context& ctx, const std::filesystem::path& file,
                                 LoadNotes* notes = nullptr);

// The status line's word for a stored port that is not there now, e.g.
// MIDI Out "name" is not connected.
std::string port_not_connected_text(bool source, const std::string& name);

// Stores the window bounds (ctx.settings.window_*, set by the caller) and the
// file list into prefs_dict and writes it: into a temporary file beside the
// target, renamed over it, so a crash never leaves half a file. Creates the
// folder when missing. The message says why the file was not written.
Result save_preferences(Context& ctx, const std::filesystem::path& file);

// Integer value of a decimal text: optional blanks and sign, then leading
// digits; 0 when there are none; saturated to the 32-bit range.
int32_t text_to_int(std::string_view text);

// The "Device Number" rule of loading: low 8 bits, 128 .. 255 become 0.
uint8_t device_number_from_stored(int64_t value);

}  // namespace j3
