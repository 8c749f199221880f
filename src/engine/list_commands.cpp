#include "engine/list_commands.h"

#include <mutex>

#include "analysis/device_family.h"
#include "engine/context.h"

namespace j3 {
namespace {

void rebuild_list_view(Context& ctx) {
    ctx.window->list_remove_all();
    for (size_t i = 0; i < ctx.files.file_array.size(); ++i)
        ctx.window->list_add_item(uint32_t(i + 1));
}

}  // namespace

Result add_file_entry(Context& ctx, const std::filesystem::path& path, FileEntry* existing) {
    std::vector<uint8_t> data;
    Result read = read_item_file(path, data);
    if (!read) return read;
    if (existing) {
        std::lock_guard lock(ctx.files.mutex);
        set_entry_data(*existing, std::move(data));
        return read;
    }
    FileEntry entry;
    entry.file = path.string();
    entry.data = std::move(data);
    append_entry(ctx, std::move(entry));
    return read;
}

void append_entry(Context& ctx, FileEntry entry) {
    const uint32_t id = push_entry(ctx.files, std::move(entry));
    ctx.window->list_add_item(id);
    if (refresh_selection(ctx) == 0) {
        // Of several files added into a list with no selection, only the first is selected.
        ctx.window->list_select_item(id);
        ctx.window->list_reveal_item(id);
        refresh_selection(ctx);
    }
}

int32_t refresh_selection(Context& ctx) {
    // A running send keeps its own queue (TransferState::send_queue); its
    // position is reset only while idle.
    if (ctx.transfer.send_mode == kSendIdle) ctx.transfer.send_index = 0;
    const uint32_t count = uint32_t(ctx.files.file_array.size());
    ctx.files.selected_ids.clear();
    for (uint32_t id : ctx.window->list_selected_ids()) {
        if (id >= 1 && id <= count) ctx.files.selected_ids.push_back(id);
    }
    ctx.files.selected_count = int32_t(ctx.files.selected_ids.size());
    return ctx.files.selected_count;
}

void remove_selected_entries(Context& ctx) {
    if (send_in_progress(ctx.transfer)) return;
    if (refresh_selection(ctx) == 0) return;
    erase_entries(ctx.files, ctx.files.selected_ids);
    rebuild_list_view(ctx);
    refresh_selection(ctx);
}

void remove_all_entries(Context& ctx) {
    if (send_in_progress(ctx.transfer)) return;
    {
        std::lock_guard lock(ctx.files.mutex);
        ctx.files.file_array.clear();
    }
    ctx.window->list_remove_all();
    refresh_selection(ctx);
}

std::string_view entry_type_tag(FileEntry& entry) {
    if (!entry.type_tag_valid) {
        entry.type_tag = std::string(type_tag_for_buffer(entry.data.data(), entry.data.size()));
        entry.type_tag_valid = true;
    }
    return entry.type_tag;
}

std::string_view entry_type_tag(const FileEntry& entry) {
    if (entry.type_tag_valid) return entry.type_tag;
    return type_tag_for_buffer(entry.data.data(), entry.data.size());
}

}  // namespace j3
