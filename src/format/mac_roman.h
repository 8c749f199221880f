// Names cross between the instruments' 8-bit Mac Roman text and the UTF-8 of
// files, the window and the terminal through this one table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace j3 {

std::string mac_roman_to_utf8(std::string_view mac_roman);

// nullopt when some character has no Mac Roman form.
std::optional<std::string> utf8_to_mac_roman(std::string_view utf8);

// Characters without a Mac Roman form become '?'; malformed UTF-8 too.
std::string utf8_to_mac_roman_lossy(std::string_view utf8);

}  // namespace j3
