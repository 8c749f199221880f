#include "midi/rtmidi_service.h"

#include <RtMidi.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "midi/input_pump.h"
#include "midi/jack_monitor.h"
#include "midi/port_names.h"
#include "midi/send_pump.h"

namespace j3 {

namespace {

enum class Kind { kAlsa, kJack, kLoopback, kVirtual };

struct Record {
    Kind kind;
    bool source;
    std::string key;  // the API's full port name, or the built-in endpoint's name
    EndpointInfo info;
};

// How long a JACK send may wait for the server to empty RtMidi's ring before
// the server counts as gone. Many cycles of any usual period.
constexpr auto kJackPatience = std::chrono::milliseconds(1000);
// Cycles to let pass after connecting the output port before its first
// message (see wait_for_connection).
constexpr uint64_t kCyclesForConnection = 2;
// Cycles to let pass between closing the JACK output port and destroying
// RtMidi's output (see drop_api).
constexpr uint64_t kCyclesBeforeDrop = 4;
constexpr auto kTimeBeforeDrop = std::chrono::milliseconds(50);

uint64_t now_ns() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

// RtMidi reports problems through this instead of printing and throwing.
void note_error(RtMidiError::Type, const std::string&, void*) {}

struct Api {
    Kind kind;
    RtMidi::Api rt_api;
    std::unique_ptr<JackMonitor> monitor;  // JACK only
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    std::string in_port;   // key of the connected source, empty when none
    std::string out_port;  // key the output port is connected to, empty when none

    bool open() const { return in && out; }
};

class RtMidiService final : public MidiService {
  public:
    explicit RtMidiService(const MidiServiceOptions& options)
        : options_(options),
          pump_(std::make_unique<SendPump>(
              SendPumpHooks{[this](const SysexRequest& r) { return transmit(r); },
                            [this](const SysexRequest& r, uint32_t n) { sent(r, n); },
                            [this](Endpoint e) { return max_sysex_speed(e); }})) {
        std::lock_guard lock(mutex_);
        loopback_source_ = intern(Kind::kLoopback, true, kLoopbackName);
        loopback_destination_ = intern(Kind::kLoopback, false, kLoopbackName);
        sources_ = {loopback_source_};
        destinations_ = {loopback_destination_};
    }

    ~RtMidiService() override {
        // The link thread uses the backends: stop it first. The pump stays
        // in place meanwhile, for completion procedures that hand over more.
        pump_->close();
        std::lock_guard lock(mutex_);
        drop_api(alsa_);
        drop_api(jack_);
    }

    bool create_client(const std::string& client_name, const std::string& input_port_name,
                       const std::string& output_port_name, ReadProc read_proc) override {
        {
            std::lock_guard lock(mutex_);
            if (client_name != client_name_) {
                // The RtMidi clients carry the name: make them again.
                drop_api(alsa_);
                drop_api(jack_);
            }
            client_name_ = client_name;
            input_port_name_ = input_port_name;
            output_port_name_ = output_port_name;
            for (Api* api : {&alsa_, &jack_}) {
                if (api->in && !api->in_port.empty()) api->in->closePort();
                api->in_port.clear();
            }
            loopback_connected_ = false;
            open_apis();
            refresh_lists();
        }
        // Outside the lock: it waits for a running read procedure, which may
        // itself call the service.
        input_.set_read_proc(std::move(read_proc));
        return true;
    }

    int source_count() override {
        std::lock_guard lock(mutex_);
        return int(sources_.size());
    }
    int destination_count() override {
        std::lock_guard lock(mutex_);
        return int(destinations_.size());
    }
    Endpoint source(int index) override {
        std::lock_guard lock(mutex_);
        return index >= 0 && index < int(sources_.size()) ? sources_[size_t(index)] : kNoEndpoint;
    }
    Endpoint destination(int index) override {
        std::lock_guard lock(mutex_);
        return index >= 0 && index < int(destinations_.size()) ? destinations_[size_t(index)]
                                                               : kNoEndpoint;
    }
    EndpointInfo endpoint_info(Endpoint endpoint) override {
        std::lock_guard lock(mutex_);
        const Record* r = record(endpoint);
        return r ? r->info : EndpointInfo{};
    }

    bool connect_source(Endpoint source) override {
        std::lock_guard lock(mutex_);
        const Record* r = record(source);
        if (!r || !r->source) return false;
        if (r->kind == Kind::kLoopback) {
            loopback_connected_ = true;
            return true;
        }
        Api* api = api_of(r->kind);
        if (!api || !api->open() || (api->monitor && !api->monitor->alive())) return false;
        // One source per API: RtMidi's input object connects one port.
        if (!api->in_port.empty()) api->in->closePort();
        api->in_port.clear();
        const std::optional<unsigned> index = port_index(*api->in, r->key);
        if (!index) return false;
        api->in->openPort(*index, input_port_name_);
        if (!api->in->isPortOpen()) return false;
        api->in_port = r->key;
        return true;
    }

    bool disconnect_source(Endpoint source) override {
        std::lock_guard lock(mutex_);
        const Record* r = record(source);
        if (!r || !r->source) return false;
        if (r->kind == Kind::kLoopback) {
            const bool was = loopback_connected_;
            loopback_connected_ = false;
            return was;
        }
        Api* api = api_of(r->kind);
        if (!api || !api->in || api->in_port != r->key) return false;
        api->in->closePort();
        api->in_port.clear();
        return true;
    }

    bool source_present(Endpoint source) override {
        std::lock_guard lock(mutex_);
        const Record* r = record(source);
        if (!r || !r->source) return false;
        switch (r->kind) {
            case Kind::kJack:
                return jack_.open() && jack_.monitor->alive() && jack_.monitor->port_exists(r->key);
            case Kind::kAlsa:
                return alsa_.open() && port_index(*alsa_.in, r->key).has_value();
            case Kind::kLoopback:
            case Kind::kVirtual:
                return true;
        }
        return false;
    }

    Endpoint create_virtual_destination(const std::string& name) override {
        std::lock_guard lock(mutex_);
        // It lives in the service only: no other program can see it, and what
        // it gets is dropped after its wire time.
        return intern(Kind::kVirtual, false, name);
    }

    int max_sysex_speed(Endpoint destination) override {
        std::lock_guard lock(mutex_);
        auto it = speeds_.find(destination);
        return it == speeds_.end() ? kDefaultSysexSpeed : it->second;
    }

    void set_max_sysex_speed(Endpoint destination, int bytes_per_second) override {
        std::lock_guard lock(mutex_);
        speeds_[destination] = std::max(bytes_per_second, 1);
    }

    uint64_t xrun_count() override {
        std::lock_guard lock(mutex_);
        return xruns_before_ + (jack_.monitor ? jack_.monitor->xruns() : 0);
    }

    SendResult send_sysex(SysexRequest* request) override {
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

  private:
    // --- records -------------------------------------------------------

    Endpoint intern(Kind kind, bool source, const std::string& key) {
        for (size_t i = 0; i < records_.size(); ++i) {
            const Record& r = records_[i];
            if (r.kind == kind && r.source == source && r.key == key) return Endpoint(i + 1);
        }
        Record r{kind, source, key, {}};
        if (kind == Kind::kAlsa || kind == Kind::kJack) {
            r.info = endpoint_info_from_port_name(
                kind == Kind::kAlsa ? PortNaming::kAlsa : PortNaming::kJack, key);
        } else {
            r.info.name = key;
        }
        records_.push_back(std::move(r));
        return Endpoint(records_.size());
    }

    const Record* record(Endpoint e) const {
        return e >= 1 && e <= records_.size() ? &records_[e - 1] : nullptr;
    }

    Api* api_of(Kind kind) {
        if (kind == Kind::kAlsa) return &alsa_;
        if (kind == Kind::kJack) return &jack_;
        return nullptr;
    }

    bool own_port(const EndpointInfo& info) const {
        return is_own_port(info, client_name_, input_port_name_, output_port_name_);
    }

    // --- APIs ----------------------------------------------------------

    static std::optional<unsigned> port_index(RtMidi& midi, const std::string& key) {
        const unsigned n = midi.getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            if (midi.getPortName(i) == key) return i;
        }
        return std::nullopt;
    }

    void drop_api(Api& api) {
        // The count goes on across servers.
        if (api.monitor) xruns_before_ += api.monitor->xruns();
        if (api.out && api.monitor && api.monitor->alive() && api.out->isPortOpen()) {
            // RtMidi's JACK output frees its ring before it closes its JACK
            // client, so a process cycle that began while its port was still
            // open can read the freed ring (and crash) while the object goes.
            // With the port closed well before, a cycle returns at once
            // without touching the ring; one that began before must end
            // meanwhile, and cycles of a loaded server can come faster than
            // a thread that is kept off the processor: time counts too.
            api.out->closePort();
            const auto closed = std::chrono::steady_clock::now();
            api.monitor->wait_cycles(kCyclesBeforeDrop, kJackPatience);
            std::this_thread::sleep_until(closed + kTimeBeforeDrop);
        }
        api.in.reset();
        api.out.reset();
        api.monitor.reset();
        api.in_port.clear();
        api.out_port.clear();
    }

    bool make_rtmidi(Api& api) {
        try {
            api.out = std::make_unique<RtMidiOut>(api.rt_api, client_name_);
            api.out->setErrorCallback(note_error, nullptr);
            api.in = std::make_unique<RtMidiIn>(api.rt_api, client_name_);
            api.in->setErrorCallback(note_error, nullptr);
            // SysEx, clock and active sensing all go to the read procedure,
            // which decides what to drop.
            api.in->ignoreTypes(false, false, false);
            api.in->setCallback(arrived, &input_);
        } catch (const RtMidiError&) {
            drop_api(api);
            return false;
        }
        return true;
    }

    // Opens each API that is usable now and not open yet; a JACK whose
    // server has gone is dropped first, so a new server is found.
    void open_apis() {
#if J3_WITH_JACK
        if (jack_.monitor && !jack_.monitor->alive()) drop_api(jack_);
        if (options_.jack && !jack_.open()) {
            // Probing with a plain JACK client first keeps RtMidi from
            // complaining when no server runs.
            jack_.monitor = JackMonitor::open(client_name_ + " monitor");
            if (jack_.monitor && !make_rtmidi(jack_)) jack_.monitor.reset();
        }
#endif
#if J3_WITH_ALSA
        // Without the sequencer device RtMidi's ALSA constructor throws, and
        // alsa-lib prints first: look before opening.
        std::error_code ec;
        if (options_.alsa && !alsa_.open() && std::filesystem::exists("/dev/snd/seq", ec)) {
            make_rtmidi(alsa_);
        }
#endif
    }

    void refresh_lists() {
        sources_.clear();
        destinations_.clear();
        for (Api* api : {&alsa_, &jack_}) {
            if (!api->open() || (api->monitor && !api->monitor->alive())) continue;
            list_ports(*api, *api->in, true, sources_);
            list_ports(*api, *api->out, false, destinations_);
        }
        sources_.push_back(loopback_source_);
        destinations_.push_back(loopback_destination_);
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

    void list_ports(Api& api, RtMidi& midi, bool source, std::vector<Endpoint>& list) {
        const unsigned n = midi.getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            const std::string key = midi.getPortName(i);
            if (key.empty()) continue;
            const Endpoint e = intern(api.kind, source, key);
            if (!own_port(records_[e - 1].info)) list.push_back(e);
        }
    }

    // --- sending -------------------------------------------------------

    // Any thread: is the request one the destination's backend can carry now?
    SendResult check(const SysexRequest& request) {
        std::lock_guard lock(mutex_);
        const Record* r = record(request.destination);
        if (!r || r->source) return kSendNoDestination;
        switch (r->kind) {
            case Kind::kLoopback:
            case Kind::kVirtual:
                return kSendTaken;
            case Kind::kJack:
                if (request.bytes_to_send > kJackMaxMessageBytes) return kSendTooLarge;
                if (!jack_.open() || !jack_.monitor->alive()) return kSendBackendLost;
                if (!jack_.monitor->port_exists(r->key)) {
                    // The connection went with the port: make it anew should
                    // the port come back.
                    if (jack_.out_port == r->key) close_output(jack_);
                    return kSendNoDestination;
                }
                return kSendTaken;
            case Kind::kAlsa:
                if (request.bytes_to_send > kAlsaMaxMessageBytes) return kSendTooLarge;
                if (!alsa_.open()) return kSendBackendLost;
                if (!port_index(*alsa_.out, r->key)) {
                    if (alsa_.out_port == r->key) close_output(alsa_);
                    return kSendNoDestination;
                }
                return kSendTaken;
        }
        return kSendNoDestination;
    }

    // Link thread: hands the bytes to the backend.
    int transmit(const SysexRequest& request) {
        std::lock_guard lock(mutex_);
        const Record* r = record(request.destination);
        if (!r) return kSendNoDestination;
        if (r->kind == Kind::kLoopback || r->kind == Kind::kVirtual) return kSendTaken;
        Api& api = *api_of(r->kind);
        if (!api.open()) return kSendBackendLost;
        if (api.monitor && !api.monitor->alive()) return kSendBackendLost;
        if (api.out_port == r->key && api.monitor && !output_connected(*api.monitor, r->key)) {
            // A patchbay took the connection away. Between transfers nothing
            // was lost and it is made again; within one, what went out since
            // went nowhere: stop there, and the next transfer connects again.
            close_output(api);
            if (!request.starts_transfer) return kSendDisconnected;
        }
        if (api.out_port != r->key) {
            close_output(api);
            const std::optional<unsigned> index = port_index(*api.out, r->key);
            if (!index) return kSendNoDestination;
            api.out->openPort(*index, output_port_name_);
            if (!api.out->isPortOpen()) return kSendNoDestination;
            api.out_port = r->key;
            if (api.monitor && !wait_for_connection(*api.monitor, r->key)) return kSendBackendLost;
        }
        if (request.bytes_to_send == 0) return kSendTaken;
        if (api.monitor &&
            !api.monitor->make_room(request.bytes_to_send, kJackPatience, &request.complete)) {
            return request.complete ? kSendTaken : kSendBackendLost;
        }
        // A Stop while waiting for room: nothing more goes out.
        if (request.complete) return kSendTaken;
        api.out->sendMessage(request.data, request.bytes_to_send);
        return kSendTaken;
    }

    // RtMidi's output connects one destination at a time (ALSA's ignores a
    // second openPort while connected).
    void close_output(Api& api) {
        if (!api.out_port.empty()) api.out->closePort();
        api.out_port.clear();
    }

    // Link thread: the JACK graph connects J3's output port to destination.
    bool output_connected(JackMonitor& monitor, const std::string& destination) {
        for (const std::string& name : monitor.connections(destination)) {
            const EndpointInfo info = endpoint_info_from_port_name(PortNaming::kJack, name);
            if (info.name == output_port_name_ && own_port(info)) return true;
        }
        return false;
    }

    // Link thread, after connecting the JACK output port to a destination:
    // JACK applies a new connection at a cycle boundary, and what goes out in
    // a cycle that still runs on the old graph is lost. Waits until the graph
    // shows the connection, and kCyclesForConnection cycles more.
    bool wait_for_connection(JackMonitor& monitor, const std::string& destination) {
        const auto deadline = std::chrono::steady_clock::now() + kJackPatience;
        for (;;) {
            if (output_connected(monitor, destination))
                return monitor.wait_cycles(kCyclesForConnection, kJackPatience);
            if (!monitor.alive() || std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Link thread: the loopback's source gives out what left for its
    // destination, once it has had time to cross.
    void sent(const SysexRequest& request, uint32_t bytes_on_wire) {
        {
            std::lock_guard lock(mutex_);
            if (request.destination != loopback_destination_ || !loopback_connected_) return;
        }
        if (bytes_on_wire == 0) return;
        input_.push({now_ns(), std::vector<uint8_t>(request.data, request.data + bytes_on_wire)});
    }

    // RtMidi's callback thread (JACK's process thread, RtMidi's ALSA
    // thread): queue only.
    static void arrived(double, std::vector<unsigned char>* message, void* input) {
        if (!message || message->empty()) return;
        static_cast<InputPump*>(input)->push({now_ns(), *message});
    }

    const MidiServiceOptions options_;
    std::mutex mutex_;  // everything below; never held while a procedure runs
    std::string client_name_;
    std::string input_port_name_ = "Input port";
    std::string output_port_name_ = "Output port";
    std::vector<Record> records_;  // Endpoint e is records_[e - 1]
    std::vector<Endpoint> sources_;
    std::vector<Endpoint> destinations_;
    std::map<Endpoint, int> speeds_;
    Endpoint loopback_source_ = kNoEndpoint;
    Endpoint loopback_destination_ = kNoEndpoint;
    bool loopback_connected_ = false;
    uint64_t xruns_before_ = 0;  // reported by the JACK servers dropped so far

    // Declared in this order so that the backends, whose callbacks queue into
    // input_, go before it, and the threads that use the backends go first.
    InputPump input_;
    Api alsa_{Kind::kAlsa, RtMidi::LINUX_ALSA, {}, {}, {}, {}, {}};
    Api jack_{Kind::kJack, RtMidi::UNIX_JACK, {}, {}, {}, {}, {}};
    std::unique_ptr<SendPump> pump_;
};

}  // namespace

std::unique_ptr<MidiService> make_midi_service(const MidiServiceOptions& options) {
    return std::make_unique<RtMidiService>(options);
}

std::string rtmidi_version() {
    return RtMidi::getVersion();
}

std::string jack_library_version() {
#if J3_WITH_JACK
    return JackMonitor::library_version();
#else
    return {};
#endif
}

}  // namespace j3
