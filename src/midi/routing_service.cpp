#include "midi/routing_service.h"

#include <algorithm>

#include "midi/port_names.h"

namespace j3 {

RoutingService::RoutingService(const MakeBackends& make_backends)
    : backends_(make_backends(input_)),
      pump_(std::make_unique<SendPump>(
          SendPumpHooks{[this](const SysexRequest& r) { return transmit(r); },
                        [this](Endpoint e, const uint8_t* b, uint32_t n) { crossed(e, b, n); },
                        [this](Endpoint e) { return max_sysex_speed(e); }})) {
    // What the backends list before any client is made (the built-in
    // endpoints) is numbered first and listed at once.
    const std::vector<Ports> ports = list_ports();
    Lock lock(mutex_);
    refresh_lists(ports);
}

RoutingService::~RoutingService() {
    // The link thread uses the backends: stop it first. The pump stays in
    // place meanwhile, for completion procedures that hand over more.
    pump_->close();
    backends_.clear();
}

bool RoutingService::create_client(const std::string& client_name,
                                   const std::string& input_port_name,
                                   const std::string& output_port_name, ReadProc read_proc) {
    const ClientNames names{client_name, input_port_name, output_port_name};
    {
        Lock lock(mutex_);
        names_ = names;
    }
    for (const auto& backend : backends_) backend->open(names);
    const std::vector<Ports> ports = list_ports();
    {
        Lock lock(mutex_);
        refresh_lists(ports);
    }
    // Outside the lock: it waits for a running read procedure, which may
    // itself call the service.
    input_.set_read_proc(std::move(read_proc));
    return true;
}

int RoutingService::source_count() {
    Lock lock(mutex_);
    return int(sources_.size());
}

int RoutingService::destination_count() {
    Lock lock(mutex_);
    return int(destinations_.size());
}

Endpoint RoutingService::source(int index) {
    Lock lock(mutex_);
    return index >= 0 && index < int(sources_.size()) ? sources_[size_t(index)] : kNoEndpoint;
}

Endpoint RoutingService::destination(int index) {
    Lock lock(mutex_);
    return index >= 0 && index < int(destinations_.size()) ? destinations_[size_t(index)]
                                                           : kNoEndpoint;
}

EndpointInfo RoutingService::endpoint_info(Endpoint endpoint) {
    Lock lock(mutex_);
    const Record* r = record(endpoint);
    return r ? r->info : EndpointInfo{};
}

bool RoutingService::connect_source(Endpoint source) {
    const Route r = route(source, true);
    return r.backend && r.backend->connect_source(r.key);
}

bool RoutingService::disconnect_source(Endpoint source) {
    const Route r = route(source, true);
    return r.backend && r.backend->disconnect_source(r.key);
}

bool RoutingService::source_present(Endpoint source) {
    const Route r = route(source, true);
    return r.backend && r.backend->present(r.key, true);
}

bool RoutingService::destination_present(Endpoint destination) {
    const Route r = route(destination, false);
    return r.backend && r.backend->present(r.key, false);
}

Endpoint RoutingService::create_virtual_destination(const std::string& name) {
    Lock lock(mutex_);
    return intern(&private_, false, name);
}

int RoutingService::max_sysex_speed(Endpoint destination) {
    Lock lock(mutex_);
    auto it = speeds_.find(destination);
    return it == speeds_.end() ? kDefaultSysexSpeed : it->second;
}

void RoutingService::set_max_sysex_speed(Endpoint destination, int bytes_per_second) {
    Lock lock(mutex_);
    speeds_[destination] = std::max(bytes_per_second, 1);
}

SendResult RoutingService::send_sysex(SysexRequest* request) {
    const SendResult result = check(*request);
    // Taken from here on: the flag now means "cancel" only.
    request->complete = false;
    request->outcome = result;
    if (result != kSendTaken) {
        pump_->complete_refused(request);
        return result;
    }
    return pump_->submit(request) ? kSendTaken : kSendBackendLost;
}

bool RoutingService::can_hold_for_ack(Endpoint destination) {
    const Route r = route(destination, false);
    return r.backend && r.backend->can_hold_for_ack(r.key);
}

uint64_t RoutingService::xrun_count() {
    uint64_t sum = 0;
    for (const auto& backend : backends_) sum += backend->xruns();
    return sum;
}

uint64_t RoutingService::stall_ns() {
    uint64_t sum = 0;
    for (const auto& backend : backends_) sum += backend->stall_ns();
    return sum;
}

// The backend keeps one error for all its endpoints, so any endpoint of it
// names it.
std::string RoutingService::backend_error(Endpoint destination) {
    const Route r = route(destination);
    return r.backend ? r.backend->last_error() : std::string();
}

// --- records ---------------------------------------------------------------

Endpoint RoutingService::intern(MidiBackend* backend, bool source, const std::string& key) {
    for (size_t i = 0; i < records_.size(); ++i) {
        const Record& r = records_[i];
        if (r.backend == backend && r.source == source && r.key == key) return Endpoint(i + 1);
    }
    records_.push_back({backend, source, key, backend->describe(key)});
    return Endpoint(records_.size());
}

const RoutingService::Record* RoutingService::record(Endpoint e) const {
    return e >= 1 && e <= records_.size() ? &records_[e - 1] : nullptr;
}

RoutingService::Route RoutingService::route(Endpoint e) {
    Lock lock(mutex_);
    const Record* r = record(e);
    return r ? Route{r->backend, r->key} : Route{};
}

RoutingService::Route RoutingService::route(Endpoint e, bool source) {
    Lock lock(mutex_);
    const Record* r = record(e);
    return r && r->source == source ? Route{r->backend, r->key} : Route{};
}

std::vector<RoutingService::Ports> RoutingService::list_ports() {
    std::vector<Ports> ports;
    for (const auto& backend : backends_)
        ports.push_back({backend->ports(true), backend->ports(false)});
    return ports;
}

void RoutingService::refresh_lists(const std::vector<Ports>& ports) {
    sources_.clear();
    destinations_.clear();
    for (size_t i = 0; i < ports.size(); ++i) {
        MidiBackend* backend = backends_[i].get();
        for (const std::string& key : ports[i].sources) add_port(backend, true, key, sources_);
        for (const std::string& key : ports[i].destinations)
            add_port(backend, false, key, destinations_);
    }
    // How many endpoints each device has, per direction.
    for (auto* list : {&sources_, &destinations_}) {
        std::map<std::string, int> per_device;
        for (Endpoint e : *list) ++per_device[records_[e - 1].info.device_name];
        for (Endpoint e : *list) {
            EndpointInfo& info = records_[e - 1].info;
            info.device_entities = info.has_entity ? per_device[info.device_name] : 0;
        }
    }
}

void RoutingService::add_port(MidiBackend* backend, bool source, const std::string& key,
                              std::vector<Endpoint>& list) {
    if (key.empty()) return;
    const Endpoint e = intern(backend, source, key);
    if (!is_own_port(records_[e - 1].info, names_.client, names_.input_port, names_.output_port))
        list.push_back(e);
}

// --- sending -----------------------------------------------------------------

// Any thread: is the request one the destination's backend can carry now?
SendResult RoutingService::check(const SysexRequest& request) {
    const Route r = route(request.destination, false);
    return r.backend ? r.backend->check(r.key, request) : kSendNoDestination;
}

// Link thread: hands the bytes to the backend, outside the lock (a backend
// that paces them waits here until they are out).
Transmitted RoutingService::transmit(const SysexRequest& request) {
    const Route r = route(request.destination);
    if (!r.backend) return {kSendNoDestination, false};
    const int speed = max_sysex_speed(request.destination);
    return r.backend->transmit(r.key, request, speed, [this] { return pump_->closing(); });
}

// Link thread: bytes that crossed the wire to their destination.
void RoutingService::crossed(Endpoint destination, const uint8_t* bytes, uint32_t count) {
    const Route r = route(destination);
    if (r.backend) r.backend->crossed(r.key, bytes, count);
}

}  // namespace j3
