// The info texts the window shows for a SysEx file or an SDS dump, made from
// the counts of analysis/inventory.h.
//
// Like the counts, every function reads only inside (data, size), keeps
// nothing and runs in time linear in the size. Any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace j3 {

// The info texts, exactly as the window shows them (UTF-8).
std::string analyse_kx_sysex(const uint8_t* data, size_t size);
std::string analyse_ly_sysex(const uint8_t* data, size_t size);
// No value when the buffer holds no upgrade data message: the window then
// keeps the text it showed before.
std::optional<std::string> analyse_pw_sysex(const uint8_t* data, size_t size);
std::string analyse_zb_sysex(const uint8_t* data, size_t size);
std::string analyse_device07_sysex(const uint8_t* data, size_t size);

std::string analyse_sds_dump(const uint8_t* data, size_t size);

}  // namespace j3
