// The program's MIDI client, its ports and the endpoint lists with their names.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace j3 {

struct MidiEndpoints {
    int32_t source_count = 0;
    int32_t destination_count = 0;
    // Display names by position, UTF-8 as the system gives them (see
    // endpoint_display_name); one per endpoint.
    std::vector<std::string> source_names;
    std::vector<std::string> destination_names;
    Endpoint source_endpoint = kNoEndpoint;  // connected to the input port
    // Target of every request. Read by the completion and input threads while
    // the configuration window may choose another one.
    std::atomic<Endpoint> destination_endpoint{kNoEndpoint};
    Endpoint virtual_destination = kNoEndpoint;
    // source_endpoint is connected to the input port (a scan disconnects it).
    bool source_connected = false;
};

// (Re)creates the client "J3" with "Input port" (read procedure read_proc, run
// on the service's input thread) and "Output port", and refreshes the counts
// and names. Nothing is connected afterwards. GUI thread.
void scan_midi(MidiService& midi, MidiEndpoints& endpoints, ReadProc read_proc);

// "<device> - <endpoint>", or "<endpoint>" alone without a device (UTF-8). With
// external set, a device of fewer than 2 entities gives its name alone.
std::string endpoint_display_name(MidiService& midi, Endpoint endpoint, bool external);

// Choose by 1-based position and return the position to store as
// "Selected MIDI Interfaces In" / "Out". at_load applies the preferences
// loader's range rule (a stored position beyond the count, or any position
// when the list is empty, is not taken: the result is 0 and nothing changes);
// otherwise (the configuration window's OK) the previous source is
// disconnected first. Position 0 chooses none. GUI thread.
int32_t choose_source(MidiService& midi, MidiEndpoints& endpoints, int32_t position, bool at_load);
int32_t choose_destination(MidiService& midi, MidiEndpoints& endpoints, int32_t position,
                           bool at_load);

// The 1-based position in names that a stored choice names now, for lists
// whose order changes as ports come and go. A stored name wins: the stored
// position when its entry carries that name, else the first entry that does,
// or 0 (choose none) when no entry does. Without a stored name (a file
// written before names were kept), the stored position as it is. A stored
// "- <endpoint>" (the older text for a port without a device) names
// "<endpoint>".
int32_t position_for_name(const std::vector<std::string>& names, int32_t position,
                          const std::string& name);

// The private virtual destination "Brask", made once (a later call keeps it)
// and stored in virtual_destination; false when it cannot be made, and the
// caller then ends the program. GUI thread.
bool create_virtual_destination(MidiService& midi, MidiEndpoints& endpoints);

}  // namespace j3
