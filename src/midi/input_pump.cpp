#include "midi/input_pump.h"

namespace j3 {

InputPump::InputPump() {
    thread_ = std::thread([this] { loop(); });
}

InputPump::~InputPump() {
    {
        Lock lock(queue_mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void InputPump::set_read_proc(ReadProc read_proc) {
    Lock lock(proc_mutex_);
    read_proc_ = std::move(read_proc);
}

void InputPump::push(MidiPacket packet) {
    {
        Lock lock(queue_mutex_);
        queued_.push_back(std::move(packet));
    }
    wake_.notify_one();
}

void InputPump::loop() {
    MidiPacketList batch;
    for (;;) {
        {
            UniqueLock lock(queue_mutex_);
            while (!stopping_ && queued_.empty()) wake_.wait(lock);
            if (stopping_) return;
            batch.swap(queued_);
        }
        {
            Lock lock(proc_mutex_);
            if (read_proc_) read_proc_(batch);
        }
        batch.clear();
    }
}

}  // namespace j3
