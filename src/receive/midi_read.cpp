#include "receive/midi_read.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/context.h"
#include "engine/send_loop.h"
#include "format/sds_messages.h"
#include "format/sysex_split.h"
#include "receive/dump_writer.h"
#include "receive/received_entry.h"
#include "receive/reception.h"
#include "receive/reception_internals.h"
#include "receive/replies.h"
#include "receive/sds_receive.h"

namespace j3 {

namespace {

constexpr uint8_t kSpeedReportStart[] = {kSysexStart, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02};
constexpr uint8_t kSdsStart[] = {kSysexStart, 0x7E};
// The instrument's name message: F0 00 20 3C 02 00 73, a byte, four name
// characters, a byte, F7.
constexpr uint8_t kNameMessageStart[] = {kSysexStart, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73};
constexpr int32_t kNameMessageBytes = 13;
constexpr int32_t kRejectionsToStop = 3;
// The code the out-of-memory line has always carried (the classic memory
// manager's "memory full").
constexpr int kNoMemoryCode = -108;

bool starts_with(const uint8_t* data, int32_t size, const uint8_t* prefix, int32_t length) {
    if (size < length) return false;
    for (int32_t i = 0; i < length; ++i)
        if (data[i] != prefix[i]) return false;
    return true;
}

// A handshake reply while a sample dump goes out goes to the send, which
// counts it only then; CANCEL ends the send at once.
void take_handshake_reply(Context& ctx, const uint8_t* m) {
    switch (m[3]) {
        case 0x7F:
            take_instrument_reply(ctx, InstrumentReply::kAck, m[4]);
            break;
        case 0x7E:
            take_instrument_reply(ctx, InstrumentReply::kNak, m[4]);
            break;
        case 0x7C:
            take_instrument_reply(ctx, InstrumentReply::kWait);
            break;
        case 0x7D:
            take_instrument_reply(ctx, InstrumentReply::kCancel);
            break;
        default:
            break;
    }
}

// Replies are short: they are gathered in the scratch buffer, real-time bytes
// left out, and looked at once their F7 has arrived. A runaway message keeps
// overwriting the last byte, so the buffer never overflows.
void read_idle_packet(Context& ctx, ReceptionInternals& in, const MidiPacket& packet)
    J3_REQUIRES(in.mutex) {
    SdsConverter& r = in.sds;
    if (!packet.bytes.empty() && packet.bytes[0] == kSysexStart) r.scratch_fill = 0;
    for (const uint8_t byte : packet.bytes) {
        if (byte >= 0xF8) continue;
        if (r.scratch_fill < kScratchSize - 1)
            r.scratch_buffer[r.scratch_fill++] = byte;
        else
            r.scratch_buffer[kScratchSize - 2] = byte;
    }
    const uint8_t* m = r.scratch_buffer;
    const int32_t fill = r.scratch_fill;
    if (fill == 0 || m[fill - 1] != kSysexEnd) return;
    if (fill > 7 && starts_with(m, fill, kSpeedReportStart, int32_t(sizeof kSpeedReportStart)))
        take_instrument_reply(ctx, InstrumentReply::kSpeedReport, m[7]);
    if (fill > 5 && m[1] == 0x7E && m[2] == ctx.settings.device_number)
        take_handshake_reply(ctx, m);
    if (fill > 1) r.scratch_fill = 0;
}

// --- Receive mode ---------------------------------------------------------------

enum class Flow {
    kGoOn,      // next packet
    kNoMemory,  // a chunk or an entry could not be had: the reception ends
};

// Appends a chunk of the entry in progress, or of what is set aside beside
// a sound file's dump. False when the memory is not there, or the entry would
// grow beyond what an entry may hold.
bool append_chunk(ReceptionInternals& in, const uint8_t* data, int32_t size, bool aside = false)
    J3_REQUIRES(in.mutex) {
    std::atomic<int64_t>& total = aside ? in.aside_total : in.received_total;
    if (uint64_t(total) + uint64_t(size) > in.max_received_bytes) return false;
    try {
        (aside ? in.aside : in.chunks).emplace_back(data, data + size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    total += size;
    return true;
}

// The dump of the sound file being received, when items are kept as sound
// files; nullptr when they are kept as SysEx.
SdsDumpState* sound_dump(ReceptionInternals& in, int32_t format) J3_REQUIRES(in.mutex) {
    return dump_writer(format).sound_file ? &converter_dump(in.sds, format) : nullptr;
}

// Bytes that are no part of the dump cannot go into its sound file.
bool sets_aside(ReceptionInternals& in, int32_t format) J3_REQUIRES(in.mutex) {
    const SdsDumpState* dump = sound_dump(in, format);
    return dump && dump->open;
}

// Ends the entry in progress: a sound file whose dump is still open is cut to
// the frames it holds (and counted among the dumps cut short), and what was
// set aside beside it follows as a SysEx entry of its own. The names go to
// *name_out and *aside_name_out when given.
bool end_entry(Context& ctx, ReceptionInternals& in, std::string* name_out = nullptr,
               std::string* aside_name_out = nullptr) J3_REQUIRES(in.mutex) {
    SdsDumpState* dump = sound_dump(in, load_sds_format(ctx.settings));
    const bool cut = dump && dump->open && in.received_total > 0;
    std::string name;
    const bool made = make_received_entry(ctx, in, &name, cut ? dump : nullptr);
    if (cut) {
        if (made)
            in.partial_dumps.push_back(
                {name, dump->samples_counted, dump->length, in.entries_bytes});
        // Its later packets belong to no file any more.
        dump->open = false;
    }
    if (name_out) *name_out = name;
    if (!made) return false;
    if (in.aside_total == 0) return true;
    in.chunks.swap(in.aside);
    in.received_total = in.aside_total.exchange(0);
    const bool sds_active = in.sds_active;
    in.sds_active = false;
    const bool aside_made = make_received_entry(ctx, in, aside_name_out);
    in.sds_active = sds_active;
    return aside_made;
}

void finish_reception(Context& ctx, ReceptionInternals& in, ReceiveOutcome outcome)
    J3_REQUIRES(in.mutex) {
    in.receiving = false;
    outcome.received = in.entries_bytes;
    outcome.partial_dumps = std::move(in.partial_dumps);
    in.partial_dumps.clear();
    outcome.xrun = ctx.midi->xrun_count() != in.xruns_at_start;
    in.outcome = std::move(outcome);
    ctx.window->show_receiving(false);
    ctx.window->set_receive_status(receive_outcome_text(*in.outcome));
}

// What an allocation failure leaves: nothing held, every count back at its
// start, so the next Receive starts clean; the button tells that reception
// has stopped.
void end_without_memory(Context& ctx, ReceptionInternals& in) J3_REQUIRES(in.mutex) {
    if (in.diagnostics) {
        std::fprintf(in.diagnostics, "Panic, no memory!! New Pointer %d\n", kNoMemoryCode);
        std::fflush(in.diagnostics);
    }
    if (in.sds_active)
        send_reply(ctx, kCancelReply, in.sds.sds_channel, uint8_t(in.sds.current_packet));
    std::deque<std::vector<uint8_t>>().swap(in.chunks);
    std::deque<std::vector<uint8_t>>().swap(in.aside);
    in.received_total = 0;
    in.aside_total = 0;
    in.receive_fill = 0;
    in.in_sysex = false;
    in.sds_active = false;
    in.nak_count = 0;
    in.pending_name = 0;
    finish_reception(ctx, in, {ReceiveEnd::kOutOfMemory, {}, 0});
}

// Ends the reception: tells a sender in the middle of a dump that nobody
// listens any more, keeps what came as an entry, and reports the ending.
// A SysEx message still open is kept as far as it came, and named.
void stop_locked(Context& ctx, ReceptionInternals& in, ReceiveEnd end) J3_REQUIRES(in.mutex) {
    in.receiving = false;
    if (in.sds_active)
        send_reply(ctx, kCancelReply, in.sds.sds_channel, uint8_t(in.sds.current_packet));
    ReceiveOutcome outcome{end, {}, 0};
    bool partial_aside = false;
    if (in.in_sysex && in.open_message_bytes > 0) {
        // A sample dump message cut short cannot go into a sound file; as
        // SysEx it is kept like any other message.
        const int32_t format = load_sds_format(ctx.settings);
        if (!in.sds_message || !dump_writer(format).sound_file) {
            partial_aside = sets_aside(in, format);
            const bool kept = in.receive_fill == 0 ||
                              append_chunk(in, in.receive_buffer, in.receive_fill, partial_aside);
            outcome = {
                kept ? ReceiveEnd::kPartial : ReceiveEnd::kOutOfMemory, {}, in.open_message_bytes};
        }
        in.receive_fill = 0;
        in.in_sysex = false;
        in.sds_message = false;
    }
    std::string name, aside_name;
    // An entry that cannot be had drops what was held, so the next one
    // starts clean.
    if (!end_entry(ctx, in, &name, &aside_name)) outcome = {ReceiveEnd::kOutOfMemory, {}, 0};
    if (outcome.end == ReceiveEnd::kPartial) outcome.detail = partial_aside ? aside_name : name;
    // The dump is over: a later Stop has nothing to cancel.
    in.sds_active = false;
    in.nak_count = 0;
    finish_reception(ctx, in, std::move(outcome));
}

// What a request series and the time left follow: dumps begun, and the
// packets of the one in progress.
void count_dump_progress(ReceptionInternals& in, int32_t format, SdsReceiveResult result)
    J3_REQUIRES(in.mutex) {
    if (result == kSdsHeaderAccepted) {
        const SdsDumpState& d = converter_dump(in.sds, format);
        const int32_t per_packet = d.samples_per_packet;
        in.dump_packets_taken = 0;
        in.dump_packets = per_packet > 0 ? (d.length + per_packet - 1) / per_packet : 0;
        ++in.dumps_started;
    } else if (result == kSdsPacketAccepted || result == kSdsDumpComplete) {
        ++in.dump_packets_taken;
    }
}

// The sample dump's own messages that hold no samples: the handshake on the
// dump's channel and a sample's name.
bool belongs_to_dump(const uint8_t* m, int32_t size, uint8_t channel) {
    if (size == int32_t(kSdsHandshakeSize) && m[3] >= kSdsIdWait && m[3] <= kSdsIdAck)
        return m[2] == channel;
    return size > 5 && m[3] == kSdsIdExtended && m[4] == kSdsExtendedSampleName;
}

// A whole SDS message is in receive_buffer: convert it, answer it, keep what
// it produced.
Flow take_sds_message(Context& ctx, ReceptionInternals& in) J3_REQUIRES(in.mutex) {
    SdsConverter& r = in.sds;
    const uint8_t* m = in.receive_buffer;
    const int32_t size = in.receive_fill;
    const int32_t format = load_sds_format(ctx.settings);
    const bool one_item = format == kSdsFormatSysexOneItem;

    // 1. A new dump (the extended header opens one just as the standard one
    // does): what came before it is an entry of its own, named for what it
    // is: SysEx unless a dump message came before this header.
    if (is_sds_dump_header(m, size_t(size))) {
        if (in.received_total != 0 && !one_item) {
            in.sds_active = in.sds_active_before_message;
            const bool made = end_entry(ctx, in);
            in.sds_active = true;
            if (!made) return Flow::kNoMemory;
        }
        in.nak_count = 0;
        if (!one_item) in.pending_name = 0;
    }
    // 2. Convert.
    r.scratch_fill = 0;
    const SdsReceiveResult result = receive_sds_message(r, format, m, size_t(size));
    const int32_t produced = r.scratch_fill;
    count_dump_progress(in, format, result);
    // 3. Answer. Only dump messages are answered: a handshake message that
    // J3 itself sent, coming back through a loopback or a MIDI thru, gets no
    // reply, or J3 would answer its own ACK for ever.
    const bool ignore_handshake = ctx.settings.ignore_handshake;
    bool cancelled = false;
    if (result == kSdsRejected) {
        if (ignore_handshake || ++in.nak_count >= kRejectionsToStop) {
            cancelled = true;
        } else {
            send_reply(ctx, kNakReply, r.sds_channel, uint8_t(r.current_packet));
        }
    } else if (result != kSdsIgnored && !ignore_handshake) {
        in.nak_count = 0;
        send_reply(ctx, kAckReply, r.sds_channel, uint8_t(r.current_packet));
    }
    // 4. Keep the output. A universal message that is no part of a dump (an
    // identity reply, a dump request, another channel's packet) is kept as
    // SysEx, as any other message is; only the handshake of the dump's own
    // channel (J3's own replies coming back) and a sample's name, which a
    // sound file cannot hold, are the dump's.
    if (produced > 0 && !append_chunk(in, r.scratch_buffer, produced)) return Flow::kNoMemory;
    if (result == kSdsIgnored && produced == 0 && !belongs_to_dump(m, size, r.sds_channel)) {
        if (!append_chunk(in, m, size, sets_aside(in, format))) return Flow::kNoMemory;
        // Outside a dump it makes a SysEx entry, named as one.
        if (!converter_dump(r, format).open) in.sds_active = false;
    }
    if (cancelled) {
        in.receive_fill = 0;
        in.sds_message = false;
        in.in_sysex = false;
        stop_locked(ctx, in, ReceiveEnd::kCancelled);
        return Flow::kGoOn;
    }
    // 5. A finished dump is an entry.
    if (result == kSdsDumpComplete) {
        if (!end_entry(ctx, in)) return Flow::kNoMemory;
        in.nak_count = 0;
        in.sds_active = false;
        ++in.dumps_done;
    }
    return Flow::kGoOn;
}

// Ordinary SysEx passes through receive_buffer into chunks of 256 bytes.
Flow store_sysex(Context& ctx, ReceptionInternals& in, const uint8_t* bytes, int32_t count)
    J3_REQUIRES(in.mutex) {
    const int32_t format = load_sds_format(ctx.settings);
    const bool names_taken = format != kSdsFormatSysexOneItem;
    // Beside a sound file's dump, SysEx is set aside; the entry stays the dump's.
    const bool aside = sets_aside(in, format);
    for (int32_t at = 0; at < count;) {
        int32_t piece = count - at;
        if (in.receive_fill + piece >= kReceiveBufferSize) {
            piece = kReceiveBufferSize - in.receive_fill;
            if (in.diagnostics) std::fputs("Fit.\n", in.diagnostics);
        }
        std::memcpy(in.receive_buffer + in.receive_fill, bytes + at, size_t(piece));
        in.receive_fill += piece;
        at += piece;
        // A name message after a dump header names the entry and is not kept.
        if (in.sds_active && names_taken && in.receive_fill == kNameMessageBytes &&
            starts_with(in.receive_buffer, in.receive_fill, kNameMessageStart,
                        int32_t(sizeof kNameMessageStart))) {
            const uint8_t* b = in.receive_buffer;
            in.pending_name = uint32_t(b[8]) << 24 | uint32_t(b[9]) << 16 | uint32_t(b[10]) << 8 |
                              uint32_t(b[11]);
            in.receive_fill = 0;
            return Flow::kGoOn;
        }
        if (in.receive_fill == kReceiveBufferSize) {
            if (!aside) in.sds_active = false;
            if (!append_chunk(in, in.receive_buffer, kReceiveBufferSize, aside))
                return Flow::kNoMemory;
            in.receive_fill = 0;
        }
    }
    if (bytes[count - 1] == kSysexEnd) {
        if (!aside) in.sds_active = false;
        if (in.receive_fill > 0 && !append_chunk(in, in.receive_buffer, in.receive_fill, aside))
            return Flow::kNoMemory;
        in.receive_fill = 0;
    }
    return Flow::kGoOn;
}

void append_to_buffer(ReceptionInternals& in, const uint8_t* bytes, int32_t count)
    J3_REQUIRES(in.mutex) {
    std::memcpy(in.receive_buffer + in.receive_fill, bytes, size_t(count));
    in.receive_fill += count;
}

// One message, or the part of one, that a packet holds. Steps 3 to 8 of the
// walk.
Flow read_segment(Context& ctx, ReceptionInternals& in, const uint8_t* k, int32_t count)
    J3_REQUIRES(in.mutex) {
    // 3. Outside a message only its start counts.
    if (!in.in_sysex && k[0] != kSysexStart) return Flow::kGoOn;
    in.in_sysex = true;
    // 4. A start always begins the buffer again.
    const bool starts_message = k[0] == kSysexStart;
    if (starts_message) {
        in.receive_fill = 0;
        in.sds_message = false;
        in.open_message_bytes = 0;
    }
    in.open_message_bytes += count;
    // 5. An SDS message is gathered whole, while it fits. Its F0 may have
    // come alone, in the packet before.
    const bool sds_start = starts_with(k, count, kSdsStart, int32_t(sizeof kSdsStart)) ||
                           (!starts_message && !in.sds_message && in.receive_fill == 1 &&
                            in.receive_buffer[0] == kSysexStart && k[0] == kSdsStart[1]);
    bool stored = false;
    if (sds_start) {
        in.sds_active_before_message = in.sds_active;
        if (in.receive_fill + count <= kSdsMessageMax) {
            append_to_buffer(in, k, count);
            in.sds_message = true;
        }
        in.sds_active = true;
    } else if (in.sds_message) {
        // 6. Its later parts are added while it fits. A message too long to
        // be a sample dump message is kept as ordinary SysEx, from its F0.
        if (in.receive_fill + count <= kSdsMessageMax) {
            append_to_buffer(in, k, count);
        } else {
            uint8_t held[kSdsMessageMax];
            const int32_t held_count = in.receive_fill;
            std::memcpy(held, in.receive_buffer, size_t(held_count));
            in.receive_fill = 0;
            in.sds_message = false;
            if (store_sysex(ctx, in, held, held_count) == Flow::kNoMemory ||
                store_sysex(ctx, in, k, count) == Flow::kNoMemory)
                return Flow::kNoMemory;
            stored = true;
        }
    }
    if (in.sds_message) {
        if (in.receive_buffer[in.receive_fill - 1] != kSysexEnd) return Flow::kGoOn;
        in.sds_message = false;
        in.in_sysex = false;
        return take_sds_message(ctx, in);
    }
    // 7. Ordinary SysEx.
    if (!stored && store_sysex(ctx, in, k, count) == Flow::kNoMemory) return Flow::kNoMemory;
    // 8. The message ends here.
    if (k[count - 1] == kSysexEnd) in.in_sysex = false;
    return Flow::kGoOn;
}

Flow read_receive_packet(Context& ctx, ReceptionInternals& in, const MidiPacket& packet)
    J3_REQUIRES(in.mutex) {
    const std::vector<uint8_t>& raw = packet.bytes;
    // 1. The speed reply, whole in one packet.
    if (raw.size() > 8 && starts_with(raw.data(), int32_t(raw.size()), kSpeedReportStart,
                                      int32_t(sizeof kSpeedReportStart))) {
        take_instrument_reply(ctx, InstrumentReply::kSpeedReport, raw[7]);
        return Flow::kGoOn;
    }
    // 2. Timing clock and active sensing are no part of what is received.
    in.kept.clear();
    for (const uint8_t byte : raw)
        if (byte != 0xF8 && byte != 0xFE) in.kept.push_back(byte);
    // A packet may end one message and start the next (or hold several):
    // each message is taken on its own, so what is received never depends
    // on where the service cut the stream.
    const uint8_t* k = in.kept.data();
    const int32_t count = int32_t(in.kept.size());
    int32_t start = 0;
    for (int32_t i = 0; i < count; ++i) {
        const bool boundary = (k[i] == kSysexStart && i > start) || k[i] == kSysexEnd;
        if (!boundary) continue;
        const int32_t end = k[i] == kSysexEnd ? i + 1 : i;
        if (read_segment(ctx, in, k + start, end - start) == Flow::kNoMemory)
            return Flow::kNoMemory;
        start = end;
        if (!in.receiving) return Flow::kGoOn;
    }
    if (start < count) return read_segment(ctx, in, k + start, count - start);
    return Flow::kGoOn;
}

}  // namespace

void midi_read(Context& ctx, const MidiPacketList& packets) {
    ctx.reception->identity().feed(packets);
    ReceptionInternals& in = *ctx.reception->internals_;
    Lock lock(in.mutex);
    if (!in.receiving) {
        for (const MidiPacket& packet : packets) read_idle_packet(ctx, in, packet);
        return;
    }
    for (const MidiPacket& packet : packets) {
        if (read_receive_packet(ctx, in, packet) == Flow::kNoMemory) {
            end_without_memory(ctx, in);
            return;
        }
        // Three rejections in a row ended the reception: the rest of the
        // list belongs to no entry.
        if (!in.receiving) return;
    }
}

bool start_receiving(Context& ctx) {
    if (ctx.endpoints.source_count <= 0 || ctx.settings.selected_in == 0) return false;
    ReceptionInternals& in = *ctx.reception->internals_;
    Lock lock(in.mutex);
    if (in.receiving) return true;
    in.in_sysex = false;
    in.open_message_bytes = 0;
    in.chunks.clear();
    in.received_total = 0;
    in.dumps_started = 0;
    in.dumps_done = 0;
    in.dump_packets = 0;
    in.dump_packets_taken = 0;
    in.aside.clear();
    in.aside_total = 0;
    in.entries_bytes = 0;
    in.partial_dumps.clear();
    in.xruns_at_start = ctx.midi->xrun_count();
    in.outcome.reset();
    in.receiving = true;
    ctx.window->show_receiving(true);
    return true;
}

void stop_receiving(Context& ctx) {
    ReceptionInternals& in = *ctx.reception->internals_;
    Lock lock(in.mutex);
    if (!in.receiving) return;
    stop_locked(ctx, in, ReceiveEnd::kStopped);
}

bool toggle_receiving(Context& ctx) {
    if (ctx.reception->receiving()) {
        stop_receiving(ctx);
        return true;
    }
    return start_receiving(ctx);
}

ReadProc midi_read_proc(Context& ctx) {
    return [&ctx](const MidiPacketList& packets) { midi_read(ctx, packets); };
}

bool stop_receiving_if_source_gone(Context& ctx) {
    const Endpoint source = ctx.endpoints.source_endpoint;
    if (!ctx.reception->receiving() || source == kNoEndpoint || ctx.midi->source_present(source))
        return false;
    ReceptionInternals& in = *ctx.reception->internals_;
    Lock lock(in.mutex);
    if (!in.receiving) return false;
    stop_locked(ctx, in, ReceiveEnd::kSourceGone);
    return true;
}

}  // namespace j3
