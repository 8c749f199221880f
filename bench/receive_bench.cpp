// How fast the input routine takes what arrives while receiving: bytes per
// second and the time per packet list, for ordinary SysEx and for sample dump
// packets kept as SysEx, WAV and AIFF. The fastest MIDI link J3 negotiates
// carries 62500 bytes/s; reception must keep far ahead of it.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/context.h"
#include "fakes/fake_midi_service.h"
#include "fakes/null_window.h"
#include "format/sds_messages.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "receive/sds_receive.h"

namespace {

using namespace j3;
using Bytes = std::vector<uint8_t>;

struct Receiver {
    explicit Receiver(int32_t format) {
        ctx.window = &window;
        ctx.reception = &reception;
        // A reception asks the service for its xrun count when it starts.
        ctx.midi = &midi;
        ctx.endpoints.source_count = 1;
        ctx.settings.selected_in = 1;
        ctx.settings.sds_format = format;
        reception.set_diagnostics(nullptr);  // no "Fit." lines in the figures
        start_receiving(ctx);
    }
    // Entries made are dropped: the list is not what is measured.
    testing::NullWindow window;
    testing::FakeMidiService midi;
    Reception reception;
    Context ctx;
};

// `bytes` of ordinary SysEx in messages of 1000 bytes, cut into packets of
// `packet` bytes, in lists of `per_list` packets.
std::vector<MidiPacketList> sysex_lists(size_t bytes, size_t packet, size_t per_list) {
    Bytes stream;
    while (stream.size() < bytes) {
        Bytes m(1000, 0x25);
        m.front() = 0xF0;
        m.back() = 0xF7;
        stream.insert(stream.end(), m.begin(), m.end());
    }
    std::vector<MidiPacketList> lists(1);
    for (size_t at = 0; at < stream.size(); at += packet) {
        if (lists.back().size() == per_list) lists.emplace_back();
        const size_t end = std::min(stream.size(), at + packet);
        lists.back().push_back({0, Bytes(stream.begin() + long(at), stream.begin() + long(end))});
    }
    return lists;
}

// A 16-bit dump of `packets` packets, one packet a list (as they come from
// an instrument that waits for each reply).
std::vector<MidiPacketList> dump_lists(int32_t packets) {
    SdsDumpHeader h;
    h.bits = 16;
    h.period_ns = 22676;
    h.length = packets * 40;
    Bytes header(kSdsStandardHeaderSize);
    build_standard_header(header.data(), h);
    std::vector<MidiPacketList> lists = {{{0, header}}};
    for (int32_t n = 0; n < packets; ++n) {
        Bytes p(kSdsPacketSize, 0x35);
        finish_data_packet(p.data(), 0, uint8_t(n & 0x7F));
        lists.push_back({{0, p}});
    }
    return lists;
}

void run(benchmark::State& state, Receiver& r, const std::vector<MidiPacketList>& lists) {
    size_t bytes = 0;
    for (const MidiPacketList& l : lists)
        for (const MidiPacket& p : l) bytes += p.bytes.size();
    for (auto _ : state) {
        for (const MidiPacketList& l : lists) midi_read(r.ctx, l);
        stop_receiving(r.ctx);
        start_receiving(r.ctx);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["lists"] =
        benchmark::Counter(double(state.iterations() * lists.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Ordinary SysEx; argument: bytes per packet (3: a byte-stream driver; 4096:
// a whole message per packet), 16 packets a list.
void BM_ReceiveSysex(benchmark::State& state) {
    Receiver r(kSdsFormatSysex);
    run(state, r, sysex_lists(1 << 20, size_t(state.range(0)), 16));
}
BENCHMARK(BM_ReceiveSysex)->Arg(3)->Arg(256)->Arg(4096);

// A sample dump of 2000 packets; argument: the format it is kept in.
void BM_ReceiveSdsPackets(benchmark::State& state) {
    Receiver r(int32_t(state.range(0)));
    run(state, r, dump_lists(2000));
}
BENCHMARK(BM_ReceiveSdsPackets)->Arg(kSdsFormatSysex)->Arg(kSdsFormatWav)->Arg(kSdsFormatAiff);

}  // namespace
