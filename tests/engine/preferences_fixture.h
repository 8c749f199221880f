// What the preferences tests and the configuration window's tests share: a
// preferences file as another writer would produce it, and a fixture with a
// temporary folder, a test context and a reader of what was saved.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/preferences.h"
#include "fakes/test_context.h"
#include "format/plist_file.h"

namespace j3::testing {

namespace fs = std::filesystem;

// One key and its value as XML, e.g. {"Delay", "<string>30</string>"}.
struct Key {
    std::string name;
    std::string xml;
};

inline std::string int_xml(int64_t v) {
    return "<integer>" + std::to_string(v) + "</integer>";
}
inline std::string text_xml(const std::string& v) {
    return "<string>" + v + "</string>";
}
inline std::string bool_xml(bool v) {
    return v ? "<true/>" : "<false/>";
}

// A preferences file as another writer would produce it: version 1 and an
// empty list unless the keys say otherwise (an empty xml drops the key).
inline std::string prefs_xml(std::vector<Key> keys) {
    std::vector<Key> all = {{"Version", int_xml(1)}, {"File Array", "<array/>"}};
    for (Key& k : keys) {
        bool replaced = false;
        for (Key& a : all) {
            if (a.name == k.name) {
                a.xml = k.xml;
                replaced = true;
            }
        }
        if (!replaced) all.push_back(k);
    }
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n";
    for (const Key& k : all) {
        if (!k.xml.empty()) out << "<key>" << k.name << "</key>" << k.xml << "\n";
    }
    out << "</dict>\n</plist>\n";
    return out.str();
}

struct Preferences : ::testing::Test {
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("j3-prefs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "prefs" / kPreferencesFileName;
    }
    void TearDown() override { fs::remove_all(dir); }

    void write_prefs(const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    PlistValue saved() {
        std::ifstream in(file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto v = parse_plist_xml(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        return v ? *v : PlistValue{};
    }
    void with_endpoints(TestContext& c, int sources, int destinations) {
        for (int i = 0; i < sources; ++i) c.midi.sources.push_back({"in " + std::to_string(i)});
        for (int i = 0; i < destinations; ++i)
            c.midi.destinations.push_back({"out " + std::to_string(i)});
        scan_midi(*c.ctx.midi, c.ctx.endpoints, nullptr);
    }

    fs::path dir;
    fs::path file;
    TestContext t;
};

}  // namespace j3::testing
