#include "receive/stored_dump.h"

#include <algorithm>

#include "receive/dump_assembler.h"

namespace j3 {

std::optional<std::vector<uint8_t>> first_dump_as_wav(const uint8_t* data, size_t size) {
    DumpAssembler dumps;
    dumps.sds_format = kSdsFormatWav;
    auto first_item = [&dumps]() -> std::optional<std::vector<uint8_t>> {
        for (DumpEvent& e : dumps.events) {
            if (e.kind == DumpEvent::kItemDone) return std::move(e.item);
        }
        dumps.events.clear();
        return std::nullopt;
    };
    // A piece at a time, so a large item stops at the end of its first dump.
    constexpr size_t kPiece = size_t(64) << 10;
    for (size_t at = 0; at < size; at += kPiece) {
        assemble_bytes(dumps, data + at, std::min(kPiece, size - at));
        if (auto item = first_item()) return item;
    }
    finish_assembly(dumps, size);
    return first_item();
}

}  // namespace j3
