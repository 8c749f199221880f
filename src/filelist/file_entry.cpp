#include "filelist/file_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "engine/context.h"

namespace j3 {
namespace {

void rebuild_list_view(Context& ctx) {
    ctx.window->list_remove_all();
    for (size_t i = 0; i < ctx.files.file_array.size(); ++i)
        ctx.window->list_add_item(uint32_t(i + 1));
}

}  // namespace

bool read_whole_file(const std::filesystem::path& path, std::vector<uint8_t>& data,
                     std::string& reason) {
    FILE* f = std::fopen(path.string().c_str(), "rb");
    if (!f) {
        reason = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> buffer;
    std::error_code ec;
    const uintmax_t expected = std::filesystem::file_size(path, ec);
    if (!ec && expected <= kMaxEntryBytes) buffer.reserve(size_t(expected));
    uint8_t chunk[65536];
    size_t n;
    bool too_large = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (buffer.size() + n > kMaxEntryBytes) {
            too_large = true;
            break;
        }
        buffer.insert(buffer.end(), chunk, chunk + n);
    }
    const int read_errno = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (too_large) {
        reason = "File too large (2 GB or more); J3 holds items below 2 GB";
        return false;
    }
    if (read_errno) {
        reason = std::strerror(read_errno);
        return false;
    }
    data = std::move(buffer);
    return true;
}

void set_entry_data(FileEntry& entry, std::vector<uint8_t> data) {
    entry.data = std::move(data);
    entry.type_tag.clear();
    entry.type_tag_valid = false;
}

AddFileResult add_file_entry(Context& ctx, const std::filesystem::path& path, FileEntry* existing) {
    AddFileResult result;
    const std::string shown = path.string();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        result.message = "\"" + shown + "\" is a folder, not a file.";
        return result;
    }
    std::vector<uint8_t> data;
    std::string reason;
    if (!read_whole_file(path, data, reason)) {
        result.message = "Could not open \"" + shown + "\": " + reason + ".";
        return result;
    }
    result.ok = true;

    if (existing) {
        std::lock_guard lock(ctx.files.mutex);
        set_entry_data(*existing, std::move(data));
        return result;
    }
    FileEntry entry;
    entry.file = path.string();
    entry.data = std::move(data);
    append_entry(ctx, std::move(entry));
    return result;
}

void append_entry(Context& ctx, FileEntry entry) {
    uint32_t id;
    {
        std::lock_guard lock(ctx.files.mutex);
        ctx.files.file_array.push_back(std::move(entry));
        id = uint32_t(ctx.files.file_array.size());
    }
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
    if (ctx.transfer.send_mode > kSendIdle) return;
    if (refresh_selection(ctx) == 0) return;
    {
        std::lock_guard lock(ctx.files.mutex);
        // From the highest position down, so the lower positions stay valid.
        for (auto it = ctx.files.selected_ids.rbegin(); it != ctx.files.selected_ids.rend(); ++it) {
            ctx.files.file_array.erase(ctx.files.file_array.begin() + (*it - 1));
        }
    }
    rebuild_list_view(ctx);
    refresh_selection(ctx);
}

void remove_all_entries(Context& ctx) {
    if (ctx.transfer.send_mode > kSendIdle) return;
    {
        std::lock_guard lock(ctx.files.mutex);
        ctx.files.file_array.clear();
    }
    ctx.window->list_remove_all();
    refresh_selection(ctx);
}

}  // namespace j3
