#include "format/item_names.h"

#include "format/mac_roman.h"

namespace j3 {

std::string item_base_name(std::string_view utf8_path) {
    const size_t slash = utf8_path.rfind('/');
    if (slash != std::string_view::npos) utf8_path.remove_prefix(slash + 1);
    const size_t dot = utf8_path.rfind('.');
    if (dot != std::string_view::npos) utf8_path = utf8_path.substr(0, dot);
    return std::string(utf8_path);
}

std::string sds_base_name(std::string_view utf8_path) {
    std::string name = utf8_to_mac_roman_lossy(item_base_name(utf8_path));
    if (name.size() > 255) name.resize(255);
    return name;
}

uint32_t sds_name_code(std::string_view name) {
    uint8_t chars[4] = {' ', ' ', ' ', ' '};
    const size_t k = name.size() < 4 ? name.size() : 4;
    for (size_t i = 0; i < k; ++i) {
        uint8_t c = uint8_t(i == 3 ? name.back() : name[i]);
        switch (c) {
            case 0x81:  // Å
            case 0x8C:  // å
                c = '[';
                break;
            case 0x80:  // Ä
            case 0x8A:  // ä
                c = '\\';
                break;
            case 0x85:  // Ö
            case 0x9A:  // ö
                c = ']';
                break;
            default:
                if (c >= 'a' && c <= 'z') c = uint8_t(c - 'a' + 'A');
        }
        chars[i] = c & 0x7F;
    }
    return uint32_t(chars[0]) << 24 | uint32_t(chars[1]) << 16 | uint32_t(chars[2]) << 8 |
           uint32_t(chars[3]);
}

uint32_t item_name_code(std::string_view utf8_base_name) {
    return sds_name_code(utf8_to_mac_roman_lossy(utf8_base_name));
}

}  // namespace j3
