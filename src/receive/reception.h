// The reception's owner: what a reception holds and how it ended. Its
// operations are the input routine's (midi_read.h: start, stop, feed a
// packet list) and the replies' (replies.h), the only code that reaches its
// internals; this is what everyone else may ask of it.
//
//   Reception reception;          // beside the context, kept alive by its maker
//   ctx.reception = &reception;
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "engine/outcomes.h"
#include "midi/midi_service.h"
#include "receive/identify.h"
#include "receive/replies.h"

namespace j3 {

struct Context;
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

    // Bytes of the chunks held for the entry in progress (and beside it),
    // counted chunk by chunk under the lock. progress().bytes is the running
    // count the status line polls; between packet lists the two agree. Any
    // thread; waits for a packet list being read.
    int64_t held_bytes() const;

  private:
    // The input routine (midi_read.cpp) and the replies (replies.cpp) are
    // the only code that changes what a reception holds.
    friend void midi_read(Context& ctx, const MidiPacketList& packets);
    friend bool start_receiving(Context& ctx);
    friend void stop_receiving(Context& ctx);
    friend bool stop_receiving_if_source_gone(Context& ctx);
    friend void send_reply(Context& ctx, ReplyKind kind, uint8_t channel, uint8_t packet);
    friend void reply_done(SysexRequest* request);

    std::unique_ptr<ReceptionInternals> internals_;
    IdentityListener identity_;
};

}  // namespace j3
