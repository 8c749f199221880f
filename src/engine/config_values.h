// The configuration window's values: what it shows when it opens, read from
// the settings, and how its OK takes them back into the settings and the
// stored preferences (prefs_dict, written at quit by engine/preferences.h).
//
// Threads: everything here runs on the GUI thread.
#pragma once

#include <cstdint>
#include <string>

namespace j3 {

struct Context;

// The configuration window's turbo popup (items 1 .. 8) against the speed
// index limit (0 .. 11).
int32_t turbo_menu_to_limit(int32_t item);   // item 0 (no item) gives 0
int32_t limit_to_turbo_menu(int32_t limit);  // out of range gives item 1
constexpr int kTurboMenuItems = 8;

// What the configuration window shows when it opens and takes on OK.
struct ConfigValues {
    int32_t selected_in = 0;         // source list (103), 0 = none selected
    int32_t selected_out = 0;        // destination list (104)
    bool reload_files = false;       // 105
    std::string delay_text;          // 106
    int32_t turbo_item = 1;          // 107, 1 .. 8
    bool handshake = false;          // 108: checked = the receiver's replies are awaited
    std::string device_number_text;  // 109
    int32_t sds_format_item = 1;     // 110, 1 .. 4
    bool send_filename = false;      // 111
    bool extended_sds = false;       // 112
    // A stored port that is not there now: its name is kept on OK while the
    // list has nothing selected, so it is chosen again once it is back.
    std::string absent_in_name;
    std::string absent_out_name;
};

// Opening (after the rescan): re-reads the settings the window edits from
// prefs_dict (so a window closed without OK leaves them as stored) and
// returns what to show; the endpoints are found by their stored names.
ConfigValues open_config_values(Context& ctx);

// OK: chooses the endpoints (the previous source is disconnected first), takes
// every value into ctx.settings and stores it in prefs_dict. The caller then
// renegotiates the speed.
void apply_config_values(Context& ctx, const ConfigValues& values);

}  // namespace j3
