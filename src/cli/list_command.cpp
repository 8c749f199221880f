// `j3 list [--json] LIST.j3`: what a list file holds, each entry with its
// Loop and Stereo choice and where its file is (or that it is missing).
// `j3 list -o OUT.j3 ... FILE...`: writes a list file of the files, as the
// window's save does, with the choices given for all of them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/json_text.h"
#include "cli/options.h"
#include "filelist/list_file.h"
#include "format/item_choices.h"

namespace j3 {
namespace {

constexpr std::string_view kVerb = "list";

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: j3 list [--json] LIST.j3\n"
    "       j3 list -o OUT.j3 [--sample-number N] [--loop file|on|off]\n"
    "                         [--stereo mix|left|right] FILE...\n"
    "  Shows a file list: the sample number, then each entry's Loop and Stereo\n"
    "  choice and its file (\"missing\" when it is not there). With -o, writes\n"
    "  a file list of the files; the entries of a list among them keep their own\n"
    "  choices.\n";

constexpr Option kOptions[] = {
    {.name = "--help", .alias = "-h"},
    {.name = "--json"},
    {.name = "-o", .alias = "--output", .takes_value = true},
    {.name = "--sample-number", .takes_value = true},
    {.name = "--loop", .takes_value = true},
    {.name = "--stereo", .takes_value = true},
};

// By LoopChoice.
constexpr std::string_view kListLoopWords[] = {"file", "on", "off"};
// The sample number an SDS dump header carries: 14 bits.
constexpr int32_t kMaxSampleNumber = 16383;

VerbOutcome show_list(const std::string& path, bool json) {
    const ListFileRead read = read_file_list(path);
    if (read.status != ListFileStatus::kRead) return fail(kVerb, read.message);
    const ListFileContents& list = read.contents;
    if (json) {
        std::printf("{\"sample_number\": %d, \"entries\": [", int(list.sample_number));
        for (size_t i = 0; i < list.entries.size(); ++i) {
            const ListFileEntry& e = list.entries[i];
            std::error_code ec;
            std::printf("%s{\"path\": %s, \"loop\": %d, \"stereo\": %d, \"exists\": %s}",
                        i > 0 ? ", " : "", json_string(e.path).c_str(), int(e.loop), int(e.stereo),
                        fs::is_regular_file(e.path, ec) ? "true" : "false");
        }
        std::printf("]}\n");
    } else {
        std::printf("Sample number: %d\n", int(list.sample_number));
        for (const ListFileEntry& e : list.entries) {
            std::error_code ec;
            std::printf("%s\t%s\t%s%s\n", loop_title(e.loop), stereo_title(e.stereo),
                        e.path.c_str(), fs::is_regular_file(e.path, ec) ? "" : "\tmissing");
        }
    }
    if (list.unusable > 0) {
        tell_error(kVerb, std::to_string(list.unusable) +
                              (list.unusable == 1 ? " entry of \"" : " entries of \"") + path +
                              "\" could not be read and " + (list.unusable == 1 ? "was" : "were") +
                              " left out");
    }
    return {VerbEnd::kDone, {}};
}

VerbOutcome write_list(const std::string& out, const std::vector<std::string>& files,
                       int32_t sample_number, int32_t loop, int32_t stereo) {
    std::vector<FileEntry> entries;
    for (const std::string& f : files) {
        if (is_list_file_name(f)) {
            const ListFileRead read = read_file_list(f);
            if (read.status != ListFileStatus::kRead) return fail(kVerb, read.message);
            for (const ListFileEntry& item : read.contents.entries) {
                FileEntry e;
                e.file = item.path;
                e.loop = item.loop;
                e.stereo = item.stereo;
                entries.push_back(std::move(e));
            }
            continue;
        }
        // As the window adds it: a readable regular file, by its full path.
        std::error_code ec;
        const fs::file_status status = fs::status(f, ec);
        if (!fs::exists(status))
            return fail(kVerb, "cannot read \"" + f + "\": No such file or directory");
        if (fs::is_directory(status)) return fail(kVerb, "\"" + f + "\" is a folder, not a file");
        if (!fs::is_regular_file(status)) return fail(kVerb, "\"" + f + "\" is not a regular file");
        FileEntry e;
        e.file = fs::absolute(f, ec).lexically_normal().string();
        e.loop = loop;
        e.stereo = stereo;
        entries.push_back(std::move(e));
    }
    if (const Result written = write_file_list(out, entries, sample_number); !written)
        return fail(kVerb, written.message);
    return {VerbEnd::kDone, {}};
}

}  // namespace

VerbOutcome list_command(const std::vector<std::string>& args) {
    bool json = false;
    std::string out;
    std::vector<std::string> files;
    std::vector<std::string> write_options;  // as typed, refused without -o
    int32_t sample_number = 0, loop = kLoopFile, stereo = kStereoMix;
    const ParsedArgs parsed = parse_args(args, kOptions, DoubleDash::kEndsOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) return show_usage(kUsage);
        if (a.positional()) {
            files.push_back(a.text);
        } else if (a.is("--json")) {
            json = true;
        } else if (a.is("-o")) {
            out = a.value;
        } else {
            write_options.push_back(a.text);
            if (a.is("--sample-number")) {
                if (!parse_number(a.value, 0, kMaxSampleNumber, sample_number))
                    return usage_error(kVerb, "--sample-number takes a number from 0 to 16383",
                                       kUsage);
            } else if (a.is("--loop")) {
                if (!parse_choice(a.value, kListLoopWords, loop))
                    return usage_error(kVerb, "--loop takes file, on or off", kUsage);
            } else if (a.is("--stereo")) {
                if (!parse_choice(a.value, kStereoWords, stereo))
                    return usage_error(kVerb, "--stereo takes mix, left or right", kUsage);
            }
        }
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error(kVerb, parsed.error, kUsage);
    if (out.empty()) {
        if (!write_options.empty())
            return usage_error(kVerb, write_options.front() + " is for writing a list (-o OUT.j3)",
                               kUsage);
        if (files.empty()) return usage_error(kVerb, "no list file", kUsage);
        if (files.size() > 1)
            return usage_error(kVerb, "one list file only (\"" + files[1] + "\" is a second)",
                               kUsage);
        return show_list(files.front(), json);
    }
    if (json) return usage_error(kVerb, "--json is for showing a list, not with -o", kUsage);
    if (files.empty()) return usage_error(kVerb, "no file to list", kUsage);
    return write_list(out, files, sample_number, loop, stereo);
}

}  // namespace j3
