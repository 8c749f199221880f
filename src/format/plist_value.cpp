#include "format/plist_value.h"

#include <utility>

namespace j3 {

PlistValue PlistValue::make_bool(bool value) {
    PlistValue v;
    v.type = Type::kBoolean;
    v.boolean = value;
    return v;
}

PlistValue PlistValue::make_int(int64_t value) {
    PlistValue v;
    v.type = Type::kInteger;
    v.integer = value;
    return v;
}

PlistValue PlistValue::make_string(std::string value) {
    PlistValue v;
    v.type = Type::kString;
    v.string = std::move(value);
    return v;
}

PlistValue PlistValue::make_array() {
    PlistValue v;
    v.type = Type::kArray;
    return v;
}

PlistValue PlistValue::make_dict() {
    PlistValue v;
    v.type = Type::kDict;
    return v;
}

const PlistValue* PlistValue::find(std::string_view key) const {
    if (type != Type::kDict) return nullptr;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == key) return &items[i];
    }
    return nullptr;
}

PlistValue* PlistValue::find(std::string_view key) {
    return const_cast<PlistValue*>(std::as_const(*this).find(key));
}

void PlistValue::set(std::string_view key, PlistValue value) {
    if (PlistValue* existing = find(key)) {
        *existing = std::move(value);
        return;
    }
    keys.emplace_back(key);
    items.push_back(std::move(value));
}

}  // namespace j3
