#include "engine/send_time_left.h"

#include <algorithm>

#include "audio/audio_info.h"
#include "engine/context.h"
#include "format/sds_messages.h"

namespace j3 {
namespace {

PlannedItem plan_item(const FileEntry& e) {
    PlannedItem item;
    const uint8_t* data = e.data.data();
    const size_t size = e.data.size();
    if (is_audio_file(data, size)) {
        SampleInfo info;
        audio_info_text(data, size, info);
        const int32_t bits = std::clamp(info.bits_per_sample, 1, 28);
        const int32_t per_packet = std::max(sds_geometry(bits).words_per_packet, 1);
        const int64_t packets = (int64_t(info.sample_length) + per_packet - 1) / per_packet;
        item.wire_bytes = int64_t(kSdsStandardHeaderSize) + packets * int64_t(kSdsPacketSize);
        item.size = info.sample_length;
        item.messages = int32_t(packets + 1);
        return item;
    }
    item.wire_bytes = int64_t(size);
    item.size = int32_t(std::min<size_t>(size, INT32_MAX));
    item.messages = int32_t(std::count(e.data.begin(), e.data.end(), uint8_t(0xF0)));
    return item;
}

// The share of the item in hand still to go, 0 to 1.
double share_left(const PlannedItem& item, const SendProgress& p) {
    if (item.size <= 0) return 0;
    return 1.0 - std::clamp(double(p.position) / double(item.size), 0.0, 1.0);
}

}  // namespace

SendPlan plan_send(Context& ctx, const std::vector<uint32_t>& ids) {
    SendPlan plan;
    ctx.files.with_entries([&](std::vector<FileEntry>& entries) {
        for (const uint32_t id : ids) {
            if (id == 0 || id > entries.size()) continue;
            plan.items.push_back(plan_item(entries[id - 1]));
        }
    });
    return plan;
}

int64_t bytes_sent(const SendPlan& plan, const SendProgress& p) {
    int64_t sent = 0;
    for (size_t i = 0; i < plan.items.size() && int32_t(i) + 1 < p.index; ++i)
        sent += plan.items[i].wire_bytes;
    if (p.index >= 1 && size_t(p.index) <= plan.items.size()) {
        const PlannedItem& item = plan.items[size_t(p.index) - 1];
        sent += int64_t(double(item.wire_bytes) * (1.0 - share_left(item, p)));
    }
    return sent;
}

TimeLeftInput send_time_left_input(Context& ctx, const SendPlan& plan, const SendProgress& p,
                                   double measured_bytes_per_second) {
    TimeLeftInput in;
    double messages_left = 0;
    for (size_t i = 0; i < plan.items.size(); ++i) {
        const PlannedItem& item = plan.items[i];
        if (int32_t(i) + 1 < p.index) continue;
        const double share = int32_t(i) + 1 == p.index ? share_left(item, p) : 1.0;
        in.bytes_left += int64_t(double(item.wire_bytes) * share);
        messages_left += double(item.messages) * share;
    }
    in.pause_ms = int64_t(messages_left * ctx.settings.send_delay * 1000 / kTicksPerSecond);
    in.bytes_per_second = ctx.midi->max_sysex_speed(ctx.endpoints.destination_endpoint);
    in.measured_bytes_per_second = measured_bytes_per_second;
    return in;
}

}  // namespace j3
