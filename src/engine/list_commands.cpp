#include "engine/list_commands.h"

#include "analysis/device_family.h"
#include "engine/context.h"
#include "filelist/list_file.h"

namespace j3 {
namespace {

void rebuild_list_view(Context& ctx) {
    ctx.window->list_remove_all();
    const size_t count = ctx.files.size();
    for (size_t i = 0; i < count; ++i) ctx.window->list_add_item(uint32_t(i + 1));
}

}  // namespace

Result add_file_entry(Context& ctx, const std::filesystem::path& path, FileEntry* existing) {
    EntryBytes data;
    Result read = map_item_file(path, data);
    if (!read) return read;
    if (existing) {
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
    // A running send keeps its own queue, so it is not disturbed by this.
    const uint32_t count = uint32_t(ctx.files.size());
    std::vector<uint32_t> selected;
    for (uint32_t id : ctx.window->list_selected_ids()) {
        if (id >= 1 && id <= count) selected.push_back(id);
    }
    const int32_t selected_count = int32_t(selected.size());
    ctx.files.set_selected_ids(std::move(selected));
    return selected_count;
}

void remove_selected_entries(Context& ctx) {
    if (list_in_use(ctx)) return;
    if (refresh_selection(ctx) == 0) return;
    erase_entries(ctx.files, ctx.files.selected_ids());
    rebuild_list_view(ctx);
    refresh_selection(ctx);
}

void remove_all_entries(Context& ctx) {
    if (list_in_use(ctx)) return;
    ctx.files.with_entries([](std::vector<FileEntry>& entries) { entries.clear(); });
    ctx.window->list_remove_all();
    refresh_selection(ctx);
}

bool list_in_use(const Context& ctx) {
    return ctx.send.busy();
}

namespace {

// An entry of a list file read from its file, with its choices in place
// before it is shown, so a selection shows its own Loop and Stereo titles.
Result read_list_entry(ListFileEntry& item, FileEntry& entry) {
    // Checked first: opening a pipe or a device would wait, not fail.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(item.path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        return failure("\"" + item.path + "\" is not a regular file.");
    }
    if (Result r = map_item_file(item.path, entry.data); !r) return r;
    entry.file = std::move(item.path);
    entry.loop = item.loop;
    entry.stereo = item.stereo;
    return {};
}

}  // namespace

ListLoad load_file_list(Context& ctx, const std::filesystem::path& list_file,
                        const ReplaceCheck& may_replace) {
    ListLoad load;
    ListFileRead read = read_file_list(list_file);
    if (read.status == ListFileStatus::kNotAList || read.status == ListFileStatus::kUnreadable) {
        load.problems.push_back(read.message);
        return load;
    }
    load.is_list = true;
    if (read.status != ListFileStatus::kRead) {
        load.problems.push_back(read.message);
        return load;
    }
    if (list_in_use(ctx)) {
        load.problems.push_back("The list cannot be replaced while a send is running.");
        return load;
    }
    if (may_replace && !unsaved_entry_ids(ctx.files).empty() && !may_replace()) return load;
    ctx.window->set_sample_number(read.contents.sample_number);
    remove_all_entries(ctx);
    for (ListFileEntry& item : read.contents.entries) {
        FileEntry entry;
        if (Result r = read_list_entry(item, entry); !r) {
            load.problems.push_back(r.message);
            continue;
        }
        append_entry(ctx, std::move(entry));
    }
    if (const int32_t n = read.contents.unusable; n > 0) {
        load.problems.push_back(std::to_string(n) + (n == 1 ? " entry" : " entries") + " of \"" +
                                list_file.string() + "\" could not be read and " +
                                (n == 1 ? "was" : "were") + " left out.");
    }
    load.loaded = true;
    return load;
}

Result append_file_list(Context& ctx, const std::filesystem::path& list_file) {
    ListFileRead read = read_file_list(list_file);
    if (read.status != ListFileStatus::kRead) return failure(read.message);
    std::vector<FileEntry> entries(read.contents.entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if (Result r = read_list_entry(read.contents.entries[i], entries[i]); !r) return r;
    }
    for (FileEntry& e : entries) append_entry(ctx, std::move(e));
    return {};
}

FilesTaken take_files(Context& ctx, const std::vector<std::filesystem::path>& paths, FilesFrom from,
                      const ReplaceCheck& may_replace) {
    FilesTaken taken;
    for (const std::filesystem::path& path : paths) {
        if (from == FilesFrom::kDrop) {
            std::error_code ec;
            if (std::filesystem::is_directory(path, ec)) continue;
        }
        // "name." has no extension either. Said, not skipped in silence: the
        // user would not know why the file is missing from the list.
        std::error_code ec;
        if (path.extension().string().size() < 2 && !std::filesystem::is_directory(path, ec)) {
            taken.problems.push_back("\"" + path.string() +
                                     "\" has no extension, which tells J3 what the file holds.");
            continue;
        }
        if (is_list_file_name(path)) {
            ListLoad load = load_file_list(ctx, path, may_replace);
            taken.problems.insert(taken.problems.end(), load.problems.begin(), load.problems.end());
            if (load.is_list && from == FilesFrom::kDrop) {
                taken.ended_at_list = true;
                break;
            }
            continue;
        }
        if (Result r = add_file_entry(ctx, path, nullptr); !r) taken.problems.push_back(r.message);
    }
    return taken;
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
