// The MIDI-service seam: what the core asks of the system's MIDI service and
// nothing more. Implementations: the routing service over one backend per
// MIDI system (midi_systems.h) and a scriptable fake in the tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace j3 {

// An endpoint of the service; 0 names none. The value is the service's own.
using Endpoint = uint32_t;
constexpr Endpoint kNoEndpoint = 0;

// Results of MidiService::send_sysex. A refused request is still completed.
enum SendResult : int {
    kSendTaken = 0,
    kSendTooLarge = 1,       // more bytes than the destination's backend carries in one message
    kSendNoDestination = 2,  // no such destination, or it has left the system
    kSendBackendLost = 3,    // the MIDI server behind the destination has gone away
    // J3's output port is no longer connected to the destination (a patchbay
    // took the connection away); the next send to it connects again.
    kSendDisconnected = 4,
    // The MIDI system raised an error while taking the message (a failed ALSA
    // send, say); MidiService::backend_error says what it said.
    kSendBackendError = 5,
};
// A short text for the user, e.g. "the destination has gone away".
const char* send_result_text(SendResult result);

struct SysexRequest;
// The "Delay" between messages counts in ticks of 1/60 s.
inline constexpr int32_t kTicksPerSecond = 60;
// Runs on the service's completion thread, once per request handed over.
using CompletionProc = void (*)(SysexRequest* request);

// The asynchronous SysEx send's request record. The caller owns it and must
// not refill it while the service holds it (from send_sysex until its
// completion procedure has been called).
struct SysexRequest {
    Endpoint destination = kNoEndpoint;
    const uint8_t* data = nullptr;
    uint32_t bytes_to_send = 0;
    // True once the service has finished the request, or when the program sets
    // it to cancel a request in flight; the service then stops sending it and
    // reports it promptly.
    std::atomic<bool> complete{true};
    CompletionProc completion_proc = nullptr;
    void* completion_ref = nullptr;  // handed back untouched (the engine's context)
    // The first request of a transfer: a connection to the destination that
    // went away before it is made again. On a later one a lost connection
    // means lost data, and the request fails with kSendDisconnected.
    bool starts_transfer = true;
    // The program hands its next request over as soon as this one completes,
    // with no pause and no answer awaited: the service may then complete it
    // once it holds a copy of the bytes, while the wire is still busy with
    // what came before, so the next request is ready the moment the wire is
    // free. Its pacing still holds every request to its time. A cancel no
    // longer reaches bytes already handed back this way; they go out whole.
    bool queue_next = false;
    // -1, or the SDS ACK (channel << 7 | packet number) these bytes wait for:
    // a service that can hold them (MidiService::can_hold_for_ack) lets them
    // out the moment that ACK comes in from the chosen source, in the same
    // MIDI cycle. A service that cannot is never handed such a request.
    int32_t hold_for_ack = -1;
    // The "Delay" (ticks of 1/60 s) the program paused before handing these
    // bytes over. A service that reports a request done before its wire time
    // has ended still places the next no sooner than this long after the
    // wire is free, so the pause is never shortened.
    int32_t pause_ticks = 0;
    // Set by the service before the completion procedure runs: kSendTaken when
    // the bytes went out (or the request was cancelled), else why they did not
    // (the destination left, was disconnected, its server went away).
    std::atomic<SendResult> outcome{kSendTaken};
};

// One MIDI message or SysEx fragment as it arrived; SysEx may come in several.
struct MidiPacket {
    uint64_t timestamp_ns = 0;  // arrival_time_ns() when it came
    std::vector<uint8_t> bytes;
};
// Nanoseconds on the steady clock: when a packet came in, for MidiPacket.
uint64_t arrival_time_ns();
using MidiPacketList = std::vector<MidiPacket>;
// Runs on the service's input thread.
using ReadProc = std::function<void(const MidiPacketList& packets)>;

// What an API reports of an endpoint, for the display name.
struct EndpointInfo {
    std::string name;         // the port's own name (UTF-8)
    bool has_entity = false;  // the endpoint belongs to a device
    std::string device_name;  // the owning client or device, empty when none
    int device_entities = 0;  // how many entities the device has
};

class MidiService {
  public:
    virtual ~MidiService() = default;

    // (Re)creates the client and its ports; the input port's read procedure
    // is read_proc. Any earlier client, ports and connections are dropped.
    virtual bool create_client(const std::string& client_name, const std::string& input_port_name,
                               const std::string& output_port_name, ReadProc read_proc) = 0;

    virtual int source_count() = 0;
    virtual int destination_count() = 0;
    // 0-based index; an index out of range yields kNoEndpoint.
    virtual Endpoint source(int index) = 0;
    virtual Endpoint destination(int index) = 0;
    virtual EndpointInfo endpoint_info(Endpoint endpoint) = 0;

    virtual bool connect_source(Endpoint source) = 0;
    virtual bool disconnect_source(Endpoint source) = 0;
    // False once the source has left the system or its MIDI server has gone
    // (nothing can come from it any more). Any thread; cheap, never waits.
    virtual bool source_present(Endpoint source) { return source != kNoEndpoint; }
    // The same for a destination: false once it has left or its server has
    // gone (a port of the same name that comes back is connected again).
    // Any thread; cheap, never waits.
    virtual bool destination_present(Endpoint destination) { return destination != kNoEndpoint; }

    // A private destination that other programs do not list and that discards
    // what it gets; it is not in the destination list either. kNoEndpoint when
    // it cannot be made.
    virtual Endpoint create_virtual_destination(const std::string& name) = 0;

    // Maximum SysEx speed of a destination in bytes per second (3125 unless set).
    virtual int max_sysex_speed(Endpoint destination) = 0;
    virtual void set_max_sysex_speed(Endpoint destination, int bytes_per_second) = 0;

    // Hands a request over. The service sends request->bytes_to_send bytes from
    // request->data to request->destination, paced to the destination's speed,
    // then sets request->complete and calls request->completion_proc exactly
    // once on its completion thread. Returns kSendTaken when the request was
    // taken; a request it refuses (a SendResult: too large for the backend, no
    // such destination) is still completed, and the result says why: never
    // silently dropped. Any thread.
    virtual SendResult send_sysex(SysexRequest* request) = 0;
    // Whether a request to that destination may wait for an ACK in the
    // service (SysexRequest::hold_for_ack). Any thread.
    virtual bool can_hold_for_ack(Endpoint destination) {
        (void)destination;
        return false;
    }
    // How many times the MIDI server reported that it fell behind (JACK's
    // xrun), when events may have been dropped on the way; a send compares it
    // before and after. 0 for a service that cannot tell. Any thread.
    virtual uint64_t xrun_count() { return 0; }
    // The last error the MIDI system behind that destination reported (the
    // backend keeps one per API), empty when none. Any thread.
    virtual std::string backend_error(Endpoint destination) {
        (void)destination;
        return {};
    }
    // Nanoseconds the MIDI server has stood still in all since the service
    // began (cycles it ran late, xruns): a wait for an answer from the wire
    // grows by what this grows meanwhile. 0 for a service that cannot tell.
    // Any thread.
    virtual uint64_t stall_ns() { return 0; }
};

}  // namespace j3
