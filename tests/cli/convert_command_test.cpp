// j3 convert, run as the command line runs it, on files in a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/cli.h"
#include "cli/cli_run.h"
#include "fakes/test_folder.h"
#include "fixtures/audio_files.h"
#include "fixtures/libsndfile_oracle.h"
#include "format/item_names.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

namespace fs = std::filesystem;

class ConvertCommand : public j3::testing::TestFolder {
  protected:
    std::string path(const std::string& name) const { return (dir / name).string(); }
    Bytes read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

Bytes sample_wav(size_t frames, int32_t seed, std::optional<Loop> loop = std::nullopt) {
    WavFile w;
    for (size_t i = 0; i < frames; ++i)
        w.samples.push_back(int32_t((i * 37 + size_t(seed)) % 60000) - 30000);
    w.loop = loop;
    return make_wav(w);
}

Bytes wire_bytes(const Dump& d) {
    Bytes all = d.first;
    for (const Bytes& p : d.packets) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST_F(ConvertCommand, AudioBecomesTheBytesOnTheWire) {
    Bytes wav = sample_wav(1000, 1, Loop{10, 900, 0});
    write("Kick.wav", wav);
    struct Case {
        const char* description;
        std::vector<std::string> options;
        SdsItemParams item;
    } cases[] = {
        {"defaults", {}, {}},
        {"device, sample number, loop off",
         {"--device", "5", "--sample-number", "300", "--loop", "off"},
         {5, 300, kLoopOff, kStereoMix, 0, nullptr}},
        {"both names",
         {"--extended", "--send-filename"},
         {0, 0, kLoopFile, kStereoMix, 0, nullptr}},
    };
    const std::string base = "Kick";
    cases[2].item.name_text = &base;
    cases[2].item.name_code = sds_name_code(base);
    for (const Case& c : cases) {
        std::vector<std::string> args = {path("Kick.wav"), "-o", path("out.syx")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(exit_status(convert_command(args).end), 0) << c.description;
        EXPECT_EQ(read("out.syx"), wire_bytes(encode_item(wav, c.item))) << c.description;
    }
}

TEST_F(ConvertCommand, DumpsBecomeAudioFiles) {
    Bytes first = sample_wav(500, 1), second = sample_wav(130, 2, Loop{5, 100, 0});
    Bytes dumps = wire_bytes(encode_item(first));
    Bytes more = wire_bytes(encode_item(second));
    dumps.insert(dumps.end(), more.begin(), more.end());
    write("two.syx", dumps);

    for (const char* format : {"wav", "aiff"}) {
        std::string out = std::string("dump.") + format;
        ASSERT_EQ(exit_status(
                      convert_command({path("two.syx"), "--format", format, "-o", path(out)}).end),
                  0)
            << format;
        SoundRead a = read_with_libsndfile(read(out));
        SoundRead b = read_with_libsndfile(read(std::string("dump-2.") + format));
        ASSERT_TRUE(a.ok && b.ok) << format;
        EXPECT_EQ(a.info.frames, 500) << format;
        EXPECT_EQ(b.info.frames, 130) << format;
        EXPECT_FALSE(a.has_instrument) << format;
        EXPECT_TRUE(b.has_instrument) << format;
        SoundRead original = read_with_libsndfile(second);
        EXPECT_EQ(b.samples, original.samples) << format;
    }
    // The SysEx converter gives each dump back as it came.
    ASSERT_EQ(exit_status(convert_command({path("two.syx"), "-o", path("copy.syx")}).end), 0);
    EXPECT_EQ(read("copy.syx"), wire_bytes(encode_item(first)));
    EXPECT_EQ(read("copy-2.syx"), more);

    // A capture of the wire with timing clock and active sensing inside messages.
    Bytes captured = wire_bytes(encode_item(first));
    captured.insert(captured.begin() + 30, 0xF8);
    captured.insert(captured.begin() + 200, 0xFE);
    write("captured.syx", captured);
    ASSERT_EQ(exit_status(convert_command({path("captured.syx"), "-o", path("captured.wav")}).end),
              0);
    EXPECT_EQ(read("captured.wav"), read("dump.wav"));
}

TEST_F(ConvertCommand, BadInput) {
    Bytes damaged = sample_wav(100, 1);
    write_le32(damaged.data() + 40, 100000);  // the data chunk runs past the end
    write("damaged.wav", damaged);
    Bytes whole = wire_bytes(encode_item(sample_wav(100, 1)));
    write("cut.syx", Bytes(whole.begin(), whole.end() - 127));
    Bytes bad_packet = whole;
    bad_packet[21 + 60] ^= 0x01;
    write("bad_packet.syx", bad_packet);
    write("plain.syx", {0xF0, 0x43, 0x10, 0x00, 0xF7});
    write("song.wav", sample_wav(10, 1));
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int want_status;
    } cases[] = {
        {"missing input", {path("none.wav"), "-o", path("o.syx")}, 1},
        {"damaged WAV", {path("damaged.wav"), "-o", path("o.syx")}, 1},
        {"dump cut short", {path("cut.syx"), "--format", "wav", "-o", path("o.wav")}, 1},
        {"damaged packet", {path("bad_packet.syx"), "--format", "wav", "-o", path("o.wav")}, 1},
        {"no sample dump", {path("plain.syx"), "--format", "wav", "-o", path("o.wav")}, 1},
        {"no output", {path("song.wav")}, 2},
        {"unknown option", {path("song.wav"), "-o", path("o.syx"), "--fast"}, 2},
        {"bad loop value", {path("song.wav"), "-o", path("o.syx"), "--loop", "maybe"}, 2},
        {"device out of range", {path("song.wav"), "-o", path("o.syx"), "--device", "128"}, 2},
        {"audio option on a dump", {path("cut.syx"), "-o", path("o.wav"), "--stereo", "left"}, 1},
        {"no format known", {path("cut.syx"), "-o", path("o.bin")}, 1},
        {"audio input to an audio name", {path("song.wav"), "-o", path("o.wav")}, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exit_status(convert_command(c.args).end), c.want_status) << c.description;
        EXPECT_FALSE(fs::exists(path("o.wav"))) << c.description;
        EXPECT_FALSE(fs::exists(path("o.syx"))) << c.description;
    }
}

// What the user must hear about: a sample cut to what a standard header can
// announce, and damage in a flood of stray bytes (a few places and a count,
// not a line per byte).
TEST_F(ConvertCommand, TellsWhatItCutAndSummarisesDamage) {
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples.assign(size_t(kStandardHeaderMaxWords) + 10, 0);
    write("long.wav", make_wav(w));
    CliRun r = run_j3({"convert", path("long.wav"), "-o", path("long.syx")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("2097151 of 2097161 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--extended"), std::string::npos) << r.err;
    r = run_j3({"convert", path("long.wav"), "--extended", "-o", path("long.syx")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    Bytes stray(100000, 0xF0);
    const Bytes whole = wire_bytes(encode_item(sample_wav(100, 1)));
    stray.insert(stray.end(), whole.begin(), whole.end());
    write("stray.syx", stray);
    r = run_j3({"convert", path("stray.syx"), "--format", "wav", "-o", path("stray.wav")});
    EXPECT_EQ(r.status, 0) << "the dump after the stray bytes is whole";
    EXPECT_TRUE(fs::exists(path("stray.wav")));
    EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 30) << r.err.substr(0, 300);
    EXPECT_NE(r.err.find("99980 more"), std::string::npos) << r.err.substr(r.err.size() - 300);
}

}  // namespace
}  // namespace j3::testing
