// Byte layouts of the MIDI Sample Dump Standard messages J3 builds and reads:
// the standard and extended dump headers, the sample name message, the
// device-specific name message, the data packet and the handshake replies.
//
// Builders write into a buffer the caller provides (large enough for the
// message: the size constants below) and return the bytes written; they never
// allocate. Readers take (data, size), check every length before they read,
// and return false for anything that is not the message they read.
//
//   uint8_t header[kSdsStandardHeaderSize];
//   SdsDumpHeader h{.channel = 0, .sample_number = 5, .bits = 16, .period_ns = 22676,
//                   .length = 1000, .loop_start = 0, .loop_end = 999, .loop_type = 0x7F};
//   build_standard_header(header, h);   // 21 bytes, F0 7E 00 01 05 00 10 14 31 01 ...
//
// All functions are pure and may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace j3 {

// Message sizes in bytes.
constexpr size_t kSdsStandardHeaderSize = 21;
constexpr size_t kSdsExtendedHeaderSize = 34;
constexpr size_t kSdsSampleNameBaseSize = 10;  // plus the name bytes
constexpr size_t kSdsSampleNameMax = 127;      // name bytes a sample name message carries
constexpr size_t kSdsDeviceNameSize = 13;
constexpr size_t kSdsPacketSize = 127;
constexpr size_t kSdsPacketDataBytes = 120;  // bytes 5 .. 124
constexpr size_t kSdsHandshakeSize = 6;
// Extended header, longest sample name message and device name message.
constexpr size_t kSdsFirstMessageMax =
    kSdsExtendedHeaderSize + kSdsSampleNameBaseSize + kSdsSampleNameMax + kSdsDeviceNameSize;

// Byte 3 of a universal non-real-time message (F0 7E cc id ...).
enum SdsMessageId : uint8_t {
    kSdsIdDumpHeader = 0x01,
    kSdsIdDataPacket = 0x02,
    kSdsIdExtended = 0x05,  // byte 4 then says which extended message
    kSdsIdWait = 0x7C,
    kSdsIdCancel = 0x7D,
    kSdsIdNak = 0x7E,
    kSdsIdAck = 0x7F,
};
// Byte 4 of an extended (05) message.
constexpr uint8_t kSdsExtendedHeader = 0x05;
constexpr uint8_t kSdsExtendedSampleName = 0x03;

constexpr uint8_t kSdsNoLoop = 0x7F;  // loop type byte: no loop; 0x00 is a forward loop

// --- 7-bit groups --------------------------------------------------------------
// A field of n groups holds 7 bits per byte, least significant group first;
// every group is the value shifted right arithmetically by 7 * i, masked to 7
// bits, so the fifth group of a 5-group field holds bits 28 and up (the sign
// bits of a negative value included).
void write_7bit_groups_signed(uint8_t* p, int32_t value, int groups);
// Joins n groups (n <= 5), least significant first; bits beyond 32 are lost.
uint64_t read_7bit_groups_wide(const uint8_t* p, int groups);

// --- Sample words ---------------------------------------------------------------
// How a dump of `bits` bits per sample packs its words: 1 to 14 bits in 2
// bytes, 60 words a packet; 15 to 21 in 3 bytes, 40 a packet; 22 to 28 in 4
// bytes, 30 a packet. Bits outside 1 to 28 have no geometry (both 0).
struct SdsGeometry {
    int32_t word_bytes = 0;
    int32_t words_per_packet = 0;
};
SdsGeometry sds_geometry(int32_t bits);

// Writes one signed sample of `bits` bits as a word of word_bytes bytes:
// offset binary (the most negative value is all zeros), left-justified in the
// 7 * word_bytes bits, most significant group first.
inline void encode_sds_word(uint8_t* out, int32_t sample, int32_t bits, int32_t word_bytes) {
    uint32_t v = (uint32_t(sample) + (uint32_t(1) << (bits - 1))) << (7 * word_bytes - bits);
    for (int32_t k = word_bytes - 1; k >= 0; --k) *out++ = uint8_t((v >> (7 * k)) & 0x7F);
}

// The unsigned value of a word: its groups joined most significant first,
// shifted right to `bits` bits (0 .. 2^bits - 1).
inline uint32_t decode_sds_word(const uint8_t* in, int32_t bits, int32_t word_bytes) {
    uint32_t v = 0;
    for (int32_t k = 0; k < word_bytes; ++k) v = v << 7 | (in[k] & 0x7F);
    return v >> (7 * word_bytes - bits);
}

// --- Dump headers ---------------------------------------------------------------
struct SdsDumpHeader {
    uint8_t channel = 0;        // cc
    int32_t sample_number = 0;  // 14 bits are sent
    int32_t bits = 0;           // bits per sample word
    int32_t period_ns = 0;      // standard header: sample period in nanoseconds
    int32_t rate_hz = 0;        // extended header: sample rate in Hz
    int32_t length = 0;         // sample words
    int32_t loop_start = 0;     // words
    int32_t loop_end = 0;       // words
    uint8_t loop_type = kSdsNoLoop;
    bool extended = false;  // set by the readers: which layout it came in
};

// Standard header, 21 bytes: F0 7E cc 01 ss ss ee pp pp pp ll ll ll ...
// Period, length and loop points are 3 groups; sample number low group first.
size_t build_standard_header(uint8_t* out, const SdsDumpHeader& h);
// Extended header, 34 bytes: F0 7E cc 05 05, sample number high group first,
// bits, rate (4 groups) and four zero fraction bytes, length and loop points
// in 5 groups, loop type, 1 channel, F7.
size_t build_extended_header(uint8_t* out, const SdsDumpHeader& h);

// Reads a standard (F0 7E cc 01, at least 21 bytes) or extended (F0 7E cc 05
// 05, at least 34 bytes) header. The standard one leaves rate_hz 0, the
// extended one period_ns 0. A length or loop point beyond 2^31 - 1 fails.
bool read_dump_header(const uint8_t* data, size_t size, SdsDumpHeader& out);

// True when the message starts like either dump header (F0 7E cc 01, or
// F0 7E cc 05 05), whatever its length.
bool is_sds_dump_header(const uint8_t* data, size_t size);

// --- Name messages ----------------------------------------------------------------
// Sample name message: F0 7E cc 05 03, sample number high group first, 00, n,
// n name bytes, F7. The name (8-bit Mac Roman text) is cut at 127 bytes.
// MIDI data bytes carry 7 bits, so a byte of 0x80 and up (a letter beyond
// ASCII) goes out as '_' rather than as a status byte that would cut the
// message short at the receiver. Returns 10 + n.
size_t build_sample_name_message(uint8_t* out, uint8_t channel, int32_t sample_number,
                                 std::string_view name);

// Device name message, 13 bytes: F0 00 20 3C 02 00 73, the sample number's
// low 7 bits, the four bytes of name_code from the top byte down (each masked
// to 7 bits), F7.
size_t build_device_name_message(uint8_t* out, int32_t sample_number, uint32_t name_code);

// Reads a device name message (exactly 13 bytes, F0 00 20 3C 02 00 73 .. F7):
// the sample number byte and the four characters, first in the top byte.
bool read_device_name_message(const uint8_t* data, size_t size, uint8_t& sample_number,
                              uint32_t& name_code);

// Reads a sample name message: the name bytes as sent (at most the n the
// message announces and the buffer holds before its F7).
bool read_sample_name_message(const uint8_t* data, size_t size, int32_t& sample_number,
                              std::string& name);

// --- Data packets -----------------------------------------------------------------
// Exclusive-or of bytes 1 to 124 of a packet (the leading F0 and the checksum
// itself excluded), masked to 7 bits. The caller passes at least 125 bytes.
uint8_t sds_packet_checksum(const uint8_t* packet);

// Completes a packet whose 120 data bytes (5 .. 124) are already in place:
// F0 7E cc 02 nn, checksum, F7.
void finish_data_packet(uint8_t* packet, uint8_t channel, uint8_t packet_number);

struct SdsPacketView {
    uint8_t channel = 0;
    uint8_t packet_number = 0;
    const uint8_t* data = nullptr;  // the 120 data bytes, inside the message
    bool checksum_ok = false;
};
// Reads a data packet: F0 7E cc 02, at least 127 bytes.
bool read_data_packet(const uint8_t* data, size_t size, SdsPacketView& out);

// --- Handshake --------------------------------------------------------------------
// F0 7E cc t pp F7 with t one of ACK, NAK, CANCEL, WAIT.
size_t build_handshake(uint8_t* out, uint8_t channel, SdsMessageId type, uint8_t packet);
// Reads a 6-byte handshake message (any of the four types).
bool read_handshake(const uint8_t* data, size_t size, uint8_t& channel, SdsMessageId& type,
                    uint8_t& packet);

}  // namespace j3
