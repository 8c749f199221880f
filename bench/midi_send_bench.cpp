// How close the real send loop, through the real MIDI service, comes to the
// destination's configured maximum SysEx speed, and what each request costs
// beyond its wire time; over the loopback pair and over a JACK server the
// benchmark starts for itself (`jackd --no-realtime -d dummy`).
//
//   BM_Throughput/<path>/<speed index>/<bytes>: half a second of messages of
//     that length (1024: a typical sound dump; 16: where a request's own cost
//     weighs most); counters "achieved" and "configured"
//     (bytes per second) and "ratio" (achieved / configured);
//     and "us_per_request", the time per request beyond its wire time; over
//     JACK also "late_frames_mean" and "late_frames_max": how many frames
//     each event arrived after its ideal frame (the frame at which the event
//     before it had finished on the wire), and "early_events", events placed
//     before it (a fault: 0 expected);
//   BM_RequestOverhead/<path>/<bytes>: "us_per_request" and "ratio" for 200
//     messages of 16 bytes (where the overhead weighs most) and of 1024 bytes
//     at the fastest speed.
//
// Over JACK "wire_ratio" is the rate the recording client saw (each send's
// bytes before its last event over the frames they spanned) against the
// configured one; "ratio" ends at the last request's completion, which comes
// before its bytes are on the wire.
//
// J3_BENCH_PERIOD=FRAMES runs the JACK server with that period (1024 when
// unset).
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
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
#include "format/sysex_speed.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/reception.h"

namespace {

using namespace std::chrono_literals;

// A JACK server of the benchmark's own, with a client that takes in
// everything sent to "recorder:in".
struct JackSide {
    JackSide() {
        name = "j3bench";  // one fixed name: JACK frees a dead server's slot only for its name
        server = ::fork();
        if (server == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::freopen("/dev/null", "w", stderr);
            // J3_BENCH_PERIOD=FRAMES sets the server's period (the dummy
            // driver's default, 1024, without it).
            const char* period = std::getenv("J3_BENCH_PERIOD");
            ::execlp("jackd", "jackd", "--no-realtime", "-n", name.c_str(), "-d", "dummy", "-p",
                     period ? period : "1024", nullptr);
            ::_exit(127);
        }
        const std::string wait = "jack_wait -w -s " + name + " -t 20 >/dev/null 2>&1";
        if (std::system(wait.c_str()) != 0) return;
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        // Not the server's name: a client of that name would take the
        // server's socket.
        client = jack_client_open("recorder", JackNoStartServer, nullptr);
        if (!client) return;
        port = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, process, this);
        jack_activate(client);
    }
    ~JackSide() {
        if (client) jack_client_close(client);
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
    }
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackSide*>(arg);
        void* buffer = jack_port_get_buffer(self->port, frames);
        const uint32_t n = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, buffer, i) != 0) continue;
            self->received += e.size;
            // Where each event landed, into room made beforehand.
            const size_t at = self->events.load(std::memory_order_relaxed);
            if (at < self->frames.size()) {
                self->frames[at] = jack_last_frame_time(self->client) + e.time;
                self->sizes[at] = uint32_t(e.size);
                self->events.store(at + 1, std::memory_order_release);
            }
        }
        return 0;
    }
    std::string name;
    pid_t server = -1;
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<uint64_t> received{0};
    std::vector<uint64_t> frames = std::vector<uint64_t>(1 << 16);
    std::vector<uint32_t> sizes = std::vector<uint32_t>(1 << 16);
    std::atomic<size_t> events{0};
};

JackSide& jack_side() {
    static JackSide side;
    return side;
}

enum Path { kLoopback = 0, kJack = 1 };

// A context, a service and the destination of the path, ready to send.
struct Bench {
    explicit Bench(Path path) {
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        if (path == kJack && !jack_side().client) return;
        midi = j3::make_midi_service(j3::MidiServiceOptions{false, path == kJack});
        ctx.midi = midi.get();
        j3::scan_midi(*ctx.midi, ctx.endpoints, nullptr);
        const std::string want = path == kJack ? "recorder - in" : j3::kLoopbackName;
        for (int i = 0; i < midi->destination_count(); ++i) {
            if (j3::endpoint_display_name(*midi, midi->destination(i), false) == want) {
                ctx.settings.selected_out =
                    j3::choose_destination(*ctx.midi, ctx.endpoints, i + 1, false);
            }
        }
    }
    ~Bench() { midi.reset(); }
    bool ready() const { return ctx.endpoints.destination_endpoint != j3::kNoEndpoint; }

    // Connects the output port to the destination, which JACK takes a few
    // cycles to do, before anything is timed.
    void warm_up() {
        load(1, 3);
        send();
    }

    // One entry of count messages of length bytes each.
    void load(int count, int length) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < count; ++i) {
            bytes.push_back(0xF0);
            bytes.insert(bytes.end(), size_t(length - 2), uint8_t(i & 0x7F));
            bytes.push_back(0xF7);
        }
        j3::FileEntry e;
        e.data = std::move(bytes);
        ctx.files.with_entries([](std::vector<j3::FileEntry>& all) { all.clear(); });
        j3::append_entry(ctx, std::move(e));
        window.selected = {1};
        j3::refresh_selection(ctx);
    }

    // Runs the send loop over the loaded entry; seconds taken.
    double send() {
        while (ctx.send.busy()) std::this_thread::sleep_for(100us);
        const auto start = std::chrono::steady_clock::now();
        j3::start_sending(ctx);
        while (ctx.send.sending()) std::this_thread::sleep_for(50us);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    j3::testing::NullWindow window;  // a send posts nothing
    j3::SystemClock clock;
    j3::Reception reception;
    j3::Context ctx;
    std::unique_ptr<j3::MidiService> midi;
};

void BM_Throughput(benchmark::State& state) {
    const Path path = Path(state.range(0));
    const int index = int(state.range(1));
    Bench b(path);
    if (!b.ready()) {
        state.SkipWithError("no destination (is jackd installed?)");
        return;
    }
    b.warm_up();
    const int speed = j3::max_sysex_speed_for_index(index);
    b.midi->set_max_sysex_speed(b.ctx.endpoints.destination_endpoint, speed);
    // Half a second of messages, at least two.
    const int length = int(state.range(2));
    const int count = std::max(2, speed / 2 / length);
    b.load(count, length);
    double seconds = 0;
    // Events of one send, to compare each with the one before it.
    std::vector<std::pair<size_t, size_t>> sends;
    for (auto _ : state) {
        const size_t first = path == kJack ? jack_side().events.load() : 0;
        const double s = b.send();
        seconds += s;
        state.SetIterationTime(s);
        if (path == kJack) {
            const uint64_t want = uint64_t(count) * length;
            uint64_t got = 0;
            for (int i = 0; i < 200 && got < want; ++i) {
                got = 0;
                for (size_t e = first; e < jack_side().events.load(); ++e)
                    got += jack_side().sizes[e];
                std::this_thread::sleep_for(5ms);
            }
            sends.emplace_back(first, jack_side().events.load());
        }
    }
    if (path == kJack) {
        JackSide& j = jack_side();
        const uint64_t rate = jack_get_sample_rate(j.client);
        double late_sum = 0, late_max = 0;
        int measured = 0, early = 0;
        for (auto [first, end] : sends) {
            for (size_t e = first + 1; e < end; ++e) {
                const uint64_t ideal =
                    j.frames[e - 1] + uint64_t(j.sizes[e - 1]) * rate / uint64_t(speed);
                const double late = double(int64_t(j.frames[e] - ideal));
                if (late < 0) ++early;
                late_sum += late;
                late_max = std::max(late_max, late);
                ++measured;
            }
        }
        // The rate on the wire itself, as the recording client saw it: each
        // send's bytes before its last event over the frames they spanned.
        double wire_bytes = 0, wire_frames = 0;
        for (auto [first, end] : sends) {
            if (end < first + 2) continue;
            for (size_t e = first; e + 1 < end; ++e) wire_bytes += j.sizes[e];
            wire_frames += double(j.frames[end - 1] - j.frames[first]);
        }
        if (wire_frames > 0)
            state.counters["wire_ratio"] = wire_bytes / (wire_frames / double(rate)) / speed;
        state.counters["late_frames_mean"] = measured ? late_sum / measured : 0;
        state.counters["late_frames_max"] = late_max;
        state.counters["early_events"] = early;
    }
    const double bytes = double(state.iterations()) * count * length;
    state.counters["configured"] = speed;
    state.counters["achieved"] = bytes / seconds;
    state.counters["ratio"] = bytes / seconds / speed;
    state.counters["us_per_request"] =
        (seconds - bytes / speed) / (double(state.iterations()) * count) * 1e6;
}

void BM_RequestOverhead(benchmark::State& state) {
    const Path path = Path(state.range(0));
    const int length = int(state.range(1));
    Bench b(path);
    if (!b.ready()) {
        state.SkipWithError("no destination (is jackd installed?)");
        return;
    }
    b.warm_up();
    // Messages at the fastest speed: the time beyond their wire time is the
    // overhead.
    const int speed = j3::max_sysex_speed_for_index(j3::kSpeedIndexMax);
    b.midi->set_max_sysex_speed(b.ctx.endpoints.destination_endpoint, speed);
    constexpr int kRequests = 200;
    b.load(kRequests, length);
    double seconds = 0;
    for (auto _ : state) {
        const double s = b.send();
        seconds += s;
        state.SetIterationTime(s);
    }
    const double requests = double(state.iterations()) * kRequests;
    const double wire = requests * length / speed;
    state.counters["us_per_request"] = (seconds - wire) / requests * 1e6;
    state.counters["ratio"] = wire / seconds;
}

void throughput_args(benchmark::internal::Benchmark* b) {
    for (int path : {kLoopback, kJack}) {
        for (int index : {1, 4, 8, 11}) {
            for (int bytes : {1024, 16}) b->Args({path, index, bytes});
        }
    }
}

}  // namespace

BENCHMARK(BM_Throughput)
    ->Apply(throughput_args)
    ->ArgNames({"jack", "index", "bytes"})
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RequestOverhead)
    ->ArgsProduct({{kLoopback, kJack}, {16, 1024}})
    ->ArgNames({"jack", "bytes"})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
