// `j3 identify --to DEST --from SRC [--device D] [--json]`: sends the
// universal identity request to DEST and prints each identity reply that
// comes back on SRC within a second, one a line (with --json, one object a
// line). Exit status: 0 when someone answered, 1 when nobody did or a port
// will not do, 2 for a usage error.
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
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/identify.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3 {
namespace {

constexpr std::string_view kVerb = "identify";

constexpr const char* kUsage =
    "usage: j3 identify --to DEST --from SRC [--device D] [--json]\n"
    "  --to DEST    where the identity request goes: a position (see j3 ports) or a\n"
    "               unique part of its name\n"
    "  --from SRC   where the replies come back (same forms)\n"
    "  --device D   ask device D only, 0 to 127 (default: every device)\n"
    "  --json       one JSON object a reply, one a line\n"
    "It prints each reply that comes within a second; nobody answering is an error.\n";

// How long the request has to leave before the program ends.
constexpr auto kDrainWait = std::chrono::seconds(2);

constexpr Option kOptions[] = {
    kHelpOption, kToOption, kFromOption, kDeviceOption, {.name = "--json"}};

VerbOutcome usage_error(const std::string& message) {
    return j3::usage_error(kVerb, message, kUsage);
}

std::string reply_json(const IdentityReply& r) {
    return "{\"device\": " + std::to_string(r.device) + ", \"maker\": \"" + identity_maker_hex(r) +
           "\", \"family\": " + std::to_string(r.family) +
           ", \"member\": " + std::to_string(r.member) + ", \"version\": \"" +
           identity_version_text(r) + "\"}";
}

}  // namespace

VerbOutcome identify_command(const std::vector<std::string>& args) {
    MidiArgs m{.device = kAllDevices};
    bool json = false;
    const ParsedArgs parsed = parse_args(args, kOptions);
    for (const ParsedArg& a : parsed.args) {
        const MidiArg midi_arg = take_midi_arg(a, m);
        if (midi_arg == MidiArg::kTaken) continue;
        if (midi_arg != MidiArg::kOther)
            return midi_arg_ending(midi_arg, kVerb, kUsage,
                                   "--device takes a device number from 0 to 127");
        if (a.positional()) return usage_error("unexpected argument \"" + a.text + "\"");
        if (a.is("--json")) json = true;
    }
    if (parsed.problem != ArgProblem::kNone) return usage_error(parsed.error);
    if (m.to.empty()) return usage_error("--to DEST is required");
    if (m.from.empty()) return usage_error("--from SRC is required (the replies come back there)");

    ConsoleWindow window;
    MidiSession session(window);
    Context& ctx = session.ctx;
    session.open(midi_read_proc(ctx));
    if (const Result chosen = session.choose(m.to, m.from); !chosen)
        return fail(kVerb, chosen.message);

    if (!ask_identity(ctx, uint8_t(m.device))) return fail(kVerb, "the request could not be sent");
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdentityWaitMs));
    const std::vector<IdentityReply> replies = session.reception.identity().stop();
    for (const auto end = std::chrono::steady_clock::now() + kDrainWait;
         control_messages_pending(ctx) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (replies.empty()) return fail(kVerb, "no answer within a second");
    for (const IdentityReply& r : replies)
        std::printf("%s\n", (json ? reply_json(r) : identity_reply_line(r)).c_str());
    std::fflush(stdout);
    return {VerbEnd::kDone, {}};
}

}  // namespace j3
