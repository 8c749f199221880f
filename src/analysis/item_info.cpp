#include "analysis/item_info.h"

#include "analysis/device_family.h"
#include "analysis/inventory_text.h"

namespace j3 {
ItemInfo item_info_for_buffer(const uint8_t* data, size_t size, SampleInfo& info) {
    return item_info_for_buffer(data, size, info, device_ids_present(data, size));
}

ItemInfo item_info_for_buffer(const uint8_t* data, size_t size, SampleInfo& info,
                              uint32_t present) {
    ItemInfo result;
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

}  // namespace j3
