#include "midi/send_pump.h"

#include <algorithm>

namespace j3 {
namespace {

using Clock = std::chrono::steady_clock;

// A cancel is a plain flag the program sets, with no wake-up: the wait looks
// at it this often.
constexpr auto kCancelPoll = std::chrono::milliseconds(1);

}  // namespace

std::chrono::nanoseconds wire_time(uint32_t bytes, int bytes_per_second) {
    const int64_t speed = std::max(bytes_per_second, 1);
    return std::chrono::nanoseconds(int64_t(bytes) * 1000000000 / speed);
}

SendPump::SendPump(SendPumpHooks hooks) : hooks_(std::move(hooks)) {
    link_thread_ = std::thread([this] { link_loop(); });
    completion_thread_ = std::thread([this] { completion_loop(); });
}

SendPump::~SendPump() {
    close();
}

void SendPump::close() {
    {
        Lock lock(mutex_);
        if (closed_) return;
        closed_ = true;
        stopping_ = true;
        closing_.store(true, std::memory_order_release);
    }
    link_wake_.notify_all();
    link_thread_.join();
    {
        Lock lock(mutex_);
        link_done_ = true;
    }
    completion_wake_.notify_all();
    completion_thread_.join();
}

bool SendPump::submit(SysexRequest* request) {
    {
        Lock lock(mutex_);
        if (!stopping_) {
            to_send_.push_back(request);
            link_wake_.notify_one();
            return true;
        }
    }
    complete_refused(request);
    return false;
}

void SendPump::complete_refused(SysexRequest* request) {
    finish(request);
}

void SendPump::finish(SysexRequest* request) {
    Lock lock(mutex_);
    finished_.push_back(request);
    completion_wake_.notify_one();
}

void SendPump::deliver_crossing() {
    if (crossing_to_ == kNoEndpoint) return;
    hooks_.sent(crossing_to_, crossing_.data(), uint32_t(crossing_.size()));
    crossing_to_ = kNoEndpoint;
    crossing_.clear();
}

void SendPump::wait_for_wire(UniqueLock& lock, const SysexRequest& request) {
    while (!stopping_ && !request.complete) {
        const auto now = Clock::now();
        if (now >= free_at_) return;
        link_wake_.wait_until(lock, std::min(free_at_, now + kCancelPoll));
    }
}

void SendPump::link_loop() {
    UniqueLock lock(mutex_);
    for (;;) {
        // Bytes handed back ahead of their wire time arrive at that time.
        while (!stopping_ && to_send_.empty()) {
            if (crossing_to_ == kNoEndpoint) {
                link_wake_.wait(lock);
            } else if (Clock::now() >= free_at_) {
                lock.unlock();
                deliver_crossing();
                lock.lock();
            } else {
                link_wake_.wait_until(lock, free_at_);
            }
        }
        if (to_send_.empty()) return;  // stopping, nothing left
        SysexRequest* request = to_send_.front();
        to_send_.pop_front();
        const auto taken = Clock::now();
        // Held until the wire is free of the request before it.
        wait_for_wire(lock, *request);
        if (stopping_ || request->complete) {
            // Cancelled before its turn, or the service is closing: nothing
            // goes out.
            finished_.push_back(request);
            completion_wake_.notify_one();
            continue;
        }
        lock.unlock();
        deliver_crossing();

        // Its ideal start: when the wire came free, or when it came if the
        // wire was idle then.
        const auto start = std::max(taken, free_at_);
        const Transmitted done = hooks_.transmit(*request);
        request->outcome = done.outcome;
        if (done.outcome == kSendTaken && !done.paced) {
            const auto duration =
                wire_time(request->bytes_to_send, hooks_.speed(request->destination));
            free_at_ = start + duration;
            if (request->queue_next) {
                // Completed now; the bytes reach the destination at their time.
                crossing_to_ = request->destination;
                crossing_.assign(request->data, request->data + request->bytes_to_send);
            } else {
                lock.lock();
                wait_for_wire(lock, *request);
                lock.unlock();
                uint32_t on_wire = request->bytes_to_send;
                const auto now = Clock::now();
                if (now < free_at_ && duration.count() > 0) {
                    // Cut short: only what had time to leave is on the wire,
                    // and the wire is free again now.
                    const auto gone = std::max(now - start, Clock::duration::zero());
                    on_wire = uint32_t(
                        int64_t(request->bytes_to_send) *
                        std::chrono::duration_cast<std::chrono::nanoseconds>(gone).count() /
                        duration.count());
                    free_at_ = now;
                }
                hooks_.sent(request->destination, request->data, on_wire);
            }
        }

        lock.lock();
        finished_.push_back(request);
        completion_wake_.notify_one();
    }
}

void SendPump::completion_loop() {
    UniqueLock lock(mutex_);
    for (;;) {
        while (!link_done_ && finished_.empty()) completion_wake_.wait(lock);
        if (finished_.empty()) return;  // link thread gone, nothing left
        SysexRequest* request = finished_.front();
        finished_.pop_front();
        lock.unlock();
        // The procedure may refill and hand over the record again: nothing
        // here touches it afterwards.
        request->complete = true;
        if (request->completion_proc) request->completion_proc(request);
        lock.lock();
    }
}

}  // namespace j3
