// The MIDI service's two sending threads.
//
//   link thread:       takes the requests in the order they were handed over;
//                      for each, waits until the wire is free of the request
//                      before it, gives its bytes to the backend and then
//                      waits as long as they take on the wire at the
//                      destination's maximum SysEx speed, or until the
//                      request is cancelled; a request whose next one follows
//                      at once (SysexRequest::queue_next) is completed before
//                      that wait, so the next one is ready when the wire is;
//   completion thread: sets each finished request's completion flag and runs
//                      its completion procedure, one at a time.
//
// Keeping the two apart lets a completion procedure block (the send loop's
// "Delay", the sample handshake waits) without holding up other requests on
// the wire, such as a receiver's replies.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "base/thread_annotations.h"
#include "midi/midi_service.h"

namespace j3 {

// What a backend made of a request.
struct Transmitted {
    SendResult outcome = kSendTaken;
    // The backend itself kept the request until its bytes were out at the
    // destination's speed (placed by frame, say): no wait follows.
    bool paced = false;
};

struct SendPumpHooks {
    // Link thread, at the request's turn: hands its bytes to the backend.
    // Its outcome is kSendTaken, or a SendResult when nothing (or not all)
    // went out (the request is then completed at once, with that outcome).
    std::function<Transmitted(const SysexRequest& request)> transmit;
    // Link thread, after the wait: these bytes (a request's, all of them or
    // fewer when it was cancelled on the way) have crossed the wire to the
    // destination. Valid during the call only.
    std::function<void(Endpoint destination, const uint8_t* bytes, uint32_t count)> sent;
    // The destination's maximum SysEx speed in bytes per second (> 0).
    std::function<int(Endpoint destination)> speed;
};

// Wire time of a request: bytes / bytes_per_second, in nanoseconds.
std::chrono::nanoseconds wire_time(uint32_t bytes, int bytes_per_second);

class SendPump {
  public:
    explicit SendPump(SendPumpHooks hooks);
    ~SendPump();  // close()
    // Cuts the request on the wire short, completes every request still
    // queued, then ends both threads. A request handed over meanwhile (by a
    // completion procedure, say) is completed at once. Not from the pump's
    // own threads.
    void close();
    SendPump(const SendPump&) = delete;
    SendPump& operator=(const SendPump&) = delete;

    // Queues a taken request for the link thread; false once closing (the
    // request is then completed at once). Any thread.
    bool submit(SysexRequest* request);
    // Queues a refused request straight for the completion thread. Any thread.
    void complete_refused(SysexRequest* request);
    // True from the start of close() on: a backend's own wait ends at once.
    // Any thread.
    bool closing() const { return closing_.load(std::memory_order_acquire); }

  private:
    void link_loop() J3_EXCLUDES(mutex_);
    void completion_loop() J3_EXCLUDES(mutex_);
    void finish(SysexRequest* request) J3_EXCLUDES(mutex_);
    void deliver_crossing();
    // Link thread: until the wire is free (free_at_), the request is
    // cancelled or the pump closes.
    void wait_for_wire(UniqueLock& lock, const SysexRequest& request) J3_REQUIRES(mutex_);

    SendPumpHooks hooks_;
    Mutex mutex_{LockRank::kSendPump};  // never held while a hook or a completion procedure runs
    std::condition_variable_any link_wake_;
    std::condition_variable_any completion_wake_;
    std::deque<SysexRequest*> to_send_ J3_GUARDED_BY(mutex_);
    std::deque<SysexRequest*> finished_ J3_GUARDED_BY(mutex_);
    bool stopping_ J3_GUARDED_BY(mutex_) = false;
    bool link_done_ J3_GUARDED_BY(mutex_) = false;
    bool closed_ J3_GUARDED_BY(mutex_) = false;
    std::atomic<bool> closing_{false};
    // Link thread only: when the wire is free of what went before (by the
    // ideal schedule, so a late wake-up is not passed on), and the bytes of
    // a request completed ahead of its wire time, handed to `sent` then.
    std::chrono::steady_clock::time_point free_at_{};
    Endpoint crossing_to_ = kNoEndpoint;
    std::vector<uint8_t> crossing_;
    std::thread link_thread_;
    std::thread completion_thread_;
};

}  // namespace j3
