#include "analysis/item_info.h"

#include "analysis/device_family.h"
#include "analysis/inventory.h"
#include "engine/context.h"
#include "engine/item_buttons.h"

namespace j3 {
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

    enable_item_button(ctx, kLoopButton, false);
    enable_item_button(ctx, kStereoButton, false);
    enable_item_button(ctx, kWaveformButton, false);
    set_loop_button(ctx, entry.loop, 0);
    set_stereo_button(ctx, entry.stereo, 0);

    const ItemInfo info =
        item_info_for_buffer(entry.data.data(), entry.data.size(), ctx.sample_info);
    if (info.sets_text) ctx.window->set_info_text(info.text);
    if (info.enable.loop) enable_item_button(ctx, kLoopButton, true);
    if (info.enable.stereo) enable_item_button(ctx, kStereoButton, true);
    if (info.enable.waveform) enable_item_button(ctx, kWaveformButton, true);
    return 0;
}

}  // namespace j3
