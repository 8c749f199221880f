// What an item's name becomes on its way to an instrument: the base name a
// sample name message carries and the four characters of a device name
// message or a waveform message. One rule for both, so a sample and the
// waveform built from it show the same name on the instrument.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace j3 {

// The base name of an item: its path after the last '/', then before the
// last '.' (UTF-8 in, UTF-8 out).
std::string item_base_name(std::string_view utf8_path);

// The base name as 8-bit Mac Roman text of at most 255 bytes, for a sample
// name message. Characters Mac Roman lacks become '?'.
std::string sds_base_name(std::string_view utf8_path);

// The four name characters of a Mac Roman base name: up to four characters
// (the first three and the last), Å å Ä ä Ö ö as [ [ \ \ ] ], the others
// upper-cased (a-z) with bit 7 cleared, padded with spaces; first in the top
// byte.
uint32_t sds_name_code(std::string_view mac_roman_base_name);

// The same four characters from a UTF-8 base name.
uint32_t item_name_code(std::string_view utf8_base_name);

}  // namespace j3
