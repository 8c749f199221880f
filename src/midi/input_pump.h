// The MIDI service's input thread: backend callbacks (JACK's process thread,
// RtMidi's ALSA thread, the loopback) only queue what arrived; this thread
// hands it to the read procedure as packet lists, in arrival order.
#pragma once

#include <condition_variable>
#include <thread>
#include <vector>

#include "base/thread_annotations.h"
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

  private:
    void loop() J3_EXCLUDES(queue_mutex_, proc_mutex_);

    Mutex queue_mutex_{LockRank::kInputQueue};
    std::condition_variable_any wake_;
    MidiPacketList queued_ J3_GUARDED_BY(queue_mutex_);
    bool stopping_ J3_GUARDED_BY(queue_mutex_) = false;

    Mutex proc_mutex_{LockRank::kInputProc};  // held while the read procedure runs
    ReadProc read_proc_ J3_GUARDED_BY(proc_mutex_);
    std::thread thread_;
};

}  // namespace j3
