// The commands on the selected items that combine the lower floors for the
// window: what a selected item shows (its info text and the Loop, Stereo and
// Waveform buttons) and the Waveform command. GUI thread.
#pragma once

#include <cstdint>

#include "engine/window_controls.h"

namespace j3 {

struct Context;

// v := value + step, 0 after 2; shows the title of v when it is 0, 1 or 2
// (a negative v changes no title) and returns v. Step 1 cycles (the Loop and
// Stereo commands), step 0 shows (selection).
int32_t set_loop_button(WindowControls& window, int32_t value, int32_t step);
int32_t set_stereo_button(WindowControls& window, int32_t value, int32_t step);

enum class ItemButton { kLoop, kStereo, kWaveform };
void enable_item_button(WindowControls& window, ItemButton button, bool enabled);

// Notification kind of the list view that means "an item was selected".
constexpr int kItemSelectedNotification = 5;

// The list view's item-notification callback. For kind 5 and a valid item id
// (position + 1): disables the loop, stereo and waveform buttons, shows the
// entry's loop and stereo choices in their titles, and sets the info text and
// the buttons from item_info_for_buffer. Other kinds and ids are ignored.
void show_item_info(Context& ctx, uint32_t item_id, int notification_kind);

// The waveform command (MONO, the waveform button). For each selected item in
// order, with slots counted from 0: an audio item whose loop qualifies
// becomes, in place, the waveform message of that slot, named after it with
// ".syx", marked new; its audio buffer is released. The list redraws, the
// loop, stereo and waveform buttons are disabled, and the info text shows
// what the LY analysis reads in the new item (its position). Items that do
// not qualify are skipped without a slot; a failed build keeps the item and
// uses its slot. Does nothing while a send runs (the send points into entry
// buffers). Sets the FFT tables up when start-up has not. Returns the number
// of items built.
int32_t build_waveform_items(Context& ctx);

}  // namespace j3
