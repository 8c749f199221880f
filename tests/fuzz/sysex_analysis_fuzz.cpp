// Fuzz target for the SysEx content analysis: the family test, the type tag,
// the block inventory of every family, the info texts and the SDS dump
// summary. Beyond not crashing: the inventory's single linear walk, which
// shares what it learnt between overlapping messages, counts the same normal
// and broken blocks as a plain recount that checks each message on its own.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "analysis/device_family.h"
#include "analysis/inventory.h"
#include "analysis/inventory_text.h"
#include "analysis/item_info.h"
#include "audio/sample_info.h"

namespace {

using namespace j3;

void check(bool ok) {
    if (!ok) std::abort();
}

// The block messages of each family and the first byte their checksum
// covers, stated again from the message tables rather than taken from the
// walk.
struct BlockId {
    uint8_t device, id;
    int kind, checksum_offset;
};
constexpr BlockId kBlocks[] = {
    {kDeviceKx, 0x50, kGlobals, 9},    {kDeviceKx, 0x52, kKits, 9},
    {kDeviceKx, 0x67, kPatterns, 9},   {kDeviceKx, 0x69, kSongs, 9},
    {kDeviceLy, 0x50, kGlobals, 9},    {kDeviceLy, 0x52, kKits, 9},
    {kDeviceLy, 0x67, kPatterns, 9},   {kDeviceLy, 0x69, kSongs, 9},
    {kDeviceLy, 0x5D, kWaveforms, 10}, {kDeviceZb, 0x57, kGlobals, 10},
    {kDeviceZb, 0x52, kKits, 10},      {kDeviceZb, 0x53, kSounds, 10},
    {kDeviceZb, 0x54, kPatterns, 10},  {kDeviceZb, 0x55, kSongs, 10},
    {kDeviceZb, 0x56, kSettings, 10},  {kDevice07, 0x57, kGlobals, 10},
    {kDevice07, 0x52, kKits, 10},      {kDevice07, 0x53, kSounds, 10},
    {kDevice07, 0x54, kPatterns, 10},  {kDevice07, 0x55, kSongs, 10},
    {kDevice07, 0x56, kSettings, 10},
};

const BlockId* block_id(uint8_t device, uint8_t id) {
    for (const BlockId& b : kBlocks) {
        if (b.device == device && b.id == id) return &b;
    }
    return nullptr;
}

void recount(const uint8_t* data, size_t size, uint8_t device) {
    SysexInventory want;
    const uint8_t header[6] = {0xF0, 0x00, 0x20, 0x3C, device, 0x00};
    for (size_t i = 0; i + 7 <= size; ++i) {
        if (std::memcmp(data + i, header, sizeof header) != 0) continue;
        const BlockId* b = block_id(device, data[i + 6]);
        if (!b) continue;
        if (check_block_message(data, size, i + 6, b->checksum_offset)) {
            ++want.normal[size_t(b->kind)];
        } else {
            ++want.broken[size_t(b->kind)];
        }
    }
    const SysexInventory got = take_sysex_inventory(data, size, device);
    check(got.normal == want.normal);
    check(got.broken == want.broken);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (uint8_t device : {kDeviceKx, kDeviceLy, kDevicePw, kDeviceZb, kDevice07})
        recount(data, size, device);
    type_tag_for_buffer(data, size);
    analyse_kx_sysex(data, size);
    analyse_ly_sysex(data, size);
    analyse_pw_sysex(data, size);
    analyse_zb_sysex(data, size);
    analyse_device07_sysex(data, size);
    const SdsDumpSummary summary = summarise_sds_dump(data, size);
    check(summary.correct_dumps >= 0 && summary.broken_count >= 0);
    analyse_sds_dump(data, size);
    SampleInfo info;
    item_info_for_buffer(data, size, info);
    return 0;
}
