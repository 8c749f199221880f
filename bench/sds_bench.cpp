// How fast audio becomes SDS messages and SDS messages become items: bytes of
// SDS messages per second, for a sample of 2^22 frames (about 95 s at
// 44.1 kHz). A MIDI link carries 3125 bytes/s, a fast one some 30 times that.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/sds_encoder.h"
#include "format/bytes.h"
#include "receive/sds_receive.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kFrames = 1 << 22;

// A PCM WAV of kFrames frames: a sine at full scale.
Bytes make_wav(int32_t bits, int32_t channels) {
    const int32_t container = (bits + 7) / 8;
    const size_t data = size_t(kFrames) * size_t(channels * container);
    Bytes b(44 + data);
    std::memcpy(b.data(), "RIFF", 4);
    j3::write_le32(b.data() + 4, uint32_t(b.size() - 8));
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    j3::write_le32(b.data() + 16, 16);
    j3::write_le16(b.data() + 20, 1);
    j3::write_le16(b.data() + 22, uint16_t(channels));
    j3::write_le32(b.data() + 24, 44100);
    j3::write_le32(b.data() + 28, uint32_t(44100 * channels * container));
    j3::write_le16(b.data() + 32, uint16_t(channels * container));
    j3::write_le16(b.data() + 34, uint16_t(bits));
    std::memcpy(b.data() + 36, "data", 4);
    j3::write_le32(b.data() + 40, uint32_t(data));
    uint8_t* p = b.data() + 44;
    const double top = std::ldexp(1.0, bits - 1) - 1;
    for (int32_t i = 0; i < kFrames * channels; ++i) {
        uint32_t v = uint32_t(int32_t(std::sin(i * 0.01) * top)) << (8 * container - bits);
        if (container == 1) v ^= 0x80;
        for (int k = 0; k < container; ++k) *p++ = uint8_t(v >> (8 * k));
    }
    return b;
}

// The whole dump: the first request, then every packet.
Bytes encode(const Bytes& wav, j3::SdsEncoder& enc, int64_t& messages) {
    Bytes out;
    out.reserve(size_t(kFrames) / 30 * 127 + 4096);
    j3::SdsItemParams item;
    int32_t pos = 0, length = int32_t(wav.size());
    const uint8_t* msg = wav.data();
    int32_t n = j3::next_sds_message(enc, item, pos, &length, msg);
    out.insert(out.end(), msg, msg + n);
    messages = 1;
    while (n > 0 && pos < length) {
        n = j3::next_sds_message(enc, item, pos, nullptr, msg);
        out.insert(out.end(), msg, msg + n);
        ++messages;
    }
    return out;
}

void BM_EncodeSds(benchmark::State& state) {
    const Bytes wav = make_wav(int32_t(state.range(0)), int32_t(state.range(1)));
    auto enc = std::make_unique<j3::SdsEncoder>();
    int64_t messages = 0;
    const size_t total = encode(wav, *enc, messages).size();
    j3::SdsItemParams item;
    for (auto _ : state) {
        // The send loop's work: each message built in the encoder's own buffer.
        int32_t pos = 0, length = int32_t(wav.size());
        const uint8_t* msg = wav.data();
        int32_t n = j3::next_sds_message(*enc, item, pos, &length, msg);
        while (n > 0 && pos < length) {
            n = j3::next_sds_message(*enc, item, pos, nullptr, msg);
            benchmark::DoNotOptimize(msg[125]);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
    state.counters["messages"] = double(messages);
}
BENCHMARK(BM_EncodeSds)
    ->ArgNames({"bits", "channels"})
    ->Args({8, 1})
    ->Args({16, 1})
    ->Args({16, 2})
    ->Args({24, 1})
    ->Unit(benchmark::kMillisecond);

void BM_ReceiveSds(benchmark::State& state) {
    const int32_t format = int32_t(state.range(0));
    const Bytes wav = make_wav(int32_t(state.range(1)), 1);
    auto enc = std::make_unique<j3::SdsEncoder>();
    int64_t messages = 0;
    const Bytes dump = encode(wav, *enc, messages);
    auto rx = std::make_unique<j3::SdsConverter>();
    int64_t produced = 0;
    for (auto _ : state) {
        // The input thread's work per message: convert, then take the output.
        const uint8_t* p = dump.data();
        const uint8_t* end = p + dump.size();
        while (p < end) {
            size_t n = p == dump.data() ? j3::kSdsStandardHeaderSize : j3::kSdsPacketSize;
            rx->scratch_fill = 0;
            const j3::SdsReceiveResult r = j3::receive_sds_message(*rx, format, p, n);
            produced += rx->scratch_fill;
            benchmark::DoNotOptimize(r);
            p += n;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dump.size()));
    benchmark::DoNotOptimize(produced);
}
BENCHMARK(BM_ReceiveSds)
    ->ArgNames({"format", "bits"})
    ->Args({j3::kSdsFormatSysex, 16})
    ->Args({j3::kSdsFormatWav, 8})
    ->Args({j3::kSdsFormatWav, 16})
    ->Args({j3::kSdsFormatWav, 24})
    ->Args({j3::kSdsFormatAiff, 16})
    ->Unit(benchmark::kMillisecond);

}  // namespace
