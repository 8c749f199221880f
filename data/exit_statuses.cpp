// Writes the manual's EXIT STATUS section, in help2man's include format, from
// the table the program's exit statuses come from: the two cannot drift apart.
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/outcomes.h"

namespace {

// Plain words to roff: backslashes and minus signs made safe, and a word
// between backquotes (a verb) set in bold.
std::string roff(std::string_view text) {
    std::string out;
    bool bold = false;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c == '`') {
            out += bold ? "\\fR" : "\\fB";
            bold = !bold;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int main() {
    std::printf("[EXIT STATUS]\n");
    for (const j3::ExitStatusRow& row : j3::kExitStatuses)
        std::printf(".TP\n.B %d\n%s\n", row.status, roff(row.manual).c_str());
    return 0;
}
