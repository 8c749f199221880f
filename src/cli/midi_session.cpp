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

bool MidiSession::choose(const std::string& to, const std::string& from, std::string& message) {
    const int32_t destination = to.empty() ? 0 : find_endpoint(*midi, to, false, message);
    if (!to.empty() && destination == 0) return false;
    const int32_t source = from.empty() ? 0 : find_endpoint(*midi, from, true, message);
    if (!from.empty() && source == 0) return false;
    if (destination != 0)
        ctx.settings.selected_out = choose_destination(*midi, ctx.endpoints, destination, false);
    if (source != 0) ctx.settings.selected_in = choose_source(*midi, ctx.endpoints, source, false);
    return true;
}

}  // namespace j3
