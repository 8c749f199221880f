// JSON output of the verbs that offer --json.
#pragma once

#include <string>

namespace j3 {

// A JSON string, quotes included; bytes that are not UTF-8 (a path may hold
// any) become U+FFFD.
std::string json_string(const std::string& s);

}  // namespace j3
