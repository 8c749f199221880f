// `j3 send FILE... --to DEST [--delay TICKS] [--speed INDEX]`: loads the files
// as list entries and runs the window's send loop to one destination, printing
// the status line as the window shows it.
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/sysex_send.h"
#include "filelist/list_file.h"
#include "format/sysex_speed.h"
#include "midi/endpoints.h"
#include "midi/rtmidi_service.h"

namespace j3 {
namespace {

constexpr const char* kUsage =
    "usage: j3 send FILE... --to DEST [--delay TICKS] [--speed INDEX]\n"
    "  --to DEST       destination by position (see j3 ports) or a unique part of its name\n"
    "  --delay TICKS   pause before each message but the first, in 1/60 s (default 0)\n"
    "  --speed INDEX   the destination's speed index, 1 (3125 bytes/s) to 11 (62500 bytes/s)\n";

// The window's status timer runs this often.
constexpr auto kStatusPeriod = std::chrono::milliseconds(100);

std::atomic<bool> g_interrupted{false};
extern "C" void on_interrupt(int) {
    g_interrupted = true;
}

constexpr Option kOptions[] = {
    {.name = "--help", .alias = "-h"},
    {.name = "--to", .takes_value = true},
    {.name = "--delay", .takes_value = true},
    {.name = "--speed", .takes_value = true},
};

// Numbers on the send line (--delay, a destination's position) have always
// been nine digits at most; a longer one is no number here.
constexpr int32_t kMaxNumber = 999999999;

int usage_error(const std::string& message) {
    return j3::usage_error("send", message, kUsage);
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower((unsigned char)c));
    return s;
}

// The 1-based position of the destination named by text: a position, the
// whole display name, or a part of exactly one display name (any case).
// 0, with a message, when there is no such destination or several.
int32_t find_destination(MidiService& midi, const std::string& text, std::string& message) {
    const int count = midi.destination_count();
    if (int32_t p = 0; parse_number(text, 0, kMaxNumber, p)) {
        if (p >= 1 && p <= count) return p;
        message = "there is no destination " + text + "; there are " + std::to_string(count) +
                  " (see j3 ports)";
        return 0;
    }
    std::vector<int32_t> matches;
    for (int i = 0; i < count; ++i) {
        const std::string name = endpoint_display_name(midi, midi.destination(i), false);
        if (name == text) return i + 1;
        if (lower(name).find(lower(text)) != std::string::npos) matches.push_back(i + 1);
    }
    if (matches.size() == 1) return matches[0];
    if (matches.empty()) {
        message = "no destination matches \"" + text + "\" (see j3 ports)";
    } else {
        message = "\"" + text + "\" matches several destinations:";
        for (int32_t p : matches) {
            message += "\n  " + std::to_string(p) + "  " +
                       endpoint_display_name(midi, midi.destination(p - 1), false);
        }
    }
    return 0;
}

}  // namespace

int send_command(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::string to;
    int32_t delay = 0, speed = -1;
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a.is("--to")) {
            to = a.value;
        } else if (a.is("--delay")) {
            if (!parse_number(a.value, 0, kMaxNumber, delay))
                return usage_error("--delay takes a number of ticks, 0 or more");
        } else if (a.is("--speed")) {
            if (!parse_number(a.value, 1, kSpeedIndexMax, speed))
                return usage_error("--speed takes a speed index from 1 to 11");
        } else {
            files.push_back(a.text);
        }
    }
    // Scripts match this one unquoted, as it has always been.
    if (parsed.problem == ArgProblem::kUnknownOption)
        return usage_error("unknown option " + parsed.refused);
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (files.empty()) return usage_error("no file to send");
    if (to.empty()) return usage_error("--to DEST is required");

    ConsoleWindow window(stdout);
    SystemClock clock;
    Context ctx;
    ctx.window = &window;
    ctx.clock = &clock;
    // Declared after the context it completes requests into.
    const std::unique_ptr<MidiService> midi = make_midi_service();
    ctx.midi = midi.get();
    scan_midi(*ctx.midi, ctx.endpoints, nullptr);

    std::string message;
    const int32_t position = find_destination(*midi, to, message);
    if (position == 0) {
        std::fprintf(stderr, "j3 send: %s\n", message.c_str());
        return 1;
    }
    for (const std::string& f : files) {
        // A list's entries are sent with their own Loop and Stereo choices.
        const Result added =
            is_list_file_name(f) ? append_file_list(ctx, f) : add_file_entry(ctx, f, nullptr);
        if (!added.ok) {
            std::fprintf(stderr, "j3 send: %s\n", added.message.c_str());
            return 1;
        }
    }
    ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, position, false);
    if (speed >= 0) {
        midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint,
                                  max_sysex_speed_for_index(speed));
    }
    ctx.settings.send_delay = delay;
    window.select_all();
    refresh_selection(ctx);

    g_interrupted = false;
    auto previous = std::signal(SIGINT, on_interrupt);
    start_sending(ctx);
    // The window's status timer: the line while sending; finish_sending
    // prints the last one ("Done.").
    TransferState& t = ctx.transfer;
    bool stopped = false;
    while (t.send_mode != kSendIdle) {
        if (g_interrupted && !stopped) {
            stop_sending(ctx);
            stopped = true;
            continue;
        }
        {
            // Under the send loop's lock, so this line cannot follow the
            // completion thread's last one.
            std::lock_guard lock(t.send_mutex);
            if (t.send_mode == kSendSysex) {
                char line[96];
                std::snprintf(line, sizeof line, "Sending file %d of %d. %d bytes.",
                              int(t.send_index), int(t.send_count), int(t.send_pos));
                window.set_send_status(line);
            }
        }
        std::this_thread::sleep_for(kStatusPeriod);
    }
    std::signal(SIGINT, previous);
    if (stopped) return 130;
    if (const std::string last = status_text(t); last != "Done.") {
        std::fprintf(stderr, "j3 send: %s\n", last.c_str());
        return 1;
    }
    return 0;
}

}  // namespace j3
