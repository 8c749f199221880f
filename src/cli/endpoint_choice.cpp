#include "cli/endpoint_choice.h"

#include <cctype>
#include <vector>

#include "cli/options.h"
#include "midi/endpoints.h"

namespace j3 {
namespace {

// Positions on the command line have always been nine digits at most; a
// longer number is no position.
constexpr int32_t kMaxNumber = 999999999;

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower((unsigned char)c));
    return s;
}

}  // namespace

int32_t find_endpoint(MidiService& midi, EndpointKind kind, const std::string& text,
                      std::string& message) {
    const bool source = kind == EndpointKind::kSource;
    const char* what = source ? "source" : "destination";
    const int count = source ? midi.source_count() : midi.destination_count();
    auto endpoint = [&](int index) {
        return source ? midi.source(index) : midi.destination(index);
    };
    if (int32_t p = 0; parse_number(text, 0, kMaxNumber, p)) {
        if (p >= 1 && p <= count) return p;
        message = "there is no " + std::string(what) + " " + text + "; there are " +
                  std::to_string(count) + " (see j3 ports)";
        return 0;
    }
    std::vector<int32_t> matches;
    for (int i = 0; i < count; ++i) {
        const std::string name = endpoint_display_name(midi, endpoint(i), false);
        if (name == text) return i + 1;
        if (lower(name).find(lower(text)) != std::string::npos) matches.push_back(i + 1);
    }
    if (matches.size() == 1) return matches[0];
    if (matches.empty()) {
        message = "no " + std::string(what) + " matches \"" + text + "\" (see j3 ports)";
    } else {
        message = "\"" + text + "\" matches several " + what + "s:";
        for (int32_t p : matches) {
            message += "\n  " + std::to_string(p) + "  " +
                       endpoint_display_name(midi, endpoint(p - 1), false);
        }
    }
    return 0;
}

}  // namespace j3
