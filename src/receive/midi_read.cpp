#include "receive/midi_read.h"

#include "engine/context.h"
#include "engine/sysex_send.h"
#include "engine/turbo.h"
#include "format/sysex_split.h"

namespace j3 {
namespace {

constexpr uint8_t kSpeedReportStart[] = {kSysexStart, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02};

bool starts_with(const uint8_t* data, int32_t size, const uint8_t* prefix, int32_t length) {
    if (size < length) return false;
    for (int32_t i = 0; i < length; ++i)
        if (data[i] != prefix[i]) return false;
    return true;
}

// A handshake reply while a sample dump goes out: the send polls the fields
// set here; CANCEL ends the send at once.
void take_handshake_reply(Context& ctx, const uint8_t* m) {
    TransferState& t = ctx.transfer;
    switch (m[3]) {
        case 0x7F:
            t.handshake_reply = kReplyAck;
            break;
        case 0x7E:
            t.nak_packet = m[4];
            t.handshake_reply = kReplyNak;
            break;
        case 0x7C:
            t.wait_received = 1;
            break;
        case 0x7D:
            cancel_sending(ctx, "the receiver cancelled the dump.");
            break;
        default:
            break;
    }
}

// Replies are short: they are gathered in the scratch buffer, real-time bytes
// left out, and looked at once their F7 has arrived. A runaway message keeps
// overwriting the last byte, so the buffer never overflows.
void read_idle_packet(Context& ctx, const MidiPacket& packet) {
    ReceiveState& r = ctx.receive;
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
        set_speed(ctx, m[7]);
    if (fill > 5 && m[1] == 0x7E && m[2] == ctx.settings.device_number &&
        ctx.transfer.send_mode == kSendSample)
        take_handshake_reply(ctx, m);
    if (fill > 1) r.scratch_fill = 0;
}

}  // namespace

void midi_read(Context& ctx, const MidiPacketList& packets) {
    for (const MidiPacket& packet : packets) read_idle_packet(ctx, packet);
}

}  // namespace j3
