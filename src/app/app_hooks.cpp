#include "app/app_hooks.h"

#include "engine/context.h"
#include "engine/item_buttons.h"

namespace j3 {

std::string type_tag_text(Context&, FileEntry&) {
    return "-";
}

void show_selection_info(Context& ctx, uint32_t id) {
    if (id < 1 || id > ctx.files.file_array.size()) return;
    const FileEntry& e = ctx.files.file_array[id - 1];
    set_loop_button(ctx, e.loop, 0);
    set_stereo_button(ctx, e.stereo, 0);
    ctx.window->set_info_text("");
}

ReadProc input_read_proc(Context&) {
    return [](const MidiPacketList&) {};
}

void set_up_fft(Context&) {}

void request_speed(Context&, bool) {}

void build_waveform(Context&) {}

bool receive_available() {
    return false;
}

void toggle_receive(Context&) {}

bool save_available() {
    return false;
}

void save_selected_items(Context&) {}

}  // namespace j3
