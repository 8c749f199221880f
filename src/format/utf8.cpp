#include "format/utf8.h"

#include <cstdint>

namespace j3 {

Utf8CodePoint decode_utf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const auto byte = [&](size_t k) { return uint8_t(bytes[k]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    size_t length;
    char32_t c;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07;
    } else {
        return {};
    }
    if (length > bytes.size()) return {};
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return {};
        c = c << 6 | (byte(k) & 0x3F);
    }
    // An overlong form would let one character pass as several spellings.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {};
    return {c, length};
}

}  // namespace j3
