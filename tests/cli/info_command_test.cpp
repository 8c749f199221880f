// `j3 info` shows the type tag and the analysis text of each file, the same
// words the window shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_run.h"
#include "fakes/test_folder.h"
#include "fixtures/audio_files.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"

namespace j3 {
namespace {

using namespace j3::testing;
namespace fs = std::filesystem;

struct InfoCommandSysex : j3::testing::TestFolder {
    std::string run(std::vector<std::string> args, int& status) {
        args.insert(args.begin(), "info");
        const CliRun r = run_j3(std::move(args));
        status = r.status;
        return r.out;
    }
};

TEST_F(InfoCommandSysex, EveryFamilyUpgradeSchemeAndDumpCase) {
    const std::string kx_zero =
        "Normal Globals: 0 Kits: 0 Patterns: 0 Songs: 0 \\nBroken Globals: 0 Kits: 0 Patterns: 0 "
        "Songs: 0";
    struct Case {
        const char* description;
        Bytes file;
        const char* type;
        std::string info;  // as JSON text
    } cases[] = {
        {"KX kits, one broken",
         cat({family_block(0x02, 0x52), family_block(0x02, 0x52, 9),
              block({0x02, 0x52, block_data(5), 9, 1})}),
         "KX",
         "Normal Globals: 0 Kits: 2 Patterns: 0 Songs: 0 \\nBroken Globals: 0 Kits: 1 Patterns: 0 "
         "Songs: 0"},
        {"LY waveform alone", ly_waveform(0), "LY", "\\nZentrix waveform at position 1"},
        {"LY two waveforms and a kit",
         cat({ly_waveform(0), family_block(0x03, 0x52), ly_waveform(1)}), "LY",
         "Normal Globals: 0 Kits: 1 Patterns: 0 Songs: 0 \\nBroken Globals: 0 Kits: 0 Patterns: 0 "
         "Songs: 0\\nNormal ZTRX waveforms: 2, broken ZTRX waveforms: 0"},
        {"ZB settings", family_block(0x06, 0x56), "ZB",
         "Normal Globals: 0 Kits: 0 Sounds: 0\\n       Patterns: 0 Songs: 0 Settings: 1\\nBroken "
         "Globals: 0 Kits: 0 Sounds: 0\\n       Patterns: 0 Songs: 0 Settings: 0"},
        {"VQR", family_block(0x01, 0x10), "VQR", "TALVOMATIC"},
        {"KX upgrade", upgrade_a(0x02, {40, 40}), "KX", "Sysex Upgrade"},
        {"KX upgrade without control", upgrade_a_data({0x02, upgrade_payload(40)}), "KX",
         "Sysex Upgrade (Broken!)"},
        {"LY upgrade", upgrade_a(0x03, {12}), "LY", "Sysex Upgrade"},
        {"PW upgrade", upgrade_a(0x05, {15, 7}), "PW", "Sysex Upgrade"},
        {"PW without upgrade data: no text", family_block(0x05, 0x52), "PW", ""},
        {"ZB upgrade", upgrade_b(0x06, 5, 2), "ZB", "Sysex Upgrade"},
        {"ZB upgrade with three control messages",
         cat({upgrade_b(0x06, 5, 2), upgrade_b_control(0x06, 2, 5, 2)}), "ZB",
         "Sysex Upgrade (Broken!)"},
        {"07 upgrade", upgrade_b(0x07, 2, 2), "-", "Sysex Upgrade"},
        {"07 upgrade with seed 3", upgrade_b(0x07, 3, 2), "-", "Sysex Upgrade (Broken!)"},
        {"SDS dump", sds_dump(2), "SDS",
         "Dump length: 120 Sample Rate: 44100\\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"SDS dump with a wrong checksum",
         cat({sds_header({}), sds_packet(0), sds_packet(1, 0, 3)}), "SDS",
         "0 correct and 0 broken sample dumps."},
        {"SDS dump with a packet out of step",
         cat({sds_header({}), sds_packet(0), sds_packet(9), sds_packet(2)}), "SDS",
         "Broken sample dump."},
        {"SDS dump at 48 kHz", sds_dump(1, {.period_ns = 20833}), "SDS",
         "Dump length: 120 Sample Rate: 48000\\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"SDS dump with the extended header J3 writes",
         cat({sds_extended_header(44100, 120), sds_packet(0), sds_packet(1)}), "SDS",
         "Dump length: 120 Sample Rate: 44100\\nBits: 16 Loop OFF. Loop start: 0 Loop end: 119"},
        {"SDS header beside a KX message", cat({sds_dump(1), family_block(0x02, 0x10)}), "KX",
         kx_zero},
        // Its samples are read in pieces for the device test, and still say
        // what they hold.
        {"a WAV whose samples hold an LY waveform", make_wav({.raw_data = ly_waveform(0)}), "WAV",
         "\\nZentrix waveform at position 1"},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string path = write("item" + std::to_string(index++) + ".syx", c.file);
        int status = -1;
        const std::string out = run({"--json", path}, status);
        EXPECT_EQ(status, 0) << c.description;
        EXPECT_EQ(out, "{\"file\":\"" + path + "\",\"type\":\"" + c.type + "\",\"info\":\"" +
                           c.info + "\"}\n")
            << c.description;
    }
}

TEST_F(InfoCommandSysex, PlainTextShowsTypeAndText) {
    const std::string a = write("a.syx", family_block(0x01, 0x10));
    const std::string b = write("b.syx", ly_waveform(4));
    int status = -1;
    EXPECT_EQ(run({a, b}, status),
              a + ": VQR\nTALVOMATIC\n\n" + b + ": LY\n\nZentrix waveform at position 5\n");
    EXPECT_EQ(status, 0);
}

// The audio files: the readers' texts, the JSON form and the errors.
struct InfoCommand : j3::testing::TestFolder {
    CliRun run(std::vector<std::string> args) {
        args.insert(args.begin(), "info");
        return run_j3(std::move(args));
    }
};

TEST_F(InfoCommand, PrintsNameTypeAndTextForEachFile) {
    const std::string a = write("a.wav", canonical_wav(1000));
    const std::string b = write("b.aif", aiff({comm(1, 2, 16, 44100), {"SSND", Bytes(4), 80}}));
    const std::string c = write("c.syx", {0xF0, 0xF7});
    const CliRun r = run({a, b, c});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, a +
                         ": WAV\nSample length: 1000 Channels: 2 Sample Rate: 44100\nBits: 16 Loop "
                         "OFF.\n\n" +
                         b + ": AIFF\nAIFF: Chunk size error\n\n" + c + ": -\n");
}

TEST_F(InfoCommand, ADumpJ3WroteWithTheExtendedHeaderIsASampleDump) {
    const std::string wav = write("Kick.wav", canonical_wav(1000));
    const std::string dump = (dir / "Kick.syx").string();
    ASSERT_EQ(run_j3({"convert", wav, "--extended", "-o", dump}).status, 0);
    const CliRun r = run({dump});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, dump +
                         ": SDS\nDump length: 1000 Sample Rate: 44100\nBits: 16 Loop OFF. Loop "
                         "start: 0 Loop end: 999\n");
}

TEST_F(InfoCommand, PrintsOneJsonObjectPerLine) {
    const std::string a =
        write("q\"uote\\.aifc", aifc({comm(1, 2, 16, 44100, "NONE"), {"SSND", Bytes(4), 80}}));
    const std::string b = write("b.aiff", aiff({ssnd(Bytes(4)), comm(1, 2, 16, 44100)}));
    const std::string bad_utf8 = write(std::string("x\xFF.wav"), canonical_wav(1));
    const CliRun r = run({"--json", a, b, bad_utf8});
    EXPECT_EQ(r.status, 0);
    const std::string dir_json = dir.string();  // no characters to escape in temp paths
    EXPECT_EQ(r.out,
              "{\"file\":\"" + dir_json +
                  "/q\\\"uote\\\\.aifc\",\"type\":\"AIFC\",\"info\":\"AIFC: Chunk size error\"}\n"
                  "{\"file\":\"" +
                  dir_json +
                  "/b.aiff\",\"type\":\"AIFF\",\"info\":\"Unknown AIFF\\tFormat\"}\n"
                  "{\"file\":\"" +
                  dir_json +
                  "/x\\ufffd.wav\",\"type\":\"WAV\",\"info\":\"Sample length: 1 Channels: 2 Sample "
                  "Rate: 44100\\nBits: 16 Loop OFF.\"}\n");
}

TEST_F(InfoCommand, ReportsUnreadableFilesAndGoesOn) {
    const std::string a = write("a.wav", canonical_wav(1));
    const std::string missing = (dir / "missing.wav").string();
    const CliRun r = run({missing, dir.string(), a});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "j3 info: cannot read \"" + missing +
                         "\": No such file or directory\n"
                         "j3 info: cannot read \"" +
                         dir.string() + "\": Is a directory\n");
    EXPECT_EQ(r.out, a + ": WAV\nSample length: 1 Channels: 2 Sample Rate: 44100\nBits: 16 Loop "
                         "OFF.\n");
}

TEST_F(InfoCommand, RefusesBadArguments) {
    struct Case {
        const char* description;
        std::vector<std::string> args;
    } cases[] = {
        {"no file", {}},
        {"only --json", {"--json"}},
        {"an unknown option", {"--xml", "a.wav"}},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.description;
        EXPECT_NE(r.err.find("usage: j3 info"), std::string::npos) << c.description;
        EXPECT_EQ(r.out, "") << c.description;
    }
}

}  // namespace
}  // namespace j3

namespace j3 {
namespace {

// `j3 info --messages`: the window's message table as text and as JSON lines.
struct InfoMessages : j3::testing::TestFolder {
    CliRun run(std::vector<std::string> args) {
        args.insert(args.begin(), {"info", "--messages"});
        return run_j3(std::move(args));
    }
};

TEST_F(InfoMessages, OneJsonObjectPerMessage) {
    Bytes big = {0xF0, 0x43, 0x10};
    big.resize(4500, 0x01);
    big.push_back(0xF7);
    const Bytes broken = block({0x02, 0x52, block_data(5), 9, 1});
    const std::string path = write("mixed.syx", cat({{0x11, 0x22},
                                                     family_block(0x03, 0x5D),
                                                     {0xF7, 0x00},
                                                     broken,
                                                     sds_packet(0),
                                                     big,
                                                     {0xF0, 0x7E, 0x00}}));
    const CliRun r = run({"--json", path});
    EXPECT_EQ(r.status, 0);
    const std::string file = "{\"file\":\"" + path + "\",";
    const size_t ly = family_block(0x03, 0x5D).size();
    const std::string broken_at = std::to_string(2 + ly + 2);
    const std::string sds_at = std::to_string(2 + ly + 2 + broken.size());
    const std::string big_at = std::to_string(2 + ly + 2 + broken.size() + 127);
    EXPECT_EQ(r.out,
              file + "\"offset\":2,\"length\":" + std::to_string(ly) +
                  ",\"maker\":\"00 20 3C\",\"maker_name\":\"\",\"family\":\"LY\","
                  "\"kind\":\"Waveform\",\"checksum\":\"good\"}\n" +
                  file + "\"offset\":" + broken_at +
                  ",\"length\":" + std::to_string(broken.size()) +
                  ",\"maker\":\"00 20 3C\",\"maker_name\":\"\",\"family\":\"KX\","
                  "\"kind\":\"Kit\",\"checksum\":\"bad\"}\n" +
                  file + "\"offset\":" + sds_at +
                  ",\"length\":127,\"maker\":\"7E\",\"maker_name\":\"Universal non-real-time\","
                  "\"family\":\"SDS\",\"kind\":\"Data packet\",\"checksum\":\"good\"}\n" +
                  file + "\"offset\":" + big_at +
                  ",\"length\":4501,\"maker\":\"43\",\"maker_name\":\"Yamaha\",\"family\":\"\","
                  "\"kind\":\"\",\"checksum\":\"\"}\n");
}

TEST_F(InfoMessages, TextTableAndFilesWithoutMessages) {
    const std::string a = write("a.syx", {0xF0, 0x41, 0x10, 0xF7});
    const std::string b = write("b.wav", canonical_wav(100));  // audio: no table
    const std::string c = write("c.syx", {0xF0, 0x41});        // only an unterminated tail
    const CliRun r = run({a, b, c});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, a + ": 1 message\n" +
                         "    offset   length  maker     family kind                 checksum "
                         "maker name\n" +
                         "         0        4  41                                             "
                         "Roland\n\n" +
                         b + ": 0 messages\n\n" + c + ": 0 messages\n");
}

}  // namespace
}  // namespace j3
