#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fakes/test_context.h"
#include "fixtures/libsndfile_oracle.h"
#include "format/bytes.h"
#include "format/sds_messages.h"
#include "receive/midi_read.h"
#include "receive/received_entry.h"
#include "receive/reception.h"
#include "receive/replies.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace testing;

constexpr size_t kWhole = 0;  // one packet for everything

Bytes cat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes sysex(size_t length, uint8_t fill) {
    Bytes m(length, fill);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

Bytes header(int32_t bits, int32_t length, uint8_t channel = 0, bool extended = false) {
    SdsDumpHeader h;
    h.channel = channel;
    h.bits = bits;
    h.period_ns = 22676;
    h.rate_hz = 44100;
    h.length = length;
    uint8_t out[kSdsExtendedHeaderSize];
    const size_t n = extended ? build_extended_header(out, h) : build_standard_header(out, h);
    return Bytes(out, out + n);
}

// A header whose loop runs from word 10 to word 90.
Bytes looped_header(int32_t bits, int32_t length) {
    SdsDumpHeader h;
    h.bits = bits;
    h.period_ns = 22676;
    h.length = length;
    h.loop_start = 10;
    h.loop_end = 90;
    h.loop_type = 0;
    uint8_t out[kSdsExtendedHeaderSize];
    return Bytes(out, out + build_standard_header(out, h));
}

Bytes packet(uint8_t number, uint8_t fill = 0x40, bool bad_checksum = false, uint8_t channel = 0) {
    Bytes p(kSdsPacketSize, fill);
    finish_data_packet(p.data(), channel, number);
    if (bad_checksum) p[125] ^= 0x01;
    return p;
}

Bytes name_message(const char (&name)[5]) {
    const uint32_t code = uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
                          uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
    uint8_t out[kSdsDeviceNameSize];
    build_device_name_message(out, 0, code);
    return Bytes(out, out + kSdsDeviceNameSize);
}

Bytes reply(SdsMessageId type, uint8_t packet_number, uint8_t channel = 0) {
    uint8_t out[kSdsHandshakeSize];
    build_handshake(out, channel, type, packet_number);
    return Bytes(out, out + kSdsHandshakeSize);
}

// A timing clock after every third byte and active sensing after every
// seventh: the input routine must take them out wherever they fall.
Bytes with_clocks(const Bytes& bytes) {
    Bytes out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (i % 3 == 2) out.push_back(0xF8);
        if (i % 7 == 6) out.push_back(0xFE);
    }
    return out;
}

struct Receiver {
    Receiver() {
        t.ctx.endpoints.source_count = 1;
        t.ctx.settings.selected_in = 1;
        t.ctx.endpoints.destination_endpoint = 1001;
        t.reception.set_diagnostics(diagnostics);
        EXPECT_TRUE(start_receiving(t.ctx));
    }
    ~Receiver() { std::fclose(diagnostics); }

    // Feeds bytes cut into packets of at most `chunk` bytes, all in one list.
    void feed(const Bytes& bytes, size_t chunk = kWhole) {
        if (chunk == kWhole) chunk = bytes.size();
        MidiPacketList list;
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            MidiPacket p;
            p.bytes.assign(bytes.begin() + long(at),
                           bytes.begin() + long(std::min(bytes.size(), at + chunk)));
            list.push_back(std::move(p));
        }
        midi_read(t.ctx, list);
    }
    // The entries, once the GUI thread has taken what was handed to it.
    std::vector<FileEntry> entries() {
        t.window.run_posted();
        return t.ctx.files.entries();
    }
    std::vector<std::string> names() {
        std::vector<std::string> n;
        for (const FileEntry& e : entries()) n.push_back(e.file);
        return n;
    }
    // Every reply sent, letting each one complete so the next can go.
    std::vector<Bytes> replies() {
        t.midi.complete_all();
        std::vector<Bytes> r;
        for (const SentRequest& s : t.midi.sent_copy()) r.push_back(s.bytes);
        return r;
    }
    std::string printed() {
        std::fflush(diagnostics);
        std::rewind(diagnostics);
        std::string text;
        for (int c; (c = std::fgetc(diagnostics)) != EOF;) text.push_back(char(c));
        return text;
    }

    TestContext t;
    FILE* diagnostics = std::tmpfile();
};

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(MidiReadReceive, WhatIsReceivedDoesNotDependOnHowTheStreamIsCut) {
    const Bytes long_message = sysex(300, 0x11);
    const Bytes dump16 = cat({header(16, 100), packet(0), packet(1), packet(2)});
    struct Case {
        const char* what;
        int32_t format;
        bool handshake;
        Bytes stream;
        std::vector<std::string> want_names;  // after Stop
        std::vector<Bytes> want_data;         // for each entry; empty: not checked
        size_t want_fits;
        std::vector<Bytes> want_replies;
    };
    const Case cases[] = {
        {"ordinary SysEx, one message longer than a chunk",
         kSdsFormatSysex,
         false,
         cat({long_message, sysex(5, 0x22)}),
         {"Received data 1.syx"},
         {cat({long_message, sysex(5, 0x22)})},
         1,
         {}},
        {"a sample dump kept as SysEx, answered message by message",
         kSdsFormatSysex,
         true,
         dump16,
         {"Received data 1.syx"},
         {dump16},
         0,
         {reply(kSdsIdAck, 0), reply(kSdsIdAck, 0), reply(kSdsIdAck, 1), reply(kSdsIdAck, 2)}},
        {"a named dump as WAV",
         kSdsFormatWav,
         false,
         cat({header(16, 100), name_message("KIX["), packet(0), packet(1), packet(2)}),
         {"KIX\xC3\x85.wav"},
         {},
         0,
         {}},
        {"SysEx held before a dump header is an entry of its own, named as SysEx",
         kSdsFormatAiff,
         false,
         cat({sysex(40, 0x33), header(16, 100), packet(0), packet(1), packet(2)}),
         {"Received data 1.syx", "Received data 2.aiff"},
         {sysex(40, 0x33)},
         0,
         {}},
        {"an extended header opens a dump too",
         kSdsFormatSysex,
         false,
         cat({sysex(8, 0x44), header(8, 60, 0, true), packet(0)}),
         {"Received data 1.syx", "Received data 2.syx"},
         {sysex(8, 0x44), cat({header(8, 60, 0, true), packet(0)})},
         0,
         {}},
        {"a header does not split the item in the one-item format",
         kSdsFormatSysexOneItem,
         false,
         cat({sysex(8, 0x44), dump16, name_message("ABCD"), sysex(3, 0x01)}),
         {"Received data 1.syx", "Received data 2.syx"},
         {cat({sysex(8, 0x44), dump16}), cat({name_message("ABCD"), sysex(3, 0x01)})},
         0,
         {}},
    };
    for (const Case& c : cases) {
        for (const size_t chunk : {size_t(1), size_t(2), size_t(100), kWhole}) {
            const std::string where = std::string(c.what) + ", packets of " +
                                      (chunk == kWhole ? "any size" : std::to_string(chunk));
            Receiver r;
            r.t.ctx.settings.sds_format = c.format;
            r.t.ctx.settings.ignore_handshake = !c.handshake;
            r.feed(with_clocks(c.stream), chunk);
            EXPECT_EQ(r.t.reception.held_bytes(), r.t.reception.progress().bytes) << where;
            stop_receiving(r.t.ctx);
            EXPECT_EQ(r.names(), c.want_names) << where;
            for (size_t i = 0; i < c.want_data.size() && i < r.entries().size(); ++i)
                EXPECT_EQ(r.entries()[i].data, c.want_data[i]) << where << ", entry " << i;
            EXPECT_EQ(count_of(r.printed(), "Fit.\n"), c.want_fits) << where;
            EXPECT_EQ(r.replies(), c.want_replies) << where;
        }
    }
}

TEST(MidiReadReceive, WavEntryHoldsTheWholeFile) {
    Receiver r;
    r.t.ctx.settings.sds_format = kSdsFormatWav;
    r.feed(cat({header(16, 100), packet(0), packet(1), packet(2)}));
    const std::vector<FileEntry>& e = r.entries();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].data.size(), 44u + 100u * 2u);
    EXPECT_EQ(std::string(e[0].data.begin(), e[0].data.begin() + 4), "RIFF");
    EXPECT_EQ(e[0].is_new, 1);
    EXPECT_TRUE(e[0].unsaved);
    EXPECT_TRUE(r.t.ctx.reception->receiving());  // a finished dump leaves reception on
    EXPECT_EQ(r.t.ctx.reception->progress().bytes, 0);
}

TEST(MidiReadReceive, RepliesFollowTheDumpAndThreeRejectionsInARowStop) {
    struct Case {
        const char* what;
        bool ignore_handshake;
        std::vector<Bytes> messages;
        std::vector<Bytes> want_replies;
        bool want_receiving;
        size_t want_entries;
    };
    const Case cases[] = {
        {"a bad checksum and a wrong number are answered by NAK, then accepted",
         false,
         {header(16, 100, 3), packet(0, 0x40, false, 3), packet(1, 0x40, true, 3),
          packet(1, 0x40, false, 3), packet(5, 0x40, false, 3), packet(2, 0x40, false, 3)},
         {reply(kSdsIdAck, 0, 3), reply(kSdsIdAck, 0, 3), reply(kSdsIdNak, 1, 3),
          reply(kSdsIdAck, 1, 3), reply(kSdsIdNak, 2, 3), reply(kSdsIdAck, 2, 3)},
         true,
         1},
        {"two rejections apart do not stop",
         false,
         {header(16, 100), packet(0, 0x40, true), packet(0, 0x40, true), packet(0),
          packet(1, 0x40, true)},
         {reply(kSdsIdAck, 0), reply(kSdsIdNak, 0), reply(kSdsIdNak, 0), reply(kSdsIdAck, 0),
          reply(kSdsIdNak, 1)},
         true,
         0},
        {"the third rejection in a row cancels and keeps what arrived",
         false,
         {header(16, 100), packet(0), packet(1, 0x40, true), packet(1, 0x40, true),
          packet(1, 0x40, true), packet(1)},
         {reply(kSdsIdAck, 0), reply(kSdsIdAck, 0), reply(kSdsIdNak, 1), reply(kSdsIdNak, 1),
          reply(kSdsIdCancel, 1)},
         false,
         1},
        {"ignoring the handshake, the first rejection cancels",
         true,
         {header(16, 100), packet(0), packet(2)},
         {reply(kSdsIdCancel, 1)},
         false,
         1},
        {"J3's own replies coming back are not answered",
         false,
         {header(16, 100), reply(kSdsIdAck, 0), reply(kSdsIdNak, 0), reply(kSdsIdCancel, 0),
          packet(0)},
         {reply(kSdsIdAck, 0), reply(kSdsIdAck, 0)},
         true,
         0},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.t.ctx.settings.ignore_handshake = c.ignore_handshake;
        // Replies go out one at a time: each waits for the one before.
        for (const Bytes& m : c.messages) {
            r.feed(m);
            EXPECT_LE(r.t.midi.held(), 1u) << c.what;
        }
        EXPECT_EQ(r.replies(), c.want_replies) << c.what;
        for (const SentRequest& s : r.t.midi.sent_copy()) EXPECT_EQ(s.destination, 1001u);
        EXPECT_EQ(bool(r.t.ctx.reception->receiving()), c.want_receiving) << c.what;
        EXPECT_EQ(r.entries().size(), c.want_entries) << c.what;
        if (!c.want_receiving) {
            EXPECT_EQ(r.t.window.text(kReceiveButton), "Receive") << c.what;
        }
    }
}

TEST(MidiReadReceive, PacketLevelRules) {
    const Bytes speed = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x09, 0xF7};
    struct Case {
        const char* what;
        std::vector<Bytes> packets;
        Bytes want_data;  // of the entry made at Stop
        int32_t want_speed_factor;
    };
    const Case cases[] = {
        {"channel messages before any F0 are ignored",
         {{0x90, 0x40, 0x40}, {0xF0, 0x11, 0xF7}},
         {0xF0, 0x11, 0xF7},
         10},
        {"a message after stray bytes in the same packet is kept",
         {{0x90, 0x40, 0x40, 0xF0, 0x11, 0xF7}},
         {0xF0, 0x11, 0xF7},
         10},
        {"bytes after a message's end in the same packet are not part of it",
         {{0xF0, 0x11, 0xF7, 0x90, 0x40, 0x40}, {0xF0, 0x12, 0xF7}},
         {0xF0, 0x11, 0xF7, 0xF0, 0x12, 0xF7},
         10},
        {"other real-time bytes stay",
         {{0xF0, 0x11, 0xFA, 0x12, 0xF8, 0xF7}},
         {0xF0, 0x11, 0xFA, 0x12, 0xF7},
         10},
        {"an F0 restarts an unfinished message",
         {{0xF0, 0x11, 0x12}, {0xF0, 0x13, 0xF7}},
         {0xF0, 0x13, 0xF7},
         10},
        {"a speed reply in one packet sets the speed", {speed}, {}, 133},
        {"a speed reply in pieces is received data",
         {Bytes(speed.begin(), speed.begin() + 4), Bytes(speed.begin() + 4, speed.end())},
         speed,
         10},
        {"a name message without a dump before it is data",
         {name_message("ABCD")},
         name_message("ABCD"),
         10},
    };
    for (const Case& c : cases) {
        Receiver r;
        MidiPacketList list;
        for (const Bytes& p : c.packets) list.push_back({0, p});
        midi_read(r.t.ctx, list);
        stop_receiving(r.t.ctx);
        const std::vector<FileEntry>& e = r.entries();
        if (c.want_data.empty()) {
            EXPECT_TRUE(e.empty()) << c.what;
        } else {
            ASSERT_EQ(e.size(), 1u) << c.what;
            EXPECT_EQ(e[0].data, c.want_data) << c.what;
        }
        EXPECT_EQ(r.t.ctx.send.speed_factor(), c.want_speed_factor) << c.what;
    }
}

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint32_t be32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 |
           uint32_t(b[at + 3]);
}

// Every size field of a sound file J3 writes agrees with the bytes it holds
// and with `frames` 16-bit frames.
void expect_sizes_match(const Bytes& file, int32_t format, uint32_t frames,
                        const std::string& where) {
    ASSERT_GE(file.size(), 44u) << where;
    if (format == kSdsFormatWav) {
        EXPECT_EQ(le32(file, 4), file.size() - 8) << where;
        const size_t data = file.size() - 2 * frames - 8;
        EXPECT_EQ(std::string(file.begin() + long(data), file.begin() + long(data) + 4), "data")
            << where;
        EXPECT_EQ(le32(file, data + 4), 2 * frames) << where;
    } else {
        EXPECT_EQ(be32(file, 4), file.size() - 8) << where;
        EXPECT_EQ(be32(file, 22), frames) << where;  // COMM's frame count
        const size_t ssnd = file.size() - 2 * frames - 16;
        EXPECT_EQ(std::string(file.begin() + long(ssnd), file.begin() + long(ssnd) + 4), "SSND")
            << where;
        EXPECT_EQ(be32(file, ssnd + 4), 2 * frames + 8) << where;
    }
}

TEST(MidiReadReceive, ADumpCutShortIsAWholeSoundFileThatSaysSo) {
    // However the dump ends early, its WAV or AIFF entry is a valid file of
    // the frames that came, and the ending names it.
    const Bytes bad = packet(1, 0x40, true);
    struct Way {
        const char* what;
        Bytes header;
        std::vector<Bytes> then;  // after the header and packet 0
        bool stop;                // Stop (or --idle, --count, Ctrl-C) afterwards
        ReceiveEnd want_end;
        bool want_loop;
    };
    const Way ways[] = {
        {"three rejected packets cancel",
         header(16, 100),
         {bad, bad, bad},
         false,
         ReceiveEnd::kCancelled,
         false},
        {"Stop", header(16, 100), {}, true, ReceiveEnd::kStopped, false},
        {"Stop, a loop beyond the frames held goes",
         looped_header(16, 100),
         {},
         true,
         ReceiveEnd::kStopped,
         false},
        {"a new dump begins before the first ended",
         header(16, 100),
         {header(16, 60)},
         true,
         ReceiveEnd::kStopped,
         false},
    };
    for (const int32_t format : {kSdsFormatWav, kSdsFormatAiff}) {
        for (const Way& w : ways) {
            const std::string where =
                std::string(w.what) + (format == kSdsFormatWav ? ", WAV" : ", AIFF");
            Receiver r;
            r.t.ctx.settings.sds_format = format;
            r.feed(cat({w.header, packet(0)}));
            for (const Bytes& m : w.then) r.feed(m);
            if (w.stop) stop_receiving(r.t.ctx);
            ASSERT_FALSE(r.t.ctx.reception->receiving()) << where;
            ASSERT_GE(r.entries().size(), 1u) << where;
            const Bytes file(r.entries()[0].data.begin(), r.entries()[0].data.end());
            expect_sizes_match(file, format, 40, where);  // 40 16-bit words a packet
            const SoundRead read = read_with_libsndfile(file);
            ASSERT_TRUE(read.ok) << where << ": " << read.error;
            EXPECT_EQ(read.info.frames, 40) << where;
            EXPECT_EQ(read.has_instrument, w.want_loop) << where;
            const std::string name =
                std::string("Received data 1.") + (format == kSdsFormatWav ? "wav" : "aiff");
            EXPECT_EQ(r.entries()[0].file, name) << where;
            const std::optional<ReceiveOutcome> ended = r.t.reception.outcome();
            ASSERT_TRUE(ended) << where;
            EXPECT_EQ(ended->end, w.want_end) << where;
            ASSERT_FALSE(ended->partial_dumps.empty()) << where;
            EXPECT_EQ(ended->partial_dumps[0].name, name) << where;
            EXPECT_NE(r.t.window.text(kReceiveStatus).find(name + ": 40 of 100 frames"),
                      std::string::npos)
                << where << ": " << r.t.window.text(kReceiveStatus);
            EXPECT_EQ(exit_status(receive_verb_end(*ended)), 1) << where;
        }
    }
}

TEST(MidiReadReceive, EveryByteThatIsNoPartOfADumpIsKeptAsSysEx) {
    const Bytes identity = {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x43, 0x00,
                            0x41, 0x01, 0x02, 0x00, 0x00, 0x01, 0xF7};  // 14 bytes
    const Bytes gm_on = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const Bytes dump_request = {0xF0, 0x7E, 0x00, 0x03, 0x00, 0x00, 0xF7};
    const Bytes a = sysex(5, 0x21), b = sysex(7, 0x22);
    const Bytes dump = cat({header(16, 100, 1), packet(0, 0x40, false, 1),
                            packet(1, 0x40, false, 1), packet(2, 0x40, false, 1)});
    const Bytes dump_part1 = cat({header(16, 100, 1), packet(0, 0x40, false, 1)});
    const Bytes dump_part2 = cat({packet(1, 0x40, false, 1), packet(2, 0x40, false, 1)});
    struct Case {
        const char* what;
        Bytes stream;
        std::vector<std::string> want_names;  // for SysEx; WAV and AIFF name the dump's entry so
        std::vector<Bytes> want_syx;          // the SysEx formats' entries
        Bytes want_aside;                     // WAV and AIFF: the SysEx entry beside the dump
    };
    const Case cases[] = {
        {"an identity reply between two messages",
         cat({a, identity, b}),
         {"Received data 1.syx"},
         {cat({a, identity, b})},
         cat({a, identity, b})},
        {"General MIDI on, a dump request",
         cat({gm_on, dump_request}),
         {"Received data 1.syx"},
         {cat({gm_on, dump_request})},
         cat({gm_on, dump_request})},
        {"an identity reply in the middle of a dump",
         cat({dump_part1, identity, dump_part2}),
         {"Received data 1.syx"},
         {cat({dump_part1, identity, dump_part2})},
         identity},
        {"ordinary SysEx and another channel's ACK in the middle of a dump",
         cat({dump_part1, a, reply(kSdsIdAck, 0, 0), dump_part2}),
         {"Received data 1.syx"},
         {cat({dump_part1, a, reply(kSdsIdAck, 0, 0), dump_part2})},
         cat({a, reply(kSdsIdAck, 0, 0)})},
        {"the dump's own handshake coming back is the dump's",
         cat({dump_part1, reply(kSdsIdAck, 0, 1), dump_part2}),
         {"Received data 1.syx"},
         {dump},
         {}},
    };
    for (const Case& c : cases) {
        for (const int32_t format : {kSdsFormatSysex, kSdsFormatWav, kSdsFormatAiff}) {
            const std::string where = std::string(c.what) + ", format " + std::to_string(format);
            Receiver r;
            r.t.ctx.settings.sds_format = format;
            r.feed(c.stream, 16);
            stop_receiving(r.t.ctx);
            const std::vector<FileEntry>& e = r.entries();
            if (format == kSdsFormatSysex) {
                EXPECT_EQ(r.names(), c.want_names) << where;
                for (size_t i = 0; i < c.want_syx.size() && i < e.size(); ++i)
                    EXPECT_EQ(e[i].data, c.want_syx[i]) << where;
                continue;
            }
            const bool has_dump = c.stream.size() > 300;
            const size_t want_entries = (has_dump ? 1 : 0) + (c.want_aside.empty() ? 0 : 1);
            ASSERT_EQ(e.size(), want_entries) << where;
            if (has_dump) {
                const SoundRead read =
                    read_with_libsndfile(Bytes(e[0].data.begin(), e[0].data.end()));
                ASSERT_TRUE(read.ok) << where << ": " << read.error;
                EXPECT_EQ(read.info.frames, 100) << where;
            }
            if (!c.want_aside.empty()) {
                EXPECT_EQ(e.back().data, c.want_aside) << where;
                EXPECT_EQ(e.back().file.substr(e.back().file.size() - 4), ".syx") << where;
            }
        }
    }
}

TEST(MidiReadReceive, ADataPacketIsTheDumpsOnlyWhen127BytesOnItsChannel) {
    Bytes long_packet = packet(0);  // checksum at byte 125, then 100 bytes more
    long_packet.pop_back();
    long_packet.insert(long_packet.end(), 100, 0x00);
    long_packet.push_back(0xF7);
    struct Case {
        const char* what;
        std::vector<Bytes> messages;
        std::vector<Bytes> want_replies;
        bool want_done;         // the dump ended whole before Stop
        Bytes want_dump_entry;  // SysEx format: the first entry
    };
    const Case cases[] = {
        {"a 227-byte packet is asked for again and not stored",
         {header(16, 100), long_packet},
         {reply(kSdsIdAck, 0), reply(kSdsIdNak, 0)},
         false,
         header(16, 100)},
        {"packets on another channel do not complete the dump",
         {header(16, 100, 1), packet(0, 0x40, false, 0), packet(1, 0x40, false, 0),
          packet(2, 0x40, false, 0)},
         {reply(kSdsIdAck, 0, 1)},
         false,
         cat({header(16, 100, 1), packet(0, 0x40, false, 0), packet(1, 0x40, false, 0),
              packet(2, 0x40, false, 0)})},
        {"the dump's channel completes it amid another's packets",
         {header(16, 100, 1), packet(0, 0x40, false, 0), packet(0, 0x40, false, 1),
          packet(1, 0x40, false, 1), packet(2, 0x40, false, 1)},
         {reply(kSdsIdAck, 0, 1), reply(kSdsIdAck, 0, 1), reply(kSdsIdAck, 1, 1),
          reply(kSdsIdAck, 2, 1)},
         true,
         cat({header(16, 100, 1), packet(0, 0x40, false, 0), packet(0, 0x40, false, 1),
              packet(1, 0x40, false, 1), packet(2, 0x40, false, 1)})},
    };
    for (const Case& c : cases) {
        for (const int32_t format : {kSdsFormatSysex, kSdsFormatWav}) {
            const std::string where = std::string(c.what) + ", format " + std::to_string(format);
            Receiver r;
            r.t.ctx.settings.sds_format = format;
            r.t.ctx.settings.ignore_handshake = false;
            for (const Bytes& m : c.messages) r.feed(m);
            EXPECT_EQ(r.entries().empty(), !c.want_done) << where;
            stop_receiving(r.t.ctx);
            std::vector<Bytes> replies = r.replies();
            if (!c.want_done) {
                ASSERT_FALSE(replies.empty()) << where;
                EXPECT_EQ(replies.back()[3], kSdsIdCancel) << where;
                replies.pop_back();
            }
            EXPECT_EQ(replies, c.want_replies) << where;
            ASSERT_FALSE(r.entries().empty()) << where;
            if (format == kSdsFormatSysex) {
                EXPECT_EQ(r.entries()[0].data, c.want_dump_entry) << where;
            } else {
                const SoundRead read = read_with_libsndfile(
                    Bytes(r.entries()[0].data.begin(), r.entries()[0].data.end()));
                ASSERT_TRUE(read.ok) << where << ": " << read.error;
                EXPECT_EQ(read.info.frames, c.want_done ? 100 : 0) << where;
            }
        }
    }
}

TEST(MidiReadReceive, TheEndingKeepsTheCountAndTellsOfAnXrun) {
    Receiver r;
    r.feed(sysex(20, 0x11));
    r.t.midi.xruns = 1;
    r.feed(sysex(30, 0x12));
    stop_receiving(r.t.ctx);
    EXPECT_EQ(r.t.window.text(kReceiveStatus),
              "Received 50 bytes. The MIDI server fell behind during the reception (xrun): some "
              "data may have been lost.");
    // A reception without one says only its count.
    ASSERT_TRUE(start_receiving(r.t.ctx));
    r.feed(sysex(14, 0x13));
    stop_receiving(r.t.ctx);
    EXPECT_EQ(r.t.window.text(kReceiveStatus), "Received 14 bytes.");
}

TEST(MidiReadReceive, LongUniversalMessageInPiecesIsKeptAsSysEx) {
    // Too long to be a sample dump message: whatever the cut, it is kept whole.
    Bytes m = sysex(400, 0x05);
    m[1] = 0x7E;
    for (const size_t chunk : {size_t(50), size_t(200), kWhole}) {
        Receiver r;
        r.feed(m, chunk);
        stop_receiving(r.t.ctx);
        ASSERT_EQ(r.entries().size(), 1u) << chunk;
        EXPECT_EQ(r.entries()[0].data, m) << chunk;
    }
}

TEST(MidiReadReceive, StopCancelsADumpInProgressAndNamesTheNextEntryOnward) {
    Receiver r;
    r.t.ctx.settings.sds_format = kSdsFormatWav;
    r.feed(cat({header(16, 100, 2), packet(0, 0x40, false, 2)}));
    stop_receiving(r.t.ctx);
    EXPECT_EQ(r.replies(), std::vector<Bytes>{reply(kSdsIdCancel, 0, 2)});
    EXPECT_EQ(r.names(), std::vector<std::string>{"Received data 1.wav"});
    EXPECT_EQ(r.t.window.texts(kReceiveButton), (std::vector<std::string>{"Stop!", "Receive"}));

    // Stopping with nothing held makes no entry and cancels nothing.
    ASSERT_TRUE(start_receiving(r.t.ctx));
    stop_receiving(r.t.ctx);
    EXPECT_EQ(r.entries().size(), 1u);
    EXPECT_EQ(r.replies().size(), 1u);

    // The counter goes on.
    ASSERT_TRUE(start_receiving(r.t.ctx));
    r.feed(sysex(4, 0x01));
    stop_receiving(r.t.ctx);
    EXPECT_EQ(r.names(), (std::vector<std::string>{"Received data 1.wav", "Received data 2.syx"}));
}

TEST(MidiReadReceive, NoSourceNoReception) {
    TestContext t;
    EXPECT_FALSE(start_receiving(t.ctx));
    EXPECT_FALSE(t.ctx.reception->receiving());
}

// A message still arriving when the reception stops (a cable pulled, an
// instrument that never sends its F7) keeps every byte that came, the ones
// not yet a whole chunk included, and the status line names it.
TEST(MidiReadReceive, AMessageThatNeverEndsIsKeptAndNamed) {
    struct Case {
        const char* description;
        Bytes before;  // whole messages first
        size_t open_bytes;
        uint8_t second;  // byte after F0: 0x7E begins a sample dump message
    } cases[] = {
        {"alone, shorter than a chunk", {}, 100, 0x43},
        {"after a whole message, over several chunks", sysex(10, 0x01), 700, 0x43},
        {"a sample dump message cut short", {}, 20, 0x7E},
    };
    for (const Case& c : cases) {
        Receiver r;
        Bytes open = {0xF0, c.second};
        for (size_t i = open.size(); i < c.open_bytes; ++i) open.push_back(uint8_t(i & 0x7F));
        r.feed(c.before);
        r.feed(open, 64);
        EXPECT_GT(r.t.reception.progress().bytes + 256, int64_t(c.open_bytes)) << c.description;
        stop_receiving(r.t.ctx);
        Bytes want = c.before;
        want.insert(want.end(), open.begin(), open.end());
        ASSERT_EQ(r.entries().size(), 1u) << c.description;
        EXPECT_EQ(r.entries()[0].data, want) << c.description;
        EXPECT_EQ(r.t.window.text(kReceiveStatus),
                  "Received " + std::to_string(want.size()) +
                      " bytes. Stopped inside a SysEx message that never ended: its " +
                      std::to_string(c.open_bytes) + " bytes are kept in Received data 1.syx.")
            << c.description;
        const std::optional<ReceiveOutcome> ended = r.t.reception.outcome();
        ASSERT_TRUE(ended) << c.description;
        EXPECT_EQ(ended->end, ReceiveEnd::kPartial) << c.description;
    }
}

TEST(MidiReadReceive, RunningOutOfMemoryDropsTheEntryAndTheNextReceptionStartsClean) {
    Receiver r;
    r.t.reception.set_max_entry_bytes(300);
    r.feed(sysex(200, 0x01));
    r.feed(sysex(200, 0x02));
    EXPECT_FALSE(r.t.ctx.reception->receiving());
    EXPECT_EQ(r.t.ctx.reception->progress().bytes, 0);
    EXPECT_EQ(r.t.reception.held_bytes(), 0);
    EXPECT_NE(r.printed().find("Panic, no memory!! New Pointer"), std::string::npos);
    EXPECT_EQ(r.t.window.text(kReceiveButton), "Receive");
    EXPECT_TRUE(r.entries().empty());

    ASSERT_TRUE(start_receiving(r.t.ctx));
    r.feed(sysex(10, 0x03));
    stop_receiving(r.t.ctx);
    ASSERT_EQ(r.entries().size(), 1u);
    EXPECT_EQ(r.entries()[0].data, sysex(10, 0x03));
    EXPECT_EQ(r.entries()[0].file, "Received data 1.syx");
}

TEST(ReceivedEntryName, FollowsTheFormatTheNameMessageAndTheCounter) {
    const uint32_t kix = uint32_t('K') << 24 | uint32_t('I') << 16 | uint32_t('X') << 8 | 0x5B;
    struct Case {
        bool sds_active;
        uint32_t pending_name;
        int32_t format;
        const char* want;
        int32_t want_counter;  // from 7
    };
    const Case cases[] = {
        {false, 0, kSdsFormatWav, "Received data 7.syx", 8},
        {false, kix, kSdsFormatWav, "Received data 7.syx", 8},
        {true, 0, kSdsFormatSysex, "Received data 7.syx", 8},
        {true, 0, kSdsFormatWav, "Received data 7.wav", 8},
        {true, 0, kSdsFormatAiff, "Received data 7.aiff", 8},
        {true, 0, kSdsFormatSysexOneItem, "Received data 7.syx", 8},
        {true, 0, 0, "Received data 7.syx", 8},
        {true, kix, kSdsFormatWav, "KIX\xC3\x85.wav", 7},
        {true, kix, kSdsFormatAiff, "KIX\xC3\x85.aiff", 7},
        {true, kix, kSdsFormatSysex, "KIX\xC3\x85.syx", 7},
        {true, 0x5C5D4120, kSdsFormatSysex,
         "\xC3\x84\xC3\x96"
         "A .syx",
         7},
        {true, 0xC1C2C3C4, kSdsFormatSysex, "ABCD.syx", 7},             // 7 bits each
        {true, 0x412F2E2E, kSdsFormatSysex, "A_...syx", 7},             // no folder in a name
        {true, 0x41420043, kSdsFormatSysex, "AB.syx", 7},               // NUL ends it
        {true, 0x00414243, kSdsFormatSysex, "Received data 7.syx", 8},  // no hidden file
        // A leading dot would hide the file: it becomes "_" as '/' does.
        {true, 0x2E616263, kSdsFormatSysex, "_abc.syx", 7},
        {true, 0x2E2E0000, kSdsFormatSysex, "_..syx", 7},
        {true, 0x2E000000, kSdsFormatWav, "_.wav", 7},
        {true, 0x2E2E5F78, kSdsFormatSysex, "_._x.syx", 7},
        {true, 0x2F2E6162, kSdsFormatSysex, "_.ab.syx", 7},  // only the first character
    };
    for (const Case& c : cases) {
        int32_t counter = 7;
        EXPECT_EQ(received_entry_name(c.sds_active, c.pending_name, c.format, counter), c.want)
            << c.want;
        EXPECT_EQ(counter, c.want_counter) << c.want;
    }
}

TEST(MidiReadReceive, EntriesMadeOnTheInputThreadReachTheListInOrder) {
    Receiver r;
    r.t.ctx.settings.ignore_handshake = false;
    constexpr int kDumps = 40;
    std::atomic<bool> done{false};
    std::thread input([&] {
        for (int i = 0; i < kDumps; ++i) {
            r.feed(header(8, 60));
            r.feed(packet(0));
        }
        done = true;
    });
    std::thread completion([&] {
        while (!done) r.t.midi.complete_all();
    });
    // This thread is the GUI thread: it takes the entries as they come and
    // reads the list meanwhile.
    size_t seen = 0;
    while (!done) {
        r.t.window.run_posted();
        seen = r.t.ctx.files.size();
    }
    input.join();
    completion.join();
    stop_receiving(r.t.ctx);
    r.t.window.run_posted();
    EXPECT_LE(seen, size_t(kDumps));
    ASSERT_EQ(r.t.ctx.files.size(), size_t(kDumps));
    for (int i = 0; i < kDumps; ++i)
        EXPECT_EQ(r.t.ctx.files.entry(uint32_t(i + 1))->file,
                  "Received data " + std::to_string(i + 1) + ".syx");
    EXPECT_EQ(r.t.window.list_items.size(), size_t(kDumps));
    EXPECT_EQ(r.replies().size(), size_t(2 * kDumps));
}

TEST(Replies, QueueBehindOneAnotherFromAnyThreadAndNoneIsLost) {
    TestContext t;
    t.ctx.endpoints.destination_endpoint = 1001;
    constexpr int kEach = 300;
    std::atomic<int> finished{0};
    auto sender = [&](ReplyKind kind) {
        for (int i = 0; i < kEach; ++i) send_reply(t.ctx, kind, 1, uint8_t(i & 0x7F));
        ++finished;
    };
    std::thread input(sender, kAckReply);
    std::thread gui(sender, kCancelReply);
    size_t most_held = 0;
    while (finished < 2 || t.midi.held() > 0) {
        most_held = std::max(most_held, t.midi.held());
        t.midi.complete_next();
    }
    input.join();
    gui.join();
    EXPECT_EQ(most_held, 1u);
    // Each thread's replies went out whole and in its order.
    int next_ack = 0, next_cancel = 0;
    for (const SentRequest& s : t.midi.sent_copy()) {
        ASSERT_EQ(s.bytes.size(), 6u);
        int& next = s.bytes[3] == uint8_t(kAckReply) ? next_ack : next_cancel;
        EXPECT_EQ(s.bytes[4], uint8_t(next & 0x7F));
        ++next;
    }
    EXPECT_EQ(next_ack, kEach);
    EXPECT_EQ(next_cancel, kEach);
}

}  // namespace
}  // namespace j3
