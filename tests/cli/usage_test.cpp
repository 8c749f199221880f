// What each verb says about a command line it cannot run: scripts read these
// words and exit statuses, so the shared option parsing must keep them, the
// order in which problems are found included.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "fakes/test_folder.h"

namespace j3 {
namespace {

using testing::CliRun;
using testing::run_j3;

constexpr const char* kSendUsage =
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
constexpr const char* kTurboUsage =
    "usage: j3 turbo --to DEST --from SRC [--limit INDEX]\n"
    "  --to DEST      the instrument's input: a position (see j3 ports) or a unique part of its "
    "name\n"
    "  --from SRC     the instrument's output, where its speed reports come from (same forms)\n"
    "  --limit INDEX  fastest speed index to ask for, 0 to 11 (default 11)\n"
    "At standard speed it asks for the fastest speed up to the limit; at a faster speed it\n"
    "goes back to standard. It prints the speed in force at the end (1 = standard).\n";
constexpr const char* kConvertUsage =
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
constexpr const char* kWaveformUsage =
    "usage: j3 waveform FILE... [-o DIR] [--stereo mix|left|right]\n"
    "  Builds a single-cycle waveform message for the LY family from the loop of each\n"
    "  WAV, AIFF or AIFC file (the whole sample when it has no loop; 2 to 16384 frames)\n"
    "  and writes it as <base name>.syx into DIR (default: the current folder).\n"
    "  Slots are numbered from 0 over the files that qualify.\n"
    "  --stereo  how a stereo file becomes one channel: mix (default), left or right\n";
constexpr const char* kInfoUsage =
    "usage: j3 info [--json] [--messages] FILE...\n"
    "  Tells what each file holds: its type and the text the window shows for it.\n"
    "  --messages  the SysEx messages each file is made of instead, one a line\n"
    "  --json      one JSON object a line: per file, or per message with --messages\n"
    "  --          ends the options, for a file whose name starts with '-'\n";
constexpr const char* kPortsUsage =
    "usage: j3 ports [--names sources|destinations]\n"
    "Lists the MIDI sources and destinations with their positions.\n"
    "  --names WHICH  only the names of the sources or of the destinations, one a line\n";

TEST(CommandLineUsage, EveryVerbNamesTheFirstProblemInItsOwnWords) {
    const std::string send = kSendUsage, convert = kConvertUsage, waveform = kWaveformUsage;
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int want_status;
        std::string want_out, want_err;
    } cases[] = {
        {"send: help", {"send", "-h"}, 0, send, ""},
        {"send: help before an unknown option", {"send", "--help", "--bogus"}, 0, send, ""},
        {"send: an unknown option, unquoted, before help",
         {"send", "--bogus", "--help"},
         2,
         "",
         "j3 send: unknown option --bogus\n" + send},
        {"send: a value that looks like an option is a value",
         {"send", "--to", "--help"},
         2,
         "",
         "j3 send: no file to send\n" + send},
        {"send: a value missing at the end",
         {"send", "a.syx", "--to"},
         2,
         "",
         "j3 send: --to needs a value\n" + send},
        {"send: a bad value before an unknown option",
         {"send", "--speed", "12", "--bogus"},
         2,
         "",
         "j3 send: --speed takes a speed index from 1 to 11\n" + send},
        {"send: 0 is no speed index",
         {"send", "a.syx", "--to", "1", "--speed", "0"},
         2,
         "",
         "j3 send: --speed takes a speed index from 1 to 11\n" + send},
        {"send: a signed delay",
         {"send", "a.syx", "--delay", "+1"},
         2,
         "",
         "j3 send: --delay takes a number of ticks, 0 or more\n" + send},
        {"send: \"--\" is no end of options",
         {"send", "a.syx", "--"},
         2,
         "",
         "j3 send: unknown option --\n" + send},
        {"send: a channel past 127",
         {"send", "a.syx", "--to", "1", "--device", "128"},
         2,
         "",
         "j3 send: --device takes a number from 0 to 127\n" + send},
        {"send: a loop word outside the list",
         {"send", "a.wav", "--loop", "sideways"},
         2,
         "",
         "j3 send: --loop takes file, on or off\n" + send},
        {"send: a stereo word outside the list",
         {"send", "a.wav", "--stereo", "both"},
         2,
         "",
         "j3 send: --stereo takes mix, left or right\n" + send},
        {"send: a sample number past 14 bits",
         {"send", "a.wav", "--sample-number", "16384"},
         2,
         "",
         "j3 send: --sample-number takes a number from 0 to 16383\n" + send},
        {"send: an empty destination",
         {"send", "a.syx", "--to", ""},
         2,
         "",
         "j3 send: --to DEST is required\n" + send},

        {"convert: help anywhere, even as a value",
         {"convert", "a.wav", "-o", "--help"},
         0,
         convert,
         ""},
        {"convert: the long output option is named by its short one",
         {"convert", "a.wav", "--output"},
         2,
         "",
         "j3 convert: -o needs a file name\n" + convert},
        {"convert: a choice option without its value",
         {"convert", "a.wav", "-o", "o.syx", "--loop"},
         2,
         "",
         "j3 convert: --loop takes file, on or off\n" + convert},
        {"convert: a second input before an unknown option",
         {"convert", "a.wav", "b.wav", "--fast"},
         2,
         "",
         "j3 convert: one input file only (\"b.wav\" is a second)\n" + convert},
        {"convert: an unknown option, quoted, before a second input",
         {"convert", "a.wav", "--fast", "b.wav"},
         2,
         "",
         "j3 convert: unknown option \"--fast\"\n" + convert},
        {"convert: a number past 32 bits does not wrap",
         {"convert", "a.wav", "-o", "o.syx", "--device", "4294967296"},
         2,
         "",
         "j3 convert: --device takes a number from 0 to 127\n" + convert},
        {"convert: a format outside the list",
         {"convert", "a.syx", "-o", "o", "--format", "WAV"},
         2,
         "",
         "j3 convert: --format takes wav, aiff or syx\n" + convert},
        {"convert: an empty output",
         {"convert", "a.wav", "-o", ""},
         2,
         "",
         "j3 convert: no output file (-o OUT)\n" + convert},

        {"waveform: a bad stereo word, without the usage",
         {"waveform", "a.wav", "--stereo", "up", "--bogus"},
         2,
         "",
         "j3 waveform: --stereo takes mix, left or right, not \"up\"\n"},
        {"waveform: an unknown option before a bad stereo word",
         {"waveform", "a.wav", "--bogus", "--stereo", "up"},
         2,
         "",
         "j3 waveform: unknown option \"--bogus\"\n" + waveform},
        {"waveform: a folder missing at the end",
         {"waveform", "a.wav", "-o"},
         2,
         "",
         "j3 waveform: -o needs a value\n" + waveform},
        {"waveform: no file", {"waveform", "--stereo", "left"}, 2, "", waveform},

        {"info: an unknown option",
         {"info", "--bogus", "a.syx"},
         2,
         "",
         std::string("j3 info: unknown option \"--bogus\"\n") + kInfoUsage},
        {"info: no file after the options", {"info", "--json", "--"}, 2, "", kInfoUsage},
        {"info: help", {"info", "--json", "--help"}, 0, kInfoUsage, ""},
        {"info: after \"--\", \"--help\" is a file name",
         {"info", "--", "--help", "--bogus"},
         1,
         "",
         "j3 info: cannot read \"--help\": No such file or directory\n"
         "j3 info: cannot read \"--bogus\": No such file or directory\n"},

        {"turbo: help", {"turbo", "--help"}, 0, kTurboUsage, ""},
        {"turbo: no source",
         {"turbo", "--to", "1"},
         2,
         "",
         std::string("j3 turbo: --from SRC is required (the speed report comes back there)\n") +
             kTurboUsage},
        {"turbo: a limit past the table",
         {"turbo", "--to", "1", "--from", "1", "--limit", "12"},
         2,
         "",
         std::string("j3 turbo: --limit takes a speed index from 0 to 11\n") + kTurboUsage},
        {"turbo: a file is no argument",
         {"turbo", "a.syx", "--to", "1"},
         2,
         "",
         std::string("j3 turbo: unexpected argument \"a.syx\"\n") + kTurboUsage},
        // The speed messages go to every device: the option the other
        // instrument verbs share is none of turbo's.
        {"turbo: no device to choose",
         {"turbo", "--to", "1", "--device", "3"},
         2,
         "",
         std::string("j3 turbo: unknown option \"--device\"\n") + kTurboUsage},

        {"ports: help first", {"ports", "--help", "extra"}, 0, kPortsUsage, ""},
        {"ports: help after something else", {"ports", "extra", "--help"}, 2, "", kPortsUsage},
        {"ports: an unknown option", {"ports", "--bogus"}, 2, "", kPortsUsage},
        {"ports: names of neither side",
         {"ports", "--names", "both"},
         2,
         "",
         std::string("j3 ports: --names takes sources or destinations\n") + kPortsUsage},
        {"ports: names without a side",
         {"ports", "--names"},
         2,
         "",
         std::string("j3 ports: --names takes sources or destinations\n") + kPortsUsage},
    };
    for (const Case& c : cases) {
        const CliRun r = run_j3(c.args);
        EXPECT_EQ(r.status, c.want_status) << c.description;
        EXPECT_EQ(r.out, c.want_out) << c.description;
        EXPECT_EQ(r.err, c.want_err) << c.description;
    }
}

bool ends_line(const std::string& text) {
    return !text.empty() && text.back() == '\n';
}

// The verbs `j3 --help` lists: the word after "j3" on each of its lines.
std::vector<std::string> listed_verbs() {
    const std::string help = run_j3({"--help"}).out;
    std::vector<std::string> verbs;
    for (size_t at = help.find("j3 "); at != std::string::npos; at = help.find("j3 ", at + 1)) {
        size_t end = at + 3;
        while (end < help.size() && help[end] >= 'a' && help[end] <= 'z') ++end;
        const std::string word = help.substr(at + 3, end - at - 3);
        if (!word.empty() && std::find(verbs.begin(), verbs.end(), word) == verbs.end())
            verbs.push_back(word);
    }
    return verbs;
}

// The manual shows each verb's --help as it is, so every verb has one, on
// standard output, and every usage text (help or error) ends its last line.
TEST(CommandLineUsage, EveryVerbTakesHelpAndEveryUsageEndsWithANewline) {
    const std::vector<std::string> verbs = listed_verbs();
    for (const char* known :
         {"ports", "send", "turbo", "receive", "info", "convert", "waveform", "list"}) {
        EXPECT_NE(std::find(verbs.begin(), verbs.end(), known), verbs.end()) << known;
    }
    for (const std::string& verb : verbs) {
        for (const char* help : {"--help", "-h"}) {
            const CliRun r = run_j3({verb, help});
            EXPECT_EQ(r.status, 0) << verb << " " << help;
            EXPECT_EQ(r.out.rfind("usage: j3 " + verb, 0), 0u) << verb << " " << help;
            EXPECT_TRUE(ends_line(r.out)) << verb << " " << help;
            EXPECT_EQ(r.err, "") << verb << " " << help;
        }
        const CliRun bad = run_j3({verb, "--no-such-option"});
        EXPECT_EQ(bad.status, 2) << verb;
        EXPECT_EQ(bad.out, "") << verb;
        EXPECT_NE(bad.err.find("usage: j3 " + verb), std::string::npos) << verb;
        EXPECT_TRUE(ends_line(bad.err)) << verb;
    }
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{}}) {
        const CliRun r = run_j3(line);
        const std::string& text = line.empty() ? r.err : r.out;
        EXPECT_EQ(r.status, line.empty() ? 2 : 0);
        EXPECT_EQ(text.rfind("usage: j3 ", 0), 0u);
        EXPECT_TRUE(ends_line(text));
    }
}

using MistypedVerb = testing::TestFolder;

// A script with a slip in its verb must get an error, not a window waiting
// on a file that does not exist.
TEST_F(MistypedVerb, IsAnUnknownCommandNotAFileForTheWindow) {
    const std::string existing = write("recieve", "x");  // a file of that name is a file
    const std::string folder = (dir / "sub").string();
    std::filesystem::create_directory(folder);
    struct Case {
        const char* description;
        std::vector<std::string> args;
        bool mistyped;
        std::string first_line;  // of standard error
    } cases[] = {
        {"two letters swapped",
         {"recieve", "--from", "X", "-o", "out"},
         true,
         "j3: unknown command \"recieve\": did you mean receive?"},
        {"a letter dropped",
         {"snd", "a.syx", "--to", "1"},
         true,
         "j3: unknown command \"snd\": did you mean send?"},
        {"a letter added",
         {"infoo", "--json", "a.syx"},
         true,
         "j3: unknown command \"infoo\": did you mean info?"},
        {"a letter changed",
         {"porte", "-x"},
         true,
         "j3: unknown command \"porte\": did you mean ports?"},
        {"no verb near it", {"fetch", "--from", "X"}, true, "j3: unknown command \"fetch\""},
        {"a letter dropped, the option mistyped too",
         {"recive", "--form", "X"},
         true,
         "j3: unknown command \"recive\": did you mean receive?"},
        {"more than one slip: no suggestion",
         {"rcvie", "--from", "X"},
         true,
         "j3: unknown command \"rcvie\""},
        {"no option after it: files for the window", {"recieve", "out"}, false, ""},
        {"a lone dash is no option", {"recieve", "-"}, false, ""},
        {"a name with an extension is a file", {"recieve.syx", "--from", "X"}, false, ""},
        {"an existing file", {existing, "--from", "X"}, false, ""},
        {"an existing folder", {folder, "-o", "X"}, false, ""},
        {"nothing after it", {"recieve"}, false, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "j3");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        EXPECT_EQ(is_mistyped_verb(int(argv.size()), argv.data()), c.mistyped) << c.description;
        if (!c.mistyped) continue;
        const CliRun r = run_j3(c.args);
        EXPECT_EQ(r.status, 2) << c.description;
        EXPECT_EQ(r.out, "") << c.description;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first_line) << c.description;
        EXPECT_NE(r.err.find("usage: j3"), std::string::npos) << c.description;
        EXPECT_EQ(r.err.back(), '\n') << c.description;
    }
}

}  // namespace
}  // namespace j3
