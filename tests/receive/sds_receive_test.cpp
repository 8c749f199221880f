#include "receive/sds_receive.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "fixtures/libsndfile_oracle.h"
#include "format/sds_messages.h"
#include "receive/dump_writer.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

Bytes header(int32_t bits, int32_t length, uint8_t loop_type = kSdsNoLoop,
             int32_t period_ns = 22676, uint8_t channel = 0) {
    SdsDumpHeader h;
    h.channel = channel;
    h.bits = bits;
    h.period_ns = period_ns;
    h.length = length;
    h.loop_start = 3;
    h.loop_end = length > 0 ? length - 1 : 0;
    h.loop_type = loop_type;
    Bytes b(kSdsStandardHeaderSize);
    build_standard_header(b.data(), h);
    return b;
}

// A data packet whose data bytes start with `words` and are 0 after them.
Bytes packet(uint8_t number, const Bytes& words = {}, uint8_t channel = 0) {
    Bytes p(kSdsPacketSize, 0);
    std::copy(words.begin(), words.end(), p.begin() + 5);
    finish_data_packet(p.data(), channel, number);
    return p;
}

// One converter fed message after message, as the input thread would.
struct Receiver {
    int32_t format;
    SdsConverter state;
    Bytes out;  // output of the last message
    SdsReceiveResult take(const Bytes& m) {
        state.scratch_fill = 0;
        const SdsReceiveResult r = receive_sds_message(state, format, m.data(), m.size());
        if (state.pass_through > 0)
            out.assign(m.begin(), m.begin() + state.pass_through);
        else
            out.assign(state.scratch_buffer, state.scratch_buffer + state.scratch_fill);
        return r;
    }
};

TEST(SdsReceive, HeaderOutput) {
    struct Case {
        const char* description;
        int32_t format;
        uint8_t loop_type;
        size_t want_size;
    } cases[] = {
        {"WAV without loop", kSdsFormatWav, kSdsNoLoop, 44},
        {"WAV with forward loop", kSdsFormatWav, 0x00, 112},
        {"WAV with another loop type", kSdsFormatWav, 0x01, 112},
        {"AIFF without loop", kSdsFormatAiff, kSdsNoLoop, 54},
        {"AIFF with loop", kSdsFormatAiff, 0x00, 116},
        {"SysEx: the header itself", kSdsFormatSysex, 0x00, 21},
        {"SysEx, one item", kSdsFormatSysexOneItem, 0x00, 21},
        {"format 0 as SysEx", 0, 0x00, 21},
    };
    for (const Case& c : cases) {
        Receiver rx{c.format};
        EXPECT_EQ(rx.take(header(16, 1000, c.loop_type)), kSdsHeaderAccepted) << c.description;
        EXPECT_EQ(rx.out.size(), c.want_size) << c.description;
    }
}

TEST(SdsReceive, WavHeaderFields) {
    Receiver rx{kSdsFormatWav};
    ASSERT_EQ(rx.take(header(12, 1000, 0x00, 20833)), kSdsHeaderAccepted);
    const uint8_t* h = rx.out.data();
    EXPECT_EQ(read_le32(h + 4), 2000u + 104);  // D = 1000 words x 2 bytes
    EXPECT_EQ(read_le32(h + 24), 48000u);      // 20833 ns, computed 48001
    EXPECT_EQ(read_le32(h + 28), 96000u);
    EXPECT_EQ(read_le16(h + 32), 2);
    EXPECT_EQ(read_le16(h + 34), 16);
    EXPECT_TRUE(tag_is(h + 36, "smpl"));
    EXPECT_EQ(read_le32(h + 44 + 8), 20833u);  // period
    EXPECT_EQ(read_le32(h + 44 + 28), 1u);     // one loop
    EXPECT_EQ(read_le32(h + 44 + 44), 3u);     // loop start
    EXPECT_EQ(read_le32(h + 44 + 48), 999u);   // loop end
    EXPECT_TRUE(tag_is(h + 104, "data"));
    EXPECT_EQ(read_le32(h + 108), 2000u);
}

TEST(SdsReceive, AiffHeaderFields) {
    Receiver rx{kSdsFormatAiff};
    ASSERT_EQ(rx.take(header(12, 1000, 0x00)), kSdsHeaderAccepted);
    const uint8_t* h = rx.out.data();
    EXPECT_EQ(read_be32(h + 4), 2000u + 108);
    EXPECT_EQ(read_be32(h + 22), 1000u);  // frames
    EXPECT_EQ(read_be16(h + 26), 12);     // the dump's bits
    const Bytes rate_44100 = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(h + 28, h + 38), rate_44100);
    EXPECT_TRUE(tag_is(h + 38, "INST"));
    EXPECT_TRUE(tag_is(h + 66, "MARK"));
    EXPECT_EQ(read_be32(h + 66 + 12), 3u);     // marker 0 at the loop start
    EXPECT_EQ(read_be32(h + 66 + 20), 999u);   // marker 1 at the loop end
    EXPECT_EQ(read_be32(h + 66 + 28), 1000u);  // marker 2 at the length
    EXPECT_TRUE(tag_is(h + 100, "SSND"));
    EXPECT_EQ(read_be32(h + 104), 2008u);
}

TEST(SdsReceive, RateFromPeriod) {
    struct Case {
        int32_t period_ns, want_hz;
    } cases[] = {{22676, 44100}, {20833, 48000},  {41667, 24000}, {22675, 44101},
                 {45351, 22050}, {1, 1000000000}, {0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(sds_rate_from_period(c.period_ns), c.want_hz) << c.period_ns;
}

TEST(SdsReceive, SampleDecoding) {
    struct Case {
        const char* description;
        int32_t format;
        int32_t bits;
        Bytes word;
        Bytes want;  // the first sample as written
    } cases[] = {
        {"12-bit 7F 7E to WAV", kSdsFormatWav, 12, {0x7F, 0x7E}, {0xF0, 0x7F}},
        {"12-bit 7F 7E to AIFF", kSdsFormatAiff, 12, {0x7F, 0x7E}, {0x7F, 0xF0}},
        {"24-bit midpoint is 0", kSdsFormatWav, 24, {0x40, 0, 0, 0}, {0, 0, 0}},
        {"16-bit most negative to WAV", kSdsFormatWav, 16, {0, 0, 0}, {0x00, 0x80}},
        {"8-bit midpoint: unsigned WAV", kSdsFormatWav, 8, {0x40, 0x00}, {0x80}},
        {"8-bit midpoint: signed AIFF", kSdsFormatAiff, 8, {0x40, 0x00}, {0x00}},
        {"8-bit top: WAV", kSdsFormatWav, 8, {0x7F, 0x40}, {0xFF}},
        {"20-bit top, left-justified", kSdsFormatAiff, 20, {0x7F, 0x7F, 0x7E}, {0x7F, 0xFF, 0xF0}},
        {"28-bit lowest step", kSdsFormatWav, 28, {0x40, 0, 0, 1}, {0x10, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Receiver rx{c.format};
        ASSERT_EQ(rx.take(header(c.bits, 1)), kSdsHeaderAccepted) << c.description;
        EXPECT_EQ(rx.take(packet(0, c.word)), kSdsDumpComplete) << c.description;
        EXPECT_EQ(rx.out, c.want) << c.description;
    }
}

TEST(SdsReceive, DumpCompletesAtItsLength) {
    // 16 bits: 40 words a packet; 100 words end after 20 words of the third.
    struct Case {
        const char* description;
        int32_t format;
        size_t want_last_bytes;
    } cases[] = {
        {"WAV", kSdsFormatWav, 40},
        {"AIFF", kSdsFormatAiff, 40},
        {"SysEx", kSdsFormatSysex, kSdsPacketSize},
    };
    for (const Case& c : cases) {
        Receiver rx{c.format};
        ASSERT_EQ(rx.take(header(16, 100)), kSdsHeaderAccepted) << c.description;
        EXPECT_EQ(rx.take(packet(0)), kSdsPacketAccepted) << c.description;
        EXPECT_EQ(rx.take(packet(1)), kSdsPacketAccepted) << c.description;
        EXPECT_EQ(rx.take(packet(2)), kSdsDumpComplete) << c.description;
        EXPECT_EQ(rx.out.size(), c.want_last_bytes) << c.description;
        EXPECT_EQ(rx.take(packet(3)), kSdsRejected) << c.description << ": dump is over";
        EXPECT_TRUE(rx.out.empty()) << c.description;
    }
}

TEST(SdsReceive, PacketNumbersWrap) {
    Receiver rx{kSdsFormatWav};
    ASSERT_EQ(rx.take(header(8, 60 * 200)), kSdsHeaderAccepted);
    for (int i = 0; i < 130; ++i) {
        ASSERT_EQ(rx.take(packet(uint8_t(i % 128))), kSdsPacketAccepted) << "packet " << i;
        EXPECT_EQ(rx.state.current_packet, i % 128);
    }
    EXPECT_EQ(converter_dump(rx.state, kSdsFormatWav).expected_packet, 2);
}

TEST(SdsReceive, RejectedPacketsKeepTheExpectedNumber) {
    Bytes bad_sum = packet(1);
    bad_sum[125] ^= 0x01;
    Bytes bad_data = packet(1);
    bad_data[60] ^= 0x10;
    Bytes short_packet = packet(1);
    short_packet.erase(short_packet.begin() + 100);
    struct Case {
        const char* description;
        Bytes message;
    } cases[] = {
        {"number of the packet before", packet(0)},
        {"number of the packet after", packet(2)},
        {"wrong checksum", bad_sum},
        {"data changed after the checksum was made", bad_data},
        {"one byte short", short_packet},
    };
    for (int32_t format : {kSdsFormatSysex, kSdsFormatWav, kSdsFormatAiff}) {
        for (const Case& c : cases) {
            Receiver rx{format};
            rx.take(header(16, 1000));
            ASSERT_EQ(rx.take(packet(0)), kSdsPacketAccepted);
            EXPECT_EQ(rx.take(c.message), kSdsRejected) << c.description << ", format " << format;
            EXPECT_TRUE(rx.out.empty()) << c.description;
            EXPECT_EQ(rx.state.current_packet, 1) << c.description << ": the NAK names 1";
            EXPECT_EQ(rx.take(packet(1)), kSdsPacketAccepted) << c.description;
        }
    }
}

TEST(SdsReceive, HeadersThatDescribeNoDump) {
    Bytes short_header = header(16, 100);
    short_header.erase(short_header.begin() + 10);
    struct Case {
        const char* description;
        Bytes message;
    } cases[] = {
        {"period 0", header(16, 100, kSdsNoLoop, 0)},
        {"0 bits", header(0, 100)},
        {"29 bits", header(29, 100)},
        {"127 bits", header(127, 100)},
        {"one byte short", short_header},
    };
    for (const Case& c : cases) {
        Receiver rx{kSdsFormatWav};
        ASSERT_EQ(rx.take(header(16, 100)), kSdsHeaderAccepted);
        ASSERT_EQ(rx.take(packet(0)), kSdsPacketAccepted);
        EXPECT_EQ(rx.take(c.message), kSdsRejected) << c.description;
        EXPECT_TRUE(rx.out.empty()) << c.description;
        EXPECT_EQ(rx.take(packet(0)), kSdsRejected) << c.description << ": no dump open";
        EXPECT_EQ(rx.take(packet(1)), kSdsRejected) << c.description << ": old dump closed";
    }
    Receiver fresh{kSdsFormatSysex};
    EXPECT_EQ(fresh.take(packet(0)), kSdsRejected) << "a packet before any header";
}

TEST(SdsReceive, OtherUniversalMessagesHaveNoEffect) {
    uint8_t ack[kSdsHandshakeSize];
    build_handshake(ack, 0, kSdsIdAck, 1);
    struct Case {
        const char* description;
        Bytes message;
    } cases[] = {
        {"dump request", {0xF0, 0x7E, 0x00, 0x03, 0x00, 0x00, 0xF7}},
        {"identity request", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
        {"handshake", Bytes(ack, ack + sizeof ack)},
        {"too short to say", {0xF0, 0x7E, 0xF7}},
        {"not universal", {0xF0, 0x7D, 0x00, 0x01, 0xF7}},
    };
    for (int32_t format : {kSdsFormatSysex, kSdsFormatWav, kSdsFormatAiff}) {
        for (const Case& c : cases) {
            Receiver rx{format};
            rx.take(header(16, 1000));
            ASSERT_EQ(rx.take(packet(0)), kSdsPacketAccepted);
            EXPECT_EQ(rx.take(c.message), kSdsIgnored) << c.description;
            EXPECT_TRUE(rx.out.empty()) << c.description;
            EXPECT_EQ(rx.take(packet(1)), kSdsPacketAccepted) << c.description;
        }
    }
}

TEST(SdsReceive, SampleNameKeptOnlyInSysexItems) {
    uint8_t name[kSdsSampleNameBaseSize + 4];
    size_t n = build_sample_name_message(name, 0, 1, "Kick");
    for (int32_t format : {kSdsFormatSysex, kSdsFormatWav, kSdsFormatAiff}) {
        Receiver rx{format};
        EXPECT_EQ(rx.take(Bytes(name, name + n)), kSdsIgnored);
        EXPECT_EQ(rx.out.size(), format == kSdsFormatSysex ? n : 0u) << "format " << format;
    }
}

TEST(SdsReceive, ExtendedHeaderStartsADump) {
    SdsDumpHeader h;
    h.bits = 16;
    h.rate_hz = 32000;
    h.length = 50;
    Bytes ext(kSdsExtendedHeaderSize);
    build_extended_header(ext.data(), h);
    Receiver rx{kSdsFormatWav};
    ASSERT_EQ(rx.take(ext), kSdsHeaderAccepted);
    EXPECT_EQ(read_le32(rx.out.data() + 24), 32000u);
    EXPECT_EQ(rx.take(packet(0)), kSdsPacketAccepted);
    EXPECT_EQ(rx.take(packet(1)), kSdsDumpComplete);
}

TEST(SdsReceive, ConvertersKeepTheirOwnDumps) {
    SdsConverter state;
    Bytes h16 = header(16, 1000), h8 = header(8, 1000), p0 = packet(0), p1 = packet(1);
    EXPECT_EQ(receive_sds_message(state, kSdsFormatWav, h16.data(), h16.size()),
              kSdsHeaderAccepted);
    EXPECT_EQ(receive_sds_message(state, kSdsFormatWav, p0.data(), p0.size()), kSdsPacketAccepted);
    EXPECT_EQ(receive_sds_message(state, kSdsFormatAiff, h8.data(), h8.size()), kSdsHeaderAccepted);
    EXPECT_EQ(converter_dump(state, kSdsFormatWav).bits, 16);
    EXPECT_EQ(converter_dump(state, kSdsFormatWav).expected_packet, 1);
    EXPECT_EQ(receive_sds_message(state, kSdsFormatWav, p1.data(), p1.size()), kSdsPacketAccepted);
}

TEST(SdsReceive, ChannelAndPacketNumberForTheReply) {
    Receiver rx{kSdsFormatSysex};
    rx.state.current_packet = 77;
    ASSERT_EQ(rx.take(header(16, 1000, kSdsNoLoop, 22676, 0x15)), kSdsHeaderAccepted);
    EXPECT_EQ(rx.state.sds_channel, 0x15);
    EXPECT_EQ(rx.state.current_packet, 0) << "the ACK to a header carries packet 0";
}

// Damaged messages of every length: nothing is read outside the message (the
// sanitizer build checks), and the result is always one of the five.
TEST(SdsReceive, ArbitraryBytesStayInsideTheMessage) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    const uint8_t ids[] = {0x01, 0x02, 0x05, 0x7F, 0x03};
    for (int round = 0; round < 20000; ++round) {
        Bytes m(next() % 260);
        for (uint8_t& b : m) b = uint8_t(next() >> 24);
        if (m.size() > 0) m[0] = 0xF0;
        if (m.size() > 1) m[1] = 0x7E;
        if (m.size() > 3) m[3] = ids[next() % 5];
        if (m.size() > 4 && next() % 2) m[4] = uint8_t(next() % 6);
        SdsConverter state;
        for (int32_t format = 0; format <= 4; ++format) {
            state.scratch_fill = 0;
            const int r = int(receive_sds_message(state, format, m.data(), m.size()));
            ASSERT_GE(r, 0);
            ASSERT_LE(r, 4);
            ASSERT_LE(state.scratch_fill, kScratchSize);
        }
        SdsDumpHeader h;
        read_dump_header(m.data(), m.size(), h);
        int32_t number;
        std::string name;
        read_sample_name_message(m.data(), m.size(), number, name);
        EXPECT_LE(name.size(), kSdsSampleNameMax);
    }
}

// A message longer than its layout (a device's padding, a stored dump someone
// edited) is never cut: the SysEx converter passes it through whole, the file
// converters read their fields from it.
TEST(SdsReceive, MessagesLongerThanTheirLayoutPassWhole) {
    auto padded = [](Bytes m, size_t size) {
        m.pop_back();
        m.resize(size - 1, 0x00);
        m.push_back(0xF7);
        return m;
    };
    SdsDumpHeader h;
    h.bits = 16;
    h.period_ns = 22676;
    h.length = 80;
    h.loop_type = kSdsNoLoop;
    Bytes header(kSdsStandardHeaderSize);
    build_standard_header(header.data(), h);
    Bytes long_header = padded(header, 300);
    Bytes long_packet(600, 0x00);  // checksum over bytes 1 .. 124 right, then padding
    finish_data_packet(long_packet.data(), 0, 0);
    long_packet[kSdsPacketSize - 1] = 0x00;
    long_packet.back() = 0xF7;
    Bytes long_name = {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x00, 0x7F};
    long_name.resize(400, 'a');
    long_name.push_back(0xF7);
    struct Case {
        const char* description;
        int32_t format;
        std::vector<Bytes> messages;
        std::vector<SdsReceiveResult> want_results;
        size_t want_last_output;  // bytes the last message produced
    } cases[] = {
        {"SysEx: padded header", kSdsFormatSysex, {long_header}, {kSdsHeaderAccepted}, 300},
        // A data packet is 127 bytes: a longer one is asked for again, and
        // its bytes are no samples.
        {"SysEx: long packet is refused",
         kSdsFormatSysex,
         {header, long_packet},
         {kSdsHeaderAccepted, kSdsRejected},
         0},
        {"SysEx: long name message", kSdsFormatSysex, {long_name}, {kSdsIgnored}, 401},
        {"one item: padded header",
         kSdsFormatSysexOneItem,
         {long_header},
         {kSdsHeaderAccepted},
         300},
        {"WAV: padded header gives the file header",
         kSdsFormatWav,
         {long_header},
         {kSdsHeaderAccepted},
         44},
        {"WAV: long packet is refused",
         kSdsFormatWav,
         {header, long_packet},
         {kSdsHeaderAccepted, kSdsRejected},
         0},
    };
    for (const Case& c : cases) {
        Receiver r{c.format};
        std::vector<SdsReceiveResult> results;
        for (const Bytes& m : c.messages) results.push_back(r.take(m));
        EXPECT_EQ(results, c.want_results) << c.description;
        ASSERT_EQ(r.out.size(), c.want_last_output) << c.description;
        if (c.format != kSdsFormatWav && c.want_last_output > 0) {
            EXPECT_EQ(r.out, c.messages.back()) << c.description;
        }
    }
}

TEST(SdsReceive, ASoundFileCutShortAnnouncesOnlyTheFramesItHolds) {
    // 40 frames came of 1000; the file handed over may hold fewer.
    struct Case {
        const char* description;
        size_t sample_bytes_kept;  // SIZE_MAX: all
        bool header_whole;
        int32_t want_frames;
    } cases[] = {
        {"every frame that came", SIZE_MAX, true, 40}, {"half of them", 40, true, 20},
        {"half a frame over", 41, true, 20},           {"the header alone", 0, true, 0},
        {"less than the header", 0, false, 0},
    };
    for (const int32_t format : {kSdsFormatWav, kSdsFormatAiff}) {
        for (const Case& c : cases) {
            const std::string where =
                std::string(c.description) + (format == kSdsFormatWav ? ", WAV" : ", AIFF");
            Receiver rx{format};
            ASSERT_EQ(rx.take(header(16, 1000)), kSdsHeaderAccepted);
            const size_t header_size = rx.out.size();
            Bytes file = rx.out;
            ASSERT_EQ(rx.take(packet(0, {0x10, 0x20, 0x30})), kSdsPacketAccepted);
            file.insert(file.end(), rx.out.begin(), rx.out.end());
            if (c.sample_bytes_kept != SIZE_MAX) file.resize(header_size + c.sample_bytes_kept);
            if (!c.header_whole) file.resize(header_size - 4);

            const SdsDumpState& dump = converter_dump(rx.state, format);
            ASSERT_EQ(dump.samples_counted, 40) << where;
            const Bytes cut = dump_writer(format).cut_short(file, dump);
            EXPECT_EQ(cut.size(), header_size + 2 * size_t(c.want_frames)) << where;
            const SoundRead read = read_with_libsndfile(cut);
            ASSERT_TRUE(read.ok) << where << ": " << read.error;
            EXPECT_EQ(read.info.frames, c.want_frames) << where;
            if (c.want_frames > 0) {
                EXPECT_EQ(Bytes(cut.begin() + long(header_size), cut.end()),
                          Bytes(file.begin() + long(header_size),
                                file.begin() + long(header_size) + 2 * c.want_frames))
                    << where;
            }
        }
    }
}

}  // namespace
}  // namespace j3::testing
