#include "cli/endpoint_choice.h"

#include <cctype>
#include <vector>

#include "cli/options.h"
#include "midi/endpoints.h"

namespace j3 {
namespace {

// Positions on the line have always been nine digits at most; a longer one
// is no number here.
constexpr int32_t kMaxNumber = 999999999;

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower((unsigned char)c));
    return s;
}

}  // namespace

Result find_endpoint(MidiService& midi, const std::string& text, bool source, int32_t& position) {
    const char* kind = source ? "source" : "destination";
    const int count = source ? midi.source_count() : midi.destination_count();
    const auto name_at = [&](int i) {
        return endpoint_display_name(midi, source ? midi.source(i) : midi.destination(i), false);
    };
    if (int32_t p = 0; parse_number(text, 0, kMaxNumber, p)) {
        if (p < 1 || p > count)
            return failure("there is no " + std::string(kind) + " " + text + "; there are " +
                           std::to_string(count) + " (see j3 ports)");
        position = p;
        return {};
    }
    std::vector<int32_t> matches;
    for (int i = 0; i < count; ++i) {
        const std::string name = name_at(i);
        if (name == text) {
            position = i + 1;
            return {};
        }
        if (lower(name).find(lower(text)) != std::string::npos) matches.push_back(i + 1);
    }
    if (matches.size() == 1) {
        position = matches[0];
        return {};
    }
    if (matches.empty())
        return failure("no " + std::string(kind) + " matches \"" + text + "\" (see j3 ports)");
    std::string message = "\"" + text + "\" matches several " + kind + "s:";
    for (int32_t p : matches) message += "\n  " + std::to_string(p) + "  " + name_at(p - 1);
    return failure(message);
}

}  // namespace j3
