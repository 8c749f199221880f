// XML property lists in and out. This pair is the only place that calls
// libplist (its API changes between 2.2 and 2.3).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "format/plist_value.h"

namespace j3 {

// Parses an XML property list. nullopt when the text is not one. Values of
// kinds PlistValue does not keep (reals, dates, data) are left out of their
// container. Any thread; keeps no state.
std::optional<PlistValue> parse_plist_xml(const uint8_t* data, size_t size);

// The value as XML property-list text; nullopt when the library fails.
std::optional<std::string> plist_xml_text(const PlistValue& root);

// The version of libplist J3 was built against (2.2 tells none at run time).
const char* plist_library_version();

}  // namespace j3
