// The send loop's side of sample dump encoding: the encoder's parameters come
// from the settings and the item being sent.
#pragma once

#include <cstdint>
#include <string>

namespace j3 {

struct Context;

// next_sds_message (audio/sds_encoder.h) on ctx.encoder, with "Device Number"
// and the transfer state's sample_number, current_loop and current_stereo.
// Completion thread, or the GUI thread for an item's first message.
int32_t next_sds_message(Context& ctx, int32_t& position, int32_t* length, const uint8_t*& message,
                         uint32_t name_code, const std::string* name_text);

}  // namespace j3
