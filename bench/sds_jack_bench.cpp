// What a sample dump with the handshake followed costs over JACK: the real
// send loop and the real MIDI service send to an instrument of the
// benchmark's own on a JACK server it starts for itself (`jackd
// --no-realtime -n j3bench-hs -d dummy`). The instrument is a JACK client
// whose process callback answers each dump header and data packet with an
// ACK in the cycle the message arrived in, as quickly as anything on the
// server can; its output is J3's chosen source, so the ACK reaches the send
// through the input routine, as an instrument's does.
//
//   BM_HandshakeOverJack: a dump of 2205 packets (two seconds of 16-bit mono
//     audio at 44.1 kHz) at speed index 11 (62500 bytes/s). Counters:
//     "packets" the instrument heard, "cycles" the JACK cycles from the one
//     the header arrived in to the one the last packet arrived in, and
//     "packets_per_cycle", their ratio: 1 when each packet follows the ACK
//     of the message before it one cycle later, the least a reply loop can
//     cost, 0.5 when it takes two; "late_packets", packets that came more than a cycle after the
//     message before them, and "max_gap_cycles", the longest such gap;
//     "repeated_packets", packets heard twice in a row;
//     "us_per_packet", the wall time of the send per packet; "xruns", the
//     server's during the run;
//   BM_ReplyLoopFloor/in_callback:1|0: the same dump and counters from a
//     sender on libjack alone, which writes the next packet in the callback
//     that read the ACK (1) or hands the ACK to a thread that makes the
//     packet ready for the next callback (0): the floor of a reply loop
//     between two clients of one server, where one direction always waits
//     a cycle (the graph runs one client before the other), and what a
//     sender whose messages are made outside the process thread adds to it.
//
// J3_BENCH_PERIOD=FRAMES runs the server with that period (1024 when unset);
// the dummy driver runs at 48 kHz, so a cycle is 5.3 ms at 256 frames and
// 21.3 ms at 1024, and a dump at one cycle per packet takes about 12 s and
// 47 s.
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/null_window.h"
#include "fixtures/audio_files.h"
#include "format/sysex_speed.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kServerName = "j3bench-hs";  // one fixed name: JACK frees a dead
                                                   // server's slot only for its name
constexpr const char* kInstrument = "instrument";
constexpr int kPackets = 2205;
constexpr int kWordsPerPacket = 40;  // 16-bit samples

// A 16-bit mono WAV of that many packets.
std::vector<uint8_t> wav(int packets) {
    j3::testing::WavFile w;
    for (int i = 0; i < packets * kWordsPerPacket; ++i) w.samples.push_back(int16_t(i * 37));
    return j3::testing::make_wav(w);
}

// The server, and the instrument on it with ports "in" and "out".
struct JackSide {
    JackSide() {
        server = ::fork();
        if (server == 0) {
            // The server goes with the benchmark, however the benchmark ends.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::freopen("/dev/null", "w", stdout);
            ::freopen("/dev/null", "w", stderr);
            const char* period = std::getenv("J3_BENCH_PERIOD");
            ::execlp("jackd", "jackd", "--no-realtime", "-n", kServerName, "-d", "dummy", "-p",
                     period ? period : "1024", nullptr);
            ::_exit(127);
        }
        const std::string wait = std::string("jack_wait -w -s ") + kServerName + " -t 20";
        if (std::system((wait + " >/dev/null 2>&1").c_str()) != 0) return;
        ::setenv("JACK_DEFAULT_SERVER", kServerName, 1);
        client = jack_client_open(kInstrument, JackNoStartServer, nullptr);
        if (!client) return;
        in = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, process, this);
        jack_set_xrun_callback(client, xrun, this);
        if (!in || !out || jack_activate(client) != 0) {
            jack_client_close(client);
            client = nullptr;
        }
    }
    ~JackSide() {
        if (client) jack_client_close(client);
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
    }

    // Answers in the cycle the message came in, at the frame it came at:
    // no allocation, no lock.
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackSide*>(arg);
        void* in = jack_port_get_buffer(self->in, frames);
        void* out = jack_port_get_buffer(self->out, frames);
        jack_midi_clear_buffer(out);
        // Counted by the server's frames, so a cycle this callback missed
        // (an xrun) still counts.
        const uint64_t cycle = jack_last_frame_time(self->client) / frames;
        const uint32_t n = jack_midi_get_event_count(in);
        for (uint32_t i = 0; i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, in, i) != 0) continue;
            const uint8_t* m = e.buffer;
            // F0 7E cc 01 ... F7 (the dump header), F0 7E cc 02 pp ... F7 (a packet).
            if (e.size < 6 || m[0] != 0xF0 || m[1] != 0x7E || m[e.size - 1] != 0xF7) continue;
            if (m[3] != 0x01 && m[3] != 0x02) continue;
            const bool packet = m[3] == 0x02;
            const uint8_t ack[6] = {0xF0, 0x7E, m[2], 0x7F, uint8_t(packet ? m[4] : 0), 0xF7};
            jack_midi_event_write(out, e.time, ack, sizeof ack);
            const uint64_t gap = cycle - self->previous_cycle;
            self->previous_cycle = cycle;
            if (packet) {
                // Heard again: the sender repeated it, or JACK gave a stale
                // buffer of a client that missed its cycle.
                if (self->previous_packet == m[4])
                    self->repeated_packets.fetch_add(1, std::memory_order_relaxed);
                self->previous_packet = m[4];
                if (gap > 1) self->late_packets.fetch_add(1, std::memory_order_relaxed);
                if (gap > self->max_gap.load(std::memory_order_relaxed))
                    self->max_gap.store(gap, std::memory_order_relaxed);
                self->packets.fetch_add(1, std::memory_order_relaxed);
                self->last_packet_cycle.store(cycle, std::memory_order_release);
            } else {
                self->previous_packet = -1;
                self->header_cycle.store(cycle, std::memory_order_release);
            }
        }
        return 0;
    }
    static int xrun(void* arg) {
        static_cast<JackSide*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    pid_t server = -1;
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
    uint64_t previous_cycle = 0;            // process thread only
    int previous_packet = -1;               // process thread only
    std::atomic<uint64_t> header_cycle{0};  // of the last header heard
    std::atomic<uint64_t> last_packet_cycle{0};
    std::atomic<uint64_t> packets{0};
    std::atomic<uint64_t> late_packets{0};
    std::atomic<uint64_t> repeated_packets{0};
    std::atomic<uint64_t> max_gap{0};  // since the main thread last cleared it
    std::atomic<uint64_t> xruns{0};
};

JackSide& jack_side() {
    static JackSide side;
    return side;
}

// J3 as the program sets it up: the service over JACK, the instrument's
// input chosen as the destination and its output as the source, replies
// read by the input routine.
struct Bench {
    Bench() {
        window.selected = {1};
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        if (!jack_side().client) return;
        midi = j3::make_midi_service(j3::MidiServiceOptions{false, true});
        ctx.midi = midi.get();
        j3::scan_midi(*ctx.midi, ctx.endpoints, j3::midi_read_proc(ctx));
        const std::string to = std::string(kInstrument) + " - in";
        const std::string from = std::string(kInstrument) + " - out";
        for (int i = 0; i < midi->destination_count(); ++i) {
            if (j3::endpoint_display_name(*midi, midi->destination(i), false) == to)
                ctx.settings.selected_out =
                    j3::choose_destination(*midi, ctx.endpoints, i + 1, false);
        }
        for (int i = 0; i < midi->source_count(); ++i) {
            if (j3::endpoint_display_name(*midi, midi->source(i), false) == from)
                ctx.settings.selected_in = j3::choose_source(*midi, ctx.endpoints, i + 1, false);
        }
        speed = j3::max_sysex_speed_for_index(j3::kSpeedIndexMax);
        if (ready()) midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, speed);
        ctx.settings.ignore_handshake = false;
    }
    ~Bench() {
        if (ctx.send.sending()) j3::stop_sending(ctx);
        midi.reset();  // the service completes into the context: it goes first
    }
    bool ready() const {
        return ctx.endpoints.destination_endpoint != j3::kNoEndpoint &&
               ctx.endpoints.source_endpoint != j3::kNoEndpoint;
    }

    // A dump of that many packets as the only entry, selected.
    void load(int packets) {
        while (ctx.send.busy()) std::this_thread::sleep_for(100us);
        j3::FileEntry e;
        e.file = "bench.wav";
        e.data = wav(packets);
        ctx.files.with_entries([](std::vector<j3::FileEntry>& all) { all.clear(); });
        j3::append_entry(ctx, std::move(e));
        j3::refresh_selection(ctx);
    }
    // Runs the send loop over the loaded entry; seconds taken.
    double send() {
        while (ctx.send.busy()) std::this_thread::sleep_for(100us);
        const auto start = Clock::now();
        j3::start_sending(ctx);
        while (ctx.send.sending()) std::this_thread::sleep_for(50us);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
    std::string ending() const {
        return j3::send_outcome_text(ctx.send.outcome().value_or(j3::SendOutcome{}));
    }
    // Every message went out: "Done.", or the warning of a server that fell
    // behind meanwhile (the counters then tell what it cost).
    bool sent_whole() const {
        const std::string e = ending();
        return e == "Done." || e.starts_with("Sent, but the MIDI server fell behind");
    }

    j3::testing::NullWindow window;  // a send posts nothing
    j3::SystemClock clock;
    j3::Reception reception;
    j3::Context ctx;
    int speed = 0;
    std::unique_ptr<j3::MidiService> midi;
};

// What the instrument heard over the dumps of a run: take() before each
// dump and add() once it is done (its last ACK is then written).
struct Tally {
    void take() {
        JackSide& j = jack_side();
        heard = j.packets.load();
        late_before = j.late_packets.load();
        repeated_before = j.repeated_packets.load();
        j.max_gap.store(0);
    }
    void add(double s) {
        JackSide& j = jack_side();
        seconds += s;
        packets += j.packets.load() - heard;
        cycles += j.last_packet_cycle.load(std::memory_order_acquire) -
                  j.header_cycle.load(std::memory_order_acquire);
        late += j.late_packets.load() - late_before;
        repeated += j.repeated_packets.load() - repeated_before;
        max_gap = std::max(max_gap, j.max_gap.load());
    }
    void report(benchmark::State& state) const {
        JackSide& j = jack_side();
        state.counters["packets"] = double(packets);
        state.counters["cycles"] = double(cycles);
        state.counters["packets_per_cycle"] = cycles ? double(packets) / double(cycles) : 0;
        state.counters["late_packets"] = double(late);
        state.counters["repeated_packets"] = double(repeated);
        state.counters["max_gap_cycles"] = double(max_gap);
        state.counters["us_per_packet"] = packets ? seconds / double(packets) * 1e6 : 0;
        state.counters["xruns"] = double(j.xruns.load() - xruns);
        state.counters["period_frames"] = jack_get_buffer_size(j.client);
    }
    uint64_t xruns = jack_side().xruns.load();
    uint64_t heard = 0, late_before = 0, repeated_before = 0;
    double seconds = 0;
    uint64_t packets = 0, cycles = 0, late = 0, repeated = 0, max_gap = 0;
};

void BM_HandshakeOverJack(benchmark::State& state) {
    Bench b;
    if (!b.ready()) {
        state.SkipWithError("no instrument ports (is jackd installed?)");
        return;
    }
    // Connects J3's output to the instrument, which JACK takes a few cycles
    // to do, before anything is timed.
    b.load(4);
    b.send();
    if (!b.sent_whole()) {
        state.SkipWithError(("warm-up: " + b.ending()).c_str());
        return;
    }
    b.load(kPackets);
    Tally tally;
    for (auto _ : state) {
        tally.take();
        const double s = b.send();
        state.SetIterationTime(s);
        if (!b.sent_whole()) {
            state.SkipWithError(b.ending().c_str());
            return;
        }
        tally.add(s);
    }
    tally.report(state);
}

// A sender on libjack alone that follows the handshake with the same dump
// shape, for the floor of the loop itself. in_callback: it writes the next
// packet in the callback that read the ACK; otherwise it hands the ACK to
// a thread of its own, which makes the next packet ready for the following
// callback, as any sender does whose messages are made outside JACK's
// process thread (J3's send loop among them).
class LoopSender {
  public:
    explicit LoopSender(bool in_callback) : in_callback_(in_callback) {
        ::sem_init(&acked_, 0, 0);
        packet_[0] = 0xF0;
        packet_[1] = 0x7E;
        packet_[3] = 0x02;
        packet_[sizeof packet_ - 1] = 0xF7;
        header_[0] = 0xF0;
        header_[1] = 0x7E;
        header_[3] = 0x01;
        header_[sizeof header_ - 1] = 0xF7;
        client_ = jack_client_open("sender", JackNoStartServer, nullptr);
        if (!client_) return;
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, process, this);
        if (!in_ || !out_ || jack_activate(client_) != 0) return;
        // In the order J3 makes them: its source first, its destination at
        // the first send.
        ok_ = jack_connect(client_, "instrument:out", "sender:in") == 0 &&
              jack_connect(client_, "sender:out", "instrument:in") == 0;
        if (!in_callback_) helper_ = std::thread([this] { hand_over(); });
        std::this_thread::sleep_for(200ms);  // the connections are in the graph
    }
    ~LoopSender() {
        stopping_ = true;
        ::sem_post(&acked_);
        if (helper_.joinable()) helper_.join();
        if (client_) jack_client_close(client_);
        ::sem_destroy(&acked_);
    }
    bool ok() const { return ok_; }

    // Sends the header and `packets` packets, each after the ACK of the
    // message before it; seconds taken, or -1 when an ACK never came.
    double dump(int packets) {
        packets_ = packets;
        acks_ = 0;
        const auto start = Clock::now();
        ready_.store(kHeader);
        while (acks_.load() < packets + 1) {
            if (Clock::now() - start > 600s) return -1;
            std::this_thread::sleep_for(1ms);
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

  private:
    static constexpr int kNone = -2, kHeader = -1;

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<LoopSender*>(arg);
        void* in = jack_port_get_buffer(self->in_, frames);
        void* out = jack_port_get_buffer(self->out_, frames);
        jack_midi_clear_buffer(out);
        // Handed over: only what was ready when the callback began, never
        // what the thread makes while it runs.
        int next = self->in_callback_ ? kNone : self->ready_.exchange(kNone);
        jack_nframes_t at = 0;
        const uint32_t n = jack_midi_get_event_count(in);
        for (uint32_t i = 0; i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, in, i) != 0) continue;
            if (e.size != 6 || e.buffer[3] != 0x7F) continue;
            const int acked = self->acks_.fetch_add(1) + 1;
            if (acked > self->packets_) continue;
            // The header's ACK asks for packet 0.
            if (self->in_callback_) {
                self->ready_.store(acked - 1);
                at = e.time;
            } else {
                self->handed_.store(acked - 1);
                ::sem_post(&self->acked_);
            }
        }
        if (self->in_callback_) next = self->ready_.exchange(kNone);
        if (next == kHeader) {
            jack_midi_event_write(out, at, self->header_, sizeof self->header_);
        } else if (next >= 0) {
            self->packet_[4] = uint8_t(next & 0x7F);
            jack_midi_event_write(out, at, self->packet_, sizeof self->packet_);
        }
        return 0;
    }
    void hand_over() {
        while (true) {
            ::sem_wait(&acked_);
            if (stopping_) return;
            ready_.store(handed_.load());
        }
    }

    const bool in_callback_;
    bool ok_ = false;
    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    uint8_t header_[21] = {};
    uint8_t packet_[127] = {};
    int packets_ = 0;
    std::atomic<int> acks_{0};
    std::atomic<int> ready_{kNone};  // the message the next callback writes
    std::atomic<int> handed_{kNone};
    sem_t acked_;
    std::atomic<bool> stopping_{false};
    std::thread helper_;
};

void BM_ReplyLoopFloor(benchmark::State& state) {
    if (!jack_side().client) {
        state.SkipWithError("no JACK server (is jackd installed?)");
        return;
    }
    LoopSender sender(state.range(0) != 0);
    if (!sender.ok()) {
        state.SkipWithError("the sender could not be connected");
        return;
    }
    Tally tally;
    for (auto _ : state) {
        tally.take();
        const double s = sender.dump(kPackets);
        if (s < 0) {
            state.SkipWithError("an ACK never came");
            return;
        }
        state.SetIterationTime(s);
        tally.add(s);
    }
    tally.report(state);
}

}  // namespace

BENCHMARK(BM_HandshakeOverJack)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplyLoopFloor)
    ->Arg(1)
    ->Arg(0)
    ->ArgNames({"in_callback"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
