// `j3 info [--json] [--messages] FILE...`: for each file its type tag and the
// info text the window shows when the file is selected: audio, instrument
// SysEx or SDS dump. With --messages, the window's message table instead: one
// row per SysEx message (an audio file has none).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/device_family.h"
#include "analysis/item_info.h"
#include "analysis/message_index.h"
#include "audio/sample_info.h"
#include "cli/cli.h"
#include "cli/json_text.h"
#include "cli/options.h"
#include "filelist/mapped_file.h"

namespace j3 {
namespace {

// The device test of an audio file, whose samples are read a piece at a
// time rather than through the mapping: their pages pass through the file
// cache without becoming this program's memory, whatever the file's size.
// Only the header chunks are then read through the mapping. False when the
// file cannot be read so.
bool device_ids_in_pieces(const std::string& path, uint32_t& ids) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> piece(size_t(1) << 20);
    DeviceIdScan scan;
    while (in.read(piece.data(), std::streamsize(piece.size())) || in.gcount() > 0) {
        scan_device_ids(scan, reinterpret_cast<const uint8_t*>(piece.data()), size_t(in.gcount()));
        if (in.eof()) break;
    }
    if (in.bad()) return false;
    ids = scan.present;
    return true;
}

constexpr const char* kUsage =
    "usage: j3 info [--json] [--messages] FILE...\n"
    "  Tells what each file holds: its type and the text the window shows for it.\n"
    "  --messages  the SysEx messages each file is made of instead, one a line\n"
    "  --json      one JSON object a line: per file, or per message with --messages\n"
    "  --          ends the options, for a file whose name starts with '-'\n";

// "--" ends the options, for a file whose name starts with '-'.
constexpr Option kOptions[] = {
    {.name = "--help", .alias = "-h"}, {.name = "--json"}, {.name = "--messages"}};

// The message table of one file: a header and one row per message, or with
// json one object per message per line.
void print_messages(const std::string& path, const MappedFile& data, bool json,
                    bool blank_line_first) {
    const bool audio = is_audio_file(data.data, data.size);
    const std::vector<MessageSpan> spans =
        audio ? std::vector<MessageSpan>() : index_messages(data.data, data.size);
    if (!json) {
        std::printf("%s%s: %zu message%s\n", blank_line_first ? "\n" : "", path.c_str(),
                    spans.size(), spans.size() == 1 ? "" : "s");
        if (!spans.empty()) {
            std::printf("%10s %8s  %-9s %-6s %-20s %-8s %s\n", "offset", "length", "maker",
                        "family", "kind", "checksum", "maker name");
        }
    }
    for (const MessageSpan& m : spans) {
        const MessageFacts f = describe_message(data.data, data.size, m);
        const std::string check(check_word(f.check));
        const std::string name(f.maker_name);
        const std::string family(f.family);
        if (json) {
            std::printf(
                "{\"file\":%s,\"offset\":%u,\"length\":%u,\"maker\":%s,\"maker_name\":%s,"
                "\"family\":%s,\"kind\":%s,\"checksum\":%s}\n",
                json_string(path).c_str(), unsigned(m.offset), unsigned(m.length),
                json_string(f.maker).c_str(), json_string(name).c_str(),
                json_string(family).c_str(), json_string(f.kind).c_str(),
                json_string(check).c_str());
        } else {
            std::printf("%10u %8u  %-9s %-6s %-20s %-8s %s\n", unsigned(m.offset),
                        unsigned(m.length), f.maker.c_str(), family.c_str(), f.kind.c_str(),
                        check.c_str(), name.c_str());
        }
    }
}

}  // namespace

VerbOutcome info_command(const std::vector<std::string>& args) {
    bool json = false;
    bool messages = false;
    std::vector<std::string> files;
    const ParsedArgs parsed = parse_args(args, kOptions, DoubleDash::kEndsOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) return show_usage(kUsage);
        if (a.is("--json")) {
            json = true;
        } else if (a.is("--messages")) {
            messages = true;
        } else {
            files.push_back(a.text);
        }
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error("info", parsed.error, kUsage);
    if (files.empty()) return bare_usage_error(kUsage);

    // A file that cannot be read fails the verb; the others are told all the same.
    VerbEnd end = VerbEnd::kDone;
    bool shown_any = false;
    for (const std::string& path : files) {
        // Mapped, not read: an audio file's reader touches its header chunks
        // only, and a SysEx file's pages pass through the file cache.
        MappedFile data;
        if (const Result read = map_file(path, data); !read) {
            tell_error("info", "cannot read \"" + path + "\": " + read.message);
            end = VerbEnd::kFailed;
            continue;
        }
        if (messages) {
            print_messages(path, data, json, shown_any);
            shown_any = true;
            continue;
        }
        // The same words the window shows on selection. A PW item without
        // upgrade data leaves the window's text as it was; here there is no
        // earlier text, so it shows none.
        SampleInfo info;
        uint32_t device_ids = 0;
        const ItemInfo shown =
            is_audio_file(data.data, data.size) && device_ids_in_pieces(path, device_ids)
                ? item_info_for_buffer(data.data, data.size, info, device_ids)
                : item_info_for_buffer(data.data, data.size, info);
        const std::string type(type_tag_for_buffer(data.data, data.size));
        if (json) {
            std::printf("{\"file\":%s,\"type\":%s,\"info\":%s}\n", json_string(path).c_str(),
                        json_string(type).c_str(), json_string(shown.text).c_str());
        } else {
            // A blank line between files; the text itself may span lines.
            std::printf("%s%s: %s\n", shown_any ? "\n" : "", path.c_str(), type.c_str());
            if (!shown.text.empty()) std::printf("%s\n", shown.text.c_str());
        }
        shown_any = true;
    }
    return {end, {}};
}

}  // namespace j3
