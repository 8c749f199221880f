#include "format/plist_file.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <string_view>

namespace j3 {
namespace {

// Owns a libplist node tree.
class PlistNode {
  public:
    explicit PlistNode(plist_t node = nullptr) : node_(node) {}
    ~PlistNode() {
        if (node_) plist_free(node_);
    }
    PlistNode(const PlistNode&) = delete;
    PlistNode& operator=(const PlistNode&) = delete;
    plist_t get() const { return node_; }
    plist_t* out() { return &node_; }
    // Hands the tree to a container that frees it with itself.
    plist_t release() {
        plist_t n = node_;
        node_ = nullptr;
        return n;
    }

  private:
    plist_t node_;
};

// Owns memory libplist allocated with malloc (keys, strings, iterators).
template <typename T>
struct Malloced {
    T* ptr = nullptr;
    ~Malloced() { std::free(ptr); }
};

// Deeper trees are not ours; the limit keeps the walk off the stack's end.
constexpr int kMaxDepth = 32;

std::optional<PlistValue> from_node(plist_t node, int depth) {
    if (!node || depth > kMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PlistValue::make_bool(b != 0);
        }
        case PLIST_UINT: {
            // libplist keeps integers as 64-bit words; negative numbers come
            // back as their two's complement.
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PlistValue::make_int(static_cast<int64_t>(u));
        }
        case PLIST_STRING: {
            Malloced<char> s;
            plist_get_string_val(node, &s.ptr);
            return PlistValue::make_string(s.ptr ? s.ptr : "");
        }
        case PLIST_ARRAY: {
            PlistValue v = PlistValue::make_array();
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                if (auto item = from_node(plist_array_get_item(node, i), depth + 1)) {
                    v.items.push_back(std::move(*item));
                }
            }
            return v;
        }
        case PLIST_DICT: {
            PlistValue v = PlistValue::make_dict();
            Malloced<void> iter;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            iter.ptr = it;
            for (;;) {
                Malloced<char> key;
                plist_t child = nullptr;
                plist_dict_next_item(node, it, &key.ptr, &child);
                if (!child || !key.ptr) break;
                if (auto item = from_node(child, depth + 1)) v.set(key.ptr, std::move(*item));
            }
            return v;
        }
        default:
            return std::nullopt;
    }
}

plist_t to_node(const PlistValue& v) {
    switch (v.type) {
        case PlistValue::Type::kBoolean:
            return plist_new_bool(v.boolean ? 1 : 0);
        case PlistValue::Type::kInteger:
            return plist_new_uint(static_cast<uint64_t>(v.integer));
        case PlistValue::Type::kString:
            return plist_new_string(v.string.c_str());
        case PlistValue::Type::kArray: {
            PlistNode array(plist_new_array());
            for (const PlistValue& item : v.items) {
                if (plist_t child = to_node(item)) plist_array_append_item(array.get(), child);
            }
            return array.release();
        }
        case PlistValue::Type::kDict: {
            PlistNode dict(plist_new_dict());
            for (size_t i = 0; i < v.keys.size(); ++i) {
                if (plist_t child = to_node(v.items[i])) {
                    plist_dict_set_item(dict.get(), v.keys[i].c_str(), child);
                }
            }
            return dict.release();
        }
        case PlistValue::Type::kNone:
            break;
    }
    return nullptr;
}

// libplist's XML reader descends once per nested array or dictionary and
// runs off the stack near a million levels. Text nested deeper than we ever
// write is refused before it gets there.
bool nesting_within(const uint8_t* data, size_t size, int limit) {
    int depth = 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const std::string_view rest = text.substr(i + 1);
        const bool closing = rest.starts_with('/');
        const std::string_view name = closing ? rest.substr(1) : rest;
        if (!name.starts_with("array") && !name.starts_with("dict")) continue;
        const size_t end = text.find('>', i);
        if (end == std::string_view::npos) break;
        if (closing) {
            --depth;
        } else if (text[end - 1] != '/' && ++depth > limit) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<PlistValue> parse_plist_xml(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    if (!nesting_within(data, size, kMaxDepth)) return std::nullopt;
    PlistNode root;
    plist_from_xml(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size), root.out());
    if (!root.get()) return std::nullopt;
    return from_node(root.get(), 0);
}

std::optional<std::string> plist_xml_text(const PlistValue& root) {
    PlistNode node(to_node(root));
    if (!node.get()) return std::nullopt;
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) return std::nullopt;
    std::string text(xml, length);
    plist_to_xml_free(xml);
    return text;
}

const char* plist_library_version() {
    return J3_PLIST_VERSION;
}

}  // namespace j3
