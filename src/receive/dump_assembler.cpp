#include "receive/dump_assembler.h"

#include <algorithm>
#include <utility>

#include "format/sds_messages.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

bool one_item(const DumpAssembler& a) {
    return a.sds_format == kSdsFormatSysexOneItem;
}

// The open dump ended before its announced length: report it and drop what
// it added to the item.
void end_dump_early(DumpAssembler& a, size_t at) {
    if (!a.dump_open) return;
    const SdsDumpState& d = converter_dump(*a.state, a.sds_format);
    DumpEvent e;
    e.kind = DumpEvent::kItemIncomplete;
    e.at = at;
    e.dump = a.dumps;
    // The SysEx converter counts whole packets, which may pass the length.
    e.samples_arrived = std::min(d.samples_counted, d.length);
    e.samples_announced = d.length;
    a.events.push_back(std::move(e));
    a.dump_open = false;
    a.item.resize(a.item_kept);
}

void hand_over_item(DumpAssembler& a) {
    DumpEvent e;
    e.kind = DumpEvent::kItemDone;
    e.dump = a.dumps;
    e.item = std::move(a.item);
    a.events.push_back(std::move(e));
    a.item.clear();
    a.item_kept = 0;
}

void message_unended(DumpAssembler& a) {
    DumpEvent e;
    e.kind = DumpEvent::kMessageUnended;
    e.at = a.message_at;
    a.events.push_back(std::move(e));
    a.in_message = false;
    a.message.clear();
}

}  // namespace

SdsReceiveResult assemble_message(DumpAssembler& a, const uint8_t* data, size_t size, size_t at) {
    if (size < 4 || data[0] != kSysexStart || data[1] != 0x7E) {
        ++a.not_sds;
        return kSdsIgnored;
    }
    const bool header = is_sds_dump_header(data, size);
    if (header) end_dump_early(a, at);
    SdsConverter& s = *a.state;
    s.scratch_fill = 0;
    const SdsReceiveResult result = receive_sds_message(s, a.sds_format, data, size);
    if (result == kSdsRejected) {
        DumpEvent e;
        e.kind = DumpEvent::kMessageRejected;
        e.at = at;
        e.dump = a.dump_open ? a.dumps : 0;
        e.header = header;
        e.dump_open = a.dump_open;
        a.events.push_back(std::move(e));
        return result;
    }
    if (result == kSdsHeaderAccepted) {
        a.dump_open = true;
        ++a.dumps;
    }
    // Output outside a dump (a sample name message before any header) has no
    // item to go to.
    if (a.dump_open) {
        if (s.pass_through > 0)
            a.item.insert(a.item.end(), data, data + s.pass_through);
        else
            a.item.insert(a.item.end(), s.scratch_buffer, s.scratch_buffer + s.scratch_fill);
    }
    if (result == kSdsDumpComplete && a.dump_open) {
        a.dump_open = false;
        a.item_kept = a.item.size();
        if (!one_item(a)) hand_over_item(a);
    }
    return result;
}

void assemble_bytes(DumpAssembler& a, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        const size_t at = a.fed + i;
        if (b == kSysexStart) {
            if (a.in_message) message_unended(a);
            a.in_message = true;
            a.message_at = at;
            a.message.assign(1, b);
        } else if (!a.in_message || b >= 0xF8) {
            // Outside a message, or a real-time byte (timing clock, active
            // sensing) a capture of the wire holds inside one.
        } else {
            a.message.push_back(b);
            if (b == kSysexEnd) {
                a.in_message = false;
                assemble_message(a, a.message.data(), a.message.size(), a.message_at);
                a.message.clear();
            }
        }
    }
    a.fed += size;
}

void finish_assembly(DumpAssembler& a, size_t at) {
    if (a.in_message) message_unended(a);
    end_dump_early(a, at);
    // The converter's dump goes with the assembler's: a packet of the
    // dropped dump in the next input is refused, not taken into nothing.
    for (SdsDumpState& d : a.state->dumps) d = SdsDumpState{};
    if (one_item(a) && !a.item.empty()) hand_over_item(a);
}

}  // namespace j3
