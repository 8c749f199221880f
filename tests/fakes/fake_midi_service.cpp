#include "fakes/fake_midi_service.h"

#include <utility>

#include <algorithm>

namespace j3::testing {

namespace {
constexpr Endpoint kDestinationBase = 1000;
}

bool FakeMidiService::create_client(const std::string& name, const std::string&, const std::string&,
                                    ReadProc proc) {
    client_name = name;
    read_proc = std::move(proc);
    connected.clear();
    return true;
}

Endpoint FakeMidiService::source(int index) {
    return index >= 0 && index < int(sources.size()) ? Endpoint(index + 1) : kNoEndpoint;
}

Endpoint FakeMidiService::destination(int index) {
    return index >= 0 && index < int(destinations.size()) ? Endpoint(kDestinationBase + index + 1)
                                                          : kNoEndpoint;
}

EndpointInfo FakeMidiService::endpoint_info(Endpoint e) {
    if (e > kDestinationBase && e - kDestinationBase <= destinations.size()) {
        return destinations[e - kDestinationBase - 1];
    }
    if (e >= 1 && e <= sources.size()) return sources[e - 1];
    return {};
}

bool FakeMidiService::connect_source(Endpoint s) {
    if (s == kNoEndpoint) return false;
    connected.push_back(s);
    return true;
}

bool FakeMidiService::disconnect_source(Endpoint s) {
    auto it = std::find(connected.begin(), connected.end(), s);
    if (it == connected.end()) return false;
    connected.erase(it);
    return true;
}

Endpoint FakeMidiService::create_virtual_destination(const std::string& name) {
    if (fail_virtual_destination) return kNoEndpoint;
    virtual_destination = name;
    return kVirtualDestination;
}

int FakeMidiService::max_sysex_speed(Endpoint d) {
    for (auto& [e, s] : speeds) {
        if (e == d) return s;
    }
    return 3125;
}

void FakeMidiService::set_max_sysex_speed(Endpoint d, int bytes_per_second) {
    for (auto& [e, s] : speeds) {
        if (e == d) {
            s = bytes_per_second;
            return;
        }
    }
    speeds.emplace_back(d, bytes_per_second);
}

SendResult FakeMidiService::send_sysex(SysexRequest* request) {
    std::lock_guard lock(mutex);
    in_flight.push_back(request);
    request->outcome = kSendTaken;
    if (refuse_above > 0 && request->bytes_to_send > uint32_t(refuse_above)) {
        request->outcome = kSendTooLarge;
        return kSendTooLarge;
    }
    sent.push_back({request->destination,
                    std::vector<uint8_t>(request->data, request->data + request->bytes_to_send),
                    request->starts_transfer, request->hold_for_ack});
    return kSendTaken;
}

bool FakeMidiService::complete_next() {
    SysexRequest* request;
    {
        std::lock_guard lock(mutex);
        if (in_flight.empty()) return false;
        request = in_flight.front();
        in_flight.pop_front();
        if (!raise_backend_error.empty() && request->outcome == kSendTaken) {
            raised_error = std::exchange(raise_backend_error, {});
            request->outcome = kSendBackendError;
        }
    }
    if (request->outcome == kSendTaken) request->outcome = undelivered.load();
    request->complete = true;
    request->completion_proc(request);
    return true;
}

std::string FakeMidiService::backend_error(Endpoint) {
    std::lock_guard lock(mutex);
    return raised_error;
}

int FakeMidiService::complete_all(int limit) {
    int n = 0;
    while (n < limit && complete_next()) ++n;
    return n;
}

size_t FakeMidiService::held() const {
    std::lock_guard lock(mutex);
    return in_flight.size();
}

std::vector<SentRequest> FakeMidiService::sent_copy() const {
    std::lock_guard lock(mutex);
    return sent;
}

std::vector<uint8_t> FakeMidiService::sent_bytes() const {
    std::lock_guard lock(mutex);
    std::vector<uint8_t> all;
    for (auto& r : sent) all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    return all;
}

}  // namespace j3::testing
