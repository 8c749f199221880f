#include "engine/item_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "analysis/inventory_text.h"
#include "analysis/item_info.h"
#include "engine/list_commands.h"
#include "fakes/held_send.h"
#include "fakes/test_context.h"
#include "fixtures/audio_files.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

using namespace j3::testing;

// A mono 16-bit PCM WAV file at 44100 Hz holding the sample bytes.
Bytes wav_file(const Bytes& sample_bytes) {
    return make_wav({.raw_data = sample_bytes});
}

struct ItemInfoTest : ::testing::Test {
    void add(Bytes data, int32_t loop = 0, int32_t stereo = 0) {
        FileEntry e;
        e.file = "item";
        e.loop = loop;
        e.stereo = stereo;
        set_entry_data(e, std::move(data));
        push_entry(t.ctx.files, std::move(e));
    }
    std::string select(uint32_t id) {
        show_item_info(t.ctx, id, kItemSelectedNotification);
        return t.window.info_text;
    }
    TestContext t;
};

TEST_F(ItemInfoTest, AnalysisChosenInFamilyOrder) {
    const Bytes kx = family_block(0x02, 0x52);
    const Bytes ly = ly_waveform(0);
    const Bytes zb = family_block(0x06, 0x52);
    const Bytes d07 = family_block(0x07, 0x52);
    const Bytes vqr = family_block(0x01, 0x52);
    const Bytes sds = sds_dump(1);
    const Bytes wav_with_ly = wav_file(ly);
    struct Case {
        const char* description;
        Bytes buffer;
        std::string want;
    } cases[] = {
        {"LY then KX: KX analysis", cat({ly, kx}), analyse_kx_sysex(kx.data(), kx.size())},
        {"VQR and LY: LY analysis", cat({vqr, ly}), "\nZentrix waveform at position 1"},
        {"ZB and device id 07: ZB analysis", cat({d07, zb}),
         analyse_zb_sysex(zb.data(), zb.size())},
        {"device id 07 alone", d07, analyse_device07_sysex(d07.data(), d07.size())},
        {"VQR and ZB: ZB analysis before the fixed text", cat({vqr, zb}),
         analyse_zb_sysex(zb.data(), zb.size())},
        {"VQR", vqr, "TALVOMATIC"},
        {"VQR before an SDS dump", cat({sds, vqr}), "TALVOMATIC"},
        {"WAV whose samples hold an LY waveform: the LY analysis", wav_with_ly,
         "\nZentrix waveform at position 1"},
        {"SDS dump", sds, analyse_sds_dump(sds.data(), sds.size())},
        {"nothing known", Bytes{1, 2, 3, 0xF0, 0xF7}, ""},
        {"empty", Bytes{}, ""},
    };
    for (const Case& c : cases) {
        t.window.info_text = "previous";
        add(c.buffer);
        EXPECT_EQ(select(uint32_t(t.ctx.files.size())), c.want) << c.description;
    }
}

TEST_F(ItemInfoTest, AudioItemTakesTheReadersTextAndButtons) {
    Bytes samples(2000);
    for (size_t k = 0; k < samples.size(); ++k) samples[k] = uint8_t(k * 7);
    const Bytes wav = wav_file(samples);
    SampleInfo info;
    const AudioInfoText want = audio_info_text(wav.data(), wav.size(), info);
    ASSERT_FALSE(want.text.empty());

    add(wav);
    EXPECT_EQ(select(1), want.text);
    EXPECT_EQ(t.window.enabled(kLoopButton), want.enable.loop);
    EXPECT_EQ(t.window.enabled(kStereoButton), want.enable.stereo);
    EXPECT_EQ(t.window.enabled(kWaveformButton), want.enable.waveform);
    // The text is of this item's samples: 2000 bytes of 16-bit mono.
    EXPECT_EQ(info.sample_length, 1000);
    EXPECT_NE(t.window.info_text.find("Sample length: 1000 "), std::string::npos);
}

TEST_F(ItemInfoTest, SelectionResetsTheItemButtons) {
    struct Case {
        const char* description;
        int32_t loop, stereo;
        const char* loop_title;  // nullptr: title unchanged
        const char* stereo_title;
    } cases[] = {
        {"choice 0", 0, 0, "Loop:File", "L + R"},
        {"choice 1", 1, 1, "Loop On", "Left"},
        {"choice 2", 2, 2, "Loop Off", "Right"},
        {"above 2 shows choice 0", 5, 3, "Loop:File", "L + R"},
        {"negative leaves the title", -1, -4, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        t.window.text_history.clear();
        t.window.enable_loop_button(true);
        t.window.enable_stereo_button(true);
        t.window.enable_waveform_button(true);
        add(family_block(0x02, 0x52), c.loop, c.stereo);
        select(uint32_t(t.ctx.files.size()));
        for (Shown control : {kLoopButton, kStereoButton, kWaveformButton}) {
            EXPECT_FALSE(t.window.enabled(control)) << c.description << " control " << control;
        }
        EXPECT_EQ(t.window.texts(kLoopButton), c.loop_title ? std::vector<std::string>{c.loop_title}
                                                            : std::vector<std::string>{})
            << c.description;
        EXPECT_EQ(t.window.texts(kStereoButton), c.stereo_title
                                                     ? std::vector<std::string>{c.stereo_title}
                                                     : std::vector<std::string>{})
            << c.description;
    }
}

TEST_F(ItemInfoTest, PwWithoutUpgradeKeepsThePreviousText) {
    add(family_block(0x02, 0x52));
    add(family_block(0x05, 0x52));
    add(upgrade_a(0x05, {21}));
    const std::string kx_text = select(1);
    EXPECT_EQ(select(2), kx_text);
    EXPECT_EQ(select(3), "Sysex Upgrade");

    const Bytes pw = family_block(0x05, 0x52);
    SampleInfo info;
    const ItemInfo item = item_info_for_buffer(pw.data(), pw.size(), info);
    EXPECT_FALSE(item.sets_text);
}

TEST_F(ItemInfoTest, IgnoresOtherNotificationsAndUnknownItems) {
    add(family_block(0x01, 0x52));
    t.window.info_text = "previous";
    show_item_info(t.ctx, 1, 4);
    show_item_info(t.ctx, 0, kItemSelectedNotification);
    show_item_info(t.ctx, 2, kItemSelectedNotification);
    EXPECT_EQ(t.window.info_text, "previous");
    EXPECT_TRUE(t.window.text_history.empty());
    EXPECT_EQ(select(1), "TALVOMATIC");
}

// The window's command over the file list.
class WaveformCommand : public ::testing::Test {
  protected:
    void add(std::string file, std::vector<uint8_t> data) {
        FileEntry e;
        e.file = std::move(file);
        e.data = std::move(data);
        push_entry(t.ctx.files, std::move(e));
    }
    TestContext t;
};

TEST_F(WaveformCommand, SelectedAudioItemsBecomeWaveformsInPlace) {
    add("/s/Bässlin.wav", wav16(sine(1200, 1, 1024, 100), 1, Loop{100, 1123}));
    add("/s/bank.syx", {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0xF7});
    add("/s/Too long.wav", wav16(std::vector<int16_t>(17000, 5), 1, Loop{0, 16384}));
    add("/s/Sub.wav", wav16(sine(1000, 1, 1000), 1, Loop{0, 999}));
    add("/s/Unselected.wav", wav16(sine(1000, 1, 1000), 1, Loop{0, 999}));
    t.window.select({1, 2, 3, 4});
    // A cached tag must not survive the build.
    t.ctx.files.with_entry(1, [](FileEntry& e) { entry_type_tag(e); });

    EXPECT_EQ(build_waveform_items(t.ctx), 2);

    const std::vector<FileEntry> files = t.ctx.files.entries();
    ASSERT_EQ(files.size(), 5u);
    EXPECT_EQ(files[0].file, "Bässlin.syx");
    EXPECT_EQ(files[0].is_new, 1);
    EXPECT_EQ(files[0].data.size(), kWaveformMessageBytes);
    EXPECT_EQ(files[0].data[9], 0) << "first slot";
    EXPECT_EQ(files[0].data[10], 'B');
    EXPECT_EQ(files[0].data[11], '\\');
    EXPECT_EQ(entry_type_tag(files[0]), "LY");
    EXPECT_EQ(files[1].file, "/s/bank.syx") << "not audio: untouched";
    EXPECT_EQ(files[2].file, "/s/Too long.wav") << "16385 frames: skipped, no slot";
    EXPECT_EQ(files[3].file, "Sub.syx");
    EXPECT_EQ(files[3].data[9], 1) << "second slot";
    EXPECT_EQ(files[4].file, "/s/Unselected.wav");
    // Built here and nowhere on disk: quitting, Erase and a list opened over
    // them ask first.
    EXPECT_EQ(unsaved_entry_ids(t.ctx.files), (std::vector<uint32_t>{1, 4}));

    EXPECT_GE(t.window.list_updates, 1);
    EXPECT_EQ(t.window.info_text, "\nZentrix waveform at position 2");
    for (Shown control : {kLoopButton, kStereoButton, kWaveformButton}) {
        EXPECT_FALSE(t.window.enabled(control)) << control;
    }
}

TEST_F(WaveformCommand, AFailedBuildKeepsItsItemAndUsesItsSlot) {
    // Tables too small for a 2000-frame cycle: that build fails after the item qualified.
    ASSERT_EQ(fft_setup(t.ctx.fft, 1024, kFftAnySize), FftStatus::kOk);
    add("long.wav", wav16(sine(2000, 1, 2000), 1, Loop{0, 1999}));
    add("short.wav", wav16(sine(1000, 1, 1000), 1, Loop{0, 999}));
    t.window.select({1, 2});
    EXPECT_EQ(build_waveform_items(t.ctx), 1);
    const std::vector<FileEntry> files = t.ctx.files.entries();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].file, "long.wav");
    EXPECT_EQ(files[1].file, "short.syx");
    EXPECT_EQ(files[1].data[9], 1);
}

TEST_F(WaveformCommand, RefusedWhileSending) {
    add("a.wav", wav16(sine(1024, 1, 1024), 1, Loop{0, 1023}));
    t.window.select({1});
    ASSERT_TRUE(start_held_send(t.ctx));
    EXPECT_EQ(build_waveform_items(t.ctx), 0);
    EXPECT_EQ(t.ctx.files.entry(1).value().file, "a.wav");
    ASSERT_TRUE(end_held_send(t.ctx, t.midi));
    EXPECT_EQ(build_waveform_items(t.ctx), 1) << "and sets the tables up itself";
}

}  // namespace
}  // namespace j3
