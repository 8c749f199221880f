#include "receive/reception.h"

#include "receive/reception_internals.h"

namespace j3 {

Reception::Reception() : internals_(std::make_unique<ReceptionInternals>()) {}
Reception::~Reception() = default;

bool Reception::receiving() const {
    return internals_->receiving;
}

ReceiveProgress Reception::progress() const {
    const ReceptionInternals& r = *internals_;
    return {r.receiving,     r.received_total + r.aside_total,
            r.dumps_started, r.dumps_done,
            r.dump_packets,  r.dump_packets_taken};
}

std::optional<ReceiveOutcome> Reception::outcome() const {
    ReceptionInternals& r = *internals_;
    Lock lock(r.mutex);
    return r.outcome;
}

int64_t Reception::held_bytes() const {
    ReceptionInternals& r = *internals_;
    Lock lock(r.mutex);
    int64_t sum = 0;
    for (const std::vector<uint8_t>& chunk : r.chunks) sum += int64_t(chunk.size());
    for (const std::vector<uint8_t>& chunk : r.aside) sum += int64_t(chunk.size());
    return sum;
}

void Reception::set_diagnostics(FILE* out) {
    ReceptionInternals& r = *internals_;
    Lock lock(r.mutex);
    r.diagnostics = out;
}

void Reception::set_max_entry_bytes(uint64_t bytes) {
    ReceptionInternals& r = *internals_;
    Lock lock(r.mutex);
    r.max_received_bytes = bytes;
}

void Reception::set_requested_sample(int32_t number) {
    ReceptionInternals& r = *internals_;
    Lock lock(r.mutex);
    r.requested_sample = number;
}

}  // namespace j3
