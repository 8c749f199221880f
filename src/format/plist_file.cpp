#include "format/plist_file.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <string_view>
#include <unordered_map>

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
            // By pointer and length: libplist 2.2 asserts in
            // plist_get_string_val when the text holds a NUL byte. Such a
            // string is no text of ours and is left out.
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            if (!text) return PlistValue::make_string("");
            const std::string_view view(text, size_t(length));
            if (view.find('\0') != std::string_view::npos) return std::nullopt;
            return PlistValue::make_string(std::string(view));
        }
        case PLIST_ARRAY: {
            PlistValue v = PlistValue::make_array();
            Malloced<void> iter;
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            iter.ptr = it;
            for (;;) {
                plist_t child = nullptr;
                plist_array_next_item(node, it, &child);
                if (!child) break;
                if (auto item = from_node(child, depth + 1)) v.items.push_back(std::move(*item));
            }
            return v;
        }
        case PLIST_DICT: {
            PlistValue v = PlistValue::make_dict();
            // Keys are looked up in a table of their own while reading: a
            // dictionary of many keys would otherwise cost a search per key.
            std::unordered_map<std::string, size_t> index;
            Malloced<void> iter;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            iter.ptr = it;
            for (;;) {
                Malloced<char> key;
                plist_t child = nullptr;
                plist_dict_next_item(node, it, &key.ptr, &child);
                if (!child || !key.ptr) break;
                auto item = from_node(child, depth + 1);
                if (!item) continue;
                auto [at, added] = index.try_emplace(key.ptr, v.keys.size());
                if (added) {
                    v.keys.emplace_back(key.ptr);
                    v.items.push_back(std::move(*item));
                } else {
                    v.items[at->second] = std::move(*item);
                }
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
// write is refused before it gets there. Comments and CDATA sections are
// passed over as the reader passes over them: tags inside them are no tags,
// and tags after them are.
bool nesting_within(const uint8_t* data, size_t size, int limit) {
    int depth = 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const std::string_view rest = text.substr(i + 1);
        const std::string_view skipped_end = rest.starts_with("!--")        ? "-->"
                                             : rest.starts_with("![CDATA[") ? "]]>"
                                                                            : "";
        if (!skipped_end.empty()) {
            // An unended comment or section: the reader fails on it.
            i = text.find(skipped_end, i + 1);
            if (i == std::string_view::npos) return false;
            continue;
        }
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
