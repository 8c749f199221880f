#include "cli/cli.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>

namespace j3 {
namespace {

struct Verb {
    const char* name;
    VerbOutcome (*run)(const std::vector<std::string>& args);
    const char* usage;
};

constexpr Verb kVerbs[] = {
    {"ports", ports_command, "ports [--names WHICH]      list MIDI sources and destinations"},
    {"send", send_command,
     "send FILE... --to DEST     send SysEx and audio files to a destination"},
    {"turbo", turbo_command, "turbo --to DEST --from SRC switch the instrument's link speed"},
    {"receive", receive_command,
     "receive --from SRC -o DIR  receive SysEx and sample dumps into files"},
    {"identify", identify_command, "identify --to DEST --from SRC  tell who answers on a port"},
    {"info", info_command,
     "info [--json] FILE...      tell what files hold\n"
     "          j3 info --messages [--json] FILE...\n"
     "                                list the SysEx messages they are made of"},
    {"convert", convert_command, "convert IN -o OUT ...      audio to SDS dump, or dump to audio"},
    {"waveform", waveform_command,
     "waveform FILE... [-o DIR]  build waveform messages from looped audio"},
    {"list", list_command,
     "list [--json] LIST.j3      show a file list; -o OUT.j3 FILE... writes one"},
};

void print_usage(FILE* out) {
    std::fprintf(out,
                 "usage: j3 [FILE...]                  open the window with these files listed\n");
    for (const Verb& v : kVerbs) std::fprintf(out, "       j3 %s\n", v.usage);
    std::fprintf(out,
                 "       j3 VERB --help               the verb's options\n"
                 "       j3 --version                 J3's version and those of its libraries\n");
}

// One typing slip apart: a letter changed, added, dropped, or two neighbours
// swapped ("recieve").
bool one_slip_apart(std::string_view a, std::string_view b) {
    if (a == b) return false;
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() - b.size() > 1) return false;
    size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    if (a.size() != b.size()) return a.substr(i + 1) == b.substr(i);
    if (a.substr(i + 1) == b.substr(i + 1)) return true;
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] &&
           a.substr(i + 2) == b.substr(i + 2);
}

}  // namespace

bool is_mistyped_verb(int argc, char** argv) {
    if (argc < 3) return false;
    const std::filesystem::path first(argv[1]);
    std::error_code error;
    if (first.empty() || first.has_extension() || std::filesystem::exists(first, error))
        return false;
    for (int i = 2; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') return true;
    }
    return false;
}

bool is_cli_argument(const char* first) {
    if (first[0] == '-' || !std::strcmp(first, "help")) return true;
    for (const Verb& v : kVerbs) {
        if (!std::strcmp(first, v.name)) return true;
    }
    return false;
}

int run_cli(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return exit_status(VerbEnd::kUsageError);
    }
    const char* verb = argv[1];
    if (!std::strcmp(verb, "--help") || !std::strcmp(verb, "-h") || !std::strcmp(verb, "help")) {
        print_usage(stdout);
        return exit_status(VerbEnd::kDone);
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Verb& v : kVerbs) {
        if (!std::strcmp(verb, v.name)) return exit_status(v.run(args).end);
    }
    const Verb* near = nullptr;
    for (const Verb& v : kVerbs) {
        if (one_slip_apart(verb, v.name)) near = &v;
    }
    if (near) {
        std::fprintf(stderr, "j3: unknown command \"%s\": did you mean %s?\n", verb, near->name);
    } else {
        std::fprintf(stderr, "j3: unknown command \"%s\"\n", verb);
    }
    print_usage(stderr);
    return exit_status(VerbEnd::kUsageError);
}

}  // namespace j3
