// `j3 turbo --to DEST --from SRC [--limit INDEX]`: asks the instrument for its
// speed, then runs the window's Turbo command once, and prints the speed in
// force at the end.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/cli.h"
#include "cli/console_window.h"
#include "cli/midi_session.h"
#include "cli/options.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/turbo.h"
#include "format/sysex_speed.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3 {
namespace {

constexpr const char* kUsage =
    "usage: j3 turbo --to DEST --from SRC [--limit INDEX]\n"
    "  --to DEST      the instrument's input: a position (see j3 ports) or a unique part of its "
    "name\n"
    "  --from SRC     the instrument's output, where its speed reports come from (same forms)\n"
    "  --limit INDEX  fastest speed index to ask for, 0 to 11 (default 11)\n"
    "At standard speed it asks for the fastest speed up to the limit; at a faster speed it\n"
    "goes back to standard. It prints the speed in force at the end (1 = standard).\n";

// How long the instrument has to report its speed.
constexpr auto kReportWait = std::chrono::seconds(1);
// How long the messages asked for have to leave before the program ends.
constexpr auto kDrainWait = std::chrono::seconds(2);

constexpr Option kOptions[] = {
    kHelpOption, kToOption, kFromOption, {.name = "--limit", .takes_value = true}};

VerbOutcome usage_error(const std::string& message) {
    return j3::usage_error("turbo", message, kUsage);
}

// The console window, counting the speed reports put in force.
class SpeedWatch : public ConsoleWindow {
  public:
    void set_speed_label(std::string_view) override { ++changes; }
    std::atomic<int> changes{0};
};

template <class Cond>
bool wait_until(Cond cond, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The label of the speed in force, "1" for standard speed.
std::string speed_text(int32_t factor) {
    for (int i = 1; i <= kSpeedIndexMax; ++i)
        if (kSpeedFactors[size_t(i)] == factor) return i == 1 ? "1" : kSpeedLabels[size_t(i)];
    return "1";
}

}  // namespace

VerbOutcome turbo_command(const std::vector<std::string>& args) {
    MidiArgs m;
    int32_t limit = kSpeedIndexMax;
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        // No --device in the table: the speed messages go to every device.
        const MidiArg taken = take_midi_arg(a, m);
        if (taken == MidiArg::kHelp) return show_usage(kUsage);
        if (taken == MidiArg::kTaken) continue;
        if (a.positional()) return usage_error("unexpected argument \"" + a.text + "\"");
        if (a.is("--limit") && !parse_number(a.value, 0, kSpeedIndexMax, limit))
            return usage_error("--limit takes a speed index from 0 to 11");
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (m.to.empty()) return usage_error("--to DEST is required");
    if (m.from.empty())
        return usage_error("--from SRC is required (the speed report comes back there)");

    SpeedWatch window;
    MidiSession session(window);
    Context& ctx = session.ctx;
    session.open(midi_read_proc(ctx));
    if (const Result chosen = session.choose(m.to, m.from); !chosen)
        return fail("turbo", chosen.message);
    ctx.settings.turbo_limit = limit;

    // What the instrument runs at now.
    send_speed_request(ctx);
    if (!wait_until([&] { return window.changes > 0; }, kReportWait)) {
        wait_until([&] { return !control_messages_pending(ctx); }, kDrainWait);
        return fail("turbo", "the instrument did not report its speed");
    }
    const int before = window.changes;
    const bool was_normal = ctx.send.speed_factor() == 10;
    turbo_command(ctx);
    // Up: the speed changes when the instrument reports it. Down: at once.
    if (was_normal) wait_until([&] { return window.changes > before; }, kReportWait);
    wait_until([&] { return !control_messages_pending(ctx); }, kDrainWait);
    std::printf("%s\n", speed_text(ctx.send.speed_factor()).c_str());
    return {VerbEnd::kDone, {}};
}

}  // namespace j3
