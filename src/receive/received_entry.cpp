#include "receive/received_entry.h"

#include <new>

#include "engine/context.h"
#include "format/mac_roman.h"
#include "receive/dump_writer.h"
#include "receive/reception.h"
#include "receive/reception_internals.h"

namespace j3 {
namespace {

// The four characters of a name message as Mac Roman text. Instruments write
// Å, Ä and Ö where ASCII has [ \ ]; a NUL ends the name early.
std::string name_message_text(uint32_t pending_name) {
    std::string mac;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint8_t c = uint8_t((pending_name >> shift) & 0x7F);
        if (c == 0) break;
        if (c == 0x5B) c = 0x81;
        if (c == 0x5C) c = 0x80;
        if (c == 0x5D) c = 0x85;
        // A folder separator or a control character would make the name a
        // path, or one no file can have.
        if (c == '/' || c < 0x20 || c == 0x7F) c = '_';
        // A leading dot would make a hidden file (or "." and "..").
        if (c == '.' && mac.empty()) c = '_';
        mac.push_back(char(c));
    }
    return mac_roman_to_utf8(mac);
}

}  // namespace

std::string received_entry_name(bool sds_active, uint32_t pending_name, int32_t sds_format,
                                int32_t& counter) {
    const char* extension = dump_writer(sds_format).extension;
    if (sds_active && pending_name != 0) {
        // A name that starts with NUL would leave only the extension: a
        // hidden file. It gets a numbered name instead.
        if (std::string name = name_message_text(pending_name); !name.empty())
            return name + extension;
    }
    if (!sds_active) extension = ".syx";
    return "Received data " + std::to_string(counter++) + extension;
}

std::string requested_sample_name(int32_t number, int32_t sds_format) {
    return "Sample " + std::to_string(number) + dump_writer(sds_format).extension;
}

bool make_received_entry(Context& ctx, ReceptionInternals& in, std::string* name_out,
                         const SdsDumpState* cut_short) {
    if (in.received_total == 0) return true;
    FileEntry entry;
    std::vector<uint8_t> bytes;
    bool ok = true;
    try {
        bytes.reserve(size_t(in.received_total));
        for (const std::vector<uint8_t>& chunk : in.chunks)
            bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    in.chunks.clear();
    in.received_total = 0;
    const int32_t format = load_sds_format(ctx.settings);
    const DumpWriter& writer = dump_writer(format);
    if (ok && cut_short && writer.cut_short) {
        try {
            bytes = writer.cut_short(bytes, *cut_short);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) return false;
    entry.data = std::move(bytes);
    in.entries_bytes += int64_t(entry.data.size());

    const bool named = in.sds_active && in.pending_name != 0;
    // A dump a request series asked for, with no name of its own, is named
    // by the number asked for.
    const bool has_name = named && !name_message_text(in.pending_name).empty();
    if (in.sds_active && !has_name && in.requested_sample >= 0) {
        entry.file = requested_sample_name(in.requested_sample, format);
    } else {
        entry.file =
            received_entry_name(in.sds_active, in.pending_name, format, in.received_counter);
    }
    if (named) in.pending_name = 0;
    if (name_out) *name_out = entry.file;
    entry.is_new = 1;
    entry.unsaved = true;
    // The list and the view belong to the GUI thread.
    ctx.window->post_to_gui(
        [&ctx, entry = std::move(entry)]() mutable { add_received_entry(ctx, std::move(entry)); });
    return true;
}

void add_received_entry(Context& ctx, FileEntry entry) {
    const uint32_t id = push_entry(ctx.files, std::move(entry));
    ctx.window->list_add_item(id);
    ctx.window->list_reveal_item(id);
}

SaveOutcome save_selected_entries(Context& ctx, const SavePathChooser& choose) {
    SaveOutcome outcome;
    // A copy, and a position of its own: a running send owns send_index.
    const std::vector<uint32_t> ids = ctx.files.selected_ids();
    for (const uint32_t id : ids) {
        const std::optional<FileEntry> chosen = ctx.files.entry(id);
        if (!chosen) continue;
        const std::string& file = chosen->file;
        const size_t slash = file.rfind('/');
        const std::string proposed = slash == std::string::npos ? file : file.substr(slash + 1);
        const std::optional<std::filesystem::path> path = choose(proposed);
        if (!path) {
            outcome.cancelled = true;
            break;
        }
        // Entries may have been added while the dialog was open; ids stay.
        const std::optional<FileEntry> entry = ctx.files.entry(id);
        if (!entry) break;
        if (Result written = write_whole_file(*path, entry->data.data(), entry->data.size());
            !written) {
            outcome.result = std::move(written);
            break;
        }
        ctx.files.with_entry(id, [&](FileEntry& e) {
            e.file = path->string();
            e.unsaved = false;
        });
        ++outcome.saved;
        ctx.window->list_update();
    }
    return outcome;
}

int32_t unsaved_item_count(Context& ctx) {
    const int32_t count = int32_t(unsaved_entry_ids(ctx.files).size());
    const ReceiveProgress receiving = ctx.reception->progress();
    return count + (receiving.receiving && receiving.bytes > 0 ? 1 : 0);
}

}  // namespace j3
