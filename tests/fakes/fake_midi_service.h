// A MIDI service that records every request handed to it and completes them
// when the test says so, on the test's thread (standing in for the service's
// completion thread). Endpoints are whatever the test lists.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace j3::testing {

struct SentRequest {
    Endpoint destination = kNoEndpoint;
    std::vector<uint8_t> bytes;  // copied when handed over
    bool starts_transfer = false;
    int32_t hold_for_ack = -1;
};

class FakeMidiService : public MidiService {
  public:
    bool create_client(const std::string& client_name, const std::string& input_port_name,
                       const std::string& output_port_name, ReadProc read_proc) override;
    int source_count() override { return int(sources.size()); }
    int destination_count() override { return int(destinations.size()); }
    Endpoint source(int index) override;
    Endpoint destination(int index) override;
    EndpointInfo endpoint_info(Endpoint endpoint) override;
    bool connect_source(Endpoint source) override;
    bool disconnect_source(Endpoint source) override;
    Endpoint create_virtual_destination(const std::string& name) override;
    int max_sysex_speed(Endpoint destination) override;
    void set_max_sysex_speed(Endpoint destination, int bytes_per_second) override;
    SendResult send_sysex(SysexRequest* request) override;
    uint64_t xrun_count() override { return xruns; }
    std::string backend_error(Endpoint destination) override;
    uint64_t stall_ns() override { return stall; }
    bool can_hold_for_ack(Endpoint) override { return holds_for_ack; }

    // Test side. Completes the oldest held request: marks it complete and calls
    // its procedure. Returns false when none is held.
    bool complete_next();
    // Completes requests until none is held (or limit is reached); returns how many.
    int complete_all(int limit = 1000000);
    size_t held() const;
    std::vector<SentRequest> sent_copy() const;
    std::vector<uint8_t> sent_bytes() const;  // everything sent, concatenated

    // Endpoint ids are positions + 1 (sources 1.., destinations 1001..); the
    // virtual destination is kVirtualDestination.
    static constexpr Endpoint kVirtualDestination = 999;
    std::vector<EndpointInfo> sources;
    std::vector<EndpointInfo> destinations;
    std::vector<Endpoint> connected;
    std::string client_name;
    std::string virtual_destination;
    bool fail_virtual_destination = false;
    int refuse_above = 0;        // refuse requests longer than this (0 = take all)
    bool holds_for_ack = false;  // requests may wait for an ACK (the test lets them go)
    // Requests completed from now on report this outcome: taken, then lost on
    // the way (the destination was disconnected, its server went away).
    std::atomic<SendResult> undelivered{kSendTaken};
    std::atomic<uint64_t> xruns{0};  // the server's xrun count
    std::atomic<uint64_t> stall{0};  // nanoseconds the server stood still
    // Set: the next request completed reports that the MIDI system raised
    // this error (and backend_error says it from then on).
    std::string raise_backend_error;
    std::string raised_error;
    ReadProc read_proc;
    std::vector<std::pair<Endpoint, int>> speeds;

    mutable std::mutex mutex;
    std::vector<SentRequest> sent;
    std::deque<SysexRequest*> in_flight;
};

}  // namespace j3::testing
