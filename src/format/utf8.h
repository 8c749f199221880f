// UTF-8 read one code point at a time, for the text that leaves the program
// in another form (Mac Roman names, JSON strings) and must tell a character
// from a byte that is none.
#pragma once

#include <cstddef>
#include <string_view>

namespace j3 {

// Shown or sent in place of a byte that is no part of a character.
constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Utf8CodePoint {
    char32_t code_point = 0;
    size_t length = 0;  // bytes it took; 0 when malformed
};

// The code point at the front of bytes. Length 0 when there is none: bytes
// empty, a stray continuation byte, a sequence cut short, an overlong form,
// a surrogate or a value past U+10FFFF. A caller that goes on skips one byte.
Utf8CodePoint decode_utf8(std::string_view bytes);

}  // namespace j3
