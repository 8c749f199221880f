// j3 waveform FILE... [-o DIR] [--stereo mix|left|right]
//
// Builds one waveform message per looped audio file, numbering the slots from
// 0 over the files that qualify (as the window's waveform button numbers the
// selected items), and writes each as <base name>.syx into DIR (the current
// folder by default). Files that do not qualify are named on standard error
// with the reason. Exit status: 0 all built, 1 some file failed, 2 usage.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "filelist/file_entry.h"
#include "filelist/mapped_file.h"
#include "waveform/fft.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

constexpr const char* kUsage =
    "usage: j3 waveform FILE... [-o DIR] [--stereo mix|left|right]\n"
    "  Builds a single-cycle waveform message for the LY family from the loop of each\n"
    "  WAV, AIFF or AIFC file (the whole sample when it has no loop; 2 to 16384 frames)\n"
    "  and writes it as <base name>.syx into DIR (default: the current folder).\n"
    "  Slots are numbered from 0 over the files that qualify.\n"
    "  --stereo  how a stereo file becomes one channel: mix (default), left or right\n";

constexpr Option kOptions[] = {
    kHelpOption,
    {.name = "-o", .takes_value = true},
    {.name = "--stereo", .takes_value = true},
};

struct WaveformOptions {
    std::vector<std::string> files;
    std::filesystem::path out_dir = ".";
    int32_t stereo = 0;  // StereoChoice: 0 mix, 1 left, 2 right
};

// The line read into o; an ending when the verb ends here (--help, a usage
// error).
std::optional<VerbOutcome> parse_line(const std::vector<std::string>& args, WaveformOptions& o) {
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) return show_usage(kUsage);
        if (a.is("-o")) {
            o.out_dir = a.value;
        } else if (a.is("--stereo")) {
            if (!parse_choice(a.value, kStereoWords, o.stereo)) {
                tell_error("waveform",
                           "--stereo takes mix, left or right, not \"" + a.value + "\"");
                return VerbOutcome{VerbEnd::kUsageError, {}};
            }
        } else {
            o.files.push_back(a.text);
        }
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error("waveform", parsed.error, kUsage);
    if (o.files.empty()) return bare_usage_error(kUsage);
    return std::nullopt;
}

// One file's waveform message built and written, the slot counted when the
// file qualifies. False, with the reason told, when it is not written.
bool write_waveform(FftTables& fft, const std::string& file, const WaveformOptions& o,
                    int32_t& slot, std::set<std::filesystem::path>& written) {
    FileEntry entry;
    entry.file = file;
    entry.stereo = o.stereo;
    auto mapped = std::make_shared<MappedFile>();
    if (const Result read = map_file(file, *mapped); !read) {
        tell_error("waveform", file + ": could not be opened: " + read.message);
        return false;
    }
    entry.data = EntryBytes(std::move(mapped));
    WaveformBuild build = build_waveform_for_item(fft, entry.data.data(), entry.data.size(),
                                                  entry.file, entry.stereo, slot);
    if (!build.took_slot) {
        tell_error("waveform", file + ": skipped, " + build.reason);
        return false;
    }
    const int32_t this_slot = slot++;
    if (!build.ok) {
        tell_error("waveform", file + ": slot " + std::to_string(this_slot) + ": " + build.reason);
        return false;
    }
    const std::filesystem::path out = o.out_dir / build.name;
    // Two inputs with the same base name would silently lose the first result.
    if (!written.insert(out.lexically_normal()).second) {
        tell_error("waveform",
                   file + ": not written, " + out.string() + " was written for an earlier file");
        return false;
    }
    if (const Result w = write_whole_file(out, build.message.data(), build.message.size()); !w) {
        tell_error("waveform", file + ": " + w.message);
        return false;
    }
    // The message carries the slot AND 63, so a 65th file takes slot 0 again.
    std::printf("%s -> %s (slot %d, position %d)\n", file.c_str(), out.string().c_str(),
                int(this_slot & 63), int(this_slot & 63) + 1);
    return true;
}

}  // namespace

VerbOutcome waveform_command(const std::vector<std::string>& args) {
    WaveformOptions o;
    if (std::optional<VerbOutcome> ended = parse_line(args, o)) return *ended;
    std::error_code ec;
    std::filesystem::create_directories(o.out_dir, ec);
    if (!std::filesystem::is_directory(o.out_dir, ec)) {
        tell_error("waveform",
                   "\"" + o.out_dir.string() + "\" is not a folder that can be written to");
        return {VerbEnd::kUsageError, {}};
    }

    FftTables fft;
    if (fft_setup(fft, kWaveformMaxFrames, kFftAnySize) != FftStatus::kOk)
        return fail("waveform", "not enough memory for the transform tables");

    bool failed = false;
    int32_t slot = 0;
    std::set<std::filesystem::path> written;
    for (const std::string& file : o.files) {
        if (!write_waveform(fft, file, o, slot, written)) failed = true;
    }
    return {failed ? VerbEnd::kFailed : VerbEnd::kDone, {}};
}

}  // namespace j3
