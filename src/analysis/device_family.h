// What a buffer holds: an audio file, SysEx of one of the instrument families,
// or an SDS sample dump. Gives the list's Type column text and the family tests
// that pick the content analysis (item_info.h) and check built waveforms.
//
// Every test takes the buffer as (data, size), reads only inside it and keeps
// nothing; any thread may call them. The list view asks for the type tag on
// every redraw, so it goes through entry_type_tag, which keeps it per entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace j3 {

// Device ids at offset 4 of the device SysEx header F0 00 20 3C <id> 00 <message id>.
enum DeviceId : uint8_t {
    kDeviceVqr = 0x01,
    kDeviceKx = 0x02,
    kDeviceLy = 0x03,
    kDevicePw = 0x05,
    kDeviceZb = 0x06,
    kDevice07 = 0x07,  // no family name; tagged "-"
};

// One entry: a length byte (5), then the header bytes that follow the F0.
using DevicePattern = std::array<uint8_t, 6>;

// One entry per recognised device id, in the order 07, 06, 05, 03, 02, 01.
inline constexpr std::array<DevicePattern, 6> device_pattern_table = {{
    {0x05, 0x00, 0x20, 0x3C, kDevice07, 0x00},
    {0x05, 0x00, 0x20, 0x3C, kDeviceZb, 0x00},
    {0x05, 0x00, 0x20, 0x3C, kDevicePw, 0x00},
    {0x05, 0x00, 0x20, 0x3C, kDeviceLy, 0x00},
    {0x05, 0x00, 0x20, 0x3C, kDeviceKx, 0x00},
    {0x05, 0x00, 0x20, 0x3C, kDeviceVqr, 0x00},
}};

// True when some F0 in the buffer is followed, in full and inside the buffer,
// by the pattern's bytes. Every F0 counts, not only the one at offset 0, so a
// stray sequence inside sample data matches too.
bool find_device_pattern(const uint8_t* data, size_t size, const DevicePattern& pattern);

// find_device_pattern with the table entry of device_id; false for an id the
// table does not hold.
bool is_device_sysex(const uint8_t* data, size_t size, uint8_t device_id);

// Bit d is set when is_device_sysex(data, size, d) holds, for every
// recognised id at once: one pass over the buffer instead of six.
uint32_t device_ids_present(const uint8_t* data, size_t size);

// device_ids_present over bytes that come a piece at a time, in order (a file
// read in pieces): after the last piece, present is what device_ids_present
// gives for all of them at once.
struct DeviceIdScan {
    uint32_t present = 0;
    uint8_t tail[5] = {};  // the last bytes so far: a header may span two pieces
    size_t tail_size = 0;
};
void scan_device_ids(DeviceIdScan& scan, const uint8_t* data, size_t size);

// An SDS dump header at offset 0: F0 7E <any channel> 01, or the extended
// one, F0 7E <any channel> 05 05.
bool is_sds_dump(const uint8_t* data, size_t size);

// The Type column text: "WAV", "AIFF", "AIFC", "KX", "LY", "PW", "VQR", "SDS",
// "ZB" or "-", the first test that holds in that order. The text is static.
std::string_view type_tag_for_buffer(const uint8_t* data, size_t size);

}  // namespace j3
