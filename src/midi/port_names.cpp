#include "midi/port_names.h"

#include <algorithm>
#include <cctype>

namespace j3 {
namespace {

bool all_digits(std::string::const_iterator begin, std::string::const_iterator end) {
    return std::all_of(begin, end,
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

EndpointInfo endpoint_info_from_port_name(PortNaming naming, const std::string& full_name) {
    std::string s = full_name;
    if (naming == PortNaming::kAlsa) {
        // Drop a trailing " <client>:<port>".
        const size_t blank = s.rfind(' ');
        const size_t colon = s.rfind(':');
        if (blank != std::string::npos && colon != std::string::npos && colon > blank + 1 &&
            colon + 1 < s.size() &&
            all_digits(s.begin() + long(blank) + 1, s.begin() + long(colon)) &&
            all_digits(s.begin() + long(colon) + 1, s.end())) {
            s.resize(blank);
        }
    }
    EndpointInfo info;
    const size_t colon = s.find(':');
    if (colon == std::string::npos) {
        info.name = s;
    } else {
        info.device_name = s.substr(0, colon);
        info.name = s.substr(colon + 1);
    }
    info.has_entity = !info.device_name.empty();
    return info;
}

bool is_own_port(const EndpointInfo& info, const std::string& client, const std::string& input_port,
                 const std::string& output_port) {
    if (info.name != input_port && info.name != output_port) return false;
    const std::string& d = info.device_name;
    if (d == client) return true;
    return d.size() > client.size() + 1 && d.compare(0, client.size(), client) == 0 &&
           d[client.size()] == '-' && all_digits(d.begin() + long(client.size()) + 1, d.end());
}

}  // namespace j3
