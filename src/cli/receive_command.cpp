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
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/endpoint_choice.h"
#include "cli/midi_session.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "engine/send_loop.h"
#include "midi/endpoints.h"
#include "midi/rtmidi_service.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "receive/request_series.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

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

std::atomic<bool> g_interrupted{false};
extern "C" void on_receive_interrupt(int) {
    g_interrupted = true;
}

constexpr Option kOptions[] = {
    {.name = "--help", .alias = "-h"},         {.name = "--from", .takes_value = true},
    {.name = "--to", .takes_value = true},     {.name = "-o", .takes_value = true},
    {.name = "--format", .takes_value = true}, {.name = "--handshake"},
    {.name = "--device", .takes_value = true}, {.name = "--idle", .takes_value = true},
    {.name = "--count", .takes_value = true},  {.name = "--request", .takes_value = true},
    {.name = "--send", .takes_value = true},
};

// By SdsFormat value - 1.
constexpr std::string_view kFormatWords[] = {"syx", "wav", "aiff", "syx-all"};

int usage_error(const std::string& message) {
    return j3::usage_error("receive", message, kUsage);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "j3 receive: %s\n", message.c_str());
    return 1;
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
bool writable_folder(const std::filesystem::path& dir, std::string& reason) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        reason = "no folder \"" + dir.string() + "\"";
        return false;
    }
    const std::filesystem::path probe = free_path(dir, ".j3-receive-probe");
    if (!std::ofstream(probe, std::ios::binary)) {
        reason = "cannot write into \"" + dir.string() + "\"";
        return false;
    }
    std::filesystem::remove(probe, ec);
    return true;
}

struct Options {
    std::string from, to, dir;
    int32_t format = kSdsFormatSysex;
    bool handshake = false;
    int32_t device = 0;
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

// The console, without the send's own status lines: a send here only asks,
// and how it ended is told once it has.
class ReceiveConsole : public ConsoleWindow {
  public:
    using ConsoleWindow::ConsoleWindow;
    void set_send_status(std::string_view) override {}
};

int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "Receiving. 1234 bytes.", with the time left of a dump on a terminal.
std::string progress_line(const ReceiveProgress& p, RateMeter& meter) {
    std::string line = receive_progress_text(p.bytes);
    static const bool terminal = isatty(fileno(stdout)) != 0;
    if (!terminal) return line;
    if (const std::string left = dump_time_left_text(p, meter, steady_ms()); !left.empty())
        line += " " + left;
    return line;
}

// --request: the samples one by one, each dump written as it comes.
template <class WriteEntries>
int receive_requested(Context& ctx, ConsoleWindow& window, const Options& o,
                      WriteEntries& write_new_entries, const std::string& write_error) {
    const int64_t wait_ms = std::min<int64_t>(int64_t(o.idle_seconds) * 1000, INT32_MAX);
    RequestSeries series{.first = o.first, .last = o.last, .wait_ms = int32_t(wait_ms)};
    if (!start_request_series(ctx, series, steady_ms()))
        return fail("the requests cannot be sent: no source or destination");
    size_t missing_told = 0, incomplete_told = 0;
    RateMeter meter;
    auto tell = [&] {
        for (; missing_told < series.missing.size(); ++missing_told)
            std::printf("no sample %d within %d s\n", series.missing[missing_told], o.idle_seconds);
        for (; incomplete_told < series.incomplete.size(); ++incomplete_told)
            std::printf("sample %d stopped part way\n", series.incomplete[incomplete_told]);
        std::fflush(stdout);
    };
    for (;;) {
        stop_receiving_if_source_gone(ctx);
        const bool going = poll_request_series(ctx, series, steady_ms());
        window.drain();
        tell();
        if (const ReceiveProgress p = ctx.reception->progress(); going && p.bytes > 0)
            window.set_receive_progress(progress_line(p, meter));
        write_new_entries();
        if (!going || !write_error.empty()) break;
        if (g_interrupted) {
            stop_request_series(ctx, series);
            break;
        }
        std::this_thread::sleep_for(kStatusPeriod);
    }
    stop_request_series(ctx, series);
    window.drain();
    write_new_entries();
    tell();
    if (!write_error.empty()) return fail(write_error);
    if (g_interrupted) return 130;
    if (series.end == SeriesEnd::kStopped) {
        const ReceiveOutcome outcome = series.outcome.value_or(ReceiveOutcome{});
        return fail(receive_failure_text(outcome).empty() ? "the reception stopped"
                                                          : receive_failure_text(outcome));
    }
    if (!series.missing.empty() || !series.incomplete.empty()) {
        return fail(std::to_string(series.missing.size() + series.incomplete.size()) + " of " +
                    std::to_string(series_count(series)) + " samples did not come");
    }
    std::fputs("Done.\n", stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int receive_command(const std::vector<std::string>& args) {
    Options o;
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        if (a.is("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a.is("--from")) {
            o.from = a.value;
        } else if (a.is("--to")) {
            o.to = a.value;
        } else if (a.is("-o")) {
            o.dir = a.value;
        } else if (a.is("--format")) {
            const int word = parse_choice(a.value, kFormatWords);
            if (word < 0) return usage_error("--format takes syx, wav, aiff or syx-all");
            o.format = word + 1;
        } else if (a.is("--handshake")) {
            o.handshake = true;
        } else if (a.is("--device")) {
            if (!parse_number(a.value, 0, 127, o.device))
                return usage_error("--device takes a device number from 0 to 127");
        } else if (a.is("--idle")) {
            if (!parse_number(a.value, 1, kMaxNumber, o.idle_seconds))
                return usage_error("--idle takes a number of seconds, 1 or more");
        } else if (a.is("--count")) {
            if (!parse_number(a.value, 1, kMaxNumber, o.count))
                return usage_error("--count takes a number of items, 1 or more");
        } else if (a.is("--request")) {
            if (!parse_request_range(a.value, o.first, o.last))
                return usage_error("--request takes a sample number N or a range N-M, 0 to 16383");
        } else if (a.is("--send")) {
            o.send = a.value;
        } else {
            return usage_error("unexpected argument \"" + a.text + "\"");
        }
    }
    if (parsed.problem == ArgProblem::kUnknownOption)
        return usage_error("unknown option " + parsed.refused);
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (o.from.empty()) return usage_error("--from SRC is required");
    if (o.dir.empty()) return usage_error("-o DIR is required");
    if (o.handshake && o.to.empty())
        return usage_error("--handshake needs --to DEST, where the replies go");
    if (o.first >= 0 && o.to.empty())
        return usage_error("--request needs --to DEST, where the requests go");
    if (!o.send.empty() && o.to.empty())
        return usage_error("--send needs --to DEST, where the messages go");
    if (o.first >= 0 && !o.send.empty())
        return usage_error("--request and --send do not go together");

    const std::filesystem::path dir(o.dir);
    if (std::string reason; !writable_folder(dir, reason)) return fail(reason);

    ReceiveConsole window(stdout);
    MidiSession session(window);
    Context& ctx = session.ctx;
    const Reception& reception = session.reception;
    store_sds_format(ctx.settings, o.format);
    ctx.settings.ignore_handshake = !o.handshake;
    ctx.settings.device_number = uint8_t(o.device);

    // When input last came; clock and active sensing, which some instruments
    // send all the time, do not count.
    using Steady = std::chrono::steady_clock;
    std::atomic<Steady::rep> last_input{Steady::now().time_since_epoch().count()};
    ReadProc read_proc = [&ctx, &last_input](const MidiPacketList& packets) {
        for (const MidiPacket& p : packets) {
            for (const uint8_t b : p.bytes) {
                if (b != 0xF8 && b != 0xFE) {
                    last_input = Steady::now().time_since_epoch().count();
                    break;
                }
            }
        }
        midi_read(ctx, packets);
    };
    session.open(read_proc);
    MidiService* midi = ctx.midi;

    std::string message;
    const int32_t from = find_endpoint(*midi, o.from, true, message);
    if (from == 0) return fail(message);
    int32_t to = 0;
    if (!o.to.empty() && (to = find_endpoint(*midi, o.to, false, message)) == 0)
        return fail(message);
    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
    if (to != 0)
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);

    // What --send sends is the list's first entry, never written out.
    if (!o.send.empty()) {
        if (const Result added = add_file_entry(ctx, o.send, nullptr); !added.ok)
            return fail(added.message);
        window.select_all();
        refresh_selection(ctx);
    }

    // Writes the entries made since the last call, never more than --count;
    // the list is the console thread's, read here under its lock.
    const size_t not_received = o.send.empty() ? 0 : 1;
    size_t written = not_received;
    std::string write_error;
    const size_t most = o.count > 0 ? not_received + size_t(o.count) : SIZE_MAX;
    auto write_new_entries = [&] {
        ctx.files.with_entries([&](std::vector<FileEntry>& entries) {
            for (; written < std::min(entries.size(), most) && write_error.empty(); ++written) {
                const FileEntry& e = entries[written];
                const Result w =
                    write_whole_file(free_path(dir, e.file), e.data.data(), e.data.size());
                if (!w) write_error = w.message;
            }
        });
    };

    g_interrupted = false;
    auto previous = std::signal(SIGINT, on_receive_interrupt);
    if (o.first >= 0) {
        const int status = receive_requested(ctx, window, o, write_new_entries, write_error);
        std::signal(SIGINT, previous);
        return status;
    }
    last_input = Steady::now().time_since_epoch().count();
    start_receiving(ctx);
    if (!o.send.empty()) start_sending(ctx);
    const auto idle = std::chrono::seconds(o.idle_seconds);
    RateMeter meter;
    for (;;) {
        // The instrument answers once the request is out: the wait starts then.
        if (ctx.send.sending()) last_input = Steady::now().time_since_epoch().count();
        stop_receiving_if_source_gone(ctx);
        const ReceiveProgress progress = reception.progress();
        if (progress.receiving) window.set_receive_progress(progress_line(progress, meter));
        write_new_entries();
        if (g_interrupted || !progress.receiving || !write_error.empty()) break;
        if (o.count > 0 && written - not_received >= size_t(o.count)) break;
        if (Steady::now() - Steady::time_point(Steady::duration(last_input.load())) >= idle) break;
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
    write_new_entries();
    std::signal(SIGINT, previous);
    if (!write_error.empty()) return fail(write_error);
    if (!o.send.empty() && !g_interrupted && !send_cut) {
        const SendOutcome sent = ctx.send.outcome().value_or(SendOutcome{});
        if (send_exit_status(sent.end) != 0) return fail(send_outcome_text(sent));
    }
    ReceiveOutcome outcome = reception.outcome().value_or(ReceiveOutcome{});
    const std::vector<FileEntry> entries = ctx.files.entries();
    std::erase_if(outcome.partial_dumps, [&](const PartialDump& p) {
        for (size_t i = 0; i < written; ++i)
            if (entries[i].file == p.name) return false;
        return true;
    });
    // A dump cut short is written as far as it came, and fails the command.
    if (const int status = receive_exit_status(outcome); status != 0) {
        fail(receive_failure_text(outcome));
        return g_interrupted ? 130 : status;
    }
    // The server fell behind: said, as a send says it.
    if (outcome.xrun)
        std::fprintf(stderr, "j3 receive: %s\n", receive_failure_text(outcome).c_str());
    std::fputs("Done.\n", stdout);
    std::fflush(stdout);
    return g_interrupted ? 130 : 0;
}

}  // namespace j3
