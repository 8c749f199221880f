// The counts behind the info text: the block inventory of the instrument
// families, the two firmware-upgrade checks, and the SDS dump summary. The
// texts made from them are in analysis/inventory_text.h.
//
// Every function takes the buffer as (data, size), reads only inside it, keeps
// nothing and runs in time linear in the size whatever the bytes are (so a
// hostile file cannot hang the GUI thread). Any thread may call them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace j3 {

// Kinds of block message that the inventory counts.
enum BlockKind : int {
    kGlobals,
    kKits,
    kSounds,
    kPatterns,
    kSongs,
    kSettings,
    kWaveforms,  // LY only
    kBlockKindCount,
};

// What one walk over a family's messages found.
struct SysexInventory {
    std::array<int32_t, kBlockKindCount> normal{};  // passed the block check
    std::array<int32_t, kBlockKindCount> broken{};  // failed it (checksum, length, or cut off)
    int32_t waveform_slot = 0;  // slot byte of the last normal waveform message (LY)

    int32_t upgrade_data = 0;     // upgrade data messages (id 7E)
    int32_t upgrade_control = 0;  // upgrade control messages (id 7F)
    bool upgrade_error = false;
};

// The kind (BlockKind) a message id counts as for the family of device_id,
// or -1 for an id the inventory does not count.
int block_kind(uint8_t device_id, uint8_t message_id);
// Offset from the F0 of the first byte the block checksum covers: 9 or 10.
int checksum_offset(uint8_t device_id, uint8_t message_id);

// Block check of the message whose id lies at id_pos: the first F7 at or after
// id_pos ends it; the 14-bit sum of the bytes from offset checksum_offset of
// the message (9 or 10; id_pos is offset 6) up to the byte before the stored
// checksum must equal that checksum, and the stored length must be the
// message's length minus 10. A message without an F7 is broken. id_pos must
// be at least 6 and inside the buffer.
bool check_block_message(const uint8_t* data, size_t size, size_t id_pos, int checksum_offset);

// One walk over every message of the family (device id 02, 03, 05, 06 or 07):
// block counts, and the upgrade check of the family's scheme. Any other id
// gives an empty inventory.
SysexInventory take_sysex_inventory(const uint8_t* data, size_t size, uint8_t device_id);

// What an SDS dump buffer holds: the dump header at offset 0 and a count of
// correct and broken dumps.
struct SdsDumpSummary {
    int32_t bits = 0;
    int32_t period_ns = 0;
    int32_t sample_rate = 0;  // Hz; 0 when the period is 0
    int32_t length = 0;       // words
    int32_t loop_start = 0;
    int32_t loop_end = 0;
    int32_t loop_type = 0;  // 7F: no loop
    int32_t correct_dumps = 0;
    int32_t broken_count = 0;
};

// size is the entry's size. Header bytes beyond the buffer count as 0.
SdsDumpSummary summarise_sds_dump(const uint8_t* data, size_t size);

}  // namespace j3
