#include "engine/config_values.h"

#include <gtest/gtest.h>

#include "engine/preferences.h"
#include "engine/preferences_fixture.h"
#include "fakes/test_context.h"

namespace j3 {
namespace {

using namespace j3::testing;

TEST_F(Preferences, OkStoresThePortNamesAndKeepsAnAbsentOne) {
    with_endpoints(t, 1, 2);  // "in 0"; "out 0", "out 1"
    load_preferences(t.ctx, file);
    ConfigValues v = open_config_values(t.ctx);
    v.selected_in = 1;
    v.selected_out = 2;
    apply_config_values(t.ctx, v);
    EXPECT_EQ(t.ctx.settings.selected_out_name, "out 1");
    ASSERT_TRUE(save_preferences(t.ctx, file));
    EXPECT_EQ(saved().find("Selected MIDI Interfaces Out Name")->string, "out 1");
    EXPECT_EQ(saved().find("Selected MIDI Interfaces In Name")->string, "in 0");
    EXPECT_EQ(saved().find("Selected MIDI Interfaces Out")->integer, 2);

    // The port leaves; the window opens on a rescan that lacks it and OK is
    // pressed with nothing chosen: the name stays for when it is back.
    t.midi.destinations.pop_back();
    scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
    v = open_config_values(t.ctx);
    EXPECT_EQ(v.selected_out, 0);
    EXPECT_EQ(v.absent_out_name, "out 1");
    apply_config_values(t.ctx, v);
    EXPECT_EQ(t.ctx.settings.selected_out, 0);
    EXPECT_EQ(t.ctx.settings.selected_out_name, "out 1");
    // Choosing another port replaces it.
    v.selected_out = 1;
    apply_config_values(t.ctx, v);
    EXPECT_EQ(t.ctx.settings.selected_out_name, "out 0");
}

TEST_F(Preferences, ConfigurationPopupsMapToTheSettings) {
    struct Case {
        const char* description;
        int32_t stored_turbo;
        int32_t want_item;
        int32_t chosen_item;  // 0: keep what was shown
        int32_t want_limit;
    } cases[] = {
        {"11 opens at item 1", 11, 1, 0, 11},
        {"item 3 stores 6", 11, 1, 3, 6},
        {"9 opens at item 1 and OK stores 11", 9, 1, 0, 11},
        {"0 opens at item 8 and OK stores 1", 0, 8, 0, 1},
        {"5 opens at item 4", 5, 4, 0, 5},
    };
    for (const Case& c : cases) {
        TestContext fresh;
        load_preferences(fresh.ctx, file);
        fresh.ctx.settings.turbo_limit = c.stored_turbo;
        ConfigValues v = open_config_values(fresh.ctx);
        EXPECT_EQ(v.turbo_item, c.want_item) << c.description;
        if (c.chosen_item) v.turbo_item = c.chosen_item;
        apply_config_values(fresh.ctx, v);
        EXPECT_EQ(fresh.ctx.settings.turbo_limit, c.want_limit) << c.description;
        EXPECT_EQ(fresh.ctx.settings.prefs_dict.find("Turbo limit")->integer, c.want_limit)
            << c.description;
    }
    struct FormatCase {
        const char* description;
        int32_t stored;
        int32_t want_item;
    } formats[] = {
        {"1 SysEx", 1, 1},
        {"2 WAV", 2, 2},
        {"4 SysEx as one item", 4, 4},
        {"0 shows the first", 0, 1},
    };
    for (const FormatCase& c : formats) {
        TestContext fresh;
        load_preferences(fresh.ctx, file);
        fresh.ctx.settings.sds_format = c.stored;
        ConfigValues v = open_config_values(fresh.ctx);
        EXPECT_EQ(v.sds_format_item, c.want_item) << c.description;
        apply_config_values(fresh.ctx, v);
        EXPECT_EQ(fresh.ctx.settings.sds_format, c.want_item) << c.description;
    }
}

TEST_F(Preferences, OpeningTheWindowRereadsTheEditedSettingsFromTheStoredValues) {
    write_prefs(prefs_xml({{"Ignore Handshake", bool_xml(false)},
                           {"Delay", text_xml("12")},
                           {"Device Number", text_xml("300")}}));
    ASSERT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kFromFile);
    t.ctx.settings.send_delay = 99;  // changed but never confirmed
    ConfigValues v = open_config_values(t.ctx);
    EXPECT_EQ(t.ctx.settings.send_delay, 12);
    EXPECT_EQ(v.delay_text, "12");
    EXPECT_TRUE(v.handshake);
    EXPECT_EQ(v.device_number_text, "300");
    EXPECT_EQ(t.ctx.settings.device_number, 44);
}

}  // namespace
}  // namespace j3
