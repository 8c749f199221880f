#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/audio_fixtures.h"
#include "audio/audio_info.h"
#include "cli/cli.h"
#include "fakes/test_folder.h"

namespace j3 {
namespace {

using namespace fixtures;

struct Buttons {
    bool loop, stereo, waveform;
    bool operator==(const Buttons&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Buttons& b) {
    return os << "{loop " << b.loop << ", stereo " << b.stereo << ", waveform " << b.waveform
              << "}";
}

Bytes first_bytes(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

TEST(AudioInfoText, ShowsTheWindowsTexts) {
    const Buttons none{false, false, false};
    struct Case {
        const char* description;
        Bytes file;
        std::string text;
        Buttons buttons;
    } cases[] = {
        {"stereo WAV without loop",
         canonical_wav(1000),
         "Sample length: 1000 Channels: 2 Sample Rate: 44100\nBits: 16 Loop OFF.",
         {true, true, true}},
        {"mono WAV with a forward loop",
         wav({fmt(1, 1, 22050, 24), data_of_size(300), smpl(0, {{0, 10, 90}})}),
         "Sample length: 100 Channels: 1 Sample Rate: 22050\nBits: 24 Loop ON. Loop start: 10 "
         "Loop end: 90",
         {true, false, true}},
        {"a loop of 16384 frames is too long for a waveform",
         wav({fmt(1, 1, 44100, 8), data_of_size(20000), smpl(0, {{0, 0, 16384}})}),
         "Sample length: 20000 Channels: 1 Sample Rate: 44100\nBits: 8 Loop ON. Loop start: 0 "
         "Loop end: 16384",
         {true, false, false}},
        {"four channels never make a waveform",
         canonical_wav(10, 4),
         "Sample length: 10 Channels: 4 Sample Rate: 44100\nBits: 16 Loop OFF.",
         {true, false, false}},
        {"AIFF with markers and play mode 0",
         aiff({comm(1, 100, 16, 44100), inst(0, 1, 2), mark({{1, 5, "a"}, {2, 50, "b"}}),
               ssnd(Bytes(200))}),
         "Sample length: 100 Channels: 1 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 5 "
         "Loop end: 50",
         {true, false, true}},
        {"AIFC fl32 stereo",
         aifc({comm(2, 10, 32, 48000, "fl32"), ssnd(Bytes(80))}),
         "Sample length: 10 Channels: 2 Sample Rate: 48000\nBits: 24 Loop OFF.",
         {true, true, true}},
        {"a RIFF size of 0", wav({}, 0), "Wave: Chunk size error", none},
        {"RIFF of another form", make_form("RIFF", "AVI ", {}, false), "", none},
        {"RIFF WAVE cut inside its first chunk header", first_bytes(canonical_wav(1), 18),
         "Wave: Chunk size error", none},
        {"WAV chunk size error", wav({fmt(1, 1, 44100, 16), {"data", Bytes(4), 8}}),
         "Wave: Chunk size error", none},
        {"WAV ADPCM", wav({fmt(2, 1, 44100, 4), data_of_size(4)}), "Wave: Not PCM or Float", none},
        {"WAV data before fmt", wav({data_of_size(4), fmt(1, 1, 44100, 16)}), "Unknown Wave Format",
         none},
        {"AIFF without COMM before SSND", aiff({ssnd(Bytes(4)), comm(1, 2, 16, 44100)}),
         "Unknown AIFF\tFormat", none},
        {"AIFF with zero channels", aiff({comm(0, 2, 16, 44100), ssnd(Bytes(4))}),
         "Unknown AIFF\tFormat", none},
        {"AIFF chunk size error", aiff({comm(1, 2, 16, 44100), {"SSND", Bytes(4), 80}}),
         "AIFF: Chunk size error", none},
        {"AIFC without COMM before SSND", aifc({ssnd(Bytes(4)), comm(1, 2, 16, 44100, "NONE")}),
         "Unknown AIFC\tFormat", none},
        {"AIFC chunk size error", aifc({comm(1, 2, 16, 44100, "NONE")}), "AIFC: Chunk size error",
         none},
        {"AIFC ima4", aifc({comm(1, 2, 16, 44100, "ima4"), ssnd(Bytes(4))}),
         "AIFC: Not PCM or Float", none},
        {"not audio", Bytes{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, "", none},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioInfoText got = audio_info_text(c.file.data(), c.file.size(), info);
        EXPECT_EQ(got.text, c.text) << c.description;
        EXPECT_EQ((Buttons{got.enable.loop, got.enable.stereo, got.enable.waveform}), c.buttons)
            << c.description;
    }
}

namespace fs = std::filesystem;

struct InfoCommand : j3::testing::TestFolder {
    struct Run {
        int status;
        std::string out, err;
    };
    Run run(const std::vector<std::string>& args) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status = info_command(args);
        std::fflush(stdout);
        std::fflush(stderr);
        std::string out = ::testing::internal::GetCapturedStdout();
        std::string err = ::testing::internal::GetCapturedStderr();
        return {status, out, err};
    }
};

TEST_F(InfoCommand, PrintsNameTypeAndTextForEachFile) {
    const std::string a = write("a.wav", canonical_wav(1000));
    const std::string b = write("b.aif", aiff({comm(1, 2, 16, 44100), {"SSND", Bytes(4), 80}}));
    const std::string c = write("c.syx", {0xF0, 0xF7});
    const Run r = run({a, b, c});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, a +
                         ": WAV\nSample length: 1000 Channels: 2 Sample Rate: 44100\nBits: 16 Loop "
                         "OFF.\n\n" +
                         b + ": AIFF\nAIFF: Chunk size error\n\n" + c + ": -\n");
}

TEST_F(InfoCommand, PrintsOneJsonObjectPerLine) {
    const std::string a =
        write("q\"uote\\.aifc", aifc({comm(1, 2, 16, 44100, "NONE"), {"SSND", Bytes(4), 80}}));
    const std::string b = write("b.aiff", aiff({ssnd(Bytes(4)), comm(1, 2, 16, 44100)}));
    const std::string bad_utf8 = write(std::string("x\xFF.wav"), canonical_wav(1));
    const Run r = run({"--json", a, b, bad_utf8});
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
    const Run r = run({missing, dir.string(), a});
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
        const Run r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.description;
        EXPECT_NE(r.err.find("usage: j3 info"), std::string::npos) << c.description;
        EXPECT_EQ(r.out, "") << c.description;
    }
}

}  // namespace
}  // namespace j3
