// A property-list value as the preferences hold it: booleans, integers,
// strings, arrays and dictionaries. No library type leaks out of plist_file.cpp;
// reals, dates and data are not kept (the preferences never store them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace j3 {

struct PlistValue {
    enum class Type { kNone, kBoolean, kInteger, kString, kArray, kDict };

    Type type = Type::kNone;
    bool boolean = false;
    int64_t integer = 0;            // stored as a signed 64-bit number
    std::string string;             // UTF-8
    std::vector<PlistValue> items;  // array elements, or dictionary values
    std::vector<std::string> keys;  // dictionary keys, in the order they were added

    static PlistValue make_bool(bool value);
    static PlistValue make_int(int64_t value);
    static PlistValue make_string(std::string value);
    static PlistValue make_array();
    static PlistValue make_dict();

    bool is_dict() const { return type == Type::kDict; }
    // Dictionary lookup; nullptr when missing or when this is not a dictionary.
    const PlistValue* find(std::string_view key) const;
    PlistValue* find(std::string_view key);
    // Replaces the key's value, or adds the key at the end.
    void set(std::string_view key, PlistValue value);
};

}  // namespace j3
