// The program's MIDI client, its ports and the endpoint lists with their names.
#pragma once

#include <array>
#include <cstdint>
#include <string>

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

namespace j3 {

struct Context;

// (Re)creates the client "J3" with "Input port" (read procedure read_proc, run
// on the service's input thread) and "Output port", and refreshes the counts
// and name tables. Nothing is connected afterwards. GUI thread.
void scan_midi(Context& ctx, ReadProc read_proc);

// "<device> - <endpoint>", or "- <endpoint>" without a device (UTF-8). With
// external set, a device of fewer than 2 entities gives its name alone.
std::string endpoint_display_name(MidiService& midi, Endpoint endpoint, bool external);

// Choose by 1-based position and set selected_in / selected_out. at_load
// applies the preferences loader's range rule (a stored position beyond the
// count, or any position when the list is empty, is not taken: the selection
// becomes 0); otherwise (the configuration window's OK) the previous source is
// disconnected first. Position 0 chooses none. GUI thread.
void choose_source(Context& ctx, int32_t position, bool at_load);
void choose_destination(Context& ctx, int32_t position, bool at_load);

// The private virtual destination "Brask", made once (a later call keeps it)
// and stored in virtual_destination; false when it cannot be made, and the
// caller then ends the program. GUI thread.
bool create_virtual_destination(Context& ctx);

}  // namespace j3
