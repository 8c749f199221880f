// `j3 ports`: the MIDI sources and destinations with their 1-based positions,
// as `j3 send --to` and the configuration window count them.
#include <cstdio>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "midi/endpoints.h"
#include "midi/rtmidi_service.h"

namespace j3 {

namespace {

constexpr Option kOptions[] = {{.name = "--help", .alias = "-h"}};

}  // namespace

int ports_command(const std::vector<std::string>& args) {
    if (!args.empty()) {
        // Help only first; anything else on the line is a usage error.
        const ParsedArgs parsed = parse_args(args, kOptions);
        const bool help = !parsed.args.empty() && parsed.args[0].is("--help");
        std::fprintf(help ? stdout : stderr,
                     "usage: j3 ports\n"
                     "Lists the MIDI sources and destinations with their positions.\n");
        return help ? 0 : 2;
    }
    ConsoleWindow window;
    SystemClock clock;
    Context ctx;
    ctx.window = &window;
    ctx.clock = &clock;
    const std::unique_ptr<MidiService> midi = make_midi_service();
    ctx.midi = midi.get();
    scan_midi(*ctx.midi, ctx.endpoints, nullptr);

    // Full names here: the 64-byte slots are for the window's lists.
    std::printf("Sources:\n");
    for (int i = 0; i < midi->source_count(); ++i) {
        std::printf("%4d  %s\n", i + 1,
                    endpoint_display_name(*midi, midi->source(i), false).c_str());
    }
    std::printf("Destinations:\n");
    for (int i = 0; i < midi->destination_count(); ++i) {
        std::printf("%4d  %s\n", i + 1,
                    endpoint_display_name(*midi, midi->destination(i), false).c_str());
    }
    return 0;
}

}  // namespace j3
