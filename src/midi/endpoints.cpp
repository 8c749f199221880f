#include "midi/endpoints.h"

#include <algorithm>
#include <cstring>

#include "engine/context.h"
#include "engine/mac_roman.h"

namespace j3 {
namespace {

constexpr const char* kClientName = "J3";
constexpr const char* kInputPortName = "Input port";
constexpr const char* kOutputPortName = "Output port";
constexpr const char* kVirtualDestinationName = "Brask";

// A name slot holds Mac Roman text of at most kNameBytes - 1 characters and
// its terminator. Characters Mac Roman lacks become '?'; longer names are cut.
void store_name(std::array<char, kNameBytes>& slot, const std::string& utf8) {
    const std::string mac = utf8_to_mac_roman_lossy(utf8);
    const size_t n = std::min(mac.size(), size_t(kNameBytes - 1));
    slot.fill(0);
    std::memcpy(slot.data(), mac.data(), n);
}

// The preferences loader's range rule: a stored position is taken only when
// the list is not empty and the position, compared unsigned, is within it.
bool position_in_range(int32_t position, int32_t count) {
    return count >= 1 && uint32_t(position) <= uint32_t(count);
}

}  // namespace

void scan_midi(Context& ctx, ReadProc read_proc) {
    MidiService& midi = *ctx.midi;
    MidiEndpoints& e = ctx.endpoints;
    midi.create_client(kClientName, kInputPortName, kOutputPortName, std::move(read_proc));

    e.source_count = midi.source_count();
    for (int32_t i = 0; i < kNameSlots; ++i) {
        if (i < e.source_count) {
            // Nothing is connected after a scan; source_endpoint names the
            // last listed source until a source is chosen.
            e.source_endpoint = midi.source(i);
            store_name(e.source_names[size_t(i)],
                       endpoint_display_name(midi, midi.source(i), false));
        } else {
            e.source_names[size_t(i)].fill(0);
        }
    }
    e.destination_count = midi.destination_count();
    for (int32_t i = 0; i < kNameSlots; ++i) {
        if (i < e.destination_count) {
            store_name(e.destination_names[size_t(i)],
                       endpoint_display_name(midi, midi.destination(i), false));
        } else {
            e.destination_names[size_t(i)].fill(0);
        }
    }
}

std::string endpoint_display_name(MidiService& midi, Endpoint endpoint, bool external) {
    const EndpointInfo info = midi.endpoint_info(endpoint);
    std::string text = "- " + info.name;
    if (!info.has_entity) return text;
    if (info.device_name.empty()) return text;
    if (external && info.device_entities < 2) return info.device_name;
    if (info.device_name != text) {
        if (!text.empty()) text.insert(0, " ");
        text.insert(0, info.device_name);
    }
    return text;
}

void choose_source(Context& ctx, int32_t position, bool at_load) {
    MidiEndpoints& e = ctx.endpoints;
    if (at_load) {
        if (!position_in_range(position, e.source_count)) {
            ctx.settings.selected_in = 0;
            return;
        }
    } else if (e.source_endpoint != kNoEndpoint) {
        ctx.midi->disconnect_source(e.source_endpoint);
    }
    e.source_endpoint = position > 0 ? ctx.midi->source(position - 1) : kNoEndpoint;
    if (e.source_endpoint != kNoEndpoint) ctx.midi->connect_source(e.source_endpoint);
    ctx.settings.selected_in = position;
}

void choose_destination(Context& ctx, int32_t position, bool at_load) {
    MidiEndpoints& e = ctx.endpoints;
    if (at_load && !position_in_range(position, e.destination_count)) {
        ctx.settings.selected_out = 0;
        return;
    }
    e.destination_endpoint = position > 0 ? ctx.midi->destination(position - 1) : kNoEndpoint;
    ctx.settings.selected_out = position;
}

bool create_virtual_destination(Context& ctx) {
    // Made once; a later rescan keeps it.
    if (ctx.endpoints.virtual_destination != kNoEndpoint) return true;
    ctx.endpoints.virtual_destination =
        ctx.midi->create_virtual_destination(kVirtualDestinationName);
    return ctx.endpoints.virtual_destination != kNoEndpoint;
}

}  // namespace j3
