// What an arriving MIDI event costs on its way to the read procedure, without
// the JACK server's cycle around it: the process callback's part (into the
// lock-free input ring) and the whole way (ring, drain, input pump, read
// procedure), per event.
//
//   BM_InputRingWrite/<bytes>: one event into the ring, as the process
//     callback does it (the part that runs on JACK's real-time thread);
//   BM_InputToReadProc/<bytes>: 10000 events from a producer thread to the
//     read procedure; counter "ns_per_event".
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "midi/byte_ring.h"
#include "midi/input_pump.h"

namespace {

struct Head {
    uint32_t bytes;
    uint32_t frame;
};

void BM_InputRingWrite(benchmark::State& state) {
    const auto length = uint32_t(state.range(0));
    j3::ByteRing ring(1 << 18);
    std::vector<uint8_t> event(length, 0x11);
    for (auto _ : state) {
        const Head head{length, 0};
        if (!ring.write(&head, sizeof head, event.data(), length)) {
            state.PauseTiming();
            ring.skip(ring.readable());
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_InputToReadProc(benchmark::State& state) {
    const auto length = uint32_t(state.range(0));
    constexpr int kEvents = 10000;
    j3::ByteRing ring(1 << 18);
    j3::InputPump pump;
    std::atomic<int> heard{0};
    pump.set_read_proc([&](const j3::MidiPacketList& list) { heard += int(list.size()); });
    std::vector<uint8_t> event(length, 0x11);
    double seconds = 0;
    for (auto _ : state) {
        heard = 0;
        std::atomic<bool> done{false};
        const auto start = std::chrono::steady_clock::now();
        // The drain thread's part: ring to pump.
        std::thread drain([&] {
            std::vector<uint8_t> bytes;
            int taken = 0;
            while (taken < kEvents) {
                Head head;
                if (!ring.peek(&head, sizeof head)) {
                    std::this_thread::yield();
                    continue;
                }
                bytes.resize(head.bytes);
                ring.peek(bytes.data(), head.bytes, sizeof head);
                ring.skip(sizeof head + head.bytes);
                pump.push({0, bytes});
                ++taken;
            }
            done = true;
        });
        for (int i = 0; i < kEvents; ++i) {
            const Head head{length, 0};
            while (!ring.write(&head, sizeof head, event.data(), length)) std::this_thread::yield();
        }
        drain.join();
        while (heard.load() < kEvents) std::this_thread::yield();
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += s;
        state.SetIterationTime(s);
    }
    state.counters["ns_per_event"] = seconds * 1e9 / (double(state.iterations()) * kEvents);
}

}  // namespace

BENCHMARK(BM_InputRingWrite)->Arg(3)->Arg(500);
BENCHMARK(BM_InputToReadProc)->Arg(3)->Arg(500)->UseManualTime()->Unit(benchmark::kMillisecond);
