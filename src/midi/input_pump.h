// The MIDI service's input thread: backend callbacks (JACK's process thread,
// RtMidi's ALSA thread, the loopback) only queue what arrived; this thread
// hands it to the read procedure as packet lists, in arrival order.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/midi_service.h"

namespace j3 {

class InputPump {
  public:
    InputPump();
    ~InputPump();  // drops what is still queued
    InputPump(const InputPump&) = delete;
    InputPump& operator=(const InputPump&) = delete;

    // Replaces the read procedure (none: arrivals are dropped). Waits for a
    // running call of the old one to return. Not from the read procedure.
    void set_read_proc(ReadProc read_proc);

    // Queues one arrival. Any thread; never blocks for long and never calls
    // project code, so it is safe from a backend's real-time thread.
    void push(MidiPacket packet);

    bool on_input_thread() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void loop();

    std::mutex queue_mutex_;
    std::condition_variable wake_;
    MidiPacketList queued_;
    bool stopping_ = false;

    std::mutex proc_mutex_;  // held while the read procedure runs
    ReadProc read_proc_;
    std::thread thread_;
};

}  // namespace j3
