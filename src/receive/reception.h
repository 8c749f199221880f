// The reception's owner: what a reception holds and how it ended. Its
// operations are the input routine's (midi_read.h: start, stop, feed a
// packet list) and the received entries' (received_entry.h); this is what
// everyone else may ask of it.
//
//   Reception reception;          // beside the context, kept alive by its maker
//   ctx.reception = &reception;
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "engine/outcomes.h"
#include "receive/identify.h"

namespace j3 {

struct ReceptionInternals;  // reception_internals.h: the reception's own files only

struct ReceiveProgress {
    bool receiving = false;
    int64_t bytes = 0;  // held for the entry in progress
    // Sample dumps whose header came, and those that came whole, since the
    // reception started; the packets the dump in progress announced and
    // those taken so far (0 and 0 outside a dump).
    int32_t dumps_started = 0;
    int32_t dumps_done = 0;
    int32_t dump_packets = 0;
    int32_t dump_packets_taken = 0;
};

class Reception {
  public:
    Reception();
    ~Reception();
    Reception(const Reception&) = delete;
    Reception& operator=(const Reception&) = delete;

    // Any thread; never waits.
    bool receiving() const;
    ReceiveProgress progress() const;
    // How the last reception ended; nullopt before the first one ended.
    std::optional<ReceiveOutcome> outcome() const;

    // Where "Fit." and the out-of-memory line go (standard output unless
    // set; nullptr for none), and the most one entry may hold. Before a
    // reception starts.
    void set_diagnostics(FILE* out);
    void set_max_entry_bytes(uint64_t bytes);

    // The sample number a request series asked for: a dump without a name
    // message is then named "Sample N" rather than "Received data N". -1:
    // no request. Any thread.
    void set_requested_sample(int32_t number);

    // Identity replies heard while someone asked (identify.h).
    IdentityListener& identity() { return identity_; }

    // For the reception's own files (the type is complete only there).
    ReceptionInternals& state() { return *state_; }
    const ReceptionInternals& state() const { return *state_; }

  private:
    std::unique_ptr<ReceptionInternals> state_;
    IdentityListener identity_;
};

}  // namespace j3
