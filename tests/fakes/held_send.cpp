#include "fakes/held_send.h"

#include "engine/list_commands.h"
#include "engine/send_loop.h"

namespace j3::testing {

bool start_held_send(Context& ctx) {
    if (refresh_selection(ctx) < 1) return false;
    return start_sending(ctx) && ctx.send.sending();
}

bool end_held_send(Context& ctx, FakeMidiService& midi) {
    stop_sending(ctx);
    midi.complete_all();
    return !ctx.send.busy();
}

}  // namespace j3::testing
