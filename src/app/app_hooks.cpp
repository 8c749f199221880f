#include "app/app_hooks.h"

#include "analysis/device_family.h"
#include "analysis/item_info.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/turbo.h"
#include "receive/midi_read.h"
#include "waveform/fft.h"
#include "waveform/waveform_builder.h"

namespace j3 {

std::string type_tag_text(Context&, FileEntry& entry) {
    return std::string(entry_type_tag(entry));
}

void show_selection_info(Context& ctx, uint32_t id) {
    show_item_info(ctx, id, kItemSelectedNotification);
}

ReadProc input_read_proc(Context& ctx) {
    return [&ctx](const MidiPacketList& packets) { midi_read(ctx, packets); };
}

void set_up_fft(Context& ctx) {
    fft_setup(ctx.fft, kWaveformMaxFrames, kFftAnySize);
}

void request_speed(Context& ctx, bool reset_first) {
    if (reset_first) set_speed(ctx, 1);
    send_speed_request(ctx);
}

void build_waveform(Context& ctx) {
    build_waveform_items(ctx);
}

bool receive_available() {
    return false;
}

void toggle_receive(Context&) {}

bool save_available() {
    return false;
}

void save_selected_items(Context&) {}

}  // namespace j3
