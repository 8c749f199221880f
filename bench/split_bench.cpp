// How fast the splitter walks a SysEx file: bytes per second over a buffer of
// typical 300-byte messages.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/send_loop.h"
#include "format/sysex_split.h"

static void BM_SplitTypicalFile(benchmark::State& state) {
    std::vector<uint8_t> buffer;
    while (buffer.size() < (1u << 24)) {
        buffer.push_back(0xF0);
        buffer.insert(buffer.end(), 298, 0x12);
        buffer.push_back(0xF7);
    }
    for (auto _ : state) {
        j3::SplitState split;
        int32_t pos = 0;
        const uint8_t* ptr = buffer.data();
        int64_t pieces = 0;
        while (j3::split_next_message(split, pos, int32_t(buffer.size()), ptr) > 0) ++pieces;
        benchmark::DoNotOptimize(pieces);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_SplitTypicalFile);
