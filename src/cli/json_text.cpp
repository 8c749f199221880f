#include "cli/json_text.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "format/utf8.h"

namespace j3 {

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = uint8_t(s[i]);
        const size_t n = decode_utf8(std::string_view(s).substr(i)).length;
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(s, i, n);
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
        i += n;
    }
    return out + "\"";
}

}  // namespace j3
