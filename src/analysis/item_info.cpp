#include "analysis/item_info.h"

#include "analysis/device_family.h"
#include "analysis/inventory.h"
#include "engine/context.h"

namespace j3 {
namespace {

// The title a choice button shows for a stored value, as the Loop and Stereo
// commands show it: values above 2 show choice 0; negative values change no
// title (nullptr).
const char* choice_title(int32_t value, const char* const (&titles)[3]) {
    if (value < 0) return nullptr;
    return titles[value > 2 ? 0 : value];
}

constexpr const char* kLoopTitles[3] = {"Loop:File", "Loop On", "Loop Off"};
constexpr const char* kStereoTitles[3] = {"L + R", "Left", "Right"};

}  // namespace

ItemInfo item_info_for_buffer(const uint8_t* data, size_t size, SampleInfo& info) {
    ItemInfo result;
    const uint32_t present = device_ids_present(data, size);
    auto has = [present](DeviceId id) { return (present >> id) & 1; };
    if (has(kDeviceKx)) {
        result.text = analyse_kx_sysex(data, size);
    } else if (has(kDeviceLy)) {
        result.text = analyse_ly_sysex(data, size);
    } else if (has(kDevicePw)) {
        std::optional<std::string> text = analyse_pw_sysex(data, size);
        result.sets_text = text.has_value();
        if (text) result.text = std::move(*text);
    } else if (has(kDeviceZb)) {
        result.text = analyse_zb_sysex(data, size);
    } else if (has(kDevice07)) {
        result.text = analyse_device07_sysex(data, size);
    } else if (has(kDeviceVqr)) {
        result.text = "TALVOMATIC";
    } else if (is_audio_file(data, size)) {
        AudioInfoText audio = audio_info_text(data, size, info);
        result.text = std::move(audio.text);
        result.enable = audio.enable;
    } else if (is_sds_dump(data, size)) {
        result.text = analyse_sds_dump(data, size);
    }
    return result;
}

int show_item_info(Context& ctx, uint32_t item_id, int notification_kind) {
    if (notification_kind != kItemSelectedNotification) return 0;
    const std::vector<FileEntry>& entries = ctx.files.file_array;
    if (item_id == 0 || item_id > entries.size()) return 0;
    const FileEntry& entry = entries[item_id - 1];
    WindowControls& window = *ctx.window;

    window.enable_control(kLoopButton, false);
    window.enable_control(kStereoButton, false);
    window.enable_control(kWaveformButton, false);
    if (const char* title = choice_title(entry.loop, kLoopTitles)) {
        window.set_control_text(kLoopButton, title);
    }
    if (const char* title = choice_title(entry.stereo, kStereoTitles)) {
        window.set_control_text(kStereoButton, title);
    }

    const ItemInfo info =
        item_info_for_buffer(entry.data.data(), entry.data.size(), ctx.sample_info);
    if (info.sets_text) window.set_info_text(info.text);
    if (info.enable.loop) window.enable_control(kLoopButton, true);
    if (info.enable.stereo) window.enable_control(kStereoButton, true);
    if (info.enable.waveform) window.enable_control(kWaveformButton, true);
    return 0;
}

}  // namespace j3
