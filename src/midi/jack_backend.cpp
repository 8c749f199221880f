#include "midi/jack_backend.h"

#include "base/thread_annotations.h"
#include "midi/jack_client.h"
#include "midi/port_names.h"

namespace j3 {
namespace {

using ClientPtr = std::shared_ptr<JackClient>;

class JackBackend final : public MidiBackend {
  public:
    explicit JackBackend(InputPump& input) : input_(input) {}

    void open(const ClientNames& names) override {
        ClientPtr old;
        {
            Lock lock(mutex_);
            // The client carries the names: make it again.
            if (names != names_) old = drop();
            names_ = names;
            source_.clear();
            // A client whose server has gone is dropped, so a new server is found.
            if (client_ && !client_->alive()) old = drop();
        }
        // Outside the lock: closing a client is a round trip to the server.
        old.reset();
        if (ClientPtr client = open_client()) client->set_source("");
    }

    std::vector<std::string> ports(bool sources) override {
        const ClientPtr client = current();
        return client ? client->ports(sources) : std::vector<std::string>{};
    }

    EndpointInfo describe(const std::string& key) const override {
        return endpoint_info_from_port_name(PortNaming::kJack, key);
    }

    bool connect_source(const std::string& key) override {
        ClientPtr client;
        {
            Lock lock(mutex_);
            source_ = key;
            client = client_;
        }
        // Kept by name: connected again whenever the port comes back.
        return client && client->alive() && client->set_source(key);
    }

    bool disconnect_source(const std::string& key) override {
        ClientPtr client;
        {
            Lock lock(mutex_);
            if (source_ != key) return false;
            source_.clear();
            client = client_;
        }
        if (client) client->set_source("");
        return true;
    }

    bool present(const std::string& key, bool) override {
        const ClientPtr client = current();
        return client && client->port_exists(key);
    }

    SendResult check(const std::string& destination, const SysexRequest&) override {
        const ClientPtr client = current();
        if (!client || !client->alive()) return kSendBackendLost;
        return client->port_exists(destination) ? kSendTaken : kSendNoDestination;
    }

    // Waits until the request is out: the client paces it by frame.
    Transmitted transmit(const std::string& destination, const SysexRequest& request,
                         int bytes_per_second, const std::function<bool()>& closing) override {
        const ClientPtr client = current();
        if (!client) return {kSendBackendLost, true};
        JackSend how;
        how.destination = destination;
        how.bytes_per_second = bytes_per_second;
        how.starts_transfer = request.starts_transfer;
        how.queue_next = request.queue_next;
        how.hold_for_ack = request.hold_for_ack;
        how.pause_ticks = request.pause_ticks;
        how.cancelled = [&request] { return request.complete.load(); };
        how.closing = closing;
        std::string error;
        const SendResult result = client->send(request.data, request.bytes_to_send, how, &error);
        if (result == kSendBackendError) {
            Lock lock(mutex_);
            error_ = error;
        }
        return {result, true};
    }

    // The client hears the ACK in the cycle that lets the held bytes out,
    // once a source of its own is chosen.
    bool can_hold_for_ack(const std::string&) override {
        Lock lock(mutex_);
        return !source_.empty();
    }

    uint64_t xruns() override {
        Lock lock(mutex_);
        return xruns_before_ + (client_ ? client_->xruns() : 0);
    }

    uint64_t stall_ns() override {
        Lock lock(mutex_);
        return stall_before_ + (client_ ? client_->stall_ns() : 0);
    }

    std::string last_error() override {
        Lock lock(mutex_);
        return error_;
    }

  private:
    ClientPtr current() J3_EXCLUDES(mutex_) {
        Lock lock(mutex_);
        return client_;
    }

    // Takes the client out, to be closed outside the lock; its counts go on
    // across servers.
    ClientPtr drop() J3_REQUIRES(mutex_) {
        if (client_) {
            xruns_before_ += client_->xruns();
            stall_before_ += client_->stall_ns();
        }
        source_.clear();
        return std::move(client_);
    }

    // The client, opened when there is none and a server runs. Not under the
    // lock: opening is a round trip to the server.
    ClientPtr open_client() J3_EXCLUDES(mutex_) {
        ClientNames names;
        {
            Lock lock(mutex_);
            if (client_) return client_;
            names = names_;
        }
        ClientPtr made(
            JackClient::open(names.client, names.input_port, names.output_port, &input_));
        Lock lock(mutex_);
        // Another open with other names meanwhile wins.
        if (!client_ && names == names_) client_ = made;
        return client_;
    }

    InputPump& input_;
    // Never held while the server is asked anything.
    Mutex mutex_{LockRank::kMidiBackend};
    ClientNames names_ J3_GUARDED_BY(mutex_);
    ClientPtr client_ J3_GUARDED_BY(mutex_);
    std::string source_ J3_GUARDED_BY(mutex_);  // key of the chosen source, empty when none
    // Reported by the clients dropped so far (servers gone).
    uint64_t xruns_before_ J3_GUARDED_BY(mutex_) = 0;
    uint64_t stall_before_ J3_GUARDED_BY(mutex_) = 0;
    std::string error_ J3_GUARDED_BY(mutex_);  // the last event JACK refused
};

}  // namespace

std::unique_ptr<MidiBackend> make_jack_backend(InputPump& input) {
    return std::make_unique<JackBackend>(input);
}

std::string jack_backend_library_version() {
    return JackClient::library_version();
}

}  // namespace j3
