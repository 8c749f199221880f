// The speed of the MIDI link to the instrument: what is in force, shown in the
// main window and given to the MIDI service as the destination's pacing.
#pragma once

#include <cstdint>

namespace j3 {

struct Context;

// Puts speed index 0 .. 11 in force (an instrument's report, the Turbo
// command's return to normal, the configuration window's OK). An index above
// 11 names no speed and is ignored. Any thread: the window queues its updates.
void set_speed(Context& ctx, int32_t index);

}  // namespace j3
