#include "midi/alsa_backend.h"

#include <RtMidi.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "base/thread_annotations.h"
#include "midi/port_names.h"

namespace j3 {
namespace {

// The last error ALSA reported, for last_error(). RtMidi reports through a
// callback on the thread that called it (or its own input thread) instead of
// printing and throwing; a count tells a send whether its call raised one.
class ErrorLog {
  public:
    void note(const std::string& text) {
        Lock lock(mutex_);
        text_ = text;
        ++count_;
    }
    uint64_t count() {
        Lock lock(mutex_);
        return count_;
    }
    std::string text() {
        Lock lock(mutex_);
        return text_;
    }

  private:
    Mutex mutex_{LockRank::kMidiErrors};
    std::string text_ J3_GUARDED_BY(mutex_);
    uint64_t count_ J3_GUARDED_BY(mutex_) = 0;
};

void note_error(RtMidiError::Type type, const std::string& text, void* log) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    static_cast<ErrorLog*>(log)->note(text);
}

// RtMidi's ALSA thread: queue only.
void arrived(double, std::vector<unsigned char>* message, void* input) {
    if (!message || message->empty()) return;
    static_cast<InputPump*>(input)->push({arrival_time_ns(), *message});
}

std::optional<unsigned> port_index(RtMidi& midi, const std::string& key) {
    const unsigned n = midi.getPortCount();
    for (unsigned i = 0; i < n; ++i) {
        if (midi.getPortName(i) == key) return i;
    }
    return std::nullopt;
}

class AlsaBackend final : public MidiBackend {
  public:
    explicit AlsaBackend(InputPump& input) : input_(input) {}

    void open(const ClientNames& names) override {
        Lock lock(mutex_);
        // The client carries the names: make it again.
        if (names != names_) drop();
        names_ = names;
        if (in_ && !in_port_.empty()) in_->closePort();
        in_port_.clear();
        open_ports();
    }

    std::vector<std::string> ports(bool sources) override {
        Lock lock(mutex_);
        std::vector<std::string> keys;
        if (!opened()) return keys;
        RtMidi& midi = sources ? static_cast<RtMidi&>(*in_) : *out_;
        const unsigned n = midi.getPortCount();
        for (unsigned i = 0; i < n; ++i) keys.push_back(midi.getPortName(i));
        return keys;
    }

    EndpointInfo describe(const std::string& key) const override {
        return endpoint_info_from_port_name(PortNaming::kAlsa, key);
    }

    bool connect_source(const std::string& key) override {
        Lock lock(mutex_);
        if (!opened()) return false;
        // One source: RtMidi's input object connects one port.
        if (!in_port_.empty()) {
            in_->closePort();
            in_port_.clear();
        }
        const std::optional<unsigned> index = port_index(*in_, key);
        if (!index) return false;
        in_->openPort(*index, names_.input_port);
        if (!in_->isPortOpen()) return false;
        in_port_ = key;
        return true;
    }

    bool disconnect_source(const std::string& key) override {
        Lock lock(mutex_);
        if (!in_ || in_port_ != key) return false;
        in_->closePort();
        in_port_.clear();
        return true;
    }

    bool present(const std::string& key, bool source) override {
        Lock lock(mutex_);
        return opened() && port_index(source ? static_cast<RtMidi&>(*in_) : *out_, key).has_value();
    }

    SendResult check(const std::string& destination, const SysexRequest& request) override {
        if (request.bytes_to_send > kAlsaMaxMessageBytes) return kSendTooLarge;
        Lock lock(mutex_);
        if (!opened()) return kSendBackendLost;
        if (!port_index(*out_, destination)) {
            // The connection went with the port: make it anew should the
            // port come back.
            if (out_port_ == destination) close_output();
            return kSendNoDestination;
        }
        return kSendTaken;
    }

    // Nothing here waits: the sequencer takes the event or refuses it at
    // once. The send pump then waits the wire time.
    Transmitted transmit(const std::string& destination, const SysexRequest& request, int,
                         const std::function<bool()>&) override {
        Lock lock(mutex_);
        return {send(destination, request), false};
    }

    std::string last_error() override { return errors_.text(); }

  private:
    bool opened() const J3_REQUIRES(mutex_) { return in_ && out_; }

    void drop() J3_REQUIRES(mutex_) {
        in_.reset();
        out_.reset();
        in_port_.clear();
        out_port_.clear();
    }

    void open_ports() J3_REQUIRES(mutex_) {
        // Without the sequencer device RtMidi's ALSA constructor throws, and
        // alsa-lib prints first: look before opening.
        std::error_code ec;
        if (opened() || !std::filesystem::exists("/dev/snd/seq", ec)) return;
        try {
            out_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, names_.client);
            out_->setErrorCallback(note_error, &errors_);
            in_ = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, names_.client);
            in_->setErrorCallback(note_error, &errors_);
            // SysEx, clock and active sensing all go to the read procedure,
            // which decides what to drop.
            in_->ignoreTypes(false, false, false);
            in_->setCallback(arrived, &input_);
        } catch (const RtMidiError&) {
            drop();
        }
    }

    SendResult send(const std::string& destination, const SysexRequest& request)
        J3_REQUIRES(mutex_) {
        if (!opened()) return kSendBackendLost;
        const uint64_t errors_before = errors_.count();
        if (out_port_ != destination) {
            close_output();
            const std::optional<unsigned> index = port_index(*out_, destination);
            if (!index) return kSendNoDestination;
            out_->openPort(*index, names_.output_port);
            if (errors_.count() != errors_before) return kSendBackendError;
            if (!out_->isPortOpen()) return kSendNoDestination;
            out_port_ = destination;
        }
        if (request.bytes_to_send == 0 || request.complete) return kSendTaken;
        out_->sendMessage(request.data, request.bytes_to_send);
        if (errors_.count() != errors_before) return kSendBackendError;
        return kSendTaken;
    }

    // RtMidi's output connects one destination at a time (ALSA's ignores a
    // second openPort while connected).
    void close_output() J3_REQUIRES(mutex_) {
        if (!out_port_.empty()) out_->closePort();
        out_port_.clear();
    }

    InputPump& input_;
    // Its own lock: RtMidi reports into it from calls made under mutex_ and
    // from its input thread.
    ErrorLog errors_;
    // Never held while the read procedure runs; RtMidi's calls under it
    // return at once.
    Mutex mutex_{LockRank::kMidiBackend};
    ClientNames names_ J3_GUARDED_BY(mutex_);
    // Declared after errors_ and input_, into which their callbacks report.
    std::unique_ptr<RtMidiIn> in_ J3_GUARDED_BY(mutex_);
    std::unique_ptr<RtMidiOut> out_ J3_GUARDED_BY(mutex_);
    std::string in_port_ J3_GUARDED_BY(mutex_);   // key of the connected source, empty when none
    std::string out_port_ J3_GUARDED_BY(mutex_);  // key the output is connected to, empty when none
};

}  // namespace

std::unique_ptr<MidiBackend> make_alsa_backend(InputPump& input) {
    return std::make_unique<AlsaBackend>(input);
}

std::string rtmidi_version() {
    return RtMidi::getVersion();
}

}  // namespace j3
