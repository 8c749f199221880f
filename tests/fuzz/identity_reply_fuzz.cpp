// Fuzz target for the identity reply reader and the listener that gathers
// replies from packets. Checked beyond "no crash": a reply read is one the
// request's answer can carry (maker of 1 or 3 bytes, the first 00 exactly
// when 3, 14-bit family and member, 7-bit version bytes), and building its
// message again gives back the bytes read; the listener, fed the bytes in
// packets of any size, hears exactly the replies the reader finds whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "format/instrument_requests.h"
#include "receive/identify.h"

namespace {

using namespace j3;
using Bytes = std::vector<uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

Bytes rebuild(const IdentityReply& r) {
    Bytes m = {0xF0, 0x7E, r.device, 0x06, 0x02};
    for (size_t i = 0; i < r.maker_size; ++i) m.push_back(r.maker[i]);
    m.push_back(uint8_t(r.family & 0x7F));
    m.push_back(uint8_t(r.family >> 7));
    m.push_back(uint8_t(r.member & 0x7F));
    m.push_back(uint8_t(r.member >> 7));
    for (const uint8_t v : r.version) m.push_back(v);
    m.push_back(0xF7);
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const auto r = read_identity_reply(data, size)) {
        check(r->maker_size == 1 || r->maker_size == 3);
        check((r->maker[0] == 0) == (r->maker_size == 3));
        check(r->family < 0x4000 && r->member < 0x4000 && r->device < 0x80);
        for (const uint8_t v : r->version) check(v < 0x80);
        check(rebuild(*r) == Bytes(data, data + size));
    }
    if (size == 0) return 0;
    // The listener: the first byte sizes the packets.
    const size_t piece = size_t(data[0] % 16) + 1;
    IdentityListener listener;
    listener.start();
    MidiPacketList packets;
    for (size_t at = 1; at < size; at += piece)
        packets.push_back({0, Bytes(data + at, data + std::min(size, at + piece))});
    listener.feed(packets);
    const std::vector<IdentityReply> heard = listener.stop();
    for (const IdentityReply& r : heard)
        check(read_identity_reply(rebuild(r).data(), rebuild(r).size()) == r);
    return 0;
}
