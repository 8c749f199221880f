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
    {.name = "--help", .alias = "-h"},
    {.name = "-o", .takes_value = true},
    {.name = "--stereo", .takes_value = true},
};

}  // namespace

int waveform_command(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::filesystem::path out_dir = ".";
    int32_t stereo = 0;  // StereoChoice: 0 mix, 1 left, 2 right
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a.is("-o")) {
            out_dir = a.value;
        } else if (a.is("--stereo")) {
            stereo = parse_choice(a.value, kStereoWords);
            if (stereo < 0) {
                std::fprintf(stderr, "j3 waveform: --stereo takes mix, left or right, not \"%s\"\n",
                             a.value.c_str());
                return 2;
            }
        } else {
            files.push_back(a.text);
        }
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error("waveform", parsed.error, kUsage);
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (!std::filesystem::is_directory(out_dir, ec)) {
        std::fprintf(stderr, "j3 waveform: \"%s\" is not a folder that can be written to\n",
                     out_dir.string().c_str());
        return 2;
    }

    FftTables fft;
    if (fft_setup(fft, kWaveformMaxFrames, kFftAnySize) != FftStatus::kOk) {
        std::fprintf(stderr, "j3 waveform: not enough memory for the transform tables\n");
        return 1;
    }

    bool failed = false;
    int32_t slot = 0;
    std::set<std::filesystem::path> written;
    for (const std::string& file : files) {
        FileEntry entry;
        entry.file = file;
        entry.stereo = stereo;
        auto mapped = std::make_shared<MappedFile>();
        if (const Result read = map_file(file, *mapped); !read) {
            std::fprintf(stderr, "j3 waveform: %s: could not be opened: %s\n", file.c_str(),
                         read.message.c_str());
            failed = true;
            continue;
        }
        entry.data = EntryBytes(std::move(mapped));
        WaveformBuild build = build_waveform_for_item(fft, entry.data.data(), entry.data.size(),
                                                      entry.file, entry.stereo, slot);
        if (!build.took_slot) {
            std::fprintf(stderr, "j3 waveform: %s: skipped, %s\n", file.c_str(),
                         build.reason.c_str());
            failed = true;
            continue;
        }
        const int32_t this_slot = slot++;
        if (!build.ok) {
            std::fprintf(stderr, "j3 waveform: %s: slot %d: %s\n", file.c_str(), int(this_slot),
                         build.reason.c_str());
            failed = true;
            continue;
        }
        const std::filesystem::path out = out_dir / build.name;
        // Two inputs with the same base name would silently lose the first result.
        if (!written.insert(out.lexically_normal()).second) {
            std::fprintf(stderr,
                         "j3 waveform: %s: not written, %s was written for an earlier file\n",
                         file.c_str(), out.string().c_str());
            failed = true;
            continue;
        }
        if (const Result w = write_whole_file(out, build.message.data(), build.message.size());
            !w) {
            std::fprintf(stderr, "j3 waveform: %s: %s\n", file.c_str(), w.message.c_str());
            failed = true;
            continue;
        }
        // The message carries the slot AND 63, so a 65th file takes slot 0 again.
        std::printf("%s -> %s (slot %d, position %d)\n", file.c_str(), out.string().c_str(),
                    int(this_slot & 63), int(this_slot & 63) + 1);
    }
    return failed ? 1 : 0;
}

}  // namespace j3
