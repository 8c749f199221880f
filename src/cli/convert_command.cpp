// j3 convert: an audio file to the SDS dump J3 would send for it, or stored
// SDS dumps to the items J3 would make of them when receiving.
//
//   j3 convert IN.wav|.aif|.aifc -o OUT.syx [--extended] [--send-filename]
//              [--sample-number N] [--loop file|on|off] [--stereo mix|left|right] [--device N]
//   j3 convert IN.syx [--format wav|aiff|syx] -o OUT
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/audio_info.h"
#include "audio/sds_encoder.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "filelist/file_entry.h"
#include "filelist/mapped_file.h"
#include "format/item_choices.h"
#include "format/item_names.h"
#include "format/sds_messages.h"
#include "receive/dump_assembler.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

constexpr std::string_view kVerb = "convert";

using Bytes = std::vector<uint8_t>;

constexpr const char* kUsage =
    "usage: j3 convert IN.wav|.aif|.aifc -o OUT.syx [--extended] [--send-filename]\n"
    "                  [--sample-number N] [--loop file|on|off] [--stereo mix|left|right]\n"
    "                  [--device N]\n"
    "       j3 convert IN.syx [--format wav|aiff|syx] -o OUT\n"
    "  An audio file becomes the SDS dump J3 would send for it; the sample dumps of a\n"
    "  SysEx file become the items J3 would make of them when receiving (OUT, OUT-2, ...).\n"
    "  -o OUT             the file to write (also --output OUT)\n"
    "  --format F         what dumps become: wav, aiff or syx (default: by OUT's extension)\n"
    "  --extended         extended dump header with the sample's name\n"
    "  --send-filename    four characters of the file name after the dump header\n"
    "  --sample-number N  the dump's sample number, 0 to 16383 (default 0)\n"
    "  --loop CHOICE      the sample's loop: as the file says, on or off (default file)\n"
    "  --stereo CHOICE    a stereo file's channel: mix, left or right (default mix)\n"
    "  --device N         SDS channel of the dump, 0 to 127 (default 0)\n";

// -h and --help are looked for before these.
constexpr Option kOptions[] = {
    {.name = "-o",
     .alias = "--output",
     .takes_value = true,
     .missing_value = "-o needs a file name"},
    {.name = "--format", .takes_value = true, .missing_value = "--format takes wav, aiff or syx"},
    {.name = "--extended"},
    {.name = "--send-filename"},
    {.name = "--sample-number",
     .takes_value = true,
     .missing_value = "--sample-number takes a number from 0 to 16383"},
    {.name = "--loop", .takes_value = true, .missing_value = "--loop takes file, on or off"},
    {.name = "--stereo", .takes_value = true, .missing_value = "--stereo takes mix, left or right"},
    {.name = "--device",
     .takes_value = true,
     .missing_value = "--device takes a number from 0 to 127"},
};

constexpr std::string_view kFormatWords[] = {"wav", "aiff", "syx"};
// By LoopChoice.
constexpr std::string_view kLoopWords[] = {"file", "on", "off"};

struct Options {
    std::string in, out;
    std::string format;  // wav, aiff, syx; empty = from OUT's extension
    bool extended = false;
    bool send_filename = false;
    int32_t sample_number = 0;
    int32_t device = 0;
    int32_t loop = kLoopFile;
    int32_t stereo = kStereoMix;
    std::vector<std::string> audio_only;  // audio options given (refused for dump input)
};

// Parses the arguments into o: false, with the words for the user, for a line
// that will not do.
Result parse_options(const std::vector<std::string>& args, Options& o) {
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.positional()) {
            if (!o.in.empty())
                return failure("one input file only (\"" + a.text + "\" is a second)");
            o.in = a.text;
            continue;
        }
        const std::string& v = a.value;
        if (a.is("-o")) {
            o.out = v;
            continue;
        }
        if (a.is("--format")) {
            if (int32_t word = 0; !parse_choice(v, kFormatWords, word))
                return failure("--format takes wav, aiff or syx");
            o.format = v;
            continue;
        }
        if (a.is("--extended")) {
            o.extended = true;
        } else if (a.is("--send-filename")) {
            o.send_filename = true;
        } else if (a.is("--sample-number")) {
            if (!parse_number(v, 0, 16383, o.sample_number))
                return failure("--sample-number takes a number from 0 to 16383");
        } else if (a.is("--device")) {
            if (!parse_number(v, 0, 127, o.device))
                return failure("--device takes a number from 0 to 127");
        } else if (a.is("--loop")) {
            if (!parse_choice(v, kLoopWords, o.loop))
                return failure("--loop takes file, on or off");
        } else if (a.is("--stereo")) {
            if (!parse_choice(v, kStereoWords, o.stereo))
                return failure("--stereo takes mix, left or right");
        }
        o.audio_only.push_back(a.text);
    }
    if (parsed.problem != ArgProblem::kNone) return failure(parsed.error);
    if (o.in.empty()) return failure("no input file");
    if (o.out.empty()) return failure("no output file (-o OUT)");
    return {};
}

// --- Audio to dump -------------------------------------------------------------

VerbOutcome audio_to_dump(const Options& o, const MappedFile& file) {
    const std::string base = sds_base_name(o.in);
    SdsItemParams item;
    item.channel = uint8_t(o.device);
    item.sample_number = o.sample_number;
    item.loop_choice = o.loop;
    item.stereo_choice = o.stereo;
    item.name_code = o.send_filename ? sds_name_code(base) : 0;
    item.name_text = o.extended ? &base : nullptr;

    auto enc = std::make_unique<SdsEncoder>();
    int32_t pos = 0;
    int32_t length = int32_t(file.size);
    const uint8_t* message = file.data;
    int32_t n = next_sds_message(*enc, item, pos, &length, message);
    if (n <= 0) {
        SampleInfo info;
        AudioInfoText why = audio_info_text(file.data, file.size, info);
        if (parse_audio_file(file.data, file.size, info) && info.sample_length <= 0)
            return fail(kVerb, "\"" + o.in + "\" holds no sample frames");
        return fail(kVerb, "cannot read the audio of \"" + o.in + "\": " + why.text);
    }
    if (const std::string note = sample_cut_note(*enc, "--extended"); !note.empty())
        std::fprintf(stderr, "j3 convert: note: %s\n", note.c_str());
    // Each message is written as it is made; none is kept.
    bool first = true;
    const Result written = write_file_in_pieces(o.out, [&]() -> std::span<const uint8_t> {
        if (!first) {
            if (pos >= length) return {};
            n = next_sds_message(*enc, item, pos, nullptr, message);
            if (n <= 0) return {};
        }
        first = false;
        return {message, size_t(n)};
    });
    if (!written) return fail(kVerb, written.message);
    return {VerbEnd::kDone, {}};
}

// --- Dumps to items ---------------------------------------------------------------

// OUT, then OUT with "-2", "-3", ... before its extension.
std::string numbered_name(const std::string& out, int number) {
    if (number == 1) return out;
    std::filesystem::path p(out);
    std::filesystem::path name = p.stem();
    name += "-" + std::to_string(number);
    name += p.extension();
    return (p.parent_path() / name).string();
}

std::string lower_extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int32_t format_for(const Options& o) {
    std::string f = o.format;
    if (f.empty()) {
        const std::string ext = lower_extension(o.out);
        if (ext == ".wav") f = "wav";
        if (ext == ".aif" || ext == ".aiff") f = "aiff";
        if (ext == ".syx") f = "syx";
    }
    if (f == "wav") return kSdsFormatWav;
    if (f == "aiff") return kSdsFormatAiff;
    if (f == "syx") return kSdsFormatSysex;
    return 0;
}

// Damaged places named one by one on standard error before they are counted.
constexpr int32_t kMaxReported = 20;

VerbOutcome dump_to_items(const Options& o, const MappedFile& file) {
    const int32_t format = format_for(o);
    if (format == 0)
        return fail(kVerb, "say which format to write with --format wav|aiff|syx (\"" + o.out +
                               "\" has no known extension)");
    DumpAssembler dumps;
    dumps.sds_format = format;
    assemble_bytes(dumps, file.data, file.size);
    finish_assembly(dumps, file.size);

    int32_t written = 0, damaged = 0;
    // A damaged input may hold millions of damaged places: the first few are
    // reported, the rest counted.
    int32_t reported = 0, unreported = 0;
    for (const DumpEvent& e : dumps.events) {
        if (e.kind != DumpEvent::kItemDone && reported++ >= kMaxReported) {
            ++unreported;
            if (e.kind != DumpEvent::kMessageUnended) ++damaged;
            continue;
        }
        switch (e.kind) {
            case DumpEvent::kItemDone:
                ++written;
                if (const Result w = write_whole_file(numbered_name(o.out, written), e.item.data(),
                                                      e.item.size());
                    !w)
                    return fail(kVerb, w.message);
                break;
            case DumpEvent::kItemIncomplete:
                ++damaged;
                std::fprintf(stderr,
                             "j3 convert: dump %d ends early (before byte %zu): %d of %d sample "
                             "words arrived; not written\n",
                             e.dump, e.at, e.samples_arrived, e.samples_announced);
                break;
            case DumpEvent::kMessageRejected:
                ++damaged;
                std::fprintf(stderr, "j3 convert: %s at byte %zu rejected (%s)\n",
                             e.header ? "dump header" : "data packet", e.at,
                             e.header      ? "no period or rate, bits outside 1 to 28, or too short"
                             : e.dump_open ? "unexpected packet number or wrong checksum"
                                           : "no dump header before it");
                break;
            case DumpEvent::kMessageUnended:
                std::fprintf(stderr, "j3 convert: message at byte %zu has no end (F7); skipped\n",
                             e.at);
                break;
        }
    }
    if (unreported > 0)
        std::fprintf(stderr, "j3 convert: ... and %d more damaged or unended messages\n",
                     unreported);
    if (dumps.not_sds > 0)
        std::fprintf(stderr,
                     "j3 convert: note: skipped %d SysEx message(s) that are not part of a sample "
                     "dump\n",
                     dumps.not_sds);
    if (written == 0) return fail(kVerb, "no complete sample dump in \"" + o.in + "\"");
    return {damaged > 0 ? VerbEnd::kFailed : VerbEnd::kDone, {}};
}

}  // namespace

VerbOutcome convert_command(const std::vector<std::string>& args) {
    // Help wins wherever it stands, even as the value of another option.
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") return show_usage(kUsage);
    }
    Options o;
    if (const Result parsed = parse_options(args, o); !parsed)
        return usage_error(kVerb, parsed.message, kUsage);
    // Mapped, not copied: the samples are read from the file cache as the
    // packets are made.
    MappedFile file;
    if (const Result read = map_file(o.in, file); !read)
        return fail(kVerb, "cannot read \"" + o.in + "\": " + read.message);
    if (is_audio_file(file.data, file.size)) {
        if (!o.format.empty() && o.format != "syx")
            return fail(kVerb, "audio input becomes an SDS dump: --format " + o.format +
                                   " applies to dump input only");
        if (const std::string ext = lower_extension(o.out);
            ext == ".wav" || ext == ".aif" || ext == ".aiff" || ext == ".aifc")
            return fail(kVerb,
                        "audio input becomes an SDS dump, not " + ext + ": name a .syx output");
        return audio_to_dump(o, file);
    }
    if (!o.audio_only.empty())
        return fail(kVerb, o.audio_only.front() + " applies to audio input only, and \"" + o.in +
                               "\" is no WAV, AIFF or AIFC file");
    return dump_to_items(o, file);
}

}  // namespace j3
