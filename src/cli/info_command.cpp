// `j3 info [--json] FILE...`: for each file its type tag and the info text the
// window shows when the file is selected: audio, instrument SysEx or SDS dump.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/device_family.h"
#include "analysis/item_info.h"
#include "audio/sample_info.h"
#include "cli/cli.h"
#include "cli/json_text.h"
#include "cli/options.h"
#include "filelist/file_entry.h"

namespace j3 {
namespace {

constexpr const char* kUsage = "usage: j3 info [--json] FILE...\n";

// The only option; "--" ends the options, for a file whose name starts with '-'.
constexpr Option kOptions[] = {{.name = "--json"}};

}  // namespace

int info_command(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    const ParsedArgs parsed = parse_args(args, kOptions, DoubleDash::kEndsOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--json")) {
            json = true;
        } else {
            files.push_back(a.text);
        }
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error("info", parsed.error, kUsage);
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    int status = 0;
    bool shown_any = false;
    std::vector<uint8_t> data;
    for (const std::string& path : files) {
        if (const Result read = read_whole_file(path, data); !read) {
            std::fflush(stdout);  // keep the order of the two streams on a terminal
            std::fprintf(stderr, "j3 info: cannot read \"%s\": %s\n", path.c_str(),
                         read.message.c_str());
            status = 1;
            continue;
        }
        // The same words the window shows on selection. A PW item without
        // upgrade data leaves the window's text as it was; here there is no
        // earlier text, so it shows none.
        SampleInfo info;
        const ItemInfo shown = item_info_for_buffer(data.data(), data.size(), info);
        const std::string type(type_tag_for_buffer(data.data(), data.size()));
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
    return status;
}

}  // namespace j3
