// What an item's name becomes toward an instrument: the same four characters
// whether they go out in a sample dump's name message or a waveform message.
#include "format/item_names.h"

#include <gtest/gtest.h>

#include <string>

namespace j3 {
namespace {

TEST(ItemNames, BaseNameAndNameCharactersFromUtf8) {
    struct Case {
        const char* description;
        const char* file;  // UTF-8
        const char* base;
        const char* chars;  // the four name characters
    };
    const Case cases[] = {
        {"a with umlaut maps to backslash", "/samples/Bässlin.wav", "Bässlin", "B\\SN"},
        {"three letters and a space", "/x/Sub.aif", "Sub", "SUB "},
        {"ring and umlaut capitals", "Åsa Öl.wav", "Åsa Öl", "[SAL"},
        {"small o umlaut", "/a/bö.wav", "bö", "B]  "},
        {"no extension, dots in folders", "/dir.d/loop", "loop", "LOOP"},
        {"only the last extension goes", "/x/a.b.wav", "a.b", "A.B "},
        {"no Mac Roman form counts as ?", "/x/波形.wav", "波形", "??  "},
        {"empty name", "/x/.wav", "", "    "},
        {"other Mac Roman letters lose the top bit", "é1.wav", "é1",
         "\x0E"
         "1  "},
    };
    for (const Case& c : cases) {
        const std::string base = item_base_name(c.file);
        EXPECT_EQ(base, c.base) << c.description;
        const uint32_t w = item_name_code(base);
        const std::string got{char(w >> 24), char(w >> 16), char(w >> 8), char(w)};
        EXPECT_EQ(got, c.chars) << c.description;
    }
}

TEST(ItemNames, MacRomanBaseNameForSampleNameMessages) {
    struct Case {
        const char* description;
        std::string path;
        std::string want_base;
        std::string want_code;
    } cases[] = {
        {"folder and extension dropped", "/a/b.c/Kick 1.wav", "Kick 1", "KIC1"},
        {"Mac Roman letters", "\xC3\x85sa-1.aif", "\x81sa-1", "[SA1"},
        {"short name padded", "ab", "ab", "AB  "},
        {"no extension", "dir/snare", "snare", "SNAE"},
    };
    for (const Case& c : cases) {
        std::string base = sds_base_name(c.path);
        EXPECT_EQ(base, c.want_base) << c.description;
        uint32_t code = sds_name_code(base);
        std::string got = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
        EXPECT_EQ(got, c.want_code) << c.description;
    }
}

TEST(ItemNames, DumpsAndWaveformsShowTheSameName) {
    for (const char* path :
         {"/samples/Bässlin.wav", "Åsa Öl.wav", "/x/波形.wav", "dir/snare", "é1.wav", "/x/.wav"}) {
        EXPECT_EQ(sds_name_code(sds_base_name(path)), item_name_code(item_base_name(path))) << path;
    }
    EXPECT_EQ(sds_base_name("/x/" + std::string(300, 'a') + ".wav"), std::string(255, 'a'))
        << "a sample name message carries at most 255 name bytes";
}

}  // namespace
}  // namespace j3
