// The main window's per-item buttons: Loop (13) and Stereo (14) show the
// selected item's choice; they and the Waveform button (19) are enabled only
// for items they apply to. Called on the GUI thread (commands, selection).
#pragma once

#include <cstdint>

namespace j3 {

struct Context;

// Titles by value: 0 "Loop:File", 1 "Loop On", 2 "Loop Off"; 0 "L + R",
// 1 "Left", 2 "Right". Other values give "".
const char* loop_title(int32_t value);
const char* stereo_title(int32_t value);

// v := value + step, 0 after 2; shows the title of v when it is 0, 1 or 2
// (a negative v changes no title) and returns v. Step 1 cycles (the Loop and
// Stereo commands), step 0 shows (selection).
int32_t set_loop_button(Context& ctx, int32_t value, int32_t step);
int32_t set_stereo_button(Context& ctx, int32_t value, int32_t step);

// Enables or disables control 13, 14 or 19; other controls are left alone.
void enable_item_button(Context& ctx, int control, bool enabled);

}  // namespace j3
