// Fixture builders for WAV, AIFF and AIFC files made chunk by chunk, so a test
// states only the chunks (and the sizes) it is about.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "audio/sample_info.h"
#include "format/bytes.h"

namespace j3::fixtures {

using Bytes = std::vector<uint8_t>;

inline void put_le16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put_le32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void put_be16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void put_be32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (24 - 8 * i)));
}
inline void put_tag(Bytes& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}

struct Chunk {
    std::string id;
    Bytes body;
    std::optional<uint32_t> size;  // the size field, when it should lie
};

// A form of chunks: odd bodies get their pad byte; the form size is the true
// one unless given.
inline Bytes make_form(const char* container, const char* form, const std::vector<Chunk>& chunks,
                       bool big_endian, std::optional<uint32_t> form_size = {}) {
    Bytes out;
    put_tag(out, container);
    put_le32(out, 0);
    put_tag(out, form);
    for (const Chunk& c : chunks) {
        put_tag(out, c.id.c_str());
        const uint32_t size = c.size.value_or(uint32_t(c.body.size()));
        big_endian ? put_be32(out, size) : put_le32(out, size);
        out.insert(out.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) out.push_back(0);
    }
    const uint32_t size = form_size.value_or(uint32_t(out.size() - 8));
    big_endian ? write_be32(out.data() + 4, size) : write_le32(out.data() + 4, size);
    return out;
}

inline Bytes wav(const std::vector<Chunk>& chunks, std::optional<uint32_t> riff_size = {}) {
    return make_form("RIFF", "WAVE", chunks, false, riff_size);
}
inline Bytes aiff(const std::vector<Chunk>& chunks, std::optional<uint32_t> form_size = {}) {
    return make_form("FORM", "AIFF", chunks, true, form_size);
}
inline Bytes aifc(const std::vector<Chunk>& chunks, std::optional<uint32_t> form_size = {}) {
    return make_form("FORM", "AIFC", chunks, true, form_size);
}

// WAV chunks.
inline Chunk fmt(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes b;
    put_le16(b, format);
    put_le16(b, channels);
    put_le32(b, rate);
    const uint32_t block = channels * ((bits + 7) / 8u);
    put_le32(b, rate * block);
    put_le16(b, block);
    put_le16(b, bits);
    return {"fmt ", b};
}

struct SmplLoop {
    uint32_t type, start, end;
};
inline Chunk smpl(uint32_t period_ns, const std::vector<SmplLoop>& loops) {
    Bytes b;
    put_le32(b, 0);  // manufacturer
    put_le32(b, 0);  // product
    put_le32(b, period_ns);
    put_le32(b, 60);  // unity note
    put_le32(b, 0);   // pitch fraction
    put_le32(b, 0);   // SMPTE format
    put_le32(b, 0);   // SMPTE offset
    put_le32(b, uint32_t(loops.size()));
    put_le32(b, 0);  // sampler data
    for (const SmplLoop& l : loops) {
        put_le32(b, 0);  // cue point id
        put_le32(b, l.type);
        put_le32(b, l.start);
        put_le32(b, l.end);
        put_le32(b, 0);  // fraction
        put_le32(b, 0);  // play count
    }
    return {"smpl", b};
}

inline Chunk data(Bytes samples) {
    return {"data", std::move(samples)};
}
inline Chunk data_of_size(size_t bytes) {
    return {"data", Bytes(bytes, 0)};
}

// 80-bit extended of a whole positive rate.
inline Bytes extended(uint32_t rate) {
    Bytes b(10, 0);
    if (rate == 0) return b;
    int exponent = 31;
    while (!(rate & 0x80000000u)) {
        rate <<= 1;
        --exponent;
    }
    write_be16(b.data(), uint16_t(16383 + exponent));
    write_be32(b.data() + 2, rate);
    return b;
}

// AIFF chunks.
inline Chunk comm(uint16_t channels, uint32_t frames, uint16_t bits, const Bytes& rate,
                  const char* compression = nullptr) {
    Bytes b;
    put_be16(b, channels);
    put_be32(b, frames);
    put_be16(b, bits);
    b.insert(b.end(), rate.begin(), rate.end());
    if (compression) {
        put_tag(b, compression);
        b.push_back(0);  // empty compression name, padded
        b.push_back(0);
    }
    return {"COMM", b};
}
inline Chunk comm(uint16_t channels, uint32_t frames, uint16_t bits, uint32_t rate,
                  const char* compression = nullptr) {
    return comm(channels, frames, bits, extended(rate), compression);
}

inline Chunk ssnd(const Bytes& samples, uint32_t offset = 0) {
    Bytes b;
    put_be32(b, offset);
    put_be32(b, 0);  // block size
    b.insert(b.end(), samples.begin(), samples.end());
    return {"SSND", b};
}

inline Chunk inst(uint16_t sustain_mode, uint16_t begin_id, uint16_t end_id) {
    Bytes b = {60, 0, 0, 127, 0, 127};  // base note, detune, low/high note and velocity
    put_be16(b, 0);                     // gain
    put_be16(b, sustain_mode);
    put_be16(b, begin_id);
    put_be16(b, end_id);
    put_be16(b, 0);  // release loop: no looping
    put_be16(b, 0);
    put_be16(b, 0);
    return {"INST", b};
}

struct Marker {
    uint16_t id;
    uint32_t position;
    std::string name;
};
inline Chunk mark(const std::vector<Marker>& markers) {
    Bytes b;
    put_be16(b, uint16_t(markers.size()));
    for (const Marker& m : markers) {
        put_be16(b, m.id);
        put_be32(b, m.position);
        b.push_back(uint8_t(m.name.size()));
        b.insert(b.end(), m.name.begin(), m.name.end());
        if ((m.name.size() + 1) & 1) b.push_back(0);
    }
    return {"MARK", b};
}

// A canonical 16-bit stereo WAV of the given frames at 44100 Hz.
inline Bytes canonical_wav(size_t frames, uint16_t channels = 2, uint32_t rate = 44100,
                           uint16_t bits = 16) {
    return wav({fmt(1, channels, rate, bits), data_of_size(frames * channels * ((bits + 7) / 8))});
}

// What a walk found, for tables that check every field at once.
struct Found {
    int result, channels, rate, bits, bytes, length, period, present, type, start, end;
    bool operator==(const Found&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{result " << f.result << ", channels " << f.channels << ", rate " << f.rate
              << ", bits " << f.bits << ", bytes " << f.bytes << ", length " << f.length
              << ", period " << f.period << ", loop_present " << f.present << ", loop_type "
              << f.type << ", loop " << f.start << ".." << f.end << "}";
}
inline Found found(int result, const SampleInfo& i) {
    return {
        result,          i.channels,         i.sample_rate,  i.bits_per_sample, i.bytes_per_sample,
        i.sample_length, i.sample_period_ns, i.loop_present, i.loop_type,       i.loop_start,
        i.loop_end};
}

}  // namespace j3::fixtures
