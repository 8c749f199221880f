#include "engine/item_commands.h"

#include <filesystem>
#include <optional>

#include "analysis/inventory_text.h"
#include "analysis/item_info.h"
#include "audio/sample_info.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

int32_t cycle(int32_t value, int32_t step) {
    const int32_t v = value + step;
    return v > 2 ? 0 : v;
}

void disable_item_buttons(WindowControls& window) {
    window.enable_loop_button(false);
    window.enable_stereo_button(false);
    window.enable_waveform_button(false);
}

}  // namespace

int32_t set_loop_button(WindowControls& window, int32_t value, int32_t step) {
    const int32_t v = cycle(value, step);
    if (v >= 0 && v <= 2) window.show_loop_choice(LoopChoice(v));
    return v;
}

int32_t set_stereo_button(WindowControls& window, int32_t value, int32_t step) {
    const int32_t v = cycle(value, step);
    if (v >= 0 && v <= 2) window.show_stereo_choice(StereoChoice(v));
    return v;
}

void enable_item_button(WindowControls& window, ItemButton button, bool enabled) {
    switch (button) {
        case ItemButton::kLoop:
            window.enable_loop_button(enabled);
            break;
        case ItemButton::kStereo:
            window.enable_stereo_button(enabled);
            break;
        case ItemButton::kWaveform:
            window.enable_waveform_button(enabled);
            break;
    }
}

void show_item_info(Context& ctx, uint32_t item_id, int notification_kind) {
    if (notification_kind != kItemSelectedNotification) return;
    const std::optional<FileEntry> found = ctx.files.entry(item_id);
    if (!found) return;
    const FileEntry& entry = *found;
    WindowControls& window = *ctx.window;

    disable_item_buttons(window);
    set_loop_button(window, entry.loop, 0);
    set_stereo_button(window, entry.stereo, 0);

    // Its mapping no longer holds the file that was opened: nothing is shown
    // from it as if it did.
    if (entry.data.changed_on_disk()) {
        window.set_info_text("The file of " +
                             std::filesystem::path(entry.file).filename().string() +
                             " changed on disk while it was in the list.");
        return;
    }
    // The readers' record of this item is needed only while its text is made.
    SampleInfo sample_info;
    const ItemInfo info = item_info_for_buffer(entry.data.data(), entry.data.size(), sample_info);
    if (info.sets_text) window.set_info_text(info.text);
    if (info.enable.loop) enable_item_button(window, ItemButton::kLoop, true);
    if (info.enable.stereo) enable_item_button(window, ItemButton::kStereo, true);
    if (info.enable.waveform) enable_item_button(window, ItemButton::kWaveform, true);
}

int32_t build_waveform_items(Context& ctx) {
    // A running send (or its cancelled last request, still held by the
    // service) points into entry buffers.
    if (ctx.send.busy()) return 0;
    if (!ctx.fft.set_up) fft_setup(ctx.fft, kWaveformMaxFrames, kFftAnySize);

    refresh_selection(ctx);
    const std::vector<uint32_t> ids = ctx.files.selected_ids();
    int32_t slot = 0;
    int32_t built = 0;
    for (uint32_t id : ids) {
        const std::optional<FileEntry> entry = ctx.files.entry(id);
        if (!entry) continue;
        WaveformBuild build = build_waveform_for_item(
            ctx.fft, entry->data.data(), entry->data.size(), entry->file, entry->stereo, slot);
        if (!build.took_slot) continue;
        if (build.ok) {
            const EntryBytes made(std::move(build.message));
            ctx.files.with_entry(id, [&](FileEntry& e) {
                e.file = std::move(build.name);
                e.is_new = 1;
                // Made here and nowhere on disk: quitting asks before it is lost.
                e.unsaved = true;
                set_entry_data(e, made);  // the audio buffer goes
            });
            ctx.window->list_update();
            disable_item_buttons(*ctx.window);
            ctx.window->set_info_text(analyse_ly_sysex(made.data(), made.size()));
            ++built;
        }
        ++slot;
    }
    return built;
}

}  // namespace j3
