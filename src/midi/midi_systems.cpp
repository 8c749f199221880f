#include "midi/midi_systems.h"

#if J3_WITH_JACK
#include "midi/jack_backend.h"
#endif

namespace j3 {

// Every MIDI system J3 opens, one line each, in the order their endpoints are
// listed; the build says which are in.
std::unique_ptr<MidiService> make_midi_service(const MidiServiceOptions& options) {
    return std::make_unique<RoutingService>([options](InputPump& input) {
        BackendList backends;
#if J3_WITH_ALSA
        if (options.alsa) backends.push_back(make_alsa_backend(input));
#endif
#if J3_WITH_JACK
        if (options.jack) backends.push_back(make_jack_backend(input));
#endif
        backends.push_back(std::make_unique<LoopbackBackend>(input));
        (void)options;
        return backends;
    });
}

std::string jack_library_version() {
#if J3_WITH_JACK
    return jack_backend_library_version();
#else
    return {};
#endif
}

}  // namespace j3
