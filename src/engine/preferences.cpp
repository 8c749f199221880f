#include "engine/preferences.h"

#include <cstdio>
#include <fstream>
#include <limits>
#include <system_error>
#include <vector>

#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/preference_keys.h"
#include "format/plist_file.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using Type = PlistValue::Type;

// Keys of one list entry.
constexpr char kEntryFile[] = "File";
constexpr char kEntryLoop[] = "Loop";
constexpr char kEntryStereo[] = "Stereo";
constexpr char kEntryNew[] = "New";
constexpr char kEntrySize[] = "Size";
constexpr char kEntryAddr[] = "Addr";

// The longest path an entry may name.
constexpr size_t kMaxPathBytes = 1024;

// The integer under key, or nullopt when missing or not an integer.
std::optional<int64_t> int_value(const PlistValue& dict, std::string_view key) {
    const PlistValue* v = dict.find(key);
    if (!v || v->type != Type::kInteger) return std::nullopt;
    return v->integer;
}

// Adds key with value unless present; returns the stored value.
const PlistValue& ensure(PlistValue& dict, std::string_view key, PlistValue value) {
    if (!dict.find(key)) dict.set(key, std::move(value));
    return *dict.find(key);
}

int32_t choice_value(const PlistValue& entry, std::string_view key) {
    auto v = int_value(entry, key);
    // Loop and Stereo are 0, 1 or 2; anything else in a damaged file means
    // "as the file says" / "both channels".
    return v && *v >= 0 && *v <= 2 ? int32_t(*v) : 0;
}

bool read_file(const fs::path& file, std::vector<uint8_t>& bytes) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(file, ec);
    if (ec || size == 0 || size > kMaxPreferencesBytes) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.resize(size_t(size));
    return bool(in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)));
}

// Reads the stored entries' files again, from the last entry to the first,
// dropping those whose file is gone. Data made in memory (received dumps,
// built waveforms) was never written, so entries without a full path go too.
std::vector<FileEntry> reload_entries(Context& ctx, const PlistValue& stored, LoadNotes& notes) {
    std::vector<FileEntry> entries;
    std::vector<std::string> not_found, unreadable;
    for (auto it = stored.items.rbegin(); it != stored.items.rend(); ++it) {
        const PlistValue& e = *it;
        const PlistValue* file = e.find(kEntryFile);
        if (!file || file->type != Type::kString || file->string.empty() ||
            file->string.size() >= kMaxPathBytes) {
            continue;
        }
        const fs::path path(file->string);
        if (!path.is_absolute()) {
            not_found.push_back(file->string);
            continue;
        }
        FileEntry entry;
        entry.file = file->string;
        entry.loop = choice_value(e, kEntryLoop);
        entry.stereo = choice_value(e, kEntryStereo);
        entry.is_new = int_value(e, kEntryNew).value_or(0) != 0;
        if (const Result r = add_file_entry(ctx, path, &entry); !r.ok) {
            std::error_code ec;
            if (fs::exists(path, ec)) {
                unreadable.push_back(file->string + ": " + r.message);
            } else {
                not_found.push_back(file->string);
            }
            continue;
        }
        entries.push_back(std::move(entry));
    }
    // In list order, as the entries.
    notes.files_not_found.assign(not_found.rbegin(), not_found.rend());
    notes.files_unreadable.assign(unreadable.rbegin(), unreadable.rend());
    return {std::make_move_iterator(entries.rbegin()), std::make_move_iterator(entries.rend())};
}

std::string string_value(const PlistValue& dict, std::string_view key) {
    const PlistValue* v = dict.find(key);
    return v && v->type == Type::kString ? v->string : std::string();
}

PlistValue entry_dict(const FileEntry& e) {
    PlistValue d = PlistValue::make_dict();
    d.set(kEntryFile, PlistValue::make_string(e.file));
    d.set(kEntryLoop, PlistValue::make_int(e.loop));
    d.set(kEntryStereo, PlistValue::make_int(e.stereo));
    d.set(kEntryNew, PlistValue::make_int(e.is_new));
    d.set(kEntrySize, PlistValue::make_int(int64_t(e.data.size())));
    // Entries own their buffers; no memory address is ever written to disk.
    d.set(kEntryAddr, PlistValue::make_int(0));
    return d;
}

}  // namespace

int32_t clamp_to_int32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return int32_t(v);
}

// A text setting ("Delay", "Device Number") as a number; a file written by
// hand may hold an integer instead, which is taken as it is.
std::optional<int64_t> number_value(const PlistValue* v) {
    if (!v) return std::nullopt;
    if (v->type == Type::kString) return text_to_int(v->string);
    if (v->type == Type::kInteger) return v->integer;
    return std::nullopt;
}

bool bool_value(const PlistValue* v, bool fallback) {
    if (!v) return fallback;
    if (v->type == Type::kBoolean) return v->boolean;
    if (v->type == Type::kInteger) return v->integer != 0;
    return fallback;
}

std::string text_value(const PlistValue* v, std::string_view fallback) {
    if (v && v->type == Type::kString) return v->string;
    if (v && v->type == Type::kInteger) return std::to_string(v->integer);
    return std::string(fallback);
}

void set_up_defaults(Context& ctx) {
    Settings& s = ctx.settings;
    s.prefs_dict = PlistValue::make_dict();
    s.prefs_dict.set(kVersion, PlistValue::make_int(1));
    s.prefs_dict.set(kReloadFiles, PlistValue::make_bool(false));
    s.prefs_dict.set(kIgnoreHandshake, PlistValue::make_bool(true));
    s.prefs_dict.set(kDelay, PlistValue::make_string("0"));
    s.prefs_dict.set(kFileArray, PlistValue::make_array());
    s.reload_files = false;
    s.ignore_handshake = true;
    s.send_delay = 0;
    ctx.files.with_entries([](std::vector<FileEntry>& entries) { entries.clear(); });
}

int32_t text_to_int(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1) break;
    }
    return clamp_to_int32(negative ? -v : v);
}

uint8_t device_number_from_stored(int64_t value) {
    const uint8_t low = uint8_t(uint64_t(value) & 0xFF);
    return low >= 128 ? 0 : low;
}

std::string port_not_connected_text(bool source, const std::string& name) {
    return std::string(source ? "MIDI In" : "MIDI Out") + " \"" + name + "\" is not connected.";
}

// A file that is there but cannot be used is moved aside, so the defaults
// written at quit never replace what the user may still want, and the
// status line says so.
void put_aside(Context& ctx, const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return;
    fs::path aside = file;
    aside += ".bad";
    fs::rename(file, aside, ec);
    std::string text = "The preferences file could not be read";
    text += ec ? " (and not be moved aside: " + ec.message() + ")"
               : "; it was kept as " + aside.filename().string();
    text += ". The defaults are used.";
    ctx.window->set_send_status(text);
}

namespace {

// Step 3 of load_preferences: endpoints, taken only within the scanned
// counts. A stored number beyond 32 bits is out of range as well.
void load_endpoints(Context& ctx, const PlistValue& d, LoadNotes& notes) {
    Settings& s = ctx.settings;
    auto position = [](std::optional<int64_t> v) {
        return v && *v >= 0 && *v <= std::numeric_limits<int32_t>::max() ? int32_t(*v) : -1;
    };
    // A stored name, when there is one, finds the port wherever the list
    // has it now; a name that is not listed chooses none.
    s.selected_in_name = string_value(d, kSelectedInName);
    s.selected_out_name = string_value(d, kSelectedOutName);
    const MidiEndpoints& e = ctx.endpoints;
    if (auto in = int_value(d, kSelectedIn)) {
        const int32_t p = position_for_name(e.source_names, position(in), s.selected_in_name);
        ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, p, true);
    }
    if (auto out = int_value(d, kSelectedOut)) {
        const int32_t p =
            position_for_name(e.destination_names, position(out), s.selected_out_name);
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, p, true);
    }
    if (!s.selected_out_name.empty() && s.selected_out == 0)
        notes.ports.push_back(port_not_connected_text(false, s.selected_out_name));
    if (!s.selected_in_name.empty() && s.selected_in == 0)
        notes.ports.push_back(port_not_connected_text(true, s.selected_in_name));
}

// Step 4: window bounds, -1 when missing.
void load_window_bounds(Settings& s, const PlistValue& d) {
    s.window_x = clamp_to_int32(int_value(d, kLocationX).value_or(-1));
    s.window_y = clamp_to_int32(int_value(d, kLocationY).value_or(-1));
    s.window_h = clamp_to_int32(int_value(d, kWindowH).value_or(-1));
    s.window_w = clamp_to_int32(int_value(d, kWindowW).value_or(-1));
    s.window_maximized = bool_value(d.find(kWindowMaximized), false);
    s.normal_x = clamp_to_int32(int_value(d, kNormalX).value_or(-1));
    s.normal_y = clamp_to_int32(int_value(d, kNormalY).value_or(-1));
    s.normal_h = clamp_to_int32(int_value(d, kNormalH).value_or(-1));
    s.normal_w = clamp_to_int32(int_value(d, kNormalW).value_or(-1));
}

// Steps 5 to 8: ranges, switches and the numbers kept as text. A missing
// switch or number is added to d with its default.
void load_values(Settings& s, PlistValue& d) {
    // 5. Ranges.
    if (auto t = int_value(d, kTurboLimit)) {
        s.turbo_limit = *t >= 0 && *t <= kTurboLimitMax ? int32_t(*t) : kTurboLimitMax;
    }
    if (auto f = int_value(d, kSdsFormat)) {
        store_sds_format(s, *f >= 0 && *f <= kSdsFormatMax ? int32_t(*f) : 0);
    }

    // 6. Switches; a missing one is added with its default.
    s.reload_files = bool_value(&ensure(d, kReloadFiles, PlistValue::make_bool(false)), false);
    s.ignore_handshake =
        bool_value(&ensure(d, kIgnoreHandshake, PlistValue::make_bool(true)), true);
    s.send_filename = bool_value(&ensure(d, kSendFileName, PlistValue::make_bool(false)), false);
    s.extended_sds = bool_value(&ensure(d, kExtendedSds, PlistValue::make_bool(false)), false);

    // 7, 8. The two numbers kept as text.
    const int64_t delay =
        number_value(&ensure(d, kDelay, PlistValue::make_string("0"))).value_or(0);
    s.send_delay = delay < 0 ? 0 : clamp_to_int32(delay);
    s.device_number = device_number_from_stored(
        number_value(&ensure(d, kDeviceNumber, PlistValue::make_string("0"))).value_or(0));
}

}  // namespace

PreferencesLoad load_preferences(Context& ctx, const fs::path& file, LoadNotes* notes_out) {
    Settings& s = ctx.settings;
    LoadNotes scratch;
    LoadNotes& notes = notes_out ? *notes_out : scratch;

    // 1, 2. A readable property list whose root is a dictionary of version 1.
    std::vector<uint8_t> bytes;
    std::optional<PlistValue> root;
    if (read_file(file, bytes)) root = parse_plist_xml(bytes.data(), bytes.size());
    if (!root || !root->is_dict() || int_value(*root, kVersion) != 1) {
        put_aside(ctx, file);
        set_up_defaults(ctx);
        return PreferencesLoad::kDefaults;
    }
    s.prefs_dict = std::move(*root);
    PlistValue& d = s.prefs_dict;

    // 3. Endpoints.
    load_endpoints(ctx, d, notes);
    // 4. Window bounds.
    load_window_bounds(s, d);
    // 5 to 8. Ranges, switches and the numbers kept as text.
    load_values(s, d);

    // 9. The list.
    const PlistValue* stored = d.find(kFileArray);
    if (!stored || stored->type != Type::kArray) {
        put_aside(ctx, file);
        set_up_defaults(ctx);
        return PreferencesLoad::kDefaults;
    }
    std::vector<FileEntry> entries;
    if (s.reload_files) entries = reload_entries(ctx, *stored, notes);
    const size_t count = entries.size();
    ctx.files.with_entries([&](std::vector<FileEntry>& list) { list = std::move(entries); });
    ctx.window->list_remove_all();
    for (size_t i = 0; i < count; ++i) ctx.window->list_add_item(uint32_t(i + 1));
    // The list's copy in the dictionary is rebuilt from the entries when saving.
    d.set(kFileArray, PlistValue::make_array());
    return PreferencesLoad::kFromFile;
}

Result save_preferences(Context& ctx, const fs::path& file) {
    Settings& s = ctx.settings;
    if (!s.prefs_dict.is_dict()) set_up_defaults(ctx);
    PlistValue& d = s.prefs_dict;
    d.set(kLocationX, PlistValue::make_int(s.window_x));
    d.set(kLocationY, PlistValue::make_int(s.window_y));
    d.set(kWindowH, PlistValue::make_int(s.window_h));
    d.set(kWindowW, PlistValue::make_int(s.window_w));
    d.set(kWindowMaximized, PlistValue::make_bool(s.window_maximized));
    d.set(kNormalX, PlistValue::make_int(s.normal_x));
    d.set(kNormalY, PlistValue::make_int(s.normal_y));
    d.set(kNormalH, PlistValue::make_int(s.normal_h));
    d.set(kNormalW, PlistValue::make_int(s.normal_w));
    PlistValue list = PlistValue::make_array();
    for (const FileEntry& e : ctx.files.entries()) list.items.push_back(entry_dict(e));
    d.set(kFileArray, std::move(list));

    const std::optional<std::string> xml = plist_xml_text(d);
    if (!xml) return failure("the settings could not be written as a property list");
    // Nothing is written that the next start would refuse; the file as it was
    // stays.
    if (xml->size() > kMaxPreferencesBytes)
        return failure("the list is too long to be kept: " + std::to_string(xml->size() >> 20) +
                       " MB of preferences, more than the " +
                       std::to_string(kMaxPreferencesBytes >> 20) + " MB that are read back");

    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    return write_whole_file(file, reinterpret_cast<const uint8_t*>(xml->data()), xml->size());
}

}  // namespace j3
