// What the integration tests stand on: a JACK server of each test's own, child
// processes (JACK's jack_midi_dump, the command line), a small JACK MIDI
// client written against libjack alone, independent of RtMidi, and the wait
// for a port to show in J3's endpoint lists.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/endpoints.h"
#include "midi/midi_service.h"

namespace j3::testing {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Starts `jackd --no-realtime -n NAME -d dummy` under a name of a small fixed
// set ("j3test-0" to "j3test-3") that no running test holds, waits for it
// with `jack_wait -w -s NAME`, and points JACK_DEFAULT_SERVER at it. Stops it
// when destroyed. The names are few because JACK has 8 server slots for the
// whole machine and gives back the slot of a server that died only to a
// server of the same name.
class JackServer {
  public:
    // period_frames: the dummy driver's period (its default when 0).
    explicit JackServer(int period_frames = 0);
    ~JackServer();
    bool running() const { return pid_ > 0; }
    // Ends the server at once, as a crash would.
    void kill_now();
    // Stops the server's process (SIGSTOP) and lets it go on again
    // (SIGCONT), as a machine that keeps it off the processor would.
    void pause();
    void resume();
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    int name_lock_ = -1;  // held while the name is ours
    pid_t pid_ = -1;
    bool killed_ = false;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when it had to be killed
    std::string out, err;
};

// Starts argv[0] (looked up on PATH) with stdout and stderr into files.
pid_t spawn(const std::vector<std::string>& argv, const std::string& out_path,
            const std::string& err_path);
// Waits for the child; after timeout, kills it and returns -1.
int wait_child(pid_t pid, std::chrono::milliseconds timeout);
// Runs a program to its end.
RunResult run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout = 60s);
std::string read_text(const std::string& path);
std::string temp_path(const std::string& leaf);

// JACK's own MIDI monitor as a child process: `jack_midi_dump NAME`, whose
// port is "NAME:input". It prints one line per event, up to 4096 bytes each.
// The constructor returns once the monitor takes in events.
class MidiDump {
  public:
    explicit MidiDump(const std::string& client_name);
    ~MidiDump();
    // Stops the monitor and returns the events it printed, in order.
    std::vector<Bytes> stop();

  private:
    pid_t pid_ = -1;
    std::string out_path_;
};

// A JACK client with ports "in" and "out". What arrives at "in" is recorded
// event by event; send() puts a message out on "out" in the next cycle.
class TestMidiClient {
  public:
    explicit TestMidiClient(const std::string& name);
    ~TestMidiClient();
    bool ok() const { return client_ != nullptr; }
    void close();
    // Connects "out" to that port ("client:port").
    bool connect_out(const std::string& port);
    // Takes every connection to "in" away, as a patchbay would; the port stays.
    bool disconnect_in();
    void send(const Bytes& message);
    std::vector<Bytes> received();
    // Waits until at least n bytes in all have arrived.
    bool wait_bytes(size_t n, std::chrono::milliseconds timeout = 20s);

  private:
    static int process(uint32_t frames, void* self);
    void* client_ = nullptr;
    void* in_ = nullptr;
    void* out_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> received_;
    std::vector<Bytes> to_send_;
    size_t received_bytes_ = 0;
    std::atomic<bool> server_gone_{false};
};

// A stand-in for an instrument: a JACK client with ports "in" and "out" that
// answers each message arriving at "in" by a script, from its process
// callback, and keeps the JACK frame time of everything it heard and said,
// which orders the two exactly.
class ScriptedInstrument {
  public:
    struct Reply {
        Bytes bytes;
        uint32_t after_frames = 0;  // said this many frames after the message arrived
    };
    // index: how many messages came before this one. Runs on JACK's process
    // thread.
    using Script = std::function<std::vector<Reply>(int index, const Bytes& message)>;
    struct Event {
        uint64_t frame = 0;
        bool said = false;  // a reply of ours, not a message heard
        Bytes bytes;
    };

    ScriptedInstrument(const std::string& name, Script script);
    ~ScriptedInstrument();
    bool ok() const { return client_ != nullptr; }
    uint32_t sample_rate() const;
    // Heard and said, in frame order (heard first within a frame).
    std::vector<Event> events();
    std::vector<Bytes> heard();
    // Waits until n messages have arrived.
    bool wait_heard(size_t n, std::chrono::milliseconds timeout = 20s);

  private:
    static int process(uint32_t frames, void* self);
    void* client_ = nullptr;
    void* in_ = nullptr;
    void* out_ = nullptr;
    Script script_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    int heard_count_ = 0;
    std::vector<std::pair<uint64_t, Bytes>> pending_;  // replies by their frame
};

// The status a send ends with when everything went out: "Done.", or the
// warning J3 gives when the server overran while its data was under way (a
// loaded machine can make the dummy driver do so). The checks of what
// arrived, which follow, tell whether anything was lost.
inline bool sent_whole(const std::string& status) {
    return status == "Done." || status.starts_with("Sent, but the MIDI server fell behind");
}

// Polls cond every 10 ms until it holds or timeout passes.
template <class Cond>
bool eventually(Cond cond, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Rescans (scan_midi with read_proc) until an endpoint of that display name
// is listed among the sources or the destinations: its 1-based position, 0
// when it never shows. A port another client just made takes a moment to
// reach the lists.
int32_t wait_for_endpoint(MidiService& midi, MidiEndpoints& endpoints, const ReadProc& read_proc,
                          const std::string& name, bool source);

}  // namespace j3::testing
