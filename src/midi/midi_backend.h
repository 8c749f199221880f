// One MIDI system as the service sees it: its ports by their own names, and
// how to connect, hear from and send to them. The service (routing_service.h)
// numbers the endpoints of every backend and hands each call to the backend
// that owns the endpoint, with that endpoint's key (the system's own full
// port name, or the built-in endpoint's name).
//
//   class CoreMidiBackend final : public MidiBackend { ... };   // one file pair
//   backends.push_back(make_core_midi_backend(input));          // one line in midi_systems.cpp
//
// A backend queues what arrives into the input pump it was made with and
// never calls project code itself. Unless a function says otherwise it may be
// called from any thread, never under the service's lock, and it keeps its
// own state under a lock of its own that it never holds while it waits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "midi/midi_service.h"
#include "midi/send_pump.h"

namespace j3 {

// The names this program's client and ports carry in every system.
struct ClientNames {
    std::string client;
    std::string input_port = "Input port";
    std::string output_port = "Output port";

    bool operator==(const ClientNames&) const = default;
};

class MidiBackend {
  public:
    virtual ~MidiBackend() = default;

    // (Re)makes the client and its ports under those names (a backend whose
    // system is not there stays closed and lists nothing). Nothing is
    // connected afterwards. May ask a server and wait for it.
    virtual void open(const ClientNames& names) = 0;
    // Keys of the ports other programs offer now: sources are what this
    // program can hear from, destinations what it can send to.
    virtual std::vector<std::string> ports(bool sources) = 0;
    // The names the user sees of a port. Pure: the service calls it under
    // its own lock.
    virtual EndpointInfo describe(const std::string& key) const = 0;

    // One source at a time: connecting one drops the one before.
    virtual bool connect_source(const std::string& key) = 0;
    // False when that source was not the one connected.
    virtual bool disconnect_source(const std::string& key) = 0;
    // The port is still there to hear from (source) or send to. Cheap.
    virtual bool present(const std::string& key, bool source) = 0;

    // Whether the destination can take the request now: kSendTaken, or why
    // not. Cheap, never waits.
    virtual SendResult check(const std::string& destination, const SysexRequest& request) = 0;
    // Link thread, at the request's turn: hands its bytes over. A backend that
    // paces them itself returns once they are out (or closing() holds, or the
    // request is cancelled) and says so in Transmitted::paced.
    virtual Transmitted transmit(const std::string& destination, const SysexRequest& request,
                                 int bytes_per_second, const std::function<bool()>& closing) = 0;
    // Link thread: bytes a request sent to that destination have crossed the
    // wire at its speed (only for requests the backend did not pace).
    virtual void crossed(const std::string& destination, const uint8_t* bytes, uint32_t count) {
        (void)destination;
        (void)bytes;
        (void)count;
    }

    // The backend can hold a request to that destination until an SDS ACK
    // from the connected source lets it out (SysexRequest::hold_for_ack).
    virtual bool can_hold_for_ack(const std::string& destination) {
        (void)destination;
        return false;
    }
    // See MidiService::xrun_count and stall_ns: 0 for a system that cannot tell.
    virtual uint64_t xruns() { return 0; }
    virtual uint64_t stall_ns() { return 0; }
    // The last error the system reported, empty when none.
    virtual std::string last_error() { return {}; }
};

}  // namespace j3
