#include "engine/preferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <optional>

#include <sys/stat.h>

#include "engine/config_values.h"
#include "engine/list_commands.h"
#include "engine/preferences_fixture.h"
#include "fakes/test_context.h"
#include "format/plist_file.h"

namespace j3 {
namespace {

namespace fs = std::filesystem;
using namespace j3::testing;

TEST_F(Preferences, NoFileOrAnUnusableOneGivesTheDefaults) {
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 1000000; ++i) deep += "<array>";
    struct Case {
        const char* description;
        std::optional<std::string> text;  // nullopt: no file at all
    } cases[] = {
        {"no file", std::nullopt},
        {"empty file", ""},
        {"not XML", "garbage \x01\x02"},
        {"truncated XML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Version</key>"},
        {"root is an array", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>"},
        {"nested a million levels deep", deep},
    };
    for (const Case& c : cases) {
        fs::remove(file);
        if (c.text) write_prefs(*c.text);
        TestContext fresh;
        EXPECT_EQ(load_preferences(fresh.ctx, file), PreferencesLoad::kDefaults) << c.description;
        const Settings& s = fresh.ctx.settings;
        EXPECT_EQ(s.window_x, 0) << c.description;
        EXPECT_EQ(s.window_w, 0) << c.description;
        EXPECT_EQ(s.turbo_limit, 11) << c.description;
        EXPECT_EQ(s.sds_format, 1) << c.description;
        EXPECT_TRUE(s.ignore_handshake) << c.description;
        EXPECT_FALSE(s.send_filename) << c.description;
        EXPECT_EQ(s.send_delay, 0) << c.description;
        ASSERT_NE(s.prefs_dict.find("Version"), nullptr) << c.description;
        EXPECT_EQ(s.prefs_dict.find("Version")->integer, 1) << c.description;
        EXPECT_EQ(s.prefs_dict.find("Delay")->string, "0") << c.description;
        EXPECT_EQ(s.prefs_dict.find("Send FileName"), nullptr) << c.description;
    }
}

TEST_F(Preferences, AVersion2FileIsIgnoredAndOverwrittenWithTheDefaultsAtQuit) {
    write_prefs(prefs_xml({{"Version", int_xml(2)},
                           {"Turbo limit", int_xml(3)},
                           {"Delay", text_xml("30")},
                           {"Location X", int_xml(100)}}));
    EXPECT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kDefaults);
    EXPECT_EQ(t.ctx.settings.turbo_limit, 11);
    EXPECT_EQ(t.ctx.settings.send_delay, 0);
    t.ctx.settings.window_x = 10;
    t.ctx.settings.window_y = 20;
    t.ctx.settings.window_w = 674;
    t.ctx.settings.window_h = 373;
    ASSERT_TRUE(save_preferences(t.ctx, file));
    PlistValue d = saved();
    EXPECT_EQ(d.find("Version")->integer, 1);
    EXPECT_EQ(d.find("Turbo limit"), nullptr);
    EXPECT_EQ(d.find("Delay")->string, "0");
    EXPECT_EQ(d.find("Location X")->integer, 10);
    EXPECT_EQ(d.find("Window H")->integer, 373);
}

TEST_F(Preferences, StoredValuesAreTakenWithinTheirRanges) {
    struct Case {
        const char* description;
        Key key;
        int32_t Settings::*field;  // nullptr: check device_number
        int32_t want;
    } cases[] = {
        {"turbo limit in range", {"Turbo limit", int_xml(5)}, &Settings::turbo_limit, 5},
        {"turbo limit 12", {"Turbo limit", int_xml(12)}, &Settings::turbo_limit, 11},
        {"turbo limit -1", {"Turbo limit", int_xml(-1)}, &Settings::turbo_limit, 11},
        {"SDS format 3", {"SDS format", int_xml(3)}, &Settings::sds_format, 3},
        {"SDS format 5", {"SDS format", int_xml(5)}, &Settings::sds_format, 0},
        {"SDS format -1", {"SDS format", int_xml(-1)}, &Settings::sds_format, 0},
        {"location missing", {"Location X", ""}, &Settings::window_x, -1},
        {"location stored", {"Location X", int_xml(-20)}, &Settings::window_x, -20},
        {"device number 300", {"Device Number", text_xml("300")}, nullptr, 44},
        {"device number 200", {"Device Number", text_xml("200")}, nullptr, 0},
        {"device number 127", {"Device Number", text_xml("127")}, nullptr, 127},
        {"device number without digits", {"Device Number", text_xml("abc")}, nullptr, 0},
    };
    for (const Case& c : cases) {
        write_prefs(prefs_xml({c.key}));
        TestContext fresh;
        EXPECT_EQ(load_preferences(fresh.ctx, file), PreferencesLoad::kFromFile) << c.description;
        const int32_t got =
            c.field ? fresh.ctx.settings.*c.field : int32_t(fresh.ctx.settings.device_number);
        EXPECT_EQ(got, c.want) << c.description;
    }
}

TEST_F(Preferences, DelayIsReadFromItsText) {
    struct Case {
        const char* description;
        std::string xml;
        int32_t want;
    } cases[] = {
        {"digits", text_xml("30"), 30},
        {"negative", text_xml("-5"), 0},
        {"leading digits only", text_xml("12ab"), 12},
        {"no digits", text_xml("x"), 0},
        {"too large for 32 bits", text_xml("99999999999"), 2147483647},
        {"an integer written by hand", int_xml(7), 7},
    };
    for (const Case& c : cases) {
        write_prefs(prefs_xml({{"Delay", c.xml}}));
        TestContext fresh;
        load_preferences(fresh.ctx, file);
        EXPECT_EQ(fresh.ctx.settings.send_delay, c.want) << c.description;
    }
}

TEST_F(Preferences, MissingSwitchesAreAddedWithTheirDefaultsAndWritten) {
    write_prefs(prefs_xml({{"Reload Files", bool_xml(true)}}));
    ASSERT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kFromFile);
    EXPECT_TRUE(t.ctx.settings.reload_files);
    EXPECT_TRUE(t.ctx.settings.ignore_handshake);
    ASSERT_TRUE(save_preferences(t.ctx, file));
    PlistValue d = saved();
    struct Case {
        const char* key;
        PlistValue::Type type;
        bool boolean;
        std::string text;
    } cases[] = {
        {"Reload Files", PlistValue::Type::kBoolean, true, ""},
        {"Ignore Handshake", PlistValue::Type::kBoolean, true, ""},
        {"Send FileName", PlistValue::Type::kBoolean, false, ""},
        {"Extended SDS", PlistValue::Type::kBoolean, false, ""},
        {"Delay", PlistValue::Type::kString, false, "0"},
        {"Device Number", PlistValue::Type::kString, false, "0"},
    };
    for (const Case& c : cases) {
        const PlistValue* v = d.find(c.key);
        ASSERT_NE(v, nullptr) << c.key;
        EXPECT_EQ(v->type, c.type) << c.key;
        EXPECT_EQ(v->boolean, c.boolean) << c.key;
        EXPECT_EQ(v->string, c.text) << c.key;
    }
}

TEST_F(Preferences, StoredEndpointsAreTakenOnlyWithinTheScannedCounts) {
    struct Case {
        const char* description;
        int sources, destinations;
        std::string in, out;  // xml, empty = missing
        int32_t want_in, want_out;
        size_t want_connected;
    } cases[] = {
        {"both in range", 3, 2, int_xml(2), int_xml(2), 2, 2, 1},
        {"source beyond three sources", 3, 2, int_xml(4), int_xml(1), 0, 1, 0},
        {"stored 0 is taken and connects nothing", 3, 2, int_xml(0), int_xml(0), 0, 0, 0},
        {"no destinations", 1, 0, int_xml(1), int_xml(1), 1, 0, 1},
        {"negative", 3, 2, int_xml(-1), int_xml(-2), 0, 0, 0},
        {"missing", 3, 2, "", "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        write_prefs(prefs_xml(
            {{"Selected MIDI Interfaces In", c.in}, {"Selected MIDI Interfaces Out", c.out}}));
        TestContext fresh;
        with_endpoints(fresh, c.sources, c.destinations);
        load_preferences(fresh.ctx, file);
        EXPECT_EQ(fresh.ctx.settings.selected_in, c.want_in) << c.description;
        EXPECT_EQ(fresh.ctx.settings.selected_out, c.want_out) << c.description;
        EXPECT_EQ(fresh.midi.connected.size(), c.want_connected) << c.description;
        EXPECT_EQ(fresh.ctx.endpoints.destination_endpoint != kNoEndpoint, c.want_out != 0)
            << c.description;
    }
}

TEST_F(Preferences, AFileWithoutAListGivesTheDefaultsButKeepsWhatWasReadBefore) {
    write_prefs(
        prefs_xml({{"File Array", ""}, {"Turbo limit", int_xml(4)}, {"Delay", text_xml("9")}}));
    EXPECT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kDefaults);
    EXPECT_EQ(t.ctx.settings.turbo_limit, 4);  // step 5 ran before the list was missed
    EXPECT_EQ(t.ctx.settings.send_delay, 0);   // the defaults reset it
    EXPECT_EQ(t.ctx.settings.prefs_dict.find("Turbo limit"), nullptr);
}

TEST_F(Preferences, RoundTripKeepsSettingsBoundsAndTheReloadedList) {
    const fs::path a = write("a.syx", "\xF0\x01\xF7");
    const fs::path b = write("b.syx", "\xF0\x02\x03\xF7");
    const fs::path gone = write("gone.syx", "\xF0\xF7");
    with_endpoints(t, 2, 3);
    load_preferences(t.ctx, file);  // no file: defaults
    ConfigValues v = open_config_values(t.ctx);
    v.selected_in = 2;
    v.selected_out = 3;
    v.reload_files = true;
    v.delay_text = "30";
    v.turbo_item = 3;
    v.handshake = true;
    v.device_number_text = "200";
    v.sds_format_item = 2;
    v.send_filename = true;
    v.extended_sds = true;
    apply_config_values(t.ctx, v);
    EXPECT_EQ(t.ctx.settings.device_number, 127);  // typed 200, used as 127 until quit
    for (const fs::path& p : {a, gone, b}) ASSERT_TRUE(add_file_entry(t.ctx, p, nullptr).ok);
    t.ctx.files.with_entry(3, [](FileEntry& e) {
        e.loop = 2;
        e.stereo = 1;
    });
    t.ctx.settings.window_x = 100;
    t.ctx.settings.window_y = 50;
    t.ctx.settings.window_w = 700;
    t.ctx.settings.window_h = 400;
    ASSERT_TRUE(save_preferences(t.ctx, file));
    fs::remove(gone);

    // Nothing but the file itself is left in its folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1);
    const PlistValue stored = saved();
    const PlistValue* list = stored.find("File Array");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->items.size(), 3u);
    EXPECT_EQ(list->items[0].find("File")->string, a.string());
    EXPECT_EQ(list->items[0].find("Size")->integer, 3);
    EXPECT_EQ(list->items[0].find("Addr")->integer, 0);
    EXPECT_EQ(stored.find("Device Number")->string, "200");
    EXPECT_EQ(stored.find("Turbo limit")->integer, 6);

    TestContext next;
    with_endpoints(next, 2, 3);
    ASSERT_EQ(load_preferences(next.ctx, file), PreferencesLoad::kFromFile);
    const Settings& s = next.ctx.settings;
    EXPECT_EQ(s.selected_in, 2);
    EXPECT_EQ(s.selected_out, 3);
    EXPECT_TRUE(s.reload_files);
    EXPECT_EQ(s.send_delay, 30);
    EXPECT_EQ(s.turbo_limit, 6);
    EXPECT_FALSE(s.ignore_handshake);
    EXPECT_EQ(s.device_number, 0);  // the stored "200" loads as 0
    EXPECT_EQ(s.sds_format, 2);
    EXPECT_TRUE(s.send_filename);
    EXPECT_TRUE(s.extended_sds);
    EXPECT_EQ(s.window_x, 100);
    EXPECT_EQ(s.window_y, 50);
    EXPECT_EQ(s.window_w, 700);
    EXPECT_EQ(s.window_h, 400);
    const std::vector<FileEntry> files = next.ctx.files.entries();
    ASSERT_EQ(files.size(), 2u);  // the deleted file is dropped
    EXPECT_EQ(files[0].file, a.string());
    EXPECT_EQ(files[0].data, (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
    EXPECT_EQ(files[1].file, b.string());
    EXPECT_EQ(files[1].loop, 2);
    EXPECT_EQ(files[1].stereo, 1);
    EXPECT_EQ(files[1].data.size(), 4u);
    EXPECT_EQ(next.window.list_items, (std::vector<uint32_t>{1, 2}));
}

// Ports come and go between runs; the stored names find the chosen ones
// wherever the lists have them now.
TEST_F(Preferences, StoredPortNamesWinOverPositionsAcrossARescan) {
    const struct {
        const char* description;
        std::vector<Key> keys;
        std::vector<std::string> sources, destinations;  // as the system lists them now
        int32_t want_in, want_out;
        std::vector<std::string> want_notes;
    } cases[] = {
        {"a new port took position 1",
         {{"Selected MIDI Interfaces In", int_xml(1)},
          {"Selected MIDI Interfaces In Name", text_xml("- Keys")},
          {"Selected MIDI Interfaces Out", int_xml(1)},
          {"Selected MIDI Interfaces Out Name", text_xml("- Synth")}},
         {"New", "Keys"},
         {"New", "Other", "Synth"},
         2,
         3,
         {}},
        {"the stored port is gone: none, and it is said",
         {{"Selected MIDI Interfaces Out", int_xml(1)},
          {"Selected MIDI Interfaces Out Name", text_xml("- Synth")},
          {"Selected MIDI Interfaces In", int_xml(1)},
          {"Selected MIDI Interfaces In Name", text_xml("- Keys")}},
         {"New"},
         {"New", "Other"},
         0,
         0,
         {"MIDI Out \"- Synth\" is not connected.", "MIDI In \"- Keys\" is not connected."}},
        {"two ports of one name: the stored position among them",
         {{"Selected MIDI Interfaces Out", int_xml(3)},
          {"Selected MIDI Interfaces Out Name", text_xml("- Twin")}},
         {},
         {"Twin", "Other", "Twin"},
         0,
         3,
         {}},
        {"a file without names: the positions as stored",
         {{"Selected MIDI Interfaces Out", int_xml(2)}},
         {},
         {"New", "Synth"},
         0,
         2,
         {}},
        {"a port gone while OK kept its name: chosen again once back",
         {{"Selected MIDI Interfaces Out", int_xml(0)},
          {"Selected MIDI Interfaces Out Name", text_xml("- Synth")}},
         {},
         {"New", "Synth"},
         0,
         2,
         {}},
    };
    for (const auto& c : cases) {
        write_prefs(prefs_xml(c.keys));
        TestContext fresh;
        for (const auto& n : c.sources) fresh.midi.sources.push_back({n});
        for (const auto& n : c.destinations) fresh.midi.destinations.push_back({n});
        scan_midi(*fresh.ctx.midi, fresh.ctx.endpoints, nullptr);
        LoadNotes notes;
        ASSERT_EQ(load_preferences(fresh.ctx, file, &notes), PreferencesLoad::kFromFile)
            << c.description;
        EXPECT_EQ(fresh.ctx.settings.selected_in, c.want_in) << c.description;
        EXPECT_EQ(fresh.ctx.settings.selected_out, c.want_out) << c.description;
        EXPECT_EQ(fresh.ctx.endpoints.destination_endpoint,
                  c.want_out ? fresh.midi.destination(c.want_out - 1) : kNoEndpoint)
            << c.description;
        EXPECT_EQ(fresh.midi.connected,
                  c.want_in ? std::vector<Endpoint>{fresh.midi.source(c.want_in - 1)}
                            : std::vector<Endpoint>{})
            << c.description;
        EXPECT_EQ(notes.ports, c.want_notes) << c.description;
    }
}

TEST_F(Preferences, ReloadTellsWhichFilesOfTheListWereDropped) {
    const fs::path a = write("a.syx", "\xF0\x01\xF7");
    const fs::path gone = write("gone.syx", "\xF0\xF7");
    const fs::path dir_entry = dir / "folder.syx";
    fs::create_directories(dir_entry);
    load_preferences(t.ctx, file);
    t.ctx.settings.reload_files = true;
    ConfigValues v = open_config_values(t.ctx);
    v.reload_files = true;
    apply_config_values(t.ctx, v);
    for (const fs::path& p : {gone, a}) ASSERT_TRUE(add_file_entry(t.ctx, p, nullptr).ok);
    ASSERT_TRUE(save_preferences(t.ctx, file));
    fs::remove(gone);
    // An entry naming a folder cannot be read again.
    PlistValue stored = saved();
    PlistValue entry = stored.find("File Array")->items[1];
    entry.set("File", PlistValue::make_string(dir_entry.string()));
    stored.find("File Array")->items.push_back(entry);
    const std::optional<std::string> xml = plist_xml_text(stored);
    ASSERT_TRUE(xml);
    write_prefs(*xml);

    TestContext next;
    LoadNotes notes;
    ASSERT_EQ(load_preferences(next.ctx, file, &notes), PreferencesLoad::kFromFile);
    EXPECT_EQ(next.ctx.files.size(), 1u);
    EXPECT_EQ(notes.files_not_found, std::vector<std::string>{gone.string()});
    ASSERT_EQ(notes.files_unreadable.size(), 1u);
    EXPECT_EQ(notes.files_unreadable[0].rfind(dir_entry.string() + ": ", 0), 0u);
}

TEST_F(Preferences, WithoutReloadTheStoredListIsDiscarded) {
    const fs::path a = write("a.syx", "\xF0\xF7");
    load_preferences(t.ctx, file);
    ASSERT_TRUE(add_file_entry(t.ctx, a, nullptr).ok);
    ASSERT_TRUE(save_preferences(t.ctx, file));
    TestContext next;
    ASSERT_EQ(load_preferences(next.ctx, file), PreferencesLoad::kFromFile);
    EXPECT_EQ(next.ctx.files.size(), 0u);
    EXPECT_TRUE(next.window.list_items.empty());
}

TEST_F(Preferences, EntriesMadeInMemoryAreNotReloadedFromARelativeName) {
    // "Received data 1.syx" names no file; one of that name in the working
    // folder must not be taken for it.
    write_prefs(prefs_xml({{"Reload Files", bool_xml(true)},
                           {"File Array",
                            "<array><dict><key>File</key><string>Received data 1.syx</string>"
                            "<key>New</key><integer>1</integer></dict></array>"}}));
    ASSERT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kFromFile);
    EXPECT_EQ(t.ctx.files.size(), 0u);
}

TEST_F(Preferences, SavingIntoAFolderThatCannotBeWrittenFailsAndLeavesTheOldFile) {
    write_prefs(prefs_xml({}));
    load_preferences(t.ctx, file);
    const fs::path blocked = dir / "blocked";
    std::ofstream(blocked) << "a file where a folder should be";
    EXPECT_FALSE(save_preferences(t.ctx, blocked / kPreferencesFileName));
    EXPECT_TRUE(save_preferences(t.ctx, file));
}

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::string entry_xml(const std::string& path) {
    return "<dict><key>File</key><string>" + path + "</string></dict>";
}

// Files that used to kill or hang every start: each either loads (what can
// be read of it) or is put aside with the defaults, and start-up goes on.
TEST_F(Preferences, HostileFilesNeitherCrashNorHang) {
    const fs::path kept = write("kept.syx", "\xF0\x01\xF7");
    const fs::path fifo = dir / "fifo.syx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string settings =
        "<key>Version</key><integer>1</integer>"
        "<key>Turbo limit</key><integer>3</integer>";
    const std::string deep = repeat("<array>", 200000) + repeat("</array>", 200000);
    struct Case {
        const char* description;
        std::string text;
        bool want_used;           // else the defaults, and the file put aside
        size_t want_entries = 0;  // with "Reload Files" on
    } cases[] = {
        {"nesting hidden behind closing tags in a comment",
         "<plist version=\"1.0\"><!--" + repeat("</array>", 200000) + "--><dict>" + settings +
             "<key>x</key>" + deep + "</dict></plist>",
         false},
        {"nesting hidden behind closing tags in CDATA",
         "<plist version=\"1.0\"><dict><key>y</key><string><![CDATA[" + repeat("</dict>", 200000) +
             "]]></string>" + settings + "<key>x</key>" + deep + "</dict></plist>",
         false},
        {"a comment never closed", "<plist version=\"1.0\"><!-- <dict>", false},
        {"a NUL byte inside a path: that entry goes, the rest loads",
         prefs_xml({{"Turbo limit", int_xml(3)},
                    {"Reload Files", bool_xml(true)},
                    {"File Array", "<array>" + entry_xml(kept.string()) +
                                       entry_xml(std::string("/tmp/a\0b.syx", 12)) + "</array>"}}),
         true, 1},
        {"a FIFO in the list is refused, not read",
         prefs_xml({{"Turbo limit", int_xml(3)},
                    {"Reload Files", bool_xml(true)},
                    {"File Array", "<array>" + entry_xml(fifo.string()) + entry_xml(kept.string()) +
                                       "</array>"}}),
         true, 1},
    };
    for (const Case& c : cases) {
        fs::remove(fs::path(file) += ".bad");
        write_prefs(c.text);
        TestContext fresh;
        auto loaded =
            std::async(std::launch::async, [&] { return load_preferences(fresh.ctx, file); });
        if (loaded.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << c.description << ": loading blocks";
            std::ofstream(fifo).put('x');  // release a read stuck on the FIFO
        }
        EXPECT_EQ(loaded.get() == PreferencesLoad::kFromFile, c.want_used) << c.description;
        EXPECT_EQ(fresh.ctx.settings.turbo_limit, c.want_used ? 3 : 11) << c.description;
        EXPECT_EQ(fresh.ctx.files.size(), c.want_entries) << c.description;
        EXPECT_EQ(fs::exists(fs::path(file) += ".bad"), !c.want_used) << c.description;
    }
}

// A dictionary of very many keys loads (and in time proportional to its
// size: a search per key made 150,000 keys take minutes).
TEST_F(Preferences, ManyKeysLoad) {
    std::string keys;
    for (int i = 0; i < 150000; ++i) keys += "<key>k" + std::to_string(i) + "</key><true/>";
    write_prefs(prefs_xml({{"Turbo limit", int_xml(3)}, {"z", "<dict>" + keys + "</dict>"}}));
    EXPECT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kFromFile);
    EXPECT_EQ(t.ctx.settings.turbo_limit, 3);
    ASSERT_NE(t.ctx.settings.prefs_dict.find("z"), nullptr);
    EXPECT_EQ(t.ctx.settings.prefs_dict.find("z")->keys.size(), 150000u);
}

// What is written is read back: a long list is kept, and a list too long to
// be read back is not written over the file.
TEST_F(Preferences, WhatIsWrittenIsReadBack) {
    write_prefs(prefs_xml({{"Turbo limit", int_xml(3)}}));
    ASSERT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kFromFile);
    const std::string folder = "/" + std::string(250, 'f') + "/";
    for (int i = 0; i < 60000; ++i) {
        FileEntry e;
        e.file = folder + std::to_string(i) + ".syx";
        push_entry(t.ctx.files, std::move(e));
    }
    ASSERT_TRUE(save_preferences(t.ctx, file));
    EXPECT_GT(fs::file_size(file), uintmax_t(16) << 20) << "more than the old limit";
    TestContext next;
    EXPECT_EQ(load_preferences(next.ctx, file), PreferencesLoad::kFromFile);
    EXPECT_EQ(next.ctx.settings.turbo_limit, 3);

    const uintmax_t size = fs::file_size(file);
    t.ctx.files.with_entries([](std::vector<FileEntry>& all) {
        all.resize(1);
        all[0].file = std::string(size_t(kMaxPreferencesBytes), 'x');
    });
    const Result refused = save_preferences(t.ctx, file);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("too long"), std::string::npos) << refused.message;
    EXPECT_EQ(fs::file_size(file), size) << "the file as it was stays";
}

// A file that cannot be used is kept aside with a word on the status line,
// never silently replaced by the defaults at the next quit.
TEST_F(Preferences, ARefusedFileIsKeptAside) {
    write_prefs("garbage \x01\x02");
    EXPECT_EQ(load_preferences(t.ctx, file), PreferencesLoad::kDefaults);
    const fs::path aside = fs::path(file) += ".bad";
    ASSERT_TRUE(fs::exists(aside));
    std::ifstream in(aside, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "garbage \x01\x02");
    EXPECT_NE(t.window.text(kSendStatus).find("org.j3.J3.plist.bad"), std::string::npos)
        << t.window.text(kSendStatus);
    ASSERT_TRUE(save_preferences(t.ctx, file));
    EXPECT_TRUE(fs::exists(aside));

    TestContext none;  // no file at all: nothing to keep aside, nothing said
    fs::remove(file);
    fs::remove(aside);
    load_preferences(none.ctx, file);
    EXPECT_FALSE(fs::exists(aside));
    EXPECT_EQ(none.window.text(kSendStatus), "");
}

}  // namespace
}  // namespace j3
