#include "analysis/inventory_text.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "analysis/device_family.h"
#include "analysis/inventory.h"

namespace j3 {
namespace {

std::string format(const char* pattern, auto... values) {
    const int length = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(size_t(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}

std::string upgrade_text(const SysexInventory& inv, int32_t control_messages_wanted) {
    const bool intact = inv.upgrade_control == control_messages_wanted && !inv.upgrade_error;
    return intact ? "Sysex Upgrade" : "Sysex Upgrade (Broken!)";
}

std::string four_kind_text(const SysexInventory& inv) {
    const auto& n = inv.normal;
    const auto& b = inv.broken;
    return format(
        "Normal Globals: %i Kits: %i Patterns: %i Songs: %i \nBroken Globals: %i Kits: %i "
        "Patterns: %i Songs: %i",
        n[kGlobals], n[kKits], n[kPatterns], n[kSongs], b[kGlobals], b[kKits], b[kPatterns],
        b[kSongs]);
}

std::string six_kind_text(const SysexInventory& inv) {
    const auto& n = inv.normal;
    const auto& b = inv.broken;
    return format(
        "Normal Globals: %i Kits: %i Sounds: %i\n       Patterns: %i Songs: %i Settings: %i\n"
        "Broken Globals: %i Kits: %i Sounds: %i\n       Patterns: %i Songs: %i Settings: %i",
        n[kGlobals], n[kKits], n[kSounds], n[kPatterns], n[kSongs], n[kSettings], b[kGlobals],
        b[kKits], b[kSounds], b[kPatterns], b[kSongs], b[kSettings]);
}

}  // namespace

std::string analyse_kx_sysex(const uint8_t* data, size_t size) {
    const SysexInventory inv = take_sysex_inventory(data, size, kDeviceKx);
    if (inv.upgrade_data > 0) return upgrade_text(inv, 1);
    return four_kind_text(inv);
}

std::string analyse_ly_sysex(const uint8_t* data, size_t size) {
    const SysexInventory inv = take_sysex_inventory(data, size, kDeviceLy);
    if (inv.upgrade_data > 0) return upgrade_text(inv, 1);
    const int32_t normal_waves = inv.normal[kWaveforms];
    const int32_t broken_waves = inv.broken[kWaveforms];
    const bool any_waves = normal_waves + broken_waves > 0;
    bool any_blocks = false;
    for (BlockKind k : {kGlobals, kKits, kPatterns, kSongs}) {
        if (inv.normal[k] != 0 || inv.broken[k] != 0) any_blocks = true;
    }
    // A waveform-only buffer keeps an empty first part, so its text opens
    // with the line break.
    std::string text = (any_waves && !any_blocks) ? std::string() : four_kind_text(inv);
    if (!any_waves) return text;
    if (normal_waves == 1 && broken_waves == 0) {
        return format("%s\nZentrix waveform at position %i", text.c_str(), inv.waveform_slot + 1);
    }
    if (normal_waves == 0 && broken_waves == 1) {
        return format("%s\nZentrix waveform (broken)", text.c_str());
    }
    return format("%s\nNormal ZTRX waveforms: %i, broken ZTRX waveforms: %i", text.c_str(),
                  normal_waves, broken_waves);
}

std::optional<std::string> analyse_pw_sysex(const uint8_t* data, size_t size) {
    const SysexInventory inv = take_sysex_inventory(data, size, kDevicePw);
    if (inv.upgrade_data > 0) return upgrade_text(inv, 1);
    return std::nullopt;
}

std::string analyse_zb_sysex(const uint8_t* data, size_t size) {
    const SysexInventory inv = take_sysex_inventory(data, size, kDeviceZb);
    if (inv.upgrade_data > 0) return upgrade_text(inv, 2);
    return six_kind_text(inv);
}

std::string analyse_device07_sysex(const uint8_t* data, size_t size) {
    const SysexInventory inv = take_sysex_inventory(data, size, kDevice07);
    if (inv.upgrade_data > 0) return upgrade_text(inv, 2);
    return six_kind_text(inv);
}

std::string analyse_sds_dump(const uint8_t* data, size_t size) {
    const SdsDumpSummary s = summarise_sds_dump(data, size);
    if (s.broken_count == 1 && s.correct_dumps == 0) return "Broken sample dump.";
    if (s.correct_dumps == 1 && s.broken_count == 0) {
        const char* pattern =
            s.loop_type == 0x7F
                ? "Dump length: %d Sample Rate: %d\nBits: %d Loop OFF. Loop start: %d Loop end: %d"
                : "Dump length: %d Sample Rate: %d\nBits: %d Loop ON. Loop start: %d Loop end: %d";
        return format(pattern, s.length, s.sample_rate, s.bits, s.loop_start, s.loop_end);
    }
    return format("%i correct and %i broken sample dumps.", s.correct_dumps, s.broken_count);
}

}  // namespace j3
