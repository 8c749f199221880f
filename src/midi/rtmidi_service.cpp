#include "midi/rtmidi_service.h"

#include <RtMidi.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "base/thread_annotations.h"
#include "midi/input_pump.h"
#include "midi/port_names.h"
#include "midi/send_pump.h"
#if J3_WITH_JACK
#include "midi/jack_client.h"
#endif

namespace j3 {

namespace {

enum class Kind { kAlsa, kJack, kLoopback, kVirtual };

struct Record {
    Kind kind;
    bool source;
    std::string key;  // the API's full port name, or the built-in endpoint's name
    EndpointInfo info;
};

uint64_t now_ns() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

// The last error each MIDI system reported, for backend_error(). RtMidi
// reports through a callback on the thread that called it (or its own input
// thread) instead of printing and throwing.
class ErrorLog {
  public:
    enum Api { kAlsaApi = 0, kJackApi = 1 };
    void note(Api api, const std::string& text) {
        Lock lock(mutex_);
        text_[api] = text;
        ++count_[api];
    }
    uint64_t count(Api api) {
        Lock lock(mutex_);
        return count_[api];
    }
    std::string text(Api api) {
        Lock lock(mutex_);
        return text_[api];
    }

  private:
    Mutex mutex_{LockRank::kMidiErrors};
    std::string text_[2] J3_GUARDED_BY(mutex_);
    uint64_t count_[2] J3_GUARDED_BY(mutex_) = {0, 0};
};

[[maybe_unused]] void note_alsa_error(RtMidiError::Type type, const std::string& text, void* log) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    static_cast<ErrorLog*>(log)->note(ErrorLog::kAlsaApi, text);
}

// The ALSA sequencer, through RtMidi.
struct AlsaApi {
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    std::string in_port;   // key of the connected source, empty when none
    std::string out_port;  // key the output port is connected to, empty when none

    bool open() const { return in && out; }
};

#if J3_WITH_JACK
using JackPtr = std::shared_ptr<JackClient>;
#else
struct JackClient {};
using JackPtr = std::shared_ptr<JackClient>;
#endif

class SystemMidiService final : public MidiService {
  public:
    explicit SystemMidiService(const MidiServiceOptions& options)
        : options_(options),
          pump_(std::make_unique<SendPump>(
              SendPumpHooks{[this](const SysexRequest& r) { return transmit(r); },
                            [this](Endpoint e, const uint8_t* b, uint32_t n) { sent(e, b, n); },
                            [this](Endpoint e) { return max_sysex_speed(e); }})) {
        Lock lock(mutex_);
        loopback_source_ = intern(Kind::kLoopback, true, kLoopbackName);
        loopback_destination_ = intern(Kind::kLoopback, false, kLoopbackName);
        sources_ = {loopback_source_};
        destinations_ = {loopback_destination_};
    }

    ~SystemMidiService() override {
        // The link thread uses the backends: stop it first. The pump stays
        // in place meanwhile, for completion procedures that hand over more.
        pump_->close();
        JackPtr jack;
        {
            Lock lock(mutex_);
            drop_alsa();
            jack = std::move(jack_);
        }
        // Outside the lock: closing a JACK client is a round trip to the server.
        jack.reset();
    }

    bool create_client(const std::string& client_name, const std::string& input_port_name,
                       const std::string& output_port_name, ReadProc read_proc) override {
        JackPtr old_jack;
        {
            Lock lock(mutex_);
            if (client_name != client_name_ || input_port_name != input_port_name_ ||
                output_port_name != output_port_name_) {
                // The clients carry the names: make them again.
                drop_alsa();
                old_jack = drop_jack();
            }
            client_name_ = client_name;
            input_port_name_ = input_port_name;
            output_port_name_ = output_port_name;
            if (alsa_.in && !alsa_.in_port.empty()) alsa_.in->closePort();
            alsa_.in_port.clear();
            loopback_connected_ = false;
            jack_source_.clear();
#if J3_WITH_JACK
            // A JACK whose server has gone is dropped, so a new server is found.
            if (jack_ && !jack_->alive()) old_jack = drop_jack();
#endif
            open_alsa();
        }
        old_jack.reset();
        JackPtr jack = open_jack();
        std::vector<std::string> jack_sources, jack_destinations;
#if J3_WITH_JACK
        if (jack) {
            jack->set_source("");
            jack_sources = jack->ports(true);
            jack_destinations = jack->ports(false);
        }
#endif
        {
            Lock lock(mutex_);
            refresh_lists(jack_sources, jack_destinations);
        }
        // Outside the lock: it waits for a running read procedure, which may
        // itself call the service.
        input_.set_read_proc(std::move(read_proc));
        return true;
    }

    int source_count() override {
        Lock lock(mutex_);
        return int(sources_.size());
    }
    int destination_count() override {
        Lock lock(mutex_);
        return int(destinations_.size());
    }
    Endpoint source(int index) override {
        Lock lock(mutex_);
        return index >= 0 && index < int(sources_.size()) ? sources_[size_t(index)] : kNoEndpoint;
    }
    Endpoint destination(int index) override {
        Lock lock(mutex_);
        return index >= 0 && index < int(destinations_.size()) ? destinations_[size_t(index)]
                                                               : kNoEndpoint;
    }
    EndpointInfo endpoint_info(Endpoint endpoint) override {
        Lock lock(mutex_);
        const Record* r = record(endpoint);
        return r ? r->info : EndpointInfo{};
    }

    bool connect_source(Endpoint source) override {
        JackPtr jack;
        std::string key;
        {
            Lock lock(mutex_);
            const Record* r = record(source);
            if (!r || !r->source) return false;
            switch (r->kind) {
                case Kind::kLoopback:
                    loopback_connected_ = true;
                    return true;
                case Kind::kVirtual:
                    return false;
                case Kind::kAlsa:
                    return connect_alsa_source(r->key);
                case Kind::kJack:
                    jack = jack_;
                    key = r->key;
                    jack_source_ = key;
                    break;
            }
        }
#if J3_WITH_JACK
        // Kept by name: connected again whenever the port comes back.
        return jack && jack->alive() && jack->set_source(key);
#else
        return false;
#endif
    }

    bool disconnect_source(Endpoint source) override {
        JackPtr jack;
        {
            Lock lock(mutex_);
            const Record* r = record(source);
            if (!r || !r->source) return false;
            if (r->kind == Kind::kLoopback) {
                const bool was = loopback_connected_;
                loopback_connected_ = false;
                return was;
            }
            if (r->kind == Kind::kAlsa) {
                if (!alsa_.in || alsa_.in_port != r->key) return false;
                alsa_.in->closePort();
                alsa_.in_port.clear();
                return true;
            }
            if (r->kind != Kind::kJack || jack_source_ != r->key) return false;
            jack_source_.clear();
            jack = jack_;
        }
#if J3_WITH_JACK
        if (jack) jack->set_source("");
#endif
        return true;
    }

    bool source_present(Endpoint source) override {
        return present(source, true);
    }
    bool destination_present(Endpoint destination) override {
        return present(destination, false);
    }

    Endpoint create_virtual_destination(const std::string& name) override {
        Lock lock(mutex_);
        // It lives in the service only: no other program can see it, and what
        // it gets is dropped after its wire time.
        return intern(Kind::kVirtual, false, name);
    }

    int max_sysex_speed(Endpoint destination) override {
        Lock lock(mutex_);
        auto it = speeds_.find(destination);
        return it == speeds_.end() ? kDefaultSysexSpeed : it->second;
    }

    void set_max_sysex_speed(Endpoint destination, int bytes_per_second) override {
        Lock lock(mutex_);
        speeds_[destination] = std::max(bytes_per_second, 1);
    }

    // J3's JACK client hears the ACK in the cycle that lets the held bytes
    // out, when the chosen source is one of its ports; the other backends
    // cannot wait for one.
    bool can_hold_for_ack(Endpoint destination) override {
        Lock lock(mutex_);
        const Record* r = record(destination);
        return r && !r->source && r->kind == Kind::kJack && !jack_source_.empty();
    }

    uint64_t xrun_count() override {
        Lock lock(mutex_);
#if J3_WITH_JACK
        if (jack_) return xruns_before_ + jack_->xruns();
#endif
        return xruns_before_;
    }

    uint64_t stall_ns() override {
        Lock lock(mutex_);
#if J3_WITH_JACK
        if (jack_) return stall_before_ + jack_->stall_ns();
#endif
        return stall_before_;
    }

    std::string backend_error(Endpoint destination) override {
        Kind kind;
        {
            Lock lock(mutex_);
            const Record* r = record(destination);
            if (!r) return {};
            kind = r->kind;
        }
        if (kind == Kind::kAlsa) return errors_.text(ErrorLog::kAlsaApi);
        if (kind == Kind::kJack) return errors_.text(ErrorLog::kJackApi);
        return {};
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

    Endpoint intern(Kind kind, bool source, const std::string& key) J3_REQUIRES(mutex_) {
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

    const Record* record(Endpoint e) const J3_REQUIRES(mutex_) {
        return e >= 1 && e <= records_.size() ? &records_[e - 1] : nullptr;
    }

    bool own_port(const EndpointInfo& info) const J3_REQUIRES(mutex_) {
        return is_own_port(info, client_name_, input_port_name_, output_port_name_);
    }

    // Any thread: the endpoint is still there to send to or hear from.
    bool present(Endpoint endpoint, bool source) {
        JackPtr jack;
        std::string key;
        {
            Lock lock(mutex_);
            const Record* r = record(endpoint);
            if (!r || r->source != source) return false;
            switch (r->kind) {
                case Kind::kLoopback:
                case Kind::kVirtual:
                    return true;
                case Kind::kAlsa:
                    return alsa_.open() &&
                           port_index(source ? static_cast<RtMidi&>(*alsa_.in) : *alsa_.out, r->key)
                               .has_value();
                case Kind::kJack:
                    jack = jack_;
                    key = r->key;
                    break;
            }
        }
#if J3_WITH_JACK
        return jack && jack->port_exists(key);
#else
        return false;
#endif
    }

    // --- APIs ----------------------------------------------------------

    static std::optional<unsigned> port_index(RtMidi& midi, const std::string& key) {
        const unsigned n = midi.getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            if (midi.getPortName(i) == key) return i;
        }
        return std::nullopt;
    }

    void drop_alsa() J3_REQUIRES(mutex_) {
        alsa_.in.reset();
        alsa_.out.reset();
        alsa_.in_port.clear();
        alsa_.out_port.clear();
    }

    // Takes the JACK client out, to be closed outside the lock; its counts go
    // on across servers.
    JackPtr drop_jack() J3_REQUIRES(mutex_) {
#if J3_WITH_JACK
        if (jack_) {
            xruns_before_ += jack_->xruns();
            stall_before_ += jack_->stall_ns();
        }
#endif
        jack_source_.clear();
        return std::move(jack_);
    }

    void open_alsa() J3_REQUIRES(mutex_) {
#if J3_WITH_ALSA
        // Without the sequencer device RtMidi's ALSA constructor throws, and
        // alsa-lib prints first: look before opening.
        std::error_code ec;
        if (!options_.alsa || alsa_.open() || !std::filesystem::exists("/dev/snd/seq", ec)) return;
        try {
            alsa_.out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, client_name_);
            alsa_.out->setErrorCallback(note_alsa_error, &errors_);
            alsa_.in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, client_name_);
            alsa_.in->setErrorCallback(note_alsa_error, &errors_);
            // SysEx, clock and active sensing all go to the read procedure,
            // which decides what to drop.
            alsa_.in->ignoreTypes(false, false, false);
            alsa_.in->setCallback(arrived, &input_);
        } catch (const RtMidiError&) {
            drop_alsa();
        }
#endif
    }

    // The JACK client, opened when there is none and a server runs. Not under
    // the lock: opening is a round trip to the server.
    JackPtr open_jack() J3_EXCLUDES(mutex_) {
#if J3_WITH_JACK
        std::string name, in, out;
        {
            Lock lock(mutex_);
            if (!options_.jack) return nullptr;
            if (jack_) return jack_;
            name = client_name_;
            in = input_port_name_;
            out = output_port_name_;
        }
        JackPtr made(JackClient::open(name, in, out, &input_));
        Lock lock(mutex_);
        if (!jack_ && name == client_name_) jack_ = made;
        return jack_;
#else
        return nullptr;
#endif
    }

    bool connect_alsa_source(const std::string& key) J3_REQUIRES(mutex_) {
        if (!alsa_.open()) return false;
        // One source: RtMidi's input object connects one port.
        if (!alsa_.in_port.empty()) {
            alsa_.in->closePort();
            alsa_.in_port.clear();
        }
        const std::optional<unsigned> index = port_index(*alsa_.in, key);
        if (!index) return false;
        alsa_.in->openPort(*index, input_port_name_);
        if (!alsa_.in->isPortOpen()) return false;
        alsa_.in_port = key;
        return true;
    }

    void refresh_lists(const std::vector<std::string>& jack_sources,
                       const std::vector<std::string>& jack_destinations) J3_REQUIRES(mutex_) {
        sources_.clear();
        destinations_.clear();
        if (alsa_.open()) {
            list_ports(Kind::kAlsa, *alsa_.in, true, sources_);
            list_ports(Kind::kAlsa, *alsa_.out, false, destinations_);
        }
        for (const std::string& key : jack_sources) add_port(Kind::kJack, true, key, sources_);
        for (const std::string& key : jack_destinations)
            add_port(Kind::kJack, false, key, destinations_);
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

    void list_ports(Kind kind, RtMidi& midi, bool source, std::vector<Endpoint>& list)
        J3_REQUIRES(mutex_) {
        const unsigned n = midi.getPortCount();
        for (unsigned i = 0; i < n; ++i) add_port(kind, source, midi.getPortName(i), list);
    }

    void add_port(Kind kind, bool source, const std::string& key, std::vector<Endpoint>& list)
        J3_REQUIRES(mutex_) {
        if (key.empty()) return;
        const Endpoint e = intern(kind, source, key);
        if (!own_port(records_[e - 1].info)) list.push_back(e);
    }

    // --- sending -------------------------------------------------------

    // Any thread: is the request one the destination's backend can carry now?
    SendResult check(const SysexRequest& request) {
        JackPtr jack;
        std::string key;
        {
            Lock lock(mutex_);
            const Record* r = record(request.destination);
            if (!r || r->source) return kSendNoDestination;
            switch (r->kind) {
                case Kind::kLoopback:
                case Kind::kVirtual:
                    return kSendTaken;
                case Kind::kAlsa:
                    if (request.bytes_to_send > kAlsaMaxMessageBytes) return kSendTooLarge;
                    if (!alsa_.open()) return kSendBackendLost;
                    if (!port_index(*alsa_.out, r->key)) {
                        // The connection went with the port: make it anew
                        // should the port come back.
                        if (alsa_.out_port == r->key) close_alsa_output();
                        return kSendNoDestination;
                    }
                    return kSendTaken;
                case Kind::kJack:
                    jack = jack_;
                    key = r->key;
                    break;
            }
        }
#if J3_WITH_JACK
        if (!jack || !jack->alive()) return kSendBackendLost;
        return jack->port_exists(key) ? kSendTaken : kSendNoDestination;
#else
        return kSendBackendLost;
#endif
    }

    // Link thread: hands the bytes to the backend.
    Transmitted transmit(const SysexRequest& request) {
        JackPtr jack;
        std::string key;
        [[maybe_unused]] int speed = kDefaultSysexSpeed;
        {
            Lock lock(mutex_);
            const Record* r = record(request.destination);
            if (!r) return {kSendNoDestination, false};
            switch (r->kind) {
                case Kind::kLoopback:
                case Kind::kVirtual:
                    return {kSendTaken, false};
                case Kind::kAlsa:
                    return {transmit_alsa(request, r->key), false};
                case Kind::kJack:
                    jack = jack_;
                    key = r->key;
                    auto it = speeds_.find(request.destination);
                    if (it != speeds_.end()) speed = it->second;
                    break;
            }
        }
#if J3_WITH_JACK
        // Outside the lock: this waits until the request is out.
        if (!jack) return {kSendBackendLost, true};
        JackSend how;
        how.destination = key;
        how.bytes_per_second = speed;
        how.starts_transfer = request.starts_transfer;
        how.queue_next = request.queue_next;
        how.hold_for_ack = request.hold_for_ack;
        how.pause_ticks = request.pause_ticks;
        how.cancelled = [&request] { return request.complete.load(); };
        how.closing = [this] { return pump_->closing(); };
        std::string error;
        const SendResult result = jack->send(request.data, request.bytes_to_send, how, &error);
        if (result == kSendBackendError) errors_.note(ErrorLog::kJackApi, error);
        return {result, true};
#else
        return {kSendBackendLost, false};
#endif
    }

    // Link thread, under the lock (nothing here waits: the ALSA sequencer
    // takes the event or refuses it at once).
    int transmit_alsa(const SysexRequest& request, const std::string& key) J3_REQUIRES(mutex_) {
        if (!alsa_.open()) return kSendBackendLost;
        const uint64_t errors_before = errors_.count(ErrorLog::kAlsaApi);
        if (alsa_.out_port != key) {
            close_alsa_output();
            const std::optional<unsigned> index = port_index(*alsa_.out, key);
            if (!index) return kSendNoDestination;
            alsa_.out->openPort(*index, output_port_name_);
            if (errors_.count(ErrorLog::kAlsaApi) != errors_before) return kSendBackendError;
            if (!alsa_.out->isPortOpen()) return kSendNoDestination;
            alsa_.out_port = key;
        }
        if (request.bytes_to_send == 0 || request.complete) return kSendTaken;
        alsa_.out->sendMessage(request.data, request.bytes_to_send);
        if (errors_.count(ErrorLog::kAlsaApi) != errors_before) return kSendBackendError;
        return kSendTaken;
    }

    // RtMidi's output connects one destination at a time (ALSA's ignores a
    // second openPort while connected).
    void close_alsa_output() J3_REQUIRES(mutex_) {
        if (!alsa_.out_port.empty()) alsa_.out->closePort();
        alsa_.out_port.clear();
    }

    // Link thread: the loopback's source gives out what left for its
    // destination, once it has had time to cross.
    void sent(Endpoint destination, const uint8_t* bytes, uint32_t count) {
        {
            Lock lock(mutex_);
            if (destination != loopback_destination_ || !loopback_connected_) return;
        }
        if (count == 0) return;
        input_.push({now_ns(), std::vector<uint8_t>(bytes, bytes + count)});
    }

    // RtMidi's ALSA thread: queue only.
    static void arrived(double, std::vector<unsigned char>* message, void* input) {
        if (!message || message->empty()) return;
        static_cast<InputPump*>(input)->push({now_ns(), *message});
    }

    const MidiServiceOptions options_;
    ErrorLog errors_;
    // Everything below; never held while waiting, while a procedure runs or
    // while JACK's server is asked anything.
    Mutex mutex_{LockRank::kMidiService};
    std::string client_name_ J3_GUARDED_BY(mutex_);
    std::string input_port_name_ J3_GUARDED_BY(mutex_) = "Input port";
    std::string output_port_name_ J3_GUARDED_BY(mutex_) = "Output port";
    std::vector<Record> records_ J3_GUARDED_BY(mutex_);  // Endpoint e is records_[e - 1]
    std::vector<Endpoint> sources_ J3_GUARDED_BY(mutex_);
    std::vector<Endpoint> destinations_ J3_GUARDED_BY(mutex_);
    std::map<Endpoint, int> speeds_ J3_GUARDED_BY(mutex_);
    Endpoint loopback_source_ J3_GUARDED_BY(mutex_) = kNoEndpoint;
    Endpoint loopback_destination_ J3_GUARDED_BY(mutex_) = kNoEndpoint;
    bool loopback_connected_ J3_GUARDED_BY(mutex_) = false;
    std::string jack_source_ J3_GUARDED_BY(mutex_);  // key of the JACK source chosen
    // Reported by the JACK clients dropped so far (servers gone).
    uint64_t xruns_before_ J3_GUARDED_BY(mutex_) = 0;
    uint64_t stall_before_ J3_GUARDED_BY(mutex_) = 0;

    // Declared in this order so that the backends, whose callbacks queue into
    // input_, go before it, and the threads that use the backends go first.
    InputPump input_;
    AlsaApi alsa_ J3_GUARDED_BY(mutex_);
    JackPtr jack_ J3_GUARDED_BY(mutex_);
    std::unique_ptr<SendPump> pump_;
};

}  // namespace

std::unique_ptr<MidiService> make_midi_service(const MidiServiceOptions& options) {
    return std::make_unique<SystemMidiService>(options);
}

std::string rtmidi_version() {
    return RtMidi::getVersion();
}

std::string jack_library_version() {
#if J3_WITH_JACK
    return JackClient::library_version();
#else
    return {};
#endif
}

}  // namespace j3
