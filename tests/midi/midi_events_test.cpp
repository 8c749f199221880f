// How request bytes become JACK events: one message per event, long SysEx in
// pieces of 4096, real-time bytes alone.
#include "midi/midi_events.h"

#include <gtest/gtest.h>

#include <vector>

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes sysex(size_t length, uint8_t fill = 0x11) {
    Bytes m(length, fill);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The event lengths one cutter gives for a request.
std::vector<uint32_t> cut(const Bytes& data) {
    EventCutter cutter;
    std::vector<uint32_t> lengths;
    for (uint32_t at = 0; at < data.size();) {
        const uint32_t n = cutter.next(data.data() + at, uint32_t(data.size() - at));
        if (n == 0) break;
        lengths.push_back(n);
        at += n;
    }
    return lengths;
}

TEST(EventCutter, EachMessageIsOneEventAndLongSysExGoesInPiecesOf4096) {
    struct Case {
        const char* description;
        Bytes data;
        std::vector<uint32_t> want;
    };
    const Case cases[] = {
        {"one SysEx message", sysex(10), {10}},
        {"a dump header and two name messages",
         cat({sysex(21), sysex(20), sysex(20)}),
         {21, 20, 20}},
        {"a SysEx message of exactly 4096 bytes", sysex(4096), {4096}},
        {"one byte longer", sysex(4097), {4096, 1}},
        {"40000 bytes", sysex(40000), {4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 3136}},
        {"the rest of a message cut by the send loop",
         Bytes{0x01, 0x02, 0xF7, 0xF0, 0x7E, 0xF7},
         {3, 3}},
        {"a message that never ends", Bytes{0xF0, 0x01, 0x02}, {3}},
        {"a status byte ends SysEx without its F7", Bytes{0xF0, 0x01, 0x90, 0x40, 0x7F}, {2, 3}},
        {"a clock inside SysEx goes alone and the message goes on",
         Bytes{0xF0, 0x01, 0xF8, 0x02, 0xF7},
         {2, 1, 2}},
        {"channel messages of three and two bytes", Bytes{0x90, 0x40, 0x7F, 0xC0, 0x05}, {3, 2}},
        {"running status", Bytes{0x90, 0x40, 0x7F, 0x41, 0x00, 0x42, 0x10}, {3, 2, 2}},
        {"system common and real time",
         Bytes{0xF2, 0x01, 0x02, 0xF6, 0xFE, 0xF1, 0x33},
         {3, 1, 1, 2}},
        {"a lone F7", Bytes{0xF7}, {1}},
        {"a channel message cut short by the request's end", Bytes{0x90, 0x40}, {2}},
    };
    for (const Case& c : cases) EXPECT_EQ(cut(c.data), c.want) << c.description;
}

// Whatever the bytes, the events cover them exactly, each 1..4096 bytes long.
TEST(EventCutter, EventsCoverAnyBytesExactly) {
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        Bytes data(1 + round * 61 % 9000);
        for (uint8_t& b : data) {
            seed = seed * 1103515245 + 12345;
            b = uint8_t(seed >> 16);
        }
        size_t covered = 0;
        for (uint32_t n : cut(data)) {
            ASSERT_GE(n, 1u);
            ASSERT_LE(n, kMaxEventBytes);
            covered += n;
        }
        EXPECT_EQ(covered, data.size()) << "round " << round;
    }
}

}  // namespace
}  // namespace j3
