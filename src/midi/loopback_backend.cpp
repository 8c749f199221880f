#include "midi/loopback_backend.h"

namespace j3 {
namespace {

// A built-in endpoint is named by its key alone, with no device.
EndpointInfo named(const std::string& key) {
    EndpointInfo info;
    info.name = key;
    return info;
}

}  // namespace

// A rescan leaves the loopback's source unconnected, like every other.
void LoopbackBackend::open(const ClientNames&) {
    connected_ = false;
}

std::vector<std::string> LoopbackBackend::ports(bool) {
    return {kLoopbackName};
}

EndpointInfo LoopbackBackend::describe(const std::string& key) const {
    return named(key);
}

bool LoopbackBackend::connect_source(const std::string&) {
    connected_ = true;
    return true;
}

bool LoopbackBackend::disconnect_source(const std::string&) {
    return connected_.exchange(false);
}

// Built in: never leaves.
bool LoopbackBackend::present(const std::string&, bool) {
    return true;
}

SendResult LoopbackBackend::check(const std::string&, const SysexRequest&) {
    return kSendTaken;
}

// The send pump paces the bytes; they come out of the source in crossed().
Transmitted LoopbackBackend::transmit(const std::string&, const SysexRequest&, int,
                                      const std::function<bool()>&) {
    return {kSendTaken, false};
}

void LoopbackBackend::crossed(const std::string&, const uint8_t* bytes, uint32_t count) {
    if (!connected_ || count == 0) return;
    input_.push({arrival_time_ns(), std::vector<uint8_t>(bytes, bytes + count)});
}

void DiscardBackend::open(const ClientNames&) {}

// Private: listed nowhere.
std::vector<std::string> DiscardBackend::ports(bool) {
    return {};
}

EndpointInfo DiscardBackend::describe(const std::string& key) const {
    return named(key);
}

// Destinations only: nothing to hear from.
bool DiscardBackend::connect_source(const std::string&) {
    return false;
}

bool DiscardBackend::disconnect_source(const std::string&) {
    return false;
}

bool DiscardBackend::present(const std::string&, bool) {
    return true;
}

SendResult DiscardBackend::check(const std::string&, const SysexRequest&) {
    return kSendTaken;
}

Transmitted DiscardBackend::transmit(const std::string&, const SysexRequest&, int,
                                     const std::function<bool()>&) {
    return {kSendTaken, false};
}

}  // namespace j3
