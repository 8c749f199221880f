// Sample dumps through the real send loop and the real MIDI service, over
// the built-in loopback pair: what is sent comes back at the input, where a
// stand-in receiver answers each message as a sampler would, once the
// message has had its wire time to arrive and its reply latency has passed.
//
//   BM_HandshakedDump/latency_us:L: a dump of 100 packets at 62500 bytes/s with the handshake
//     followed; "us_overhead_per_message" is the time per message beyond
//     its wire time and the receiver's reply latency L;
//   BM_OpenLoopDump/index:I: the same dump with the handshake ignored, at
//     speed index I; "ratio" is the achieved byte rate over the configured
//     one (the maximum SysEx speed of the destination).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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

constexpr int kPackets = 100;
constexpr int kWordsPerPacket = 40;  // 16-bit samples

// A 16-bit mono WAV of kPackets packets.
std::vector<uint8_t> wav() {
    j3::testing::WavFile w;
    for (int i = 0; i < kPackets * kWordsPerPacket; ++i) w.samples.push_back(int16_t(i * 37));
    return j3::testing::make_wav(w);
}

// Answers each message that comes back from the loopback (which gives it
// out once its wire time has passed) with an ACK, after the reply latency.
class Sampler {
  public:
    Sampler(j3::Context& ctx, std::chrono::microseconds latency)
        : ctx_(ctx), latency_(latency), thread_([this] { run(); }) {}
    ~Sampler() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // Input thread: a message came back.
    void heard(const j3::MidiPacketList& packets) {
        for (const j3::MidiPacket& p : packets) {
            if (p.bytes.empty() || p.bytes[0] != 0xF0) continue;
            const uint8_t packet = p.bytes.size() == 127 ? p.bytes[4] : 0;
            std::lock_guard lock(mutex_);
            due_.push_back({Clock::now() + latency_, packet});
        }
        wake_.notify_all();
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (due_.empty()) {
                wake_.wait(lock);
                continue;
            }
            const auto [at, packet] = due_.front();
            if (Clock::now() < at) {
                wake_.wait_until(lock, at);
                continue;
            }
            due_.pop_front();
            lock.unlock();
            j3::MidiPacket ack;
            ack.bytes = {0xF0, 0x7E, 0x00, 0x7F, packet, 0xF7};
            j3::midi_read(ctx_, {ack});
            lock.lock();
        }
    }
    j3::Context& ctx_;
    std::chrono::microseconds latency_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<Clock::time_point, uint8_t>> due_;
    bool stopping_ = false;
    std::thread thread_;
};

struct Bench {
    Bench(bool handshake, std::chrono::microseconds latency, int speed_index) {
        window.selected = {1};
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        speed = j3::max_sysex_speed_for_index(speed_index);
        if (handshake) sampler = std::make_unique<Sampler>(ctx, latency);
        midi = j3::make_midi_service(j3::MidiServiceOptions{false, false});
        ctx.midi = midi.get();
        j3::scan_midi(*ctx.midi, ctx.endpoints, [this](const j3::MidiPacketList& p) {
            if (sampler) sampler->heard(p);
            j3::midi_read(ctx, p);
        });
        for (int i = 0; i < midi->destination_count(); ++i) {
            if (j3::endpoint_display_name(*midi, midi->destination(i), false) == j3::kLoopbackName)
                j3::choose_destination(*ctx.midi, ctx.endpoints, i + 1, false);
        }
        for (int i = 0; i < midi->source_count(); ++i) {
            if (j3::endpoint_display_name(*midi, midi->source(i), false) == j3::kLoopbackName)
                j3::choose_source(*ctx.midi, ctx.endpoints, i + 1, false);
        }
        midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, speed);
        ctx.settings.ignore_handshake = !handshake;
        j3::FileEntry e;
        e.file = "bench.wav";
        e.data = wav();
        j3::append_entry(ctx, std::move(e));
        j3::refresh_selection(ctx);
    }
    ~Bench() {
        midi.reset();
        sampler.reset();
    }
    bool ready() const { return ctx.endpoints.destination_endpoint != j3::kNoEndpoint; }
    double send() {
        while (ctx.send.busy()) std::this_thread::sleep_for(100us);
        const auto start = Clock::now();
        j3::start_sending(ctx);
        while (ctx.send.sending()) std::this_thread::sleep_for(50us);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
    bool done() const { return ending() == "Done."; }
    std::string ending() const {
        return j3::send_outcome_text(ctx.send.outcome().value_or(j3::SendOutcome{}));
    }

    j3::testing::NullWindow window;  // a send posts nothing
    j3::SystemClock clock;
    j3::Reception reception;
    j3::Context ctx;
    int speed = 0;
    std::unique_ptr<Sampler> sampler;
    std::unique_ptr<j3::MidiService> midi;
};

// Bytes of the dump: the 21-byte header and the packets.
constexpr double kDumpBytes = 21 + kPackets * 127.0;
constexpr double kMessages = 1 + kPackets;

void BM_HandshakedDump(benchmark::State& state) {
    const auto latency = std::chrono::microseconds(state.range(0));
    Bench b(true, latency, j3::kSpeedIndexMax);
    if (!b.ready()) {
        state.SkipWithError("no loopback destination");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const double s = b.send();
        if (!b.done()) state.SkipWithError(b.ending().c_str());
        seconds += s;
        state.SetIterationTime(s);
    }
    const double runs = double(state.iterations());
    const double wire = kDumpBytes / b.speed;
    const double replies = kMessages * std::chrono::duration<double>(latency).count();
    state.counters["us_overhead_per_message"] = (seconds / runs - wire - replies) / kMessages * 1e6;
}

void BM_OpenLoopDump(benchmark::State& state) {
    Bench b(false, 0us, int(state.range(0)));
    if (!b.ready()) {
        state.SkipWithError("no loopback destination");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const double s = b.send();
        seconds += s;
        state.SetIterationTime(s);
    }
    const double achieved = kDumpBytes * double(state.iterations()) / seconds;
    state.counters["configured"] = b.speed;
    state.counters["achieved"] = achieved;
    state.counters["ratio"] = achieved / b.speed;
}

}  // namespace

BENCHMARK(BM_HandshakedDump)
    ->Arg(0)
    ->Arg(2000)
    ->ArgNames({"latency_us"})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLoopDump)
    ->Arg(1)
    ->Arg(8)
    ->Arg(11)
    ->ArgNames({"index"})
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
