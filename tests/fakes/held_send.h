// A send that runs until the test ends it: the fake service holds its first
// request and reports nothing meanwhile. For what a running send, or the
// service still holding its last request, keeps others from doing.
//
//   ASSERT_TRUE(start_held_send(t.ctx));   // the selected items go out
//   ... what is refused while sending ...
//   ASSERT_TRUE(end_held_send(t.ctx, t.midi));
#pragma once

#include "engine/context.h"
#include "fakes/fake_midi_service.h"

namespace j3::testing {

// Starts sending the items the window selects. true when the send runs: the
// first selected item must hold a complete message (or be a sample).
bool start_held_send(Context& ctx);

// Stops the send and lets the service report its request. true when nothing
// runs and nothing is held any more.
bool end_held_send(Context& ctx, FakeMidiService& midi);

}  // namespace j3::testing
