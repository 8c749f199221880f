// `j3 receive --from SRC [--to DEST] -o DIR [--format syx|wav|aiff|syx-all]
// [--handshake] [--device N] [--idle SECONDS] [--count N]`: receives as the
// window's Receive button does and writes each received item into DIR as soon
// as it is made, under its own name, never over an existing file.
//
// Exit status: 0 after --count items or --idle seconds without input, 130
// after Ctrl-C (both write what was held first), 1 when the source, the
// destination or DIR will not do, a file cannot be written or the reception
// stops by itself, 2 for a usage error.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/endpoint_choice.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/outcomes.h"
#include "midi/endpoints.h"
#include "midi/rtmidi_service.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "receive/sds_receive.h"

namespace j3 {
namespace {

constexpr const char* kUsage =
    "usage: j3 receive --from SRC [--to DEST] -o DIR [--format syx|wav|aiff|syx-all]\n"
    "                  [--handshake] [--device N] [--idle SECONDS] [--count N]\n"
    "  --from SRC        source by position (see j3 ports) or a unique part of its name\n"
    "  --to DEST         destination of the replies (needed with --handshake)\n"
    "  -o DIR            folder each received item is written to, under its own name\n"
    "  --format F        sample dumps kept as syx (default), wav, aiff, or syx-all\n"
    "                    (SysEx, and a new dump does not start a new item)\n"
    "  --handshake       answer each sample dump message with ACK or NAK\n"
    "  --device N        device number, 0 to 127 (default 0)\n"
    "  --idle SECONDS    stop after this long without input (default 10; clock and\n"
    "                    active sensing do not count)\n"
    "  --count N         stop after N items\n";

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
    {.name = "--count", .takes_value = true},
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
    int32_t count = 0;  // 0: no limit
};

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

    const std::filesystem::path dir(o.dir);
    if (std::string reason; !writable_folder(dir, reason)) return fail(reason);

    ConsoleWindow window(stdout);
    SystemClock clock;
    Context ctx;
    Reception reception;
    ctx.window = &window;
    ctx.clock = &clock;
    ctx.reception = &reception;
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
    // Declared after the context it reads into and completes requests into.
    std::unique_ptr<MidiService> midi = make_midi_service();
    ctx.midi = midi.get();
    scan_midi(*ctx.midi, ctx.endpoints, read_proc);

    std::string message;
    const int32_t from = find_endpoint(*midi, o.from, true, message);
    if (from == 0) return fail(message);
    int32_t to = 0;
    if (!o.to.empty() && (to = find_endpoint(*midi, o.to, false, message)) == 0)
        return fail(message);
    ctx.settings.selected_in = choose_source(*ctx.midi, ctx.endpoints, from, false);
    if (to != 0)
        ctx.settings.selected_out = choose_destination(*ctx.midi, ctx.endpoints, to, false);

    // Writes the entries made since the last call; the list is the console
    // thread's, read here under its lock.
    size_t written = 0;
    std::string write_error;
    auto write_new_entries = [&] {
        std::lock_guard lock(ctx.files.mutex);
        for (; written < ctx.files.file_array.size() && write_error.empty(); ++written) {
            const FileEntry& e = ctx.files.file_array[written];
            const Result w = write_whole_file(free_path(dir, e.file), e.data.data(), e.data.size());
            if (!w) write_error = w.message;
        }
    };

    g_interrupted = false;
    auto previous = std::signal(SIGINT, on_receive_interrupt);
    last_input = Steady::now().time_since_epoch().count();
    start_receiving(ctx);
    const auto idle = std::chrono::seconds(o.idle_seconds);
    for (;;) {
        stop_receiving_if_source_gone(ctx);
        const ReceiveProgress progress = reception.progress();
        if (progress.receiving) window.set_receive_status(receive_progress_text(progress.bytes));
        write_new_entries();
        if (g_interrupted || !progress.receiving || !write_error.empty()) break;
        if (o.count > 0 && written >= size_t(o.count)) break;
        if (Steady::now() - Steady::time_point(Steady::duration(last_input.load())) >= idle) break;
        // An entry is added by posted work: wake for it, so its file is
        // written as soon as it is made.
        window.wait_for_work(kStatusPeriod);
    }
    stop_receiving(ctx);
    window.drain();
    write_new_entries();
    std::signal(SIGINT, previous);
    if (!write_error.empty()) return fail(write_error);
    const ReceiveOutcome outcome = reception.outcome().value_or(ReceiveOutcome{});
    if (const int status = receive_exit_status(outcome.end); status != 0) {
        fail(receive_failure_text(outcome));
        return g_interrupted ? 130 : status;
    }
    std::fputs("Done.\n", stdout);
    std::fflush(stdout);
    return g_interrupted ? 130 : 0;
}

}  // namespace j3
