#include "receive/dump_assembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "fixtures/audio_files.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

Bytes wire(const Dump& d) {
    Bytes all = d.first;
    for (const Bytes& p : d.packets) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Dump sample_dump(size_t frames, int32_t seed, std::optional<Loop> loop = std::nullopt) {
    WavFile w;
    for (size_t i = 0; i < frames; ++i)
        w.samples.push_back(int32_t((i * 53 + size_t(seed) * 1000) % 60000) - 30000);
    w.loop = loop;
    return encode_item(make_wav(w));
}

// A stored input built piece by piece, remembering where each piece starts.
struct Stream {
    Bytes bytes;
    size_t add(const Bytes& piece) {
        size_t at = bytes.size();
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        return at;
    }
};

std::string describe(const DumpEvent& e) {
    const std::string at = " at " + std::to_string(e.at);
    switch (e.kind) {
        case DumpEvent::kItemDone:
            return "done, dump " + std::to_string(e.dump);
        case DumpEvent::kItemIncomplete:
            return "dump " + std::to_string(e.dump) + " incomplete" + at + ", " +
                   std::to_string(e.samples_arrived) + " of " + std::to_string(e.samples_announced);
        case DumpEvent::kMessageRejected:
            return std::string(e.header ? "header" : "packet") + " rejected" + at +
                   (e.dump_open ? ", dump open" : "");
        case DumpEvent::kMessageUnended:
            return "unended" + at;
    }
    return "?";
}

struct Outcome {
    std::vector<std::string> events;
    std::vector<Bytes> items;
    int32_t not_sds = 0;
};

// The input fed in pieces of `chunk` bytes (0: all at once), then ended.
Outcome assemble(int32_t format, const Bytes& input, size_t chunk) {
    DumpAssembler a;
    a.sds_format = format;
    const size_t step = chunk ? chunk : input.size();
    for (size_t i = 0; i < input.size(); i += step)
        assemble_bytes(a, input.data() + i, std::min(step, input.size() - i));
    finish_assembly(a, input.size());
    Outcome o;
    for (const DumpEvent& e : a.events) {
        o.events.push_back(describe(e));
        if (e.kind == DumpEvent::kItemDone) o.items.push_back(e.item);
    }
    o.not_sds = a.not_sds;
    return o;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(DumpAssembler, StoredInputBecomesItemsInAnyChunking) {
    // 16-bit dumps: 40 sample words a packet.
    const Dump one = sample_dump(500, 1), two = sample_dump(130, 2, Loop{5, 100, 0}),
               three = sample_dump(100, 3);
    const Bytes sysex_one = wire(one), sysex_two = wire(two), sysex_three = wire(three);
    const Bytes wav_one = receive_dump(one, kSdsFormatWav).bytes;
    const Bytes wav_two = receive_dump(two, kSdsFormatWav).bytes;
    const Bytes aiff_two = receive_dump(two, kSdsFormatAiff).bytes;
    const Bytes wav_three = receive_dump(three, kSdsFormatWav).bytes;

    // One input per case, built with the positions its events name.
    Stream plain;
    plain.add(sysex_one);
    plain.add(sysex_two);

    Stream noisy;  // stray bytes, other SysEx, a dump request, clock inside a packet
    noisy.add({0x00, 0x42});
    noisy.add({0xF0, 0x43, 0x10, 0x00, 0xF7});
    noisy.add(sysex_one);
    noisy.add({0xF0, 0x7E, 0x00, 0x03, 0x00, 0x00, 0xF7});
    noisy.add({0xF0, 0x41, 0xF7});
    Bytes clocked = sysex_two;
    clocked.insert(clocked.begin() + 40, 0xF8);
    clocked.insert(clocked.begin() + 41, 0xFE);
    noisy.add(clocked);

    Stream cut;  // the first dump loses its last packet; the next header ends it
    cut.add(Bytes(sysex_one.begin(), sysex_one.end() - 127));
    const size_t cut_at = cut.add(sysex_two);

    Stream resent;  // a damaged packet, then the same packet again, as after a NAK
    resent.add(three.first);
    Bytes damaged = three.packets[0];
    damaged[5] ^= 0x01;
    const size_t damaged_at = resent.add(damaged);
    for (const Bytes& p : three.packets) resent.add(p);

    Stream unended;  // a message whose F7 never came, then a whole dump; then the end
    unended.add({0xF0, 0x7E, 0x00, 0x02, 0x00});
    unended.add(sysex_three);
    unended.add(Bytes(sysex_two.begin(), sysex_two.end() - 10));
    const size_t tail_at = unended.bytes.size() - (kSdsPacketSize - 10);

    Stream three_dumps;  // whole, cut short, whole
    three_dumps.add(sysex_one);
    three_dumps.add(Bytes(sysex_two.begin(), sysex_two.end() - 127));
    const size_t third_at = three_dumps.add(sysex_three);

    // A sample name message longer than a converter's scratch output.
    Stream long_name;
    long_name.add(three.first);
    Bytes name = {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x00, 0x7F};
    name.insert(name.end(), 300, 'a');
    name.push_back(0xF7);
    long_name.add(name);
    for (const Bytes& p : three.packets) long_name.add(p);

    struct Case {
        const char* description;
        int32_t format;
        const Bytes& input;
        std::vector<std::string> want_events;
        std::vector<Bytes> want_items;
        int32_t want_not_sds;
    } cases[] = {
        {"two dumps, WAV: an item each",
         kSdsFormatWav,
         plain.bytes,
         {"done, dump 1", "done, dump 2"},
         {wav_one, wav_two},
         0},
        {"two dumps, SysEx: each dump as it came",
         kSdsFormatSysex,
         plain.bytes,
         {"done, dump 1", "done, dump 2"},
         {sysex_one, sysex_two},
         0},
        {"two dumps, SysEx as one item: handed over at the end",
         kSdsFormatSysexOneItem,
         plain.bytes,
         {"done, dump 2"},
         {joined({sysex_one, sysex_two})},
         0},
        {"other messages and real-time bytes between and inside dumps",
         kSdsFormatAiff,
         noisy.bytes,
         {"done, dump 1", "done, dump 2"},
         {receive_dump(one, kSdsFormatAiff).bytes, aiff_two},
         2},
        {"a dump cut short is dropped, the next one kept",
         kSdsFormatWav,
         cut.bytes,
         {"dump 1 incomplete at " + std::to_string(cut_at) + ", 480 of 500", "done, dump 2"},
         {wav_two},
         0},
        {"a damaged packet adds nothing; its resend completes the dump",
         kSdsFormatWav,
         resent.bytes,
         {"packet rejected at " + std::to_string(damaged_at) + ", dump open", "done, dump 1"},
         {wav_three},
         0},
        {"unended message skipped; a dump open at the end is incomplete",
         kSdsFormatSysex,
         unended.bytes,
         {"unended at 0", "done, dump 1", "unended at " + std::to_string(tail_at),
          "dump 2 incomplete at " + std::to_string(unended.bytes.size()) + ", 120 of 130"},
         {sysex_three},
         0},
        {"SysEx as one item: a dump cut short between whole ones is left out",
         kSdsFormatSysexOneItem,
         three_dumps.bytes,
         {"dump 2 incomplete at " + std::to_string(third_at) + ", 120 of 130", "done, dump 3"},
         {joined({sysex_one, sysex_three})},
         0},
        {"a long sample name message is kept whole",
         kSdsFormatSysex,
         long_name.bytes,
         {"done, dump 1"},
         {long_name.bytes},
         0},
        {"packets with no header before them",
         kSdsFormatWav,
         joined({one.packets[0], one.packets[1]}),
         {"packet rejected at 0", "packet rejected at 127"},
         {},
         0},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {size_t(0), size_t(1), size_t(5), size_t(127), size_t(128)}) {
            const std::string what = std::string(c.description) + ", chunks of " +
                                     std::to_string(chunk ? chunk : c.input.size());
            Outcome o = assemble(c.format, c.input, chunk);
            EXPECT_EQ(o.events, c.want_events) << what;
            EXPECT_EQ(o.items.size(), c.want_items.size()) << what;
            EXPECT_TRUE(o.items == c.want_items) << what;
            EXPECT_EQ(o.not_sds, c.want_not_sds) << what;
        }
    }
}

// A receiver hands over complete messages; an input that stopped inside a
// dump leaves nothing behind for the next one.
TEST(DumpAssembler, MessagesOneByOne) {
    const Dump d = sample_dump(100, 4);
    DumpAssembler a;
    a.sds_format = kSdsFormatWav;
    EXPECT_EQ(assemble_message(a, d.first.data(), d.first.size(), 0), kSdsHeaderAccepted);
    EXPECT_EQ(assemble_message(a, d.packets[0].data(), d.packets[0].size(), 0), kSdsPacketAccepted);
    // The input stops here: the dump is reported and its packet refused later.
    finish_assembly(a, 0);
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0].kind, DumpEvent::kItemIncomplete);
    EXPECT_EQ(assemble_message(a, d.packets[1].data(), d.packets[1].size(), 0), kSdsRejected);
    EXPECT_TRUE(a.item.empty());
    assemble_message(a, d.first.data(), d.first.size(), 0);
    for (const Bytes& p : d.packets) assemble_message(a, p.data(), p.size(), 0);
    ASSERT_EQ(a.events.back().kind, DumpEvent::kItemDone);
    EXPECT_TRUE(a.events.back().item == receive_dump(d, kSdsFormatWav).bytes);
    EXPECT_EQ(a.events.back().dump, 2);
}

}  // namespace
}  // namespace j3::testing
