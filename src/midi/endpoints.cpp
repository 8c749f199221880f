#include "midi/endpoints.h"

namespace j3 {
namespace {

constexpr const char* kClientName = "J3";
constexpr const char* kInputPortName = "Input port";
constexpr const char* kOutputPortName = "Output port";
constexpr const char* kVirtualDestinationName = "Brask";

// The preferences loader's range rule: a stored position is taken only when
// the list is not empty and the position, compared unsigned, is within it.
bool position_in_range(int32_t position, int32_t count) {
    return count >= 1 && uint32_t(position) <= uint32_t(count);
}

}  // namespace

void scan_midi(MidiService& midi, MidiEndpoints& e, ReadProc read_proc) {
    midi.create_client(kClientName, kInputPortName, kOutputPortName, std::move(read_proc));

    e.source_count = midi.source_count();
    e.source_connected = false;
    e.source_names.clear();
    for (int32_t i = 0; i < e.source_count; ++i) {
        // Nothing is connected after a scan; source_endpoint names the last
        // listed source until a source is chosen.
        e.source_endpoint = midi.source(i);
        e.source_names.push_back(endpoint_display_name(midi, midi.source(i), false));
    }
    e.destination_count = midi.destination_count();
    e.destination_names.clear();
    for (int32_t i = 0; i < e.destination_count; ++i)
        e.destination_names.push_back(endpoint_display_name(midi, midi.destination(i), false));
}

std::string endpoint_display_name(MidiService& midi, Endpoint endpoint, bool external) {
    const EndpointInfo info = midi.endpoint_info(endpoint);
    // Without a device the port's own name stands alone: a leading dash would
    // only separate it from nothing.
    if (!info.has_entity || info.device_name.empty()) return info.name;
    if (external && info.device_entities < 2) return info.device_name;
    std::string text = "- " + info.name;
    if (info.device_name != text) text.insert(0, info.device_name + " ");
    return text;
}

int32_t choose_source(MidiService& midi, MidiEndpoints& e, int32_t position, bool at_load) {
    if (at_load) {
        if (!position_in_range(position, e.source_count)) return 0;
    } else if (e.source_endpoint != kNoEndpoint) {
        midi.disconnect_source(e.source_endpoint);
    }
    e.source_endpoint = position > 0 ? midi.source(position - 1) : kNoEndpoint;
    e.source_connected = e.source_endpoint != kNoEndpoint && midi.connect_source(e.source_endpoint);
    return position;
}

int32_t choose_destination(MidiService& midi, MidiEndpoints& e, int32_t position, bool at_load) {
    if (at_load && !position_in_range(position, e.destination_count)) return 0;
    e.destination_endpoint = position > 0 ? midi.destination(position - 1) : kNoEndpoint;
    return position;
}

int32_t position_for_name(const std::vector<std::string>& names, int32_t position,
                          const std::string& name) {
    if (name.empty()) return position;
    const auto find = [&](const std::string& n) {
        if (position >= 1 && size_t(position) <= names.size() && names[size_t(position) - 1] == n)
            return position;
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == n) return int32_t(i + 1);
        }
        return 0;
    };
    if (const int32_t p = find(name); p != 0) return p;
    // Earlier versions listed a port without a device as "- <name>"; such a
    // stored choice still names that port.
    return name.starts_with("- ") ? find(name.substr(2)) : 0;
}

bool create_virtual_destination(MidiService& midi, MidiEndpoints& e) {
    // Made once; a later rescan keeps it.
    if (e.virtual_destination != kNoEndpoint) return true;
    e.virtual_destination = midi.create_virtual_destination(kVirtualDestinationName);
    return e.virtual_destination != kNoEndpoint;
}

}  // namespace j3
