#include "engine/sds_send.h"

#include "engine/context.h"

namespace j3 {

int32_t next_sds_message(Context& ctx, int32_t& position, int32_t* length, const uint8_t*& message,
                         uint32_t name_code, const std::string* name_text) {
    SdsItemParams item;
    item.channel = ctx.settings.device_number.load();
    item.sample_number = ctx.transfer.sample_number;
    item.loop_choice = ctx.transfer.current_loop;
    item.stereo_choice = ctx.transfer.current_stereo;
    item.name_code = name_code;
    item.name_text = name_text;
    return next_sds_message(ctx.encoder, item, position, length, message);
}

}  // namespace j3
