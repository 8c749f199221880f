#include "engine/item_buttons.h"

#include "engine/context.h"

namespace j3 {
namespace {

int32_t cycle(int32_t value, int32_t step) {
    const int32_t v = value + step;
    return v > 2 ? 0 : v;
}

}  // namespace

const char* loop_title(int32_t value) {
    switch (value) {
        case kLoopFile:
            return "Loop:File";
        case kLoopOn:
            return "Loop On";
        case kLoopOff:
            return "Loop Off";
    }
    return "";
}

const char* stereo_title(int32_t value) {
    switch (value) {
        case kStereoMix:
            return "L + R";
        case kStereoLeft:
            return "Left";
        case kStereoRight:
            return "Right";
    }
    return "";
}

int32_t set_loop_button(Context& ctx, int32_t value, int32_t step) {
    const int32_t v = cycle(value, step);
    if (v >= 0 && v <= 2) ctx.window->set_control_text(kLoopButton, loop_title(v));
    return v;
}

int32_t set_stereo_button(Context& ctx, int32_t value, int32_t step) {
    const int32_t v = cycle(value, step);
    if (v >= 0 && v <= 2) ctx.window->set_control_text(kStereoButton, stereo_title(v));
    return v;
}

void enable_item_button(Context& ctx, int control, bool enabled) {
    if (control == kLoopButton || control == kStereoButton || control == kWaveformButton) {
        ctx.window->enable_control(control, enabled);
    }
}

}  // namespace j3
