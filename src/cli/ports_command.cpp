// `j3 ports`: the MIDI sources and destinations with their 1-based positions,
// as `j3 send --to` and the configuration window count them.
#include <cstdio>
#include <memory>

#include "cli/cli.h"
#include "cli/options.h"
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
    const std::unique_ptr<MidiService> midi = make_midi_service();
    MidiEndpoints endpoints;
    scan_midi(*midi, endpoints, nullptr);

    // The names as the system gives them, as the configuration window lists them.
    std::printf("Sources:\n");
    for (size_t i = 0; i < endpoints.source_names.size(); ++i)
        std::printf("%4zu  %s\n", i + 1, endpoints.source_names[i].c_str());
    std::printf("Destinations:\n");
    for (size_t i = 0; i < endpoints.destination_names.size(); ++i)
        std::printf("%4zu  %s\n", i + 1, endpoints.destination_names[i].c_str());
    return 0;
}

}  // namespace j3
