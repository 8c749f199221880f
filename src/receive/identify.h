// Who is on this port: J3 sends the universal identity request to the chosen
// destination and gathers each identity reply that comes back on the input
// meanwhile. The listener sits beside the reception, so the one read
// procedure feeds both; it looks at nothing while nobody asked.
//
//   ask_identity(ctx, kAllDevices);          // listener on, request out
//   ... a second later ...
//   for (const IdentityReply& r : ctx.reception->identity().stop()) ... identity_reply_line(r)
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/thread_annotations.h"
#include "format/instrument_requests.h"
#include "midi/midi_service.h"

namespace j3 {

struct Context;

class IdentityListener {
  public:
    // Forgets what an earlier request gathered and starts listening.
    void start();
    // Stops listening and hands over the replies heard, in arrival order
    // (the same reply twice, as a MIDI thru may echo it, once).
    std::vector<IdentityReply> stop();
    bool listening() const { return listening_; }
    // Input thread: gathers SysEx messages across packets while listening.
    void feed(const MidiPacketList& packets);

  private:
    // A reply is 17 bytes at most; anything longer is no reply.
    static constexpr size_t kLongest = 17;
    std::atomic<bool> listening_{false};
    Mutex mutex_{LockRank::kIdentity};
    std::vector<uint8_t> message_ J3_GUARDED_BY(mutex_);
    bool in_message_ J3_GUARDED_BY(mutex_) = false;
    std::vector<IdentityReply> replies_ J3_GUARDED_BY(mutex_);
};

// Starts the listener and sends the identity request carrying device (7F:
// every device) to the chosen destination. False, with nothing started,
// when there is no destination or the service refused the request.
bool ask_identity(Context& ctx, uint8_t device);

// How long instruments get to answer.
constexpr int kIdentityWaitMs = 1000;

// One line for a reply: "Device 16: maker 43 (Yamaha), family 65, member 2,
// version 1.0.3.0". The name only for the ids the message table knows.
std::string identity_reply_line(const IdentityReply& reply);

}  // namespace j3
