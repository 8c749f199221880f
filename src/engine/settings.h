// The user's settings, as loaded from and saved to the preferences file.
// Written on the GUI thread (start-up, configuration window); the fields the
// completion and input threads read while a transfer runs are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "format/item_choices.h"
#include "format/plist_value.h"

namespace j3 {

struct Settings {
    // The preferences as they will be written at quit (engine/preferences.h);
    // GUI thread only. "File Array" is taken from the file list when saving.
    PlistValue prefs_dict;
    int32_t selected_in = 0;   // "Selected MIDI Interfaces In": 1-based source, 0 = none
    int32_t selected_out = 0;  // "Selected MIDI Interfaces Out": 1-based destination, 0 = none
    // Display names of the chosen endpoints, so a choice survives ports that
    // come and go before it ("Selected MIDI Interfaces In Name" / "Out Name");
    // empty = none stored. Kept while the port is absent, so it is chosen
    // again once it is back.
    std::string selected_in_name;
    std::string selected_out_name;
    // Main window structure bounds. A loaded file without the key gives -1;
    // a negative x or y centres the window, a width or height <= 0 means the default.
    int32_t window_x = 0;  // "Location X"
    int32_t window_y = 0;  // "Location Y"
    int32_t window_w = 0;  // "Window W"
    int32_t window_h = 0;  // "Window H"
    // The frame the window has when not maximised, and whether it was
    // maximised at quit ("Window Maximized", "Normal Location X" ...). The
    // four above hold the frame as it was at quit, maximised or not.
    bool window_maximized = false;
    int32_t normal_x = -1, normal_y = -1, normal_w = -1, normal_h = -1;
    int32_t turbo_limit = 11;  // "Turbo limit", 0 .. 11: highest speed index to ask for
    // "SDS format", 0 .. 4: how received sample dumps are stored. The input
    // thread reads it while the configuration window may change it: go
    // through load_sds_format / store_sds_format.
    int32_t sds_format = 1;
    bool reload_files = false;                 // "Reload Files"
    std::atomic<bool> ignore_handshake{true};  // "Ignore Handshake"
    std::atomic<bool> send_filename{false};    // "Send FileName"
    std::atomic<bool> extended_sds{false};     // "Extended SDS"
    std::atomic<int32_t> send_delay{0};        // "Delay", ticks of 1/60 s, >= 0 (stored as text)
    std::atomic<uint8_t> device_number{0};     // "Device Number", 0 .. 127 (stored as text)
};

// "SDS format" without a data race against the input thread that reads it.
inline int32_t load_sds_format(Settings& s) {
    return std::atomic_ref<int32_t>(s.sds_format).load(std::memory_order_relaxed);
}
inline void store_sds_format(Settings& s, int32_t format) {
    std::atomic_ref<int32_t>(s.sds_format).store(format, std::memory_order_relaxed);
}

constexpr int32_t kTurboLimitMax = 11;
constexpr int32_t kSdsFormatMax = 4;

}  // namespace j3
