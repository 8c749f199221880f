#include "midi/input_pump.h"

namespace j3 {

InputPump::InputPump() {
    thread_ = std::thread([this] { loop(); });
}

InputPump::~InputPump() {
    {
        std::lock_guard lock(queue_mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void InputPump::set_read_proc(ReadProc read_proc) {
    std::lock_guard lock(proc_mutex_);
    read_proc_ = std::move(read_proc);
}

void InputPump::push(MidiPacket packet) {
    {
        std::lock_guard lock(queue_mutex_);
        queued_.push_back(std::move(packet));
    }
    wake_.notify_one();
}

void InputPump::loop() {
    MidiPacketList batch;
    for (;;) {
        {
            std::unique_lock lock(queue_mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
            if (stopping_) return;
            batch.swap(queued_);
        }
        {
            std::lock_guard lock(proc_mutex_);
            if (read_proc_) read_proc_(batch);
        }
        batch.clear();
    }
}

}  // namespace j3
