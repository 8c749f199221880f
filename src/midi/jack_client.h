// J3's own JACK client: one MIDI input port and one MIDI output port, and
// what the service needs to know of the server (is it there, which ports
// exist, what is connected, xruns, time it stood still).
//
//   auto jack = JackClient::open("J3", "Input port", "Output port", &input_pump);
//   jack->set_source("synth:out");          // connected now and whenever it returns
//   jack->send(message, {destination, 3125, ...});   // waits until it is out
//
// Threads:
//   JACK's process thread  runs process() only: it moves events between the
//                          ports and two lock-free rings, places each outgoing
//                          event by frame, and never locks, allocates or
//                          blocks;
//   drain thread (ours)    hands what the input ring holds to the input pump,
//                          event by event, as it arrives;
//   watch thread (ours)    connects the remembered source and destination
//                          again when a port of their name comes back;
//   JACK's notification thread  counts xruns and lost connections of the
//                          output port, notes which remembered port's client
//                          has left, and wakes the watch thread; it looks at
//                          the remembered names under names_mutex_ and
//                          allocates nothing.
// Everything else may be called from any thread; send() from one at a time.
//
// Output: every MIDI message, and every piece of a SysEx message longer than
// kMaxEventBytes, is its own event (see midi_events.h). An event is placed no
// earlier than the frame at which the event before it has finished on the
// wire at the destination's speed.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/thread_annotations.h"
#include "midi/byte_ring.h"
#include "midi/input_pump.h"
#include "midi/midi_service.h"

namespace j3 {

struct JackSend {
    std::string destination;  // full port name, "client:port"
    int bytes_per_second = 3125;
    // The first request of a transfer: a connection lost before it is made
    // again; on a later one a lost connection means lost data.
    bool starts_transfer = true;
    // The next request follows at once: send() returns as soon as the
    // events are in the ring and what waits there ahead of the wire is less
    // than kLookaheadPeriods periods, so the next one is in the ring before
    // the cycle it is due in. A refusal or a lost connection is then
    // reported by the next send.
    bool queue_next = false;
    // -1, or the SDS ACK (channel << 7 | packet) the request waits for: the
    // process callback lets it out in the cycle that ACK arrives in, at or
    // after the ACK's frame.
    int32_t hold_for_ack = -1;
    // Ticks of 1/60 s: the first event goes no sooner than this long after
    // the wire is free of the event before it.
    int32_t pause_ticks = 0;
    // Polled while waiting: true ends the wait at once (Stop); what is not
    // yet out is dropped.
    std::function<bool()> cancelled;
    // Polled while waiting: true ends the wait at once (the service is
    // closing); what is already in the ring still goes out, as long as the
    // client lives (see ~JackClient).
    std::function<bool()> closing;
};

class JackClient {
  public:
    // Connects to the server that JACK_DEFAULT_SERVER names (the default one
    // without it) as client_name with the two ports; nullptr when no server
    // runs. Never starts a server and keeps libjack's messages off the
    // terminal. What arrives at the input port goes to input, which must
    // outlive the client.
    static std::unique_ptr<JackClient> open(const std::string& client_name,
                                            const std::string& input_port,
                                            const std::string& output_port, InputPump* input);
    static std::string library_version();
    // Lets what is in the output ring go out (a receiver's last reply, say)
    // for up to kFlushPatience while the server runs cycles, then deactivates
    // the client before closing it, so no process callback can run on what
    // is freed; ends the drain and watch threads first.
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // False once the server has shut down or dropped the client.
    bool alive() const { return alive_.load(std::memory_order_acquire); }
    // Full names of the MIDI ports of other clients: sources are their
    // outputs, destinations their inputs. Empty once the server is gone.
    std::vector<std::string> ports(bool sources) const;
    // A port of that full name exists now. Cheap: no round trip to the server.
    bool port_exists(const std::string& full_name) const;

    // Connects that source to the input port, dropping any other, and keeps
    // its name: when a port of that name comes back after leaving, it is
    // connected again. Empty: none. False when it could not be connected now.
    bool set_source(const std::string& full_name);

    // Sends one request's bytes: cut into events, each placed by frame, and
    // returns once its last event has been written into a cycle and the
    // cycle before its wire end has begun (so the next request can follow
    // without a gap), with how.queue_next sooner (see there), or at once
    // when cancelled. Connects the output port to
    // the destination first when it is not (the wait for that is not counted
    // as wire time). Results: kSendTaken; kSendNoDestination (the port is not
    // there); kSendDisconnected (the connection was lost within a transfer);
    // kSendBackendLost (the server is gone or ran no cycle for a second);
    // kSendBackendError (JACK did not take an event; *error says why).
    SendResult send(const uint8_t* data, uint32_t bytes, const JackSend& how, std::string* error);

    // xruns while J3's client had events under way or its input ring
    // overflowed; those that cannot have touched J3's data are not counted.
    uint64_t xruns() const { return xruns_.load(std::memory_order_relaxed); }
    // Nanoseconds the server stood still: cycles that came more than a period
    // late, counted beyond their period, a stall under way included.
    uint64_t stall_ns() const;

  private:
    struct Notifications;  // JACK's notification callbacks
    // Where a send's wait stands: the server's progress, seen by the poll.
    struct SendWait {
        uint64_t last_cycle = 0;
        std::chrono::steady_clock::time_point last_progress;
    };

    JackClient() = default;
    void set_callbacks();
    static int process(uint32_t frames, void* self);
    void process_input(void* buffer, uint64_t cycle_start);
    void note_ack(const uint8_t* bytes, size_t n, uint64_t frame);
    void process_output(void* buffer, uint64_t cycle_start, uint32_t frames);
    void drain_loop();
    void watch_loop();
    void reconnect_returned_ports();
    SendResult connect_output(const std::string& destination);
    bool output_connected_to(const std::string& destination) const;
    bool wait_cycles(uint64_t cycles, const std::function<bool()>& cancelled);
    // The steps of send(), in its order.
    SendResult keep_connected(const JackSend& how);
    bool queue_events(const uint8_t* data, uint32_t bytes, const JackSend& how, uint32_t tag,
                      SendWait& wait, SendResult* why);
    bool placed_enough(const JackSend& how, uint32_t tag) const;
    bool take_refusal(std::string* error);
    bool wait_once(const JackSend& how, SendWait& wait, SendResult* why);
    SendResult end_wait(SendResult why, uint32_t tag);

    void* client_ = nullptr;  // jack_client_t
    void* in_ = nullptr;      // jack_port_t
    void* out_ = nullptr;
    InputPump* input_ = nullptr;
    uint32_t sample_rate_ = 48000;

    std::atomic<bool> alive_{true};
    std::atomic<bool> stopping_{false};
    sem_t input_ready_;  // posted by the process thread when input arrived
    sem_t watch_wake_;   // posted by JACK's notifications
    std::thread drain_thread_;
    std::thread watch_thread_;

    // Between the sending thread and the process thread.
    ByteRing out_ring_{1 << 16};
    ByteRing in_ring_{1 << 18};
    uint32_t next_tag_ = 0;                   // sending thread only
    std::atomic<uint32_t> completed_tag_{0};  // the last request fully placed
    std::atomic<uint32_t> cancelled_tag_{0};  // requests up to it are dropped
    std::atomic<uint32_t> failed_tag_{0};     // a request an event of which JACK refused
    std::atomic<uint32_t> failed_bytes_{0};
    uint32_t failed_seen_ = 0;  // sending thread only: the last refusal reported
    // Wire times below are in parts of a frame (kSubframes in jack_client.cpp).
    uint64_t handed_ = 0;  // sending thread only: wire time of every event handed over
    // Wire time of every event placed or dropped, and how far the wire is
    // busy beyond the end of the last cycle: what a request waits behind.
    std::atomic<uint64_t> placed_{0};
    std::atomic<uint64_t> busy_beyond_{0};
    std::atomic<uint32_t> period_frames_{0};

    // Process thread only.
    uint64_t next_free_ = 0;  // where the wire is free again, in parts of a frame
    bool completion_pending_ = false;
    uint32_t pending_tag_ = 0;
    uint64_t pending_end_ = 0;
    uint64_t last_cycle_us_ = 0;
    uint8_t ack_bytes_[6] = {};  // a SysEx message that may be an ACK
    size_t ack_length_ = 0;
    bool ack_open_ = false;
    int32_t ack_seen_ = -1;      // the last SDS ACK heard and not yet used
    uint64_t ack_frame_ = 0;     // where it was heard
    uint32_t released_tag_ = 0;  // the request its ACK let out

    // Counters the other threads read.
    std::atomic<uint64_t> cycles_{0};
    std::atomic<uint64_t> busy_cycle_{0};     // the last cycle with events of ours under way
    std::atomic<uint64_t> written_cycle_{0};  // the last cycle an event of ours was written in
    std::atomic<uint64_t> xruns_{0};
    std::atomic<uint64_t> stall_us_{0};
    std::atomic<uint64_t> cycle_at_us_{0};  // when the last cycle began (jack_get_time)
    std::atomic<uint64_t> period_us_{0};
    mutable std::atomic<uint64_t> reported_ns_{0};  // the highest stall_ns() reported
    // Lost connections of the output port to the chosen destination.
    std::atomic<uint64_t> output_breaks_{0};

    // What the watch thread keeps connected, and whether each port has been
    // seen gone since it was connected: one that comes back is connected
    // again, one that stayed and was disconnected by someone else is left so.
    // Taken briefly by the sending, watch and notification threads; never
    // held while the server is asked anything, so a notification never
    // waits on a call that waits for it.
    mutable Mutex names_mutex_{LockRank::kJackNames};
    std::string source_ J3_GUARDED_BY(names_mutex_);
    bool source_left_ J3_GUARDED_BY(names_mutex_) = false;
    std::string destination_ J3_GUARDED_BY(names_mutex_);
    bool destination_made_ J3_GUARDED_BY(names_mutex_) = false;  // connected once
    bool destination_left_ J3_GUARDED_BY(names_mutex_) = false;
    // Sending thread only: output_breaks_ when the connection was last made.
    uint64_t foreign_breaks_seen_ = 0;
};

}  // namespace j3
