// How fast the content analyses walk a large item, against a plain memchr
// pass over the same 64 MiB (memory speed). Bytes per second for each.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "analysis/device_family.h"
#include "analysis/inventory.h"
#include "analysis/message_index.h"
#include "fixtures/sysex_blocks.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kBufferBytes = size_t(64) << 20;

// A block message of the family with n pseudo-random data bytes, its
// checksum (from offset 9 for KX, 10 for ZB) and length correct.
void append_block(Bytes& out, uint8_t device, uint8_t id, size_t n, uint32_t& seed) {
    Bytes data(n);
    for (uint8_t& d : data) {
        seed = seed * 1664525u + 1013904223u;
        d = uint8_t(seed >> 25);
    }
    const Bytes m = j3::testing::block({device, id, std::move(data), device == 0x02 ? 9 : 10});
    out.insert(out.end(), m.begin(), m.end());
}

// Typical dumps: a globals block, kits, patterns and a song, over and over.
Bytes typical_dumps(uint8_t device) {
    struct Kind {
        uint8_t kx_id, zb_id;
        size_t bytes;
    };
    const Kind kinds[] = {{0x50, 0x57, 300},  {0x52, 0x52, 2000}, {0x52, 0x53, 700},
                          {0x67, 0x54, 6000}, {0x69, 0x55, 1200}, {0x52, 0x56, 90}};
    Bytes out;
    out.reserve(kBufferBytes + 8192);
    uint32_t seed = 1;
    while (out.size() < kBufferBytes) {
        for (const Kind& k : kinds) {
            append_block(out, device, device == 0x02 ? k.kx_id : k.zb_id, k.bytes, seed);
        }
    }
    return out;
}

const Bytes& kx_buffer() {
    static const Bytes b = typical_dumps(0x02);
    return b;
}
const Bytes& zb_buffer() {
    static const Bytes b = typical_dumps(0x06);
    return b;
}

void BM_MemchrPass(benchmark::State& state) {
    const Bytes& b = kx_buffer();
    for (auto _ : state) {
        // 0xF8 never occurs: one full pass.
        benchmark::DoNotOptimize(std::memchr(b.data(), 0xF8, b.size()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_MemchrPass)->Unit(benchmark::kMillisecond);

void BM_InventoryKx(benchmark::State& state) {
    const Bytes& b = kx_buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(j3::take_sysex_inventory(b.data(), b.size(), j3::kDeviceKx));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_InventoryKx)->Unit(benchmark::kMillisecond);

void BM_InventoryZb(benchmark::State& state) {
    const Bytes& b = zb_buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(j3::take_sysex_inventory(b.data(), b.size(), j3::kDeviceZb));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_InventoryZb)->Unit(benchmark::kMillisecond);

// The message table's index: where every message of the item lies. Beside
// BM_MemchrPass, which is memory speed.
void BM_MessageIndex(benchmark::State& state) {
    const Bytes& b = kx_buffer();
    for (auto _ : state) benchmark::DoNotOptimize(j3::index_messages(b.data(), b.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_MessageIndex)->Unit(benchmark::kMillisecond);

// The worst case for the index: 64 MiB of the shortest messages, F0 xx F7,
// one row each.
void BM_MessageIndexShortest(benchmark::State& state) {
    static const Bytes b = [] {
        Bytes out;
        const uint8_t message[] = {0xF0, 0x41, 0xF7};
        while (out.size() < kBufferBytes) out.insert(out.end(), message, message + 3);
        return out;
    }();
    for (auto _ : state) benchmark::DoNotOptimize(j3::index_messages(b.data(), b.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_MessageIndexShortest)->Unit(benchmark::kMillisecond);

// The list's Type column before the tag is kept: the worst case is a buffer
// whose tag comes from the last test, ZB.
void BM_TypeTagZb(benchmark::State& state) {
    const Bytes& b = zb_buffer();
    for (auto _ : state) benchmark::DoNotOptimize(j3::type_tag_for_buffer(b.data(), b.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_TypeTagZb)->Unit(benchmark::kMillisecond);

// Hostile input: 64 MiB of KX kit headers with no F7 anywhere, every message
// nested in the one before. A walk that summed each message on its own would
// take hours; this one stays a few passes.
void BM_InventoryNestedHeaders(benchmark::State& state) {
    static const Bytes b = [] {
        Bytes out;
        const uint8_t header[] = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52};
        while (out.size() < kBufferBytes) out.insert(out.end(), header, header + sizeof header);
        return out;
    }();
    for (auto _ : state) {
        benchmark::DoNotOptimize(j3::take_sysex_inventory(b.data(), b.size(), j3::kDeviceKx));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_InventoryNestedHeaders)->Unit(benchmark::kMillisecond);

// The same with upgrade data messages of both packings.
void BM_UpgradeNestedHeaders(benchmark::State& state) {
    const uint8_t device = uint8_t(state.range(0));
    const Bytes b = [device] {
        Bytes out;
        const uint8_t header[] = {0xF0, 0x00, 0x20, 0x3C, device, 0x00, 0x7E, 0x01, 0x02};
        while (out.size() < kBufferBytes) out.insert(out.end(), header, header + sizeof header);
        return out;
    }();
    for (auto _ : state) {
        benchmark::DoNotOptimize(j3::take_sysex_inventory(b.data(), b.size(), device));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}
BENCHMARK(BM_UpgradeNestedHeaders)
    ->Arg(j3::kDeviceKx)
    ->Arg(j3::kDevicePw)
    ->Unit(benchmark::kMillisecond);

}  // namespace
