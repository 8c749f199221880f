// Fuzz target for the input routine in receive mode. Built as a libFuzzer
// program with clang, and run over its seed corpus and mutations of it
// everywhere (corpus_run.cpp).
//
// Input: a flags byte (bits 0-1: "SDS format" - 1; bit 2: answer the
// handshake; bit 3: pass-through mode), a packet size byte (0: one packet),
// then the bytes. Raw mode feeds the bytes as they are; pass-through mode
// builds a stream of well-formed ordinary SysEx messages with real-time bytes
// inside from them. Checked beyond "no crash":
// - the received chunks (and those set aside beside a sound file's dump)
//   always add up to the bytes the reception holds, and
//   Stop leaves nothing held;
// - no entry is empty, and no entry name holds a folder separator;
// - pass-through: what is received is the stream without its clock and
//   active-sensing bytes, byte for byte, whether it comes in packets of the
//   given size, one byte at a time or all at once.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/context.h"
#include "fakes/null_window.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace {

using namespace j3;
using Bytes = std::vector<uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

// Takes every request and completes it at once, on the caller's thread.
class NullMidi : public MidiService {
  public:
    bool create_client(const std::string&, const std::string&, const std::string&,
                       ReadProc) override {
        return true;
    }
    int source_count() override { return 1; }
    int destination_count() override { return 1; }
    Endpoint source(int) override { return 1; }
    Endpoint destination(int) override { return 2; }
    EndpointInfo endpoint_info(Endpoint) override { return {}; }
    bool connect_source(Endpoint) override { return true; }
    bool disconnect_source(Endpoint) override { return true; }
    Endpoint create_virtual_destination(const std::string&) override { return 3; }
    int max_sysex_speed(Endpoint) override { return 3125; }
    void set_max_sysex_speed(Endpoint, int) override {}
    SendResult send_sysex(SysexRequest* request) override {
        check(request->bytes_to_send == 6 && request->data[0] == 0xF0 && request->data[5] == 0xF7);
        request->complete = true;
        request->completion_proc(request);
        return kSendTaken;
    }
};

struct Receiver {
    explicit Receiver(uint8_t flags) {
        window.run_posted = true;  // the caller stands in for the GUI thread
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.midi = &midi;
        ctx.endpoints.source_count = 1;
        ctx.settings.selected_in = 1;
        ctx.endpoints.destination_endpoint = 2;
        ctx.settings.sds_format = (flags & 3) + 1;
        ctx.settings.ignore_handshake = !(flags & 4);
        reception.set_diagnostics(nullptr);
        reception.set_max_entry_bytes(1 << 20);
        check(start_receiving(ctx));
    }
    void feed(const Bytes& bytes, size_t chunk) {
        if (chunk == 0 || chunk > bytes.size()) chunk = bytes.size();
        // Several packet lists, each of a few packets.
        for (size_t at = 0; at < bytes.size();) {
            MidiPacketList list;
            for (int k = 0; k < 3 && at < bytes.size(); ++k, at += chunk) {
                const size_t end = std::min(bytes.size(), at + chunk);
                list.push_back({0, Bytes(bytes.begin() + long(at), bytes.begin() + long(end))});
            }
            midi_read(ctx, list);
            check_held();
        }
    }
    void check_held() {
        // What is set aside beside a sound file's dump counts as held too.
        check(reception.held_bytes() == reception.progress().bytes);
    }
    Bytes stop() {
        stop_receiving(ctx);
        check(reception.progress().bytes == 0 && reception.held_bytes() == 0);
        Bytes all;
        for (const FileEntry& e : ctx.files.entries()) {
            check(!e.data.empty());
            check(!e.file.empty() && e.file.find('/') == std::string::npos);
            all.insert(all.end(), e.data.begin(), e.data.end());
        }
        return all;
    }

    testing::NullWindow window;
    NullMidi midi;
    Reception reception;
    Context ctx;
};

// Well-formed ordinary messages from the fuzzer's bytes: a length, then the
// data bytes; bytes of 80 and up become clock, active sensing or start.
Bytes pass_through_stream(const uint8_t* data, size_t size) {
    Bytes stream;
    for (size_t at = 0; at < size;) {
        const size_t length = size_t(data[at++] % 64);
        stream.push_back(0xF0);
        for (size_t i = 0; i < length && at < size; ++i, ++at) {
            uint8_t b = data[at];
            if (i == 0) {
                // The first byte is plain data and starts no dump or speed message.
                b &= 0x7F;
                if (b == 0x7E || b == 0x00) b = 0x01;
            } else if (b >= 0x80) {
                b = b < 0xC0 ? 0xF8 : b < 0xE0 ? 0xFE : 0xFA;
            }
            stream.push_back(b);
        }
        stream.push_back(0xF7);
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    const size_t chunk = data[1];
    data += 2;
    size -= 2;
    if (!(flags & 8)) {
        Receiver r(flags);
        r.feed(Bytes(data, data + size), chunk);
        r.stop();
        return 0;
    }
    const Bytes stream = pass_through_stream(data, size);
    Bytes want;
    for (uint8_t b : stream)
        if (b != 0xF8 && b != 0xFE) want.push_back(b);
    for (const size_t c : {chunk, size_t(1), size_t(0)}) {
        Receiver r(flags);
        r.feed(stream, c);
        check(r.stop() == want);
    }
    return 0;
}
