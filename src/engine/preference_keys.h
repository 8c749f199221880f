// The keys of the preferences file and the readers of their values, shared
// by the file's mapping to the settings (engine/preferences.cpp) and the
// configuration window's values (engine/config_values.cpp). Nothing outside
// those two includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/plist_value.h"

namespace j3 {

struct Context;

// Keys of the file.
constexpr char kVersion[] = "Version";
constexpr char kSelectedIn[] = "Selected MIDI Interfaces In";
constexpr char kSelectedOut[] = "Selected MIDI Interfaces Out";
constexpr char kLocationX[] = "Location X";
constexpr char kLocationY[] = "Location Y";
constexpr char kWindowH[] = "Window H";
constexpr char kWindowW[] = "Window W";
constexpr char kTurboLimit[] = "Turbo limit";
constexpr char kSdsFormat[] = "SDS format";
constexpr char kReloadFiles[] = "Reload Files";
constexpr char kIgnoreHandshake[] = "Ignore Handshake";
constexpr char kSendFileName[] = "Send FileName";
constexpr char kExtendedSds[] = "Extended SDS";
constexpr char kDelay[] = "Delay";
constexpr char kDeviceNumber[] = "Device Number";
constexpr char kFileArray[] = "File Array";
// Beside the keys above: the chosen ports by name, and the window's normal
// frame with its maximised state.
constexpr char kSelectedInName[] = "Selected MIDI Interfaces In Name";
constexpr char kSelectedOutName[] = "Selected MIDI Interfaces Out Name";
constexpr char kWindowMaximized[] = "Window Maximized";
constexpr char kNormalX[] = "Normal Location X";
constexpr char kNormalY[] = "Normal Location Y";
constexpr char kNormalH[] = "Normal Window H";
constexpr char kNormalW[] = "Normal Window W";

int32_t clamp_to_int32(int64_t v);
// A text setting ("Delay", "Device Number") as a number; nullopt when v is
// missing or neither text nor an integer.
std::optional<int64_t> number_value(const PlistValue* v);
// A switch; an integer counts as on when not 0; fallback for anything else.
bool bool_value(const PlistValue* v, bool fallback);
// A text setting as shown; an integer is written out in decimal; fallback
// for anything else.
std::string text_value(const PlistValue* v, std::string_view fallback);
// The settings of a missing file: a fresh prefs_dict of version 1, the
// switches and the delay at their defaults, and an empty list
// (ctx.files is emptied).
void set_up_defaults(Context& ctx);

}  // namespace j3
