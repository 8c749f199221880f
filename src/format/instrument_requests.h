// The messages that ask an instrument for something: the sample dump request
// (one sample by number) and the identity request (who answers on a port),
// and the reader of the identity reply. Pure; any thread.
//
//   const auto ask = sds_dump_request(0, 300);   // F0 7E 00 03 2C 02 F7
//   const auto who = identity_request(0x7F);     // F0 7E 7F 06 01 F7
//   std::optional<IdentityReply> r = read_identity_reply(data, size);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace j3 {

// Sample numbers a dump request can carry: two 7-bit groups.
constexpr int32_t kSdsSampleNumberMax = 16383;
// The device number that asks every instrument on the port.
constexpr uint8_t kAllDevices = 0x7F;

// F0 7E dd 03 ss ss F7: dd the device number (7 bits), ss ss the sample
// number, least significant group first.
std::array<uint8_t, 7> sds_dump_request(uint8_t device, int32_t sample_number);

// F0 7E dd 06 01 F7.
std::array<uint8_t, 6> identity_request(uint8_t device);

struct IdentityReply {
    uint8_t device = 0;
    // One maker id byte, or three when the first is 00 (maker_size says how
    // many of the bytes count).
    std::array<uint8_t, 3> maker{};
    uint8_t maker_size = 1;
    uint16_t family = 0;  // 14 bits
    uint16_t member = 0;  // 14 bits
    std::array<uint8_t, 4> version{};

    bool operator==(const IdentityReply&) const = default;
};

// Reads F0 7E dd 06 02 mm [mm mm] ff ff nn nn vv vv vv vv F7, exactly: one
// message, every byte between F0 and F7 below 80. nullopt for anything else.
std::optional<IdentityReply> read_identity_reply(const uint8_t* data, size_t size);

// The maker id as upper-case hex pairs joined by spaces: "43", "00 20 3C".
std::string identity_maker_hex(const IdentityReply& reply);
// The version bytes in decimal joined by dots: "1.0.12.0".
std::string identity_version_text(const IdentityReply& reply);

}  // namespace j3
