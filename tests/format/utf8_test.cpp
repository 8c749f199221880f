#include "format/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace j3 {
namespace {

TEST(Utf8, DecodesOneCodePointOrRefusesTheSequence) {
    struct Case {
        const char* description;
        std::string bytes;
        char32_t want_code_point;
        size_t want_length;  // 0: malformed
    } cases[] = {
        {"ASCII, the rest left alone", "Ab", U'A', 1},
        {"two bytes", "\xC3\xA9", 0xE9, 2},
        {"three bytes", "\xE2\x82\xAC!", 0x20AC, 3},
        {"four bytes, the highest code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
        {"the smallest two-byte form", "\xC2\x80", 0x80, 2},
        {"the smallest four-byte form", "\xF0\x90\x80\x80", 0x10000, 4},
        {"nothing to decode", "", 0, 0},
        {"a stray continuation byte",
         "\x80"
         "A",
         0, 0},
        {"a byte no sequence starts with", "\xFF", 0, 0},
        {"a five-byte lead", "\xF8\x88\x80\x80\x80", 0, 0},
        {"cut short at the end", "\xE2\x82", 0, 0},
        {"cut short by an ASCII byte",
         "\xE2"
         "A\xAC",
         0, 0},
        {"overlong '/' in two bytes", "\xC0\xAF", 0, 0},
        {"overlong NUL in two bytes", "\xC0\x80", 0, 0},
        {"overlong in three bytes", "\xE0\x80\xAF", 0, 0},
        {"overlong in four bytes", "\xF0\x8F\xBF\xBF", 0, 0},
        {"a surrogate", "\xED\xA0\x80", 0, 0},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
    };
    for (const Case& c : cases) {
        const Utf8CodePoint got = decode_utf8(c.bytes);
        EXPECT_EQ(got.length, c.want_length) << c.description;
        if (c.want_length > 0) {
            EXPECT_EQ(got.code_point, c.want_code_point) << c.description;
        }
    }
}

}  // namespace
}  // namespace j3
