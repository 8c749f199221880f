// `j3 send FILE... --to DEST [options]`: loads the files as list entries and
// runs the window's send loop to one destination, SysEx and sample items
// alike, printing the status line as the window shows it.
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include <unistd.h>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/interrupt.h"
#include "cli/midi_session.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "engine/send_loop.h"
#include "engine/send_time_left.h"
#include "filelist/list_file.h"
#include "format/sysex_speed.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3 {
namespace {

constexpr const char* kUsage =
    "usage: j3 send FILE... --to DEST [--from SRC] [--handshake] [--device N] [--extended]\n"
    "               [--send-filename] [--sample-number N] [--loop file|on|off]\n"
    "               [--stereo mix|left|right] [--delay TICKS] [--speed INDEX]\n"
    "  --to DEST          destination by position (see j3 ports) or a unique part of its name\n"
    "  --from SRC         source the sample receiver's replies come from (same forms)\n"
    "  --handshake        follow the ACK/NAK/WAIT replies heard from SRC (default: ignore them)\n"
    "  --device N         SDS channel of the dumps and of the replies heard, 0 to 127 (default 0)\n"
    "  --extended         extended dump header with the sample's name\n"
    "  --send-filename    four characters of the file name after each dump header\n"
    "  --sample-number N  number of the first sample, 0 to 16383 (default 0)\n"
    "  --loop CHOICE      every sample's loop: as the file says, on or off (default file)\n"
    "  --stereo CHOICE    every stereo sample's channel: mix, left or right (default mix)\n"
    "  --delay TICKS      pause before each message but the first, in 1/60 s (default 0)\n"
    "  --speed INDEX      the destination's speed index, 1 (3125 bytes/s) to 11 (62500 bytes/s)\n";

// The window's status timer runs this often.
constexpr auto kStatusPeriod = std::chrono::milliseconds(100);

constexpr Option kOptions[] = {
    kHelpOption,
    kToOption,
    kFromOption,
    {.name = "--handshake"},
    kDeviceOption,
    {.name = "--extended"},
    {.name = "--send-filename"},
    {.name = "--sample-number", .takes_value = true},
    {.name = "--loop", .takes_value = true},
    {.name = "--stereo", .takes_value = true},
    {.name = "--delay", .takes_value = true},
    {.name = "--speed", .takes_value = true},
};

// By LoopChoice.
constexpr std::string_view kLoopWords[] = {"file", "on", "off"};

// Numbers on the send line (--delay) have always been nine digits at most; a
// longer one is no number here.
constexpr int32_t kMaxNumber = 999999999;

// What the line asks for.
struct SendOptions {
    std::vector<std::string> files;
    MidiArgs midi;
    bool handshake = false;
    bool extended = false;
    bool send_filename = false;
    int32_t sample_number = 0;
    int32_t loop = -1;    // LoopChoice for every item; -1 keeps each item's own
    int32_t stereo = -1;  // StereoChoice for every item; -1 keeps each item's own
    int32_t delay = 0;
    int32_t speed = -1;  // speed index; -1 leaves the destination's pacing alone
};

VerbOutcome usage_error(const std::string& message) {
    return j3::usage_error("send", message, kUsage);
}

// Checks one of the send's own options into o: false, with the words for
// the user, for a value it does not take.
Result take_option(const ParsedArg& a, SendOptions& o) {
    const std::string& v = a.value;
    if (a.is("--handshake")) {
        o.handshake = true;
    } else if (a.is("--extended")) {
        o.extended = true;
    } else if (a.is("--send-filename")) {
        o.send_filename = true;
    } else if (a.is("--sample-number")) {
        if (!parse_number(v, 0, 16383, o.sample_number))
            return failure("--sample-number takes a number from 0 to 16383");
    } else if (a.is("--loop")) {
        if (!parse_choice(v, kLoopWords, o.loop)) return failure("--loop takes file, on or off");
    } else if (a.is("--stereo")) {
        if (!parse_choice(v, kStereoWords, o.stereo))
            return failure("--stereo takes mix, left or right");
    } else if (a.is("--delay")) {
        if (!parse_number(v, 0, kMaxNumber, o.delay))
            return failure("--delay takes a number of ticks, 0 or more");
    } else if (a.is("--speed")) {
        if (!parse_number(v, 1, kSpeedIndexMax, o.speed))
            return failure("--speed takes a speed index from 1 to 11");
    }
    return {};
}

// The line read into o; an ending when the verb ends here (--help, a usage
// error).
std::optional<VerbOutcome> parse_line(const std::vector<std::string>& args, SendOptions& o) {
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        const MidiArg midi_arg = take_midi_arg(a, o.midi);
        if (midi_arg == MidiArg::kTaken) continue;
        if (midi_arg != MidiArg::kOther)
            return midi_arg_ending(midi_arg, "send", kUsage,
                                   "--device takes a number from 0 to 127");
        if (a.positional()) {
            o.files.push_back(a.text);
        } else if (const Result taken = take_option(a, o); !taken) {
            return usage_error(taken.message);
        }
    }
    // Scripts match this one unquoted, as it has always been.
    if (parsed.problem == ArgProblem::kUnknownOption)
        return usage_error("unknown option " + parsed.refused);
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (o.files.empty()) return usage_error("no file to send");
    if (o.midi.to.empty()) return usage_error("--to DEST is required");
    return std::nullopt;
}

// The files listed, and the window's controls set as the options say.
Result prepare(Context& ctx, ConsoleWindow& window, const SendOptions& o) {
    for (const std::string& f : o.files) {
        // A list's entries are sent with their own Loop and Stereo choices.
        const Result added =
            is_list_file_name(f) ? append_file_list(ctx, f) : add_file_entry(ctx, f, nullptr);
        if (!added) return added;
    }
    // The Loop and Stereo buttons, pressed for every item.
    ctx.files.with_entries([&](std::vector<FileEntry>& entries) {
        for (FileEntry& e : entries) {
            if (o.loop >= 0) e.loop = o.loop;
            if (o.stereo >= 0) e.stereo = o.stereo;
        }
    });
    if (o.speed >= 0) {
        ctx.midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint,
                                      max_sysex_speed_for_index(o.speed));
    }
    ctx.settings.send_delay = o.delay;
    ctx.settings.ignore_handshake = !o.handshake;
    ctx.settings.device_number = uint8_t(o.midi.device);
    ctx.settings.extended_sds = o.extended;
    ctx.settings.send_filename = o.send_filename;
    window.set_sample_number(o.sample_number);
    window.select_all();
    refresh_selection(ctx);
    return {};
}

// The window's status timer while the send goes on: the progress line, with
// the time left on a terminal. Ctrl-C stops the send; true then.
bool follow_send(Context& ctx, ConsoleWindow& window, const CtrlC& ctrl_c) {
    const bool terminal = isatty(fileno(stdout)) != 0;
    const SendPlan plan = plan_send(ctx, ctx.files.selected_ids());
    RateMeter meter;
    bool stopped = false;
    for (;;) {
        const SendProgress progress = ctx.send.progress();
        if (!progress.sending) break;
        if (ctrl_c.pressed() && !stopped) {
            // Whatever the send loop would say now, an interrupted send is
            // never reported as done.
            window.mute_status();
            stop_sending(ctx);
            stopped = true;
            continue;
        }
        std::string line = send_progress_text(progress);
        if (terminal) {
            meter.add(steady_ms(), bytes_sent(plan, progress));
            const std::string left =
                time_left_text(send_time_left_input(ctx, plan, progress, meter.rate()));
            if (!left.empty()) line += " " + left;
        }
        window.set_send_progress(line);
        std::this_thread::sleep_for(kStatusPeriod);
    }
    return stopped;
}

}  // namespace

VerbOutcome send_command(const std::vector<std::string>& args) {
    SendOptions o;
    if (std::optional<VerbOutcome> ended = parse_line(args, o)) return *ended;

    ConsoleWindow window(stdout);
    MidiSession session(window);
    Context& ctx = session.ctx;
    session.open(midi_read_proc(ctx));
    if (const Result chosen = session.choose(o.midi.to, o.midi.from); !chosen)
        return fail("send", chosen.message);
    if (const Result prepared = prepare(ctx, window, o); !prepared)
        return fail("send", prepared.message);

    CtrlC ctrl_c;
    start_sending(ctx);
    // The send prints its own ending ("Done.", or why it stopped).
    const bool stopped = follow_send(ctx, window, ctrl_c);
    if (stopped || ctrl_c.pressed()) {
        window.mute_status();
        std::printf("%s\n", verb_stopped_text().c_str());
        std::fflush(stdout);
        return {VerbEnd::kInterrupted, {}};
    }
    const std::optional<SendOutcome> outcome = ctx.send.outcome();
    const VerbEnd end = send_verb_end(outcome);
    if (end != VerbEnd::kDone) return {end, fail("send", send_failure_text(outcome)).detail};
    return {end, {}};
}

}  // namespace j3
