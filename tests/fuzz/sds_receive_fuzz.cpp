// Fuzz target for SDS reception: the input is taken as a stream of stored or
// captured MIDI bytes and assembled into items in every "SDS format", as
// j3 convert and reception do. Beyond not crashing:
// - every finished WAV or AIFF item is a file J3's own reader reads whole,
//   with as many sample frames as its header announces;
// - every finished SysEx item is a run of whole messages (F0 ... F7), each
//   passed through as it stood in the input, never cut;
// - the same bytes in two chunks give the same items as in one.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "audio/sample_info.h"
#include "receive/dump_assembler.h"
#include "receive/sds_receive.h"

namespace {

using namespace j3;
using Bytes = std::vector<uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

bool occurs_in(const Bytes& message, const uint8_t* data, size_t size) {
    const uint8_t* end = data + size;
    return std::search(data, end, message.begin(), message.end()) != end;
}

void check_sysex_item(const Bytes& item, const uint8_t* data, size_t size) {
    size_t i = 0;
    int checked = 0;
    while (i < item.size()) {
        check(item[i] == 0xF0);
        size_t end = i + 1;
        while (end < item.size() && item[end] != 0xF7) ++end;
        check(end < item.size());
        // A search per message: the first few are enough.
        if (checked++ < 8)
            check(occurs_in(Bytes(item.begin() + i, item.begin() + end + 1), data, size));
        i = end + 1;
    }
}

void check_file_item(const Bytes& item, bool wav) {
    SampleInfo info;
    const AudioParseStatus r = wav ? parse_wav(item.data(), item.size(), info)
                                   : parse_aiff(item.data(), item.size(), info);
    check(r == AudioParseStatus::kOk);
    check(info.channels == 1);
    const uint64_t bytes = uint64_t(info.sample_length) * uint64_t(info.bytes_per_sample);
    check(bytes == uint64_t(info.data_end - info.data_start));
}

std::vector<Bytes> items_of(int32_t format, const uint8_t* data, size_t size, size_t split) {
    DumpAssembler a;
    a.sds_format = format;
    assemble_bytes(a, data, split);
    assemble_bytes(a, data + split, size - split);
    finish_assembly(a, size);
    std::vector<Bytes> items;
    for (DumpEvent& e : a.events) {
        if (e.kind == DumpEvent::kItemDone) items.push_back(std::move(e.item));
    }
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t split = size == 0 ? 0 : data[0] % (size + 1);
    // Real-time bytes inside a message are no part of it.
    Bytes plain;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] < 0xF8) plain.push_back(data[i]);
    }
    for (int32_t format :
         {kSdsFormatSysex, kSdsFormatWav, kSdsFormatAiff, kSdsFormatSysexOneItem}) {
        const std::vector<Bytes> items = items_of(format, data, size, size);
        for (const Bytes& item : items) {
            if (format == kSdsFormatWav || format == kSdsFormatAiff) {
                check_file_item(item, format == kSdsFormatWav);
            } else {
                check_sysex_item(item, plain.data(), plain.size());
            }
        }
        check(items_of(format, data, size, split) == items);
    }
    return 0;
}
