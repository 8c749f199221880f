#include "cli/midi_session.h"

#include "cli/endpoint_choice.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"

namespace j3 {

MidiSession::MidiSession(WindowControls& window) {
    ctx.window = &window;
    ctx.clock = &clock;
    ctx.reception = &reception;
}

void MidiSession::open(ReadProc read_proc) {
    midi = make_midi_service();
    ctx.midi = midi.get();
    scan_midi(*ctx.midi, ctx.endpoints, std::move(read_proc));
}

Result MidiSession::choose(const std::string& to, const std::string& from) {
    int32_t destination = 0, source = 0;
    if (!to.empty()) {
        if (Result found = find_endpoint(*midi, to, false, destination); !found) return found;
    }
    if (!from.empty()) {
        if (Result found = find_endpoint(*midi, from, true, source); !found) return found;
    }
    if (destination != 0)
        ctx.settings.selected_out = choose_destination(*midi, ctx.endpoints, destination, false);
    if (source != 0) ctx.settings.selected_in = choose_source(*midi, ctx.endpoints, source, false);
    return {};
}

}  // namespace j3
