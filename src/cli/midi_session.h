// What a verb that talks to MIDI ports runs on: a context wired to its
// console window, the system clock, a reception and the MIDI service.
//
//   MidiSession session(window);
//   session.ctx.settings... = ...;       // before the ports are opened
//   session.open(midi_read_proc(session.ctx));
//   if (const Result chosen = session.choose(to, from); !chosen) return fail(...);
#pragma once

#include <memory>
#include <string>

#include "engine/clock.h"
#include "engine/context.h"
#include "format/result.h"
#include "midi/midi_service.h"
#include "receive/reception.h"

namespace j3 {

struct MidiSession {
    explicit MidiSession(WindowControls& window);
    // Makes the MIDI service and lists its ports; read_proc gets the input.
    void open(ReadProc read_proc);
    // Chooses the destination named by to and the source named by from,
    // each when not empty (see find_endpoint). False, with the user's
    // message, when either names no port or several.
    Result choose(const std::string& to, const std::string& from);

    SystemClock clock;
    Reception reception;
    Context ctx;
    // Last, so it goes first: it completes requests into and reads into the
    // context.
    std::unique_ptr<MidiService> midi;
};

}  // namespace j3
