// The endpoints J3 makes itself, with no MIDI system behind them.
//
//   LoopbackBackend: the pair "J3 Loopback": what is sent to its destination
//                    comes out of its source once it has crossed the wire at
//                    the destination's speed, while the source is connected;
//   DiscardBackend:  the private destinations (MidiService::
//                    create_virtual_destination): no other program sees
//                    them, and what they get is dropped after its wire time.
#pragma once

#include <atomic>

#include "midi/input_pump.h"
#include "midi/midi_backend.h"

namespace j3 {

constexpr const char* kLoopbackName = "J3 Loopback";

class LoopbackBackend final : public MidiBackend {
  public:
    explicit LoopbackBackend(InputPump& input) : input_(input) {}

    void open(const ClientNames& names) override;
    std::vector<std::string> ports(bool sources) override;
    EndpointInfo describe(const std::string& key) const override;
    bool connect_source(const std::string& key) override;
    bool disconnect_source(const std::string& key) override;
    bool present(const std::string& key, bool source) override;
    SendResult check(const std::string& destination, const SysexRequest& request) override;
    Transmitted transmit(const std::string& destination, const SysexRequest& request,
                         int bytes_per_second, const std::function<bool()>& closing) override;
    void crossed(const std::string& destination, const uint8_t* bytes, uint32_t count) override;

  private:
    InputPump& input_;
    std::atomic<bool> connected_{false};
};

class DiscardBackend final : public MidiBackend {
  public:
    void open(const ClientNames& names) override;
    std::vector<std::string> ports(bool sources) override;
    EndpointInfo describe(const std::string& key) const override;
    bool connect_source(const std::string& key) override;
    bool disconnect_source(const std::string& key) override;
    bool present(const std::string& key, bool source) override;
    SendResult check(const std::string& destination, const SysexRequest& request) override;
    Transmitted transmit(const std::string& destination, const SysexRequest& request,
                         int bytes_per_second, const std::function<bool()>& closing) override;
};

}  // namespace j3
