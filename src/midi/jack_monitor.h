// A port-less JACK client beside RtMidi's: it tells whether the JACK server
// still runs, whether a port exists, and keeps RtMidi's JACK output from
// spinning.
//
// RtMidi 5.0's JACK sendMessage copies each message into a 16384-byte ring
// (16383 usable, 4 of them for the message's length) that its process
// callback empties once per JACK cycle. A message that does not fit the empty
// ring (more than 16379 bytes) is dropped without a word; one that does not
// fit the ring's free space makes sendMessage spin until the next cycle, and
// forever when no cycle comes again (server gone). make_room() counts what
// was written against the cycles run, so sendMessage is only called when the
// message fits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace j3 {

class JackMonitor {
  public:
    // Connects to the server that JACK_DEFAULT_SERVER names (the default one
    // without it); nullptr when none runs. Never starts a server, and keeps
    // JACK's own messages off the terminal.
    static std::unique_ptr<JackMonitor> open(const std::string& client_name);
    // The version of the JACK library this program runs on.
    static std::string library_version();
    ~JackMonitor();
    JackMonitor(const JackMonitor&) = delete;
    JackMonitor& operator=(const JackMonitor&) = delete;

    // False once the server has shut down or dropped this client.
    bool alive() const { return alive_; }
    // A port of that full name ("client:port") exists now.
    bool port_exists(const std::string& full_name) const;
    // The full names of the ports connected to that port, as the server's
    // process cycle sees the graph now.
    std::vector<std::string> connections(const std::string& full_name) const;
    // Call before handing bytes to RtMidi's JACK sendMessage (one thread at a
    // time). Waits up to patience for the ring to empty; false when the
    // message would not fit by then (the server runs no cycles), or at once
    // when *cancel becomes true meanwhile: do not send.
    bool make_room(uint32_t bytes, std::chrono::milliseconds patience,
                   const std::atomic<bool>* cancel = nullptr);
    // How many xruns the server reported while bytes written through
    // make_room were still on their way (cycles it could not finish in time,
    // when JACK may drop MIDI events). One while nothing of ours was under
    // way cannot have lost any of it and is not counted.
    uint64_t xruns() const { return xruns_.load(std::memory_order_relaxed); }
    // Waits until the server has begun `cycles` new process cycles; false when
    // it does not within patience. A connection made just before takes
    // effect in the graph from the next cycle on: bytes written sooner would
    // go out on the port while it is not yet connected, and be lost.
    bool wait_cycles(uint64_t cycles, std::chrono::milliseconds patience);

  private:
    JackMonitor() = default;
    static int process(uint32_t frames, void* self);
    static void shutdown(void* self);
    static int xrun(void* self);

    void* client_ = nullptr;  // jack_client_t
    std::atomic<bool> alive_{true};
    std::atomic<uint64_t> cycles_{0};
    std::atomic<uint64_t> xruns_{0};
    // Cycle count when make_room last let bytes go; negative before the first.
    std::atomic<int64_t> last_write_cycle_{-1000};
    // What went into the ring: (cycles run when written, bytes taken).
    std::deque<std::pair<uint64_t, uint32_t>> written_;
};

}  // namespace j3
