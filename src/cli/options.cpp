#include "cli/options.h"

#include <cstdio>

namespace j3 {

ParsedArgs parse_args(const std::vector<std::string>& args, std::span<const Option> options,
                      DoubleDash double_dash) {
    ParsedArgs parsed;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_ended || a.size() < 2 || a[0] != '-') {
            parsed.args.push_back({nullptr, a, {}});
            continue;
        }
        if (a == "--" && double_dash == DoubleDash::kEndsOptions) {
            options_ended = true;
            continue;
        }
        const Option* option = nullptr;
        for (const Option& o : options) {
            if (a == o.name || a == o.alias) option = &o;
        }
        if (!option) {
            parsed.problem = ArgProblem::kUnknownOption;
            parsed.refused = a;
            parsed.error = "unknown option \"" + a + "\"";
            return parsed;
        }
        if (!option->takes_value) {
            parsed.args.push_back({option, a, {}});
            continue;
        }
        if (i + 1 >= args.size()) {
            parsed.problem = ArgProblem::kMissingValue;
            parsed.refused = a;
            parsed.error = option->missing_value.empty() ? a + " needs a value"
                                                         : std::string(option->missing_value);
            return parsed;
        }
        parsed.args.push_back({option, a, args[++i]});
    }
    return parsed;
}

VerbOutcome usage_error(std::string_view verb, std::string_view message, std::string_view usage) {
    std::fprintf(stderr, "j3 %.*s: %.*s\n%.*s", int(verb.size()), verb.data(), int(message.size()),
                 message.data(), int(usage.size()), usage.data());
    return {VerbEnd::kUsageError, std::string(message)};
}

VerbOutcome bare_usage_error(std::string_view usage) {
    std::fwrite(usage.data(), 1, usage.size(), stderr);
    return {VerbEnd::kUsageError, {}};
}

VerbOutcome show_usage(std::string_view usage) {
    std::fwrite(usage.data(), 1, usage.size(), stdout);
    return {VerbEnd::kDone, {}};
}

void tell_error(std::string_view verb, std::string_view message) {
    std::fflush(stdout);
    std::fprintf(stderr, "j3 %.*s: %.*s\n", int(verb.size()), verb.data(), int(message.size()),
                 message.data());
}

VerbOutcome fail(std::string_view verb, std::string_view message) {
    tell_error(verb, message);
    return {VerbEnd::kFailed, std::string(message)};
}

MidiArg take_midi_arg(const ParsedArg& a, MidiArgs& m) {
    if (a.is(kHelpOption.name)) return MidiArg::kHelp;
    if (a.is(kToOption.name)) {
        m.to = a.value;
    } else if (a.is(kFromOption.name)) {
        m.from = a.value;
    } else if (a.is(kDeviceOption.name)) {
        if (!parse_number(a.value, 0, 127, m.device)) return MidiArg::kBadDevice;
    } else {
        return MidiArg::kOther;
    }
    return MidiArg::kTaken;
}

VerbOutcome midi_arg_ending(MidiArg taken, std::string_view verb, std::string_view usage,
                            std::string_view device_error) {
    if (taken == MidiArg::kHelp) return show_usage(usage);
    return usage_error(verb, device_error, usage);
}

bool parse_number(std::string_view text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty()) return false;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        // Past high already: stop before a long run of digits overflows.
        if (n > high) return false;
    }
    if (n < low) return false;
    value = int32_t(n);
    return true;
}

bool parse_choice(std::string_view text, std::span<const std::string_view> words, int32_t& value) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (text == words[i]) {
            value = int32_t(i);
            return true;
        }
    }
    return false;
}

}  // namespace j3
