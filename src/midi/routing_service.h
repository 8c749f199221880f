// The real MIDI service over one backend per MIDI system (midi_backend.h):
// it numbers the endpoints of every backend, lists them in the backends'
// order, keeps each destination's speed, runs the sending threads
// (send_pump.h) and the input thread (input_pump.h), and hands every call to
// the backend that owns the endpoint.
//
//   RoutingService midi([](InputPump& input) {
//       BackendList b;
//       b.push_back(std::make_unique<LoopbackBackend>(input));
//       return b;
//   });
//
// An endpoint keeps its id while its backend lists a port of its key (across
// rescans too). This program's own ports (its client's, or another J3's that
// a system renamed "J3-NN") are not listed. Private destinations
// (create_virtual_destination) live in the service itself and discard.
//
// Locks: the service's own mutex guards the endpoint records, the lists and
// the speeds; it is never held while a backend is called (but for its pure
// describe()), so every backend's own lock is independent of it.
//
// Destroy the service after the sends have stopped: requests still held are
// then completed as cancelled.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/thread_annotations.h"
#include "midi/input_pump.h"
#include "midi/loopback_backend.h"
#include "midi/midi_backend.h"
#include "midi/midi_service.h"
#include "midi/send_pump.h"

namespace j3 {

constexpr int kDefaultSysexSpeed = 3125;  // bytes per second: MIDI's 31250 baud

using BackendList = std::vector<std::unique_ptr<MidiBackend>>;
// Makes the backends, in the order their endpoints are listed; each queues
// what arrives into input.
using MakeBackends = std::function<BackendList(InputPump& input)>;

class RoutingService final : public MidiService {
  public:
    explicit RoutingService(const MakeBackends& make_backends);
    // Stops the sending threads before the backends they use go.
    ~RoutingService() override;

    bool create_client(const std::string& client_name, const std::string& input_port_name,
                       const std::string& output_port_name, ReadProc read_proc) override;
    int source_count() override;
    int destination_count() override;
    Endpoint source(int index) override;
    Endpoint destination(int index) override;
    EndpointInfo endpoint_info(Endpoint endpoint) override;
    bool connect_source(Endpoint source) override;
    bool disconnect_source(Endpoint source) override;
    bool source_present(Endpoint source) override;
    bool destination_present(Endpoint destination) override;
    Endpoint create_virtual_destination(const std::string& name) override;
    int max_sysex_speed(Endpoint destination) override;
    void set_max_sysex_speed(Endpoint destination, int bytes_per_second) override;
    SendResult send_sysex(SysexRequest* request) override;
    bool can_hold_for_ack(Endpoint destination) override;
    uint64_t xrun_count() override;
    std::string backend_error(Endpoint destination) override;
    uint64_t stall_ns() override;

  private:
    struct Record {
        MidiBackend* backend;
        bool source;
        std::string key;  // the backend's name of the port
        EndpointInfo info;
    };
    // Where a call about an endpoint goes; no backend when there is none.
    struct Route {
        MidiBackend* backend = nullptr;
        std::string key;
    };
    // What one backend listed.
    struct Ports {
        std::vector<std::string> sources, destinations;
    };

    Endpoint intern(MidiBackend* backend, bool source, const std::string& key) J3_REQUIRES(mutex_);
    const Record* record(Endpoint e) const J3_REQUIRES(mutex_);
    // Any record of that endpoint, or only one of that direction.
    Route route(Endpoint e) J3_EXCLUDES(mutex_);
    Route route(Endpoint e, bool source) J3_EXCLUDES(mutex_);
    std::vector<Ports> list_ports() J3_EXCLUDES(mutex_);
    void refresh_lists(const std::vector<Ports>& ports) J3_REQUIRES(mutex_);
    void add_port(MidiBackend* backend, bool source, const std::string& key,
                  std::vector<Endpoint>& list) J3_REQUIRES(mutex_);
    SendResult check(const SysexRequest& request);
    Transmitted transmit(const SysexRequest& request);
    void crossed(Endpoint destination, const uint8_t* bytes, uint32_t count);

    // Never held while a backend is asked anything but describe(), while
    // waiting or while a procedure runs.
    Mutex mutex_{LockRank::kMidiService};
    ClientNames names_ J3_GUARDED_BY(mutex_);
    std::vector<Record> records_ J3_GUARDED_BY(mutex_);  // Endpoint e is records_[e - 1]
    std::vector<Endpoint> sources_ J3_GUARDED_BY(mutex_);
    std::vector<Endpoint> destinations_ J3_GUARDED_BY(mutex_);
    std::map<Endpoint, int> speeds_ J3_GUARDED_BY(mutex_);

    // Declared in this order so that the backends, whose callbacks queue into
    // input_, go before it, and the threads that use the backends go first.
    InputPump input_;
    BackendList backends_;  // fixed once made
    DiscardBackend private_;
    std::unique_ptr<SendPump> pump_;
};

}  // namespace j3
