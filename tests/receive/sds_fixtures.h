// Fixture builders for the SDS tests: the whole dump an item encodes to and
// the bytes the receiving converters make of it. The audio files come from
// fixtures/audio_files.h, libsndfile's reading from fixtures/libsndfile_oracle.h.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/sds_encoder.h"
#include "engine/settings.h"
#include "format/bytes.h"
#include "receive/sds_receive.h"

namespace j3::testing {

using Bytes = std::vector<uint8_t>;

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
    std::vector<SdsReceiveResult> results;
};

inline Received receive_dump(const Dump& dump, int32_t format) {
    Received r;
    SdsConverter state;
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
