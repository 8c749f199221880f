// `j3 ports`: the MIDI sources and destinations with their 1-based positions,
// as `j3 send --to` and the configuration window count them. With --names,
// only the names of one side, one a line, for scripts and shell completion.
#include <cstdio>
#include <memory>
#include <string_view>

#include "cli/cli.h"
#include "cli/options.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"

namespace j3 {

namespace {

constexpr const char* kUsage =
    "usage: j3 ports [--names sources|destinations]\n"
    "Lists the MIDI sources and destinations with their positions.\n"
    "  --names WHICH  only the names of the sources or of the destinations, one a line\n";

constexpr Option kOptions[] = {
    {.name = "--help", .alias = "-h"},
    {.name = "--names",
     .takes_value = true,
     .missing_value = "--names takes sources or destinations"},
};

constexpr std::string_view kSideWords[] = {"sources", "destinations"};

}  // namespace

VerbOutcome ports_command(const std::vector<std::string>& args) {
    const ParsedArgs parsed = parse_args(args, kOptions);
    // Help only first; anything else on the line is a usage error.
    if (!parsed.args.empty() && parsed.args[0].is("--help")) {
        return show_usage(kUsage);
    }
    int32_t side = -1;  // by kSideWords; -1 lists both with positions
    for (const ParsedArg& a : parsed.args) {
        if (!a.is("--names")) return bare_usage_error(kUsage);
        if (!parse_choice(a.value, kSideWords, side))
            return usage_error("ports", "--names takes sources or destinations", kUsage);
    }
    if (parsed.problem == ArgProblem::kMissingValue)
        return usage_error("ports", parsed.error, kUsage);
    if (parsed.problem != ArgProblem::kNone) return bare_usage_error(kUsage);

    const std::unique_ptr<MidiService> midi = make_midi_service();
    MidiEndpoints endpoints;
    scan_midi(*midi, endpoints, nullptr);
    if (side >= 0) {
        for (const std::string& name :
             side == 0 ? endpoints.source_names : endpoints.destination_names)
            std::printf("%s\n", name.c_str());
        return {VerbEnd::kDone, {}};
    }

    // The names as the system gives them, as the configuration window lists them.
    std::printf("Sources:\n");
    for (size_t i = 0; i < endpoints.source_names.size(); ++i)
        std::printf("%4zu  %s\n", i + 1, endpoints.source_names[i].c_str());
    std::printf("Destinations:\n");
    for (size_t i = 0; i < endpoints.destination_names.size(); ++i)
        std::printf("%4zu  %s\n", i + 1, endpoints.destination_names[i].c_str());
    return {VerbEnd::kDone, {}};
}

}  // namespace j3
