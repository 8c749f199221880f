// The speed of the MIDI link to the instrument: what is in force, shown in the
// main window and given to the MIDI service as the destination's pacing, and
// the messages that ask the instrument for its speed or a new one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/midi_service.h"

namespace j3 {

struct Context;

// Puts speed index 0 .. 11 in force (an instrument's report, the Turbo
// command's return to normal, the configuration window's OK): the label and
// indicator, a speed request to the private virtual destination, and the
// destination's maximum SysEx speed. An index above 11 names no speed and is
// ignored. Any thread: the window queues its updates.
void set_speed(Context& ctx, int32_t index);

// Asks the instrument on destination_endpoint for its speed; its report
// comes back through the input routine. Nothing is sent without a
// destination. Any thread; never waits.
void send_speed_request(Context& ctx);
// At start-up when both endpoints are chosen, and after the configuration's
// OK (reset_first: back to standard speed before asking).
void request_speed(Context& ctx, bool reset_first);

// The Turbo command. At normal speed: asks the instrument for "Turbo limit";
// the speed shown changes only when it reports. At a faster speed: asks for
// normal speed and puts it in force at once. Any thread; never waits.
void turbo_command(Context& ctx);

// Hands a control message of at most 16 bytes to the service in a record of
// its own: never the data request's, never one the service still holds.
// Never waits for a completion. false when there is no destination or the
// service refused it.
bool send_control_message(Context& ctx, Endpoint destination, const uint8_t* bytes, size_t size);

// Some control message is still with the service. Any thread.
bool control_messages_pending(Context& ctx);

}  // namespace j3
