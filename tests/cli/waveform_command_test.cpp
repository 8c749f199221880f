// `j3 waveform` over files on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "analysis/inventory_text.h"
#include "cli/cli_run.h"
#include "fixtures/audio_files.h"
#include "format/item_choices.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using testing::interleave;
using testing::Loop;
using testing::sine;
using testing::wav16;

class WaveformCli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("j3_waveform_cli_" + std::to_string(std::random_device{}()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "in");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::vector<uint8_t>& data) {
        const fs::path p = dir / "in" / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return p.string();
    }
    std::vector<uint8_t> read(const std::string& name) {
        std::ifstream in(dir / "out" / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "waveform");
        testing::CliRun r = testing::run_j3(std::move(args));
        err = std::move(r.err);
        out = std::move(r.out);
        return r.status;
    }

    fs::path dir;
    std::string err, out;
};

TEST_F(WaveformCli, BuildsQualifyingFilesAndNamesTheOthers) {
    const std::string a = write("Alpha.wav", wav16(sine(1024, 1, 1024), 1, Loop{0, 1023}));
    const std::string text = write("notes.txt", {'h', 'i', '\n', 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const std::string big =
        write("Big.wav", wav16(std::vector<int16_t>(17000, 1), 1, Loop{0, 16500}));
    const std::string b = write("Beta.wav", wav16(sine(700, 3, 700), 1, Loop{0, 699}));
    const std::string missing = (dir / "in" / "none.wav").string();

    EXPECT_EQ(run({a, text, big, "-o", (dir / "out").string(), b, missing}), 1);

    const std::vector<uint8_t> alpha = read("Alpha.syx"), beta = read("Beta.syx");
    ASSERT_EQ(alpha.size(), kWaveformMessageBytes);
    ASSERT_EQ(beta.size(), kWaveformMessageBytes);
    EXPECT_EQ(analyse_ly_sysex(alpha.data(), alpha.size()), "\nZentrix waveform at position 1");
    EXPECT_EQ(analyse_ly_sysex(beta.data(), beta.size()), "\nZentrix waveform at position 2")
        << "files that do not qualify take no slot";
    EXPECT_NE(err.find("notes.txt: skipped, not a WAV, AIFF or AIFC file"), std::string::npos)
        << err;
    EXPECT_NE(err.find("Big.wav: skipped, its loop spans 16501 frames"), std::string::npos) << err;
    EXPECT_NE(err.find("none.wav: could not be opened"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "out" / "Big.syx"));
    EXPECT_NE(out.find("Beta.syx (slot 1, position 2)"), std::string::npos) << out;
}

TEST_F(WaveformCli, StereoChoice) {
    const std::vector<uint8_t> file =
        wav16(interleave(sine(1024, 1, 1024), sine(1024, 2, 1024)), 2, Loop{0, 1023});
    const std::string path = write("St.wav", file);
    ASSERT_EQ(run({path, "--stereo", "right", "-o", (dir / "out").string()}), 0) << err;

    FftTables fft;
    fft_setup(fft, 16384, kFftAnySize);
    EXPECT_EQ(
        read("St.syx"),
        build_waveform_for_item(fft, file.data(), file.size(), path, j3::kStereoRight, 0).message);
}

TEST_F(WaveformCli, SameBaseNameTwiceKeepsTheFirst) {
    const std::string one = write("a/Loop.wav", wav16(sine(512, 1, 512), 1, Loop{0, 511}));
    const std::string two = write("b/Loop.aif", testing::aiff16(sine(256, 1, 256), 1));
    EXPECT_EQ(run({one, two, "-o", (dir / "out").string()}), 1);
    const std::vector<uint8_t> kept = read("Loop.syx");
    ASSERT_EQ(kept.size(), kWaveformMessageBytes);
    EXPECT_EQ(kept[9], 0) << "the first file's message stays";
    EXPECT_NE(err.find("was written for an earlier file"), std::string::npos) << err;
}

TEST_F(WaveformCli, UsageErrors) {
    struct Case {
        const char* description;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"no files", {}},
        {"bad stereo choice", {"x.wav", "--stereo", "both"}},
        {"-o without a folder", {"x.wav", "-o"}},
        {"unknown option", {"x.wav", "--fast"}},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.args), 2) << c.description;
}

}  // namespace
}  // namespace j3
