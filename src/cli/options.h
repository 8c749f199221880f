// The verbs' arguments: the options a verb names in a table, with their values,
// among its positional arguments. A verb checks the values itself, in its own
// words; the words and helpers the verbs share are here.
//
//   constexpr Option kOptions[] = {{.name = "--help", .alias = "-h"},
//                                      {.name = "--to", .takes_value = true}};
//   const ParsedArgs parsed = parse_args(args, kOptions);
//   for (const ParsedArg& a : parsed.args) { ... a.is("--to") ... a.value ... }
//   if (parsed.problem != ArgProblem::kNone) return usage_error("send", parsed.error, kUsage);
//
// Every verb ends with a VerbOutcome (engine/outcomes.h): usage_error, fail
// and show_usage print what the user is told and hand back the ending.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/outcomes.h"

namespace j3 {

// One option of a verb.
struct Option {
    std::string_view name;     // "--stereo"
    std::string_view alias;    // a second spelling ("-h" of "--help"), or empty
    bool takes_value = false;  // the next argument is its value, whatever it looks like
    // Said when the value is missing; empty: "<option as typed> needs a value".
    std::string_view missing_value;
};

// One argument on the line: an option of the table with its value, or a
// positional argument (no option).
struct ParsedArg {
    const Option* option = nullptr;
    std::string text;   // as typed: "-o" or "--output" of one option, or the positional argument
    std::string value;  // the option's value, when it takes one

    bool is(std::string_view name) const { return option && option->name == name; }
    bool positional() const { return option == nullptr; }
};

enum class ArgProblem { kNone, kUnknownOption, kMissingValue };

struct ParsedArgs {
    // The arguments before the first problem, in the order given: a verb
    // checks them in that order, so it names the first thing wrong on the line.
    std::vector<ParsedArg> args;
    ArgProblem problem = ArgProblem::kNone;
    std::string refused;  // the argument with the problem, as typed
    std::string error;    // unknown option "--fast", or the missing value's words
};

// What "--" means to a verb: the end of its options (the arguments after it
// are all positional), or an unknown option like any other.
enum class DoubleDash { kUnknownOption, kEndsOptions };

// An argument of two or more characters that starts with '-' is an option;
// "-" alone and "" are positional. Parsing stops at the first problem.
ParsedArgs parse_args(const std::vector<std::string>& args, std::span<const Option> options,
                      DoubleDash double_dash = DoubleDash::kUnknownOption);

// Prints "j3 VERB: MESSAGE" and the usage on standard error: a usage error.
VerbOutcome usage_error(std::string_view verb, std::string_view message, std::string_view usage);
// The usage alone on standard error: a usage error.
VerbOutcome bare_usage_error(std::string_view usage);
// The usage on standard output, as --help asks: done.
VerbOutcome show_usage(std::string_view usage);
// Prints "j3 VERB: MESSAGE" on standard error, after what standard output
// holds so far (the two keep their order on a terminal).
void tell_error(std::string_view verb, std::string_view message);
// tell_error, and the verb has failed.
VerbOutcome fail(std::string_view verb, std::string_view message);

// --- The options every verb that talks to an instrument has --------------------

inline constexpr Option kHelpOption{.name = "--help", .alias = "-h"};
inline constexpr Option kToOption{.name = "--to", .takes_value = true};
inline constexpr Option kFromOption{.name = "--from", .takes_value = true};
inline constexpr Option kDeviceOption{.name = "--device", .takes_value = true};

// Their values, as far as the line gave them.
struct MidiArgs {
    std::string to;    // the destination as typed, or empty
    std::string from;  // the source as typed, or empty
    int32_t device = 0;
};

enum class MidiArg {
    kOther,      // none of them: the verb's own option, or a positional argument
    kTaken,      // taken into MidiArgs
    kHelp,       // --help: the verb shows its usage
    kBadDevice,  // --device with no number from 0 to 127
};

// Takes a into m when it is one of the options above.
MidiArg take_midi_arg(const ParsedArg& a, MidiArgs& m);

// How the verb ends on kHelp (its usage shown) or kBadDevice (a usage error
// that says device_error); the verb reads on after kOther and kTaken.
//
//   const MidiArg taken = take_midi_arg(a, o.midi);
//   if (taken == MidiArg::kTaken) continue;
//   if (taken != MidiArg::kOther) return midi_arg_ending(taken, "send", kUsage, "...");
VerbOutcome midi_arg_ending(MidiArg taken, std::string_view verb, std::string_view usage,
                            std::string_view device_error);

// A whole decimal number from low to high (0 <= low <= high), written in
// digits only: no sign, no spaces. False leaves value alone.
bool parse_number(std::string_view text, int32_t low, int32_t high, int32_t& value);

// The position of text among words (exact, case and all), into value. False
// leaves value alone.
bool parse_choice(std::string_view text, std::span<const std::string_view> words, int32_t& value);

// The words of --stereo, by StereoChoice.
inline constexpr std::string_view kStereoWords[] = {"mix", "left", "right"};

}  // namespace j3
