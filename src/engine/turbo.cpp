#include "engine/turbo.h"

#include "engine/context.h"
#include "format/sysex_speed.h"

namespace j3 {

void set_speed(Context& ctx, int32_t index) {
    if (index < 0 || index > kSpeedIndexMax) return;
    const int32_t factor = kSpeedFactors[size_t(index)];
    ctx.transfer.speed_factor = factor;
    ctx.window->set_speed_label(kSpeedLabels[size_t(index)]);
    ctx.window->set_speed_indicator(factor > 10);
    ctx.midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint,
                                  max_sysex_speed_for_index(index));
}

}  // namespace j3
