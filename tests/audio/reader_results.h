// What a reader found, for tables that check every field at once.
#pragma once

#include <ostream>

#include "audio/sample_info.h"

namespace j3::testing {

struct Found {
    AudioParseStatus result;
    int channels, rate, bits, bytes, length, period, present, type, start, end;
    bool operator==(const Found&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{result " << int(f.result) << ", channels " << f.channels << ", rate " << f.rate
              << ", bits " << f.bits << ", bytes " << f.bytes << ", length " << f.length
              << ", period " << f.period << ", loop_present " << f.present << ", loop_type "
              << f.type << ", loop " << f.start << ".." << f.end << "}";
}
inline Found found(AudioParseStatus result, const SampleInfo& i) {
    return {
        result,          i.channels,         i.sample_rate,  i.bits_per_sample, i.bytes_per_sample,
        i.sample_length, i.sample_period_ns, i.loop_present, i.loop_type,       i.loop_start,
        i.loop_end};
}

}  // namespace j3::testing
