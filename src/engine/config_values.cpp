#include "engine/config_values.h"

#include <array>
#include <string>
#include <vector>

#include "engine/context.h"
#include "engine/preference_keys.h"
#include "engine/preferences.h"

namespace j3 {
namespace {

// Names the chosen endpoint by its display name; empty for none.
std::string chosen_name(const std::vector<std::string>& names, int32_t position) {
    return position >= 1 && size_t(position) <= names.size() ? names[size_t(position) - 1]
                                                             : std::string();
}

}  // namespace

int32_t turbo_menu_to_limit(int32_t item) {
    static constexpr std::array<int32_t, kTurboMenuItems + 1> kLimits = {0, 11, 7, 6, 5,
                                                                         4, 3,  2, 1};
    return item >= 0 && item <= kTurboMenuItems ? kLimits[size_t(item)] : 0;
}

int32_t limit_to_turbo_menu(int32_t limit) {
    static constexpr std::array<int32_t, kTurboLimitMax + 1> kItems = {8, 8, 7, 6, 5, 4,
                                                                       3, 2, 1, 1, 1, 1};
    return limit >= 0 && limit <= kTurboLimitMax ? kItems[size_t(limit)] : 1;
}

ConfigValues open_config_values(Context& ctx) {
    Settings& s = ctx.settings;
    const PlistValue& d = s.prefs_dict;
    ConfigValues v;
    // The scan that opened the window may have moved the ports: the stored
    // names find them.
    const MidiEndpoints& e = ctx.endpoints;
    v.selected_in = position_for_name(e.source_names, s.selected_in, s.selected_in_name);
    v.selected_out = position_for_name(e.destination_names, s.selected_out, s.selected_out_name);
    if (v.selected_in == 0) v.absent_in_name = s.selected_in_name;
    if (v.selected_out == 0) v.absent_out_name = s.selected_out_name;
    v.turbo_item = limit_to_turbo_menu(s.turbo_limit);
    // 0 names no format (only a stored file can hold it); the popup shows the
    // first format, as reception treats 0.
    v.sds_format_item = s.sds_format >= 1 && s.sds_format <= kSdsFormatMax ? s.sds_format : 1;

    s.reload_files = bool_value(d.find(kReloadFiles), false);
    s.ignore_handshake = bool_value(d.find(kIgnoreHandshake), true);
    s.send_filename = bool_value(d.find(kSendFileName), false);
    s.extended_sds = bool_value(d.find(kExtendedSds), false);
    v.reload_files = s.reload_files;
    v.handshake = !s.ignore_handshake;
    v.send_filename = s.send_filename;
    v.extended_sds = s.extended_sds;

    const int64_t delay = number_value(d.find(kDelay)).value_or(0);
    s.send_delay = delay < 0 ? 0 : clamp_to_int32(delay);
    v.delay_text = text_value(d.find(kDelay), "0");
    s.device_number = device_number_from_stored(number_value(d.find(kDeviceNumber)).value_or(0));
    v.device_number_text = text_value(d.find(kDeviceNumber), "0");
    return v;
}

void apply_config_values(Context& ctx, const ConfigValues& v) {
    Settings& s = ctx.settings;
    if (!s.prefs_dict.is_dict()) set_up_defaults(ctx);
    PlistValue& d = s.prefs_dict;

    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, v.selected_in, false);
    ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, v.selected_out, false);
    d.set(kSelectedIn, PlistValue::make_int(s.selected_in));
    d.set(kSelectedOut, PlistValue::make_int(s.selected_out));
    s.selected_in_name = s.selected_in != 0 ? chosen_name(ctx.endpoints.source_names, s.selected_in)
                                            : v.absent_in_name;
    s.selected_out_name = s.selected_out != 0
                              ? chosen_name(ctx.endpoints.destination_names, s.selected_out)
                              : v.absent_out_name;
    d.set(kSelectedInName, PlistValue::make_string(s.selected_in_name));
    d.set(kSelectedOutName, PlistValue::make_string(s.selected_out_name));

    s.reload_files = v.reload_files;
    d.set(kReloadFiles, PlistValue::make_bool(s.reload_files));

    s.ignore_handshake = !v.handshake;
    s.send_filename = v.send_filename;
    s.extended_sds = v.extended_sds;
    d.set(kIgnoreHandshake, PlistValue::make_bool(s.ignore_handshake));
    d.set(kSendFileName, PlistValue::make_bool(s.send_filename));
    d.set(kExtendedSds, PlistValue::make_bool(s.extended_sds));

    d.set(kDelay, PlistValue::make_string(v.delay_text));
    const int32_t delay = text_to_int(v.delay_text);
    s.send_delay = delay < 0 ? 0 : delay;

    d.set(kDeviceNumber, PlistValue::make_string(v.device_number_text));
    const int32_t device = text_to_int(v.device_number_text);
    s.device_number = uint8_t(device >= 128 ? 127 : device < 0 ? 0 : device);

    s.turbo_limit = turbo_menu_to_limit(v.turbo_item);
    store_sds_format(s, v.sds_format_item);
    d.set(kTurboLimit, PlistValue::make_int(s.turbo_limit));
    d.set(kSdsFormat, PlistValue::make_int(s.sds_format));
}

}  // namespace j3
