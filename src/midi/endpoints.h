// The program's MIDI client, its ports and the endpoint lists with their names.
#pragma once

#include <array>
#include <cstdint>

#include "midi/midi_service.h"

namespace j3 {

constexpr int kNameSlots = 128;
constexpr int kNameBytes = 64;  // Mac Roman, zero-terminated

struct MidiEndpoints {
    int32_t source_count = 0;
    int32_t destination_count = 0;
    std::array<std::array<char, kNameBytes>, kNameSlots> source_names{};
    std::array<std::array<char, kNameBytes>, kNameSlots> destination_names{};
    Endpoint source_endpoint = kNoEndpoint;       // connected to the input port
    Endpoint destination_endpoint = kNoEndpoint;  // target of every request
    Endpoint virtual_destination = kNoEndpoint;
};

}  // namespace j3
