// What a verb that talks to MIDI ports runs on: a context wired to its
// console window, the system clock, a reception and the MIDI service.
//
//   MidiSession session(window);
//   session.ctx.settings... = ...;       // before the ports are opened
//   session.open(midi_read_proc(session.ctx));
//   if (std::string why; !session.choose(to, from, why)) return fail(why);
#pragma once

#include <memory>
#include <string>

#include "engine/clock.h"
#include "engine/context.h"
#include "midi/midi_service.h"
#include "receive/reception.h"

namespace j3 {

struct MidiSession {
    explicit MidiSession(WindowControls& window);
    // Makes the MIDI service and lists its ports; read_proc gets the input.
    void open(ReadProc read_proc);
    // Chooses the destination named by to and, when from is not empty, the
    // source named by from (see find_endpoint). False, with the user's
    // message, when either names no port or several.
    bool choose(const std::string& to, const std::string& from, std::string& message);

    SystemClock clock;
    Reception reception;
    Context ctx;
    // Last, so it goes first: it completes requests into and reads into the
    // context.
    std::unique_ptr<MidiService> midi;
};

}  // namespace j3
