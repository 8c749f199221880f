#include "receive/reception.h"

#include "receive/reception_internals.h"

namespace j3 {

Reception::Reception() : state_(std::make_unique<ReceptionInternals>()) {}
Reception::~Reception() = default;

bool Reception::receiving() const {
    return state_->receiving;
}

ReceiveProgress Reception::progress() const {
    const ReceptionInternals& r = *state_;
    return {r.receiving,     r.received_total + r.aside_total,
            r.dumps_started, r.dumps_done,
            r.dump_packets,  r.dump_packets_taken};
}

std::optional<ReceiveOutcome> Reception::outcome() const {
    ReceptionInternals& r = *state_;
    Lock lock(r.mutex);
    return r.outcome;
}

void Reception::set_diagnostics(FILE* out) {
    ReceptionInternals& r = *state_;
    Lock lock(r.mutex);
    r.diagnostics = out;
}

void Reception::set_max_entry_bytes(uint64_t bytes) {
    ReceptionInternals& r = *state_;
    Lock lock(r.mutex);
    r.max_received_bytes = bytes;
}

void Reception::set_requested_sample(int32_t number) {
    ReceptionInternals& r = *state_;
    Lock lock(r.mutex);
    r.requested_sample = number;
}

}  // namespace j3
