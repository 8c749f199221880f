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

void SendPump::link_loop() {
    UniqueLock lock(mutex_);
    for (;;) {
        while (!stopping_ && to_send_.empty()) link_wake_.wait(lock);
        if (to_send_.empty()) return;  // stopping, nothing left
        SysexRequest* request = to_send_.front();
        to_send_.pop_front();
        if (stopping_ || request->complete) {
            // Cancelled before its turn, or the service is closing: nothing
            // goes out.
            finished_.push_back(request);
            completion_wake_.notify_one();
            continue;
        }
        lock.unlock();

        const auto start = Clock::now();
        uint32_t on_wire = 0;
        const Transmitted done = hooks_.transmit(*request);
        request->outcome = SendResult(done.outcome);
        if (done.outcome == kSendTaken && !done.paced) {
            const auto duration =
                wire_time(request->bytes_to_send, hooks_.speed(request->destination));
            const auto deadline = start + duration;
            lock.lock();
            while (!stopping_ && !request->complete) {
                const auto now = Clock::now();
                if (now >= deadline) break;
                link_wake_.wait_until(lock, std::min(deadline, now + kCancelPoll));
            }
            lock.unlock();
            on_wire = request->bytes_to_send;
            const auto now = Clock::now();
            if (now < deadline && duration.count() > 0) {
                // Cut short: only what had time to leave is on the wire.
                on_wire = uint32_t(int64_t(request->bytes_to_send) * (now - start).count() /
                                   duration.count());
            }
            hooks_.sent(*request, on_wire);
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
