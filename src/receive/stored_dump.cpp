#include "receive/stored_dump.h"

#include "receive/dump_assembler.h"

namespace j3 {

std::optional<std::vector<uint8_t>> first_dump_as_wav(const uint8_t* data, size_t size) {
    DumpAssembler dumps;
    dumps.sds_format = kSdsFormatWav;
    assemble_bytes(dumps, data, size);
    finish_assembly(dumps, size);
    for (DumpEvent& e : dumps.events) {
        if (e.kind == DumpEvent::kItemDone) return std::move(e.item);
    }
    return std::nullopt;
}

}  // namespace j3
