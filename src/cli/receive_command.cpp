// `j3 receive --from SRC [--to DEST] -o DIR [--format syx|wav|aiff|syx-all]
// [--handshake] [--device N] [--idle SECONDS] [--count N]`: receives as the
// window's Receive button does and writes each received item into DIR as soon
// as it is made, under its own name, never over an existing file.
//
// With --request N[-M] it asks the instrument on DEST for those samples one
// by one, as Request Samples does (--idle is then the wait for each dump);
// with --send REQ.syx it sends the messages of REQ.syx to DEST once it
// listens, as Send and Receive does, and then receives as usual.
//
// Exit status: 0 after --count items or --idle seconds without input, 130
// after Ctrl-C (both write what was held first), 1 when the source, the
// destination or DIR will not do, a file cannot be written, the reception
// stops by itself or a sample dump was cut short (written as far as it came),
// 2 for a usage error. With --request: 0 when every sample came, 1 after
// trying them all when some did not. An xrun during the reception is said on
// standard error.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "receive/request_series.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

constexpr std::string_view kVerb = "receive";

constexpr const char* kUsage =
    "usage: j3 receive --from SRC [--to DEST] -o DIR [--format syx|wav|aiff|syx-all]\n"
    "                  [--handshake] [--device N] [--idle SECONDS] [--count N]\n"
    "                  [--request N[-M] | --send REQ.syx]\n"
    "  --from SRC        source by position (see j3 ports) or a unique part of its name\n"
    "  --to DEST         destination of the replies (needed with --handshake)\n"
    "  -o DIR            folder each received item is written to, under its own name\n"
    "  --format F        sample dumps kept as syx (default), wav, aiff, or syx-all\n"
    "                    (SysEx, and a new dump does not start a new item)\n"
    "  --handshake       answer each sample dump message with ACK or NAK\n"
    "  --device N        device number, 0 to 127 (default 0)\n"
    "  --idle SECONDS    stop after this long without input (default 10; clock and\n"
    "                    active sensing do not count)\n"
    "  --count N         stop after N items\n"
    "  --request N[-M]   ask DEST for samples N to M (0 to 16383) one by one; --idle is\n"
    "                    then the wait for each one's dump\n"
    "  --send REQ.syx    once listening, send the messages of REQ.syx to DEST (a dump\n"
    "                    request of the instrument's own, say)\n";

// The window's status timer runs this often.
constexpr auto kStatusPeriod = std::chrono::milliseconds(100);
constexpr int32_t kMaxNumber = 999999999;

constexpr Option kOptions[] = {
    kHelpOption,
    kFromOption,
    kToOption,
    {.name = "-o", .takes_value = true},
    {.name = "--format", .takes_value = true},
    {.name = "--handshake"},
    kDeviceOption,
    {.name = "--idle", .takes_value = true},
    {.name = "--count", .takes_value = true},
    {.name = "--request", .takes_value = true},
    {.name = "--send", .takes_value = true},
};

// By SdsFormat value - 1.
constexpr std::string_view kFormatWords[] = {"syx", "wav", "aiff", "syx-all"};

VerbOutcome usage_error(const std::string& message) {
    return j3::usage_error(kVerb, message, kUsage);
}

// dir/name, or with " 2", " 3", ... before the extension when that exists.
std::filesystem::path free_path(const std::filesystem::path& dir, const std::string& name) {
    const std::filesystem::path first = dir / name;
    std::error_code ec;
    if (!std::filesystem::exists(first, ec)) return first;
    const std::filesystem::path p(name);
    for (int n = 2;; ++n) {
        std::filesystem::path candidate = dir / p.stem();
        candidate += " " + std::to_string(n);
        candidate += p.extension();
        if (!std::filesystem::exists(candidate, ec)) return candidate;
    }
}

// A file can be made in dir: made and removed again.
Result writable_folder(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        return failure("no folder \"" + dir.string() + "\"");
    const std::filesystem::path probe = free_path(dir, ".j3-receive-probe");
    if (!std::ofstream(probe, std::ios::binary))
        return failure("cannot write into \"" + dir.string() + "\"");
    std::filesystem::remove(probe, ec);
    return {};
}

struct Options {
    MidiArgs midi;
    std::string dir;
    int32_t format = kSdsFormatSysex;
    bool handshake = false;
    int32_t idle_seconds = 10;
    int32_t count = 0;              // 0: no limit
    int32_t first = -1, last = -1;  // --request; -1: none
    std::string send;               // --send
};

// "N" or "N-M", 0 <= N <= M <= 16383.
bool parse_request_range(const std::string& text, int32_t& first, int32_t& last) {
    const size_t dash = text.find('-');
    const std::string low = text.substr(0, dash);
    const std::string high = dash == std::string::npos ? low : text.substr(dash + 1);
    int32_t n = 0, m = 0;
    if (!parse_number(low, 0, kSdsSampleNumberMax, n) ||
        !parse_number(high, 0, kSdsSampleNumberMax, m) || m < n)
        return false;
    first = n;
    last = m;
    return true;
}

// Checks one of the receive's own options into o: false, with the words for
// the user, for a value it does not take or an argument it does not know.
Result take_option(const ParsedArg& a, Options& o) {
    if (a.is("-o")) {
        o.dir = a.value;
    } else if (a.is("--format")) {
        int32_t word = 0;
        if (!parse_choice(a.value, kFormatWords, word))
            return failure("--format takes syx, wav, aiff or syx-all");
        o.format = word + 1;
    } else if (a.is("--handshake")) {
        o.handshake = true;
    } else if (a.is("--idle")) {
        if (!parse_number(a.value, 1, kMaxNumber, o.idle_seconds))
            return failure("--idle takes a number of seconds, 1 or more");
    } else if (a.is("--count")) {
        if (!parse_number(a.value, 1, kMaxNumber, o.count))
            return failure("--count takes a number of items, 1 or more");
    } else if (a.is("--request")) {
        if (!parse_request_range(a.value, o.first, o.last))
            return failure("--request takes a sample number N or a range N-M, 0 to 16383");
    } else if (a.is("--send")) {
        o.send = a.value;
    } else {
        return failure("unexpected argument \"" + a.text + "\"");
    }
    return {};
}

// What the options ask for together: false, with the words for the user,
// for what will not do.
Result check_together(const Options& o) {
    if (o.midi.from.empty()) return failure("--from SRC is required");
    if (o.dir.empty()) return failure("-o DIR is required");
    if (o.handshake && o.midi.to.empty())
        return failure("--handshake needs --to DEST, where the replies go");
    if (o.first >= 0 && o.midi.to.empty())
        return failure("--request needs --to DEST, where the requests go");
    if (!o.send.empty() && o.midi.to.empty())
        return failure("--send needs --to DEST, where the messages go");
    if (o.first >= 0 && !o.send.empty()) return failure("--request and --send do not go together");
    return {};
}

// The line read into o; an ending when the verb ends here (--help, a usage
// error).
std::optional<VerbOutcome> parse_line(const std::vector<std::string>& args, Options& o) {
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        const MidiArg midi_arg = take_midi_arg(a, o.midi);
        if (midi_arg == MidiArg::kTaken) continue;
        if (midi_arg != MidiArg::kOther)
            return midi_arg_ending(midi_arg, kVerb, kUsage,
                                   "--device takes a device number from 0 to 127");
        if (const Result taken = take_option(a, o); !taken) return usage_error(taken.message);
    }
    if (parsed.problem == ArgProblem::kUnknownOption)
        return usage_error("unknown option " + parsed.refused);
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (const Result together = check_together(o); !together) return usage_error(together.message);
    return std::nullopt;
}

// The console, without the send's own status lines: a send here only asks,
// and how it ended is told once it has.
class ReceiveConsole : public ConsoleWindow {
  public:
    using ConsoleWindow::ConsoleWindow;
    void set_send_status(std::string_view) override {}
};

// "Receiving. 1234 bytes.", with the time left of a dump on a terminal.
std::string progress_line(const ReceiveProgress& p, RateMeter& meter) {
    std::string line = receive_progress_text(p.bytes);
    static const bool terminal = isatty(fileno(stdout)) != 0;
    if (!terminal) return line;
    if (const std::string left = dump_time_left_text(p, meter, steady_ms()); !left.empty())
        line += " " + left;
    return line;
}

// Writes each received entry into the folder once it is in the list, never
// more than --count; the list is the console thread's, read under its lock.
struct EntryWriter {
    Context& ctx;
    std::filesystem::path dir;
    size_t written = 0;       // list entries done with, the --send entry included
    size_t not_received = 0;  // the --send entry, first in the list: never written
    size_t most = SIZE_MAX;   // list entries to write at most
    int64_t bytes = 0;        // bytes of the received entries written
    Result error;             // the first file that could not be written

    // The entries made since the last call.
    void write_new() {
        ctx.files.with_entries([&](std::vector<FileEntry>& entries) {
            for (; written < std::min(entries.size(), most) && error; ++written) {
                const FileEntry& e = entries[written];
                error = write_whole_file(free_path(dir, e.file), e.data.data(), e.data.size());
                if (written >= not_received) bytes += int64_t(e.data.size());
            }
        });
    }
    size_t received_written() const { return written - not_received; }
};

// When input last came; clock and active sensing, which some instruments
// send all the time, do not count.
struct InputClock {
    using Steady = std::chrono::steady_clock;
    std::atomic<Steady::rep> last{Steady::now().time_since_epoch().count()};

    void touch() { last = Steady::now().time_since_epoch().count(); }
    void heard(const MidiPacketList& packets) {
        for (const MidiPacket& p : packets) {
            for (const uint8_t b : p.bytes) {
                if (b != 0xF8 && b != 0xFE) {
                    touch();
                    return;
                }
            }
        }
    }
    bool idle_for(std::chrono::seconds idle) const {
        return Steady::now() - Steady::time_point(Steady::duration(last.load())) >= idle;
    }
};

// The ports opened and chosen, the source first, and what --send sends listed.
Result open_ports(MidiSession& session, ConsoleWindow& window, const Options& o,
                  InputClock& input) {
    Context& ctx = session.ctx;
    session.open([&ctx, &input](const MidiPacketList& packets) {
        input.heard(packets);
        midi_read(ctx, packets);
    });
    // The source first: when both will not do, the source is named.
    if (Result chosen = session.choose({}, o.midi.from); !chosen) return chosen;
    if (Result chosen = session.choose(o.midi.to, {}); !chosen) return chosen;
    // What --send sends is the list's first entry, never written out.
    if (!o.send.empty()) {
        if (Result added = add_file_entry(ctx, o.send, nullptr); !added) return added;
        window.select_all();
        refresh_selection(ctx);
    }
    return {};
}

// --request: the samples one by one, each dump written as it comes.
VerbOutcome receive_requested(Context& ctx, ConsoleWindow& window, const Options& o,
                              EntryWriter& writer, const CtrlC& ctrl_c) {
    const int64_t wait_ms = std::min<int64_t>(int64_t(o.idle_seconds) * 1000, INT32_MAX);
    RequestSeries series{.first = o.first, .last = o.last, .wait_ms = int32_t(wait_ms)};
    if (!start_request_series(ctx, series, steady_ms()))
        return fail(kVerb, series_failure_text(series_outcome(series)));
    size_t missing_told = 0, incomplete_told = 0;
    RateMeter meter;
    auto tell = [&] {
        for (; missing_told < series.missing.size(); ++missing_told)
            std::printf("%s\n",
                        series_missing_line(series.missing[missing_told], o.idle_seconds).c_str());
        for (; incomplete_told < series.incomplete.size(); ++incomplete_told)
            std::printf("%s\n", series_incomplete_line(series.incomplete[incomplete_told]).c_str());
        std::fflush(stdout);
    };
    for (;;) {
        stop_receiving_if_source_gone(ctx);
        const bool going = poll_request_series(ctx, series, steady_ms());
        window.drain();
        tell();
        if (const ReceiveProgress p = ctx.reception->progress(); going && p.bytes > 0)
            window.set_receive_progress(progress_line(p, meter));
        writer.write_new();
        if (!going || !writer.error || ctrl_c.pressed()) break;
        std::this_thread::sleep_for(kStatusPeriod);
    }
    stop_request_series(ctx, series);
    window.drain();
    writer.write_new();
    tell();
    if (!writer.error) return fail(kVerb, writer.error.message);
    if (ctrl_c.pressed()) return {VerbEnd::kInterrupted, {}};
    const SeriesOutcome outcome = series_outcome(series);
    if (series_verb_end(outcome) != VerbEnd::kDone)
        return fail(kVerb, series_failure_text(outcome));
    std::printf("%s\n", series_outcome_text(outcome).c_str());
    std::fflush(stdout);
    return {VerbEnd::kDone, {}};
}

// The reception until --count items, --idle seconds without input, Ctrl-C or
// its own end; then what it held is written. True when a --send was still
// going and was ended here.
bool receive_until_done(Context& ctx, ConsoleWindow& window, const Options& o, EntryWriter& writer,
                        InputClock& input, const CtrlC& ctrl_c) {
    input.touch();
    start_receiving(ctx);
    if (!o.send.empty()) start_sending(ctx);
    RateMeter meter;
    for (;;) {
        // The instrument answers once the request is out: the wait starts then.
        if (ctx.send.sending()) input.touch();
        stop_receiving_if_source_gone(ctx);
        const ReceiveProgress progress = ctx.reception->progress();
        if (progress.receiving) window.set_receive_progress(progress_line(progress, meter));
        writer.write_new();
        if (ctrl_c.pressed() || !progress.receiving || !writer.error) break;
        if (o.count > 0 && writer.received_written() >= size_t(o.count)) break;
        if (input.idle_for(std::chrono::seconds(o.idle_seconds))) break;
        // An entry is added by posted work: wake for it, so its file is
        // written as soon as it is made.
        window.wait_for_work(kStatusPeriod);
    }
    // Two dumps back to back can both be made before the count is seen:
    // what lies beyond it is not written, nor what the stop cut short.
    stop_receiving(ctx);
    // A send still going when the reception ends is ended here, not by a fault.
    const bool send_cut = ctx.send.sending();
    if (send_cut) stop_sending(ctx);
    window.drain();
    writer.write_new();
    return send_cut;
}

// How the reception ended, told: a dump cut short in a file written fails the
// command, one beyond --count (never written) does not.
VerbOutcome reception_ending(Context& ctx, const EntryWriter& writer, const CtrlC& ctrl_c) {
    std::optional<ReceiveOutcome> outcome = ctx.reception->outcome();
    if (outcome) {
        std::erase_if(outcome->partial_dumps,
                      [&](const PartialDump& p) { return p.made_through > writer.bytes; });
    }
    if (const VerbEnd end = receive_verb_end(outcome); end != VerbEnd::kDone) {
        const std::string why = receive_verb_failure_text(outcome);
        tell_error(kVerb, why);
        return {ctrl_c.ending(end), why};
    }
    // The server fell behind: said, as a send says it.
    if (outcome->xrun) tell_error(kVerb, receive_failure_text(*outcome));
    std::printf("%s\n", verb_done_text().c_str());
    std::fflush(stdout);
    return {ctrl_c.ending(VerbEnd::kDone), {}};
}

}  // namespace

VerbOutcome receive_command(const std::vector<std::string>& args) {
    Options o;
    if (std::optional<VerbOutcome> ended = parse_line(args, o)) return *ended;
    const std::filesystem::path dir(o.dir);
    if (const Result writable = writable_folder(dir); !writable)
        return fail(kVerb, writable.message);

    ReceiveConsole window(stdout);
    MidiSession session(window);
    Context& ctx = session.ctx;
    store_sds_format(ctx.settings, o.format);
    ctx.settings.ignore_handshake = !o.handshake;
    ctx.settings.device_number = uint8_t(o.midi.device);
    InputClock input;
    if (const Result opened = open_ports(session, window, o, input); !opened)
        return fail(kVerb, opened.message);

    const size_t not_received = o.send.empty() ? 0 : 1;
    EntryWriter writer{.ctx = ctx,
                       .dir = dir,
                       .written = not_received,
                       .not_received = not_received,
                       .most = o.count > 0 ? not_received + size_t(o.count) : SIZE_MAX};
    CtrlC ctrl_c;
    if (o.first >= 0) return receive_requested(ctx, window, o, writer, ctrl_c);
    const bool send_cut = receive_until_done(ctx, window, o, writer, input, ctrl_c);
    if (!writer.error) return fail(kVerb, writer.error.message);
    if (!o.send.empty() && !ctrl_c.pressed() && !send_cut) {
        const std::optional<SendOutcome> sent = ctx.send.outcome();
        if (send_verb_end(sent) != VerbEnd::kDone) return fail(kVerb, send_failure_text(sent));
    }
    return reception_ending(ctx, writer, ctrl_c);
}

}  // namespace j3
