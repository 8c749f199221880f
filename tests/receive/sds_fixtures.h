// Fixture builders for the SDS tests: a WAV writer that states only what a
// case changes, AIFF files written by libsndfile, the whole dump an item
// encodes to, the bytes the receiving converters make of it, and libsndfile
// reading those bytes back.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "audio/sds_encoder.h"
#include "engine/settings.h"
#include "format/bytes.h"
#include "receive/sds_receive.h"

namespace j3::testing {

using Bytes = std::vector<uint8_t>;

struct Loop {
    int32_t start = 0;
    int32_t end = 0;
    int32_t type = 0;  // smpl loop type: 0 forward, 1 alternating
};

// A WAV file. Integer samples are given at `bits` bits (interleaved) and are
// stored left-justified in `container` bytes; float samples as floats.
struct WavFile {
    int32_t channels = 1;
    int32_t bits = 16;
    int32_t container = 2;
    int32_t rate = 44100;
    std::vector<int32_t> samples;
    std::vector<float> floats;  // set: a float WAV (format 3)
    std::optional<Loop> loop;   // a smpl chunk after the data chunk
    int32_t smpl_period = 0;    // the smpl chunk's period field
};

// Writes fields one after the other into a buffer sized in advance.
struct Writer {
    Bytes& b;
    size_t at = 0;
    void tag(const char* t) {
        std::memcpy(b.data() + at, t, 4);
        at += 4;
    }
    void le(uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at++] = uint8_t(v >> (8 * i));
    }
    void be(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) b[at++] = uint8_t(v >> (8 * i));
    }
};

inline Bytes make_wav(const WavFile& w) {
    const bool is_float = !w.floats.empty();
    const int32_t container = is_float ? 4 : w.container;
    const size_t count = is_float ? w.floats.size() : w.samples.size();
    const size_t data_size = count * size_t(container);
    const size_t padded = data_size + data_size % 2;
    Bytes b(12 + 24 + 8 + padded + (w.loop ? 68 : 0), 0);
    Writer out{b};
    out.tag("RIFF");
    out.le(uint32_t(b.size() - 8), 4);
    out.tag("WAVE");
    out.tag("fmt ");
    out.le(16, 4);
    out.le(is_float ? 3 : 1, 2);
    out.le(uint32_t(w.channels), 2);
    out.le(uint32_t(w.rate), 4);
    out.le(uint32_t(w.rate * w.channels * container), 4);
    out.le(uint32_t(w.channels * container), 2);
    out.le(uint32_t(is_float ? 32 : w.bits), 2);
    out.tag("data");
    out.le(uint32_t(data_size), 4);
    for (size_t i = 0; i < count; ++i) {
        if (is_float) {
            uint32_t u;
            std::memcpy(&u, &w.floats[i], 4);
            out.le(u, 4);
        } else {
            uint32_t v = uint32_t(w.samples[i]) << (8 * container - w.bits);
            if (container == 1) v ^= 0x80;  // 8-bit WAV is unsigned
            out.le(v, container);
        }
    }
    out.at += padded - data_size;
    if (w.loop) {
        out.tag("smpl");
        out.le(60, 4);
        const uint32_t fields[] = {0,
                                   0,
                                   uint32_t(w.smpl_period),
                                   60,
                                   0,
                                   0,
                                   0,
                                   1,
                                   0,
                                   0,
                                   uint32_t(w.loop->type),
                                   uint32_t(w.loop->start),
                                   uint32_t(w.loop->end),
                                   0,
                                   0};
        for (uint32_t v : fields) out.le(v, 4);
    }
    return b;
}

// An AIFF file with a sustain loop (libsndfile writes no INST chunk): COMM,
// INST naming markers 1 and 2, MARK, SSND. Samples at `bits` bits,
// interleaved, in whole bytes.
inline Bytes make_looped_aiff(int32_t channels, int32_t bits, int32_t rate,
                              const std::vector<int32_t>& samples, Loop loop) {
    const int32_t container = (bits + 7) / 8;
    const size_t data_size = samples.size() * size_t(container);
    Bytes b(12 + 26 + 28 + 26 + 16 + data_size + data_size % 2, 0);
    Writer out{b};
    out.tag("FORM");
    out.be(b.size() - 8, 4);
    out.tag("AIFF");
    out.tag("COMM");
    out.be(18, 4);
    out.be(uint32_t(channels), 2);
    out.be(samples.size() / size_t(channels), 4);
    out.be(uint32_t(bits), 2);
    int e = 31;
    while (!(uint32_t(rate) >> e)) --e;
    out.be(uint64_t(16383 + e), 2);
    out.be(uint64_t(rate) << (63 - e), 8);
    out.tag("INST");
    out.be(20, 4);
    const uint8_t notes[] = {60, 0, 0, 127, 1, 127};
    for (uint8_t v : notes) out.be(v, 1);
    const uint16_t loops[] = {0, 1, 1, 2, 0, 0, 0};  // gain; sustain forward 1 .. 2; release off
    for (uint16_t v : loops) out.be(v, 2);
    out.tag("MARK");
    out.be(18, 4);
    out.be(2, 2);
    out.be(1, 2);
    out.be(uint32_t(loop.start), 4);
    out.be(0, 2);  // empty name, padded
    out.be(2, 2);
    out.be(uint32_t(loop.end), 4);
    out.be(0, 2);
    out.tag("SSND");
    out.be(data_size + 8, 4);
    out.be(0, 8);
    for (int32_t v : samples) out.be(uint32_t(v) << (8 * container - bits), container);
    return b;
}

// libsndfile reading and writing files held in memory.
struct MemoryFile {
    Bytes bytes;
    sf_count_t pos = 0;
};

inline SF_VIRTUAL_IO memory_io() {
    SF_VIRTUAL_IO io;
    io.get_filelen = [](void* u) { return sf_count_t(static_cast<MemoryFile*>(u)->bytes.size()); };
    io.seek = [](sf_count_t offset, int whence, void* u) {
        auto* m = static_cast<MemoryFile*>(u);
        sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? m->pos
                                               : sf_count_t(m->bytes.size());
        m->pos = base + offset;
        return m->pos;
    };
    io.read = [](void* ptr, sf_count_t count, void* u) {
        auto* m = static_cast<MemoryFile*>(u);
        sf_count_t left = sf_count_t(m->bytes.size()) - m->pos;
        sf_count_t n = count < left ? count : (left > 0 ? left : 0);
        if (n > 0) std::memcpy(ptr, m->bytes.data() + m->pos, size_t(n));
        m->pos += n;
        return n;
    };
    io.write = [](const void* ptr, sf_count_t count, void* u) {
        auto* m = static_cast<MemoryFile*>(u);
        if (size_t(m->pos + count) > m->bytes.size()) m->bytes.resize(size_t(m->pos + count));
        std::memcpy(m->bytes.data() + m->pos, ptr, size_t(count));
        m->pos += count;
        return count;
    };
    io.tell = [](void* u) { return static_cast<MemoryFile*>(u)->pos; };
    return io;
}

// An AIFF file written by libsndfile (8, 16 or 24 bits), optionally with a
// sustain loop (INST and MARK).
inline Bytes make_aiff_with_libsndfile(int32_t channels, int32_t bits, int32_t rate,
                                       const std::vector<int32_t>& samples,
                                       std::optional<Loop> loop = std::nullopt) {
    MemoryFile file;
    SF_VIRTUAL_IO io = memory_io();
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_AIFF | (bits == 8    ? SF_FORMAT_PCM_S8
                                    : bits == 24 ? SF_FORMAT_PCM_24
                                                 : SF_FORMAT_PCM_16);
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sf) return {};
    if (loop) {
        SF_INSTRUMENT inst = {};
        inst.basenote = 60;
        inst.velocity_hi = 127;
        inst.key_hi = 127;
        inst.loop_count = 1;
        inst.loops[0].mode = SF_LOOP_FORWARD;
        inst.loops[0].start = uint32_t(loop->start);
        inst.loops[0].end = uint32_t(loop->end);
        sf_command(sf, SFC_SET_INSTRUMENT, &inst, sizeof inst);
    }
    std::vector<int> wide;
    for (int32_t s : samples) wide.push_back(int(uint32_t(s) << (32 - bits)));
    sf_writef_int(sf, wide.data(), sf_count_t(samples.size() / size_t(channels)));
    sf_close(sf);
    return file.bytes;
}

struct SoundRead {
    bool ok = false;
    std::string error;
    SF_INFO info = {};
    std::vector<int> samples;  // 32-bit left-justified, as libsndfile gives them
    bool has_instrument = false;
    SF_INSTRUMENT instrument = {};
};

inline SoundRead read_with_libsndfile(const Bytes& bytes) {
    SoundRead r;
    MemoryFile file{bytes, 0};
    SF_VIRTUAL_IO io = memory_io();
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &r.info, &file);
    if (!sf) {
        r.error = sf_strerror(nullptr);
        return r;
    }
    r.samples.resize(size_t(r.info.frames * r.info.channels));
    sf_readf_int(sf, r.samples.data(), r.info.frames);
    r.has_instrument =
        sf_command(sf, SFC_GET_INSTRUMENT, &r.instrument, sizeof r.instrument) == SF_TRUE;
    sf_close(sf);
    r.ok = true;
    return r;
}

// The messages of a byte stream, each F0 .. F7.
inline std::vector<Bytes> split_messages(const uint8_t* p, size_t n) {
    std::vector<Bytes> out;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0xF0) continue;
        size_t j = i;
        while (j < n && p[j] != 0xF7) ++j;
        if (j == n) break;
        out.emplace_back(p + i, p + j + 1);
        i = j;
    }
    return out;
}

// The encoder's output for an item: what the send loop puts on the wire.
struct Dump {
    int32_t first_result = 0;
    int32_t length = 0;  // *length after the first call
    Bytes first;         // the first request
    std::vector<Bytes> packets;
    std::vector<int32_t> positions;  // position after each packet
};

inline Dump encode_item(const Bytes& file, const SdsItemParams& item, SdsEncoder& enc) {
    Dump d;
    int32_t pos = 0;
    d.length = int32_t(file.size());
    const uint8_t* msg = file.data();
    d.first_result = next_sds_message(enc, item, pos, &d.length, msg);
    if (d.first_result <= 0) return d;
    d.first.assign(msg, msg + d.first_result);
    while (pos < d.length) {
        int32_t n = next_sds_message(enc, item, pos, nullptr, msg);
        if (n <= 0) break;
        d.packets.emplace_back(msg, msg + n);
        d.positions.push_back(pos);
    }
    return d;
}

inline Dump encode_item(const Bytes& file, const SdsItemParams& item = {}) {
    SdsEncoder enc;
    return encode_item(file, item, enc);
}

// Every message of the dump through one converter: its output bytes and the
// result of the last message.
struct Received {
    Bytes bytes;
    std::vector<int> results;
};

inline Received receive_dump(const Dump& dump, int32_t format) {
    Received r;
    ReceiveState state;
    auto take = [&](const Bytes& m) {
        state.scratch_fill = 0;
        r.results.push_back(receive_sds_message(state, format, m.data(), m.size()));
        r.bytes.insert(r.bytes.end(), state.scratch_buffer,
                       state.scratch_buffer + state.scratch_fill);
    };
    for (const Bytes& m : split_messages(dump.first.data(), dump.first.size())) take(m);
    for (const Bytes& p : dump.packets) take(p);
    return r;
}

}  // namespace j3::testing
