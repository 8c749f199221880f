#include "format/mac_roman.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace j3 {
namespace {

TEST(MacRoman, NamesFromUtf8) {
    struct Case {
        const char* description;
        std::string utf8;
        std::optional<std::string> want;  // nullopt: no Mac Roman form
        std::string want_lossy;
    } cases[] = {
        {"ASCII as it is", "Kick 01", "Kick 01", "Kick 01"},
        {"letters of the upper half", "\xC3\x84\xC3\xA9\xE2\x82\xAC", "\x80\x8E\xDB",
         "\x80\x8E\xDB"},
        {"a character Mac Roman lacks",
         "a\xE2\x86\x92"
         "b",
         std::nullopt, "a?b"},
        {"a byte that is no UTF-8",
         "a\xFF"
         "b",
         std::nullopt, "a?b"},
        {"a sequence cut short, then ASCII",
         "a\xC3"
         "b",
         std::nullopt, "a?b"},
        {"an overlong 'A' is no 'A'", "\xC1\x81", std::nullopt, "??"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_to_mac_roman(c.utf8), c.want) << c.description;
        EXPECT_EQ(utf8_to_mac_roman_lossy(c.utf8), c.want_lossy) << c.description;
        if (c.want) {
            EXPECT_EQ(mac_roman_to_utf8(*c.want), c.utf8) << c.description;
        }
    }
}

}  // namespace
}  // namespace j3
