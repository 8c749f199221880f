// Fuzz target for the WAV, AIFF and AIFC readers and the sample converters that
// read through what they found. Built as a libFuzzer program with clang, and
// linked into the deterministic mutation run everywhere.
#include <cstdint>
#include <cstdlib>

#include "audio/audio_info.h"
#include "audio/sample_convert.h"
#include "audio/sample_info.h"
#include "audio/sample_picture.h"

namespace {

using namespace j3;

// Frames and samples read per input: enough to cross every chunk boundary of
// the small inputs a fuzzer makes, few enough to keep runs fast.
constexpr int32_t kFramesToFill = 256;
constexpr int kDoublesToRead = 512;

void check(bool ok) {
    if (!ok) std::abort();
}

// What every successful walk promises its callers.
void check_record(const SampleInfo& info, const uint8_t* data, size_t size) {
    check(info.channels >= 1);
    check(info.sample_rate >= 1);
    check(info.sample_period_ns >= 1);
    check(info.bits_per_sample >= 1 && info.bits_per_sample <= kMaxSampleBits);
    const int32_t b = info.bytes_per_sample;
    check(b == 1 || b == 2 || b == 3 || b == 4 || b == 8);
    check(info.data_start != nullptr && info.read_pos == info.data_start);
    check(info.data_start >= data && info.data_start <= info.data_end);
    check(info.data_end <= data + size);
    check(info.sample_length >= 0);
    const uint64_t bytes = uint64_t(info.sample_length) * uint64_t(info.channels) * uint64_t(b);
    check(bytes <= uint64_t(info.data_end - info.data_start));
}

void read_samples(const SampleInfo& info) {
    using Filler = const uint8_t* (*)(const SampleInfo&, int32_t, const uint8_t*, int32_t, int32_t,
                                      PacketWords&);
    const Filler filler = info.file_kind == kKindWav    ? fill_packet_words_wav
                          : info.file_kind == kKindAiff ? fill_packet_words_aiff
                                                        : fill_packet_words_aifc;
    PacketWords words;
    for (int32_t choice = 0; choice <= 3; ++choice) {
        const uint8_t* pos = info.data_start;
        for (int32_t first = 0; first < kFramesToFill; first += kPacketWordsMax) {
            pos = filler(info, choice, pos, first, kPacketWordsMax, words);
        }
    }
    // A position at the end and a frame number out of step with it.
    filler(info, 0, info.data_end, 0, kPacketWordsMax, words);

    const uint8_t* pos = info.data_start;
    for (int i = 0; i < kDoublesToRead; ++i) {
        if (info.file_kind == kKindWav) read_wav_sample_double(info, pos);
        if (info.file_kind == kKindAiff) read_aiff_sample_double(info, pos);
        if (info.file_kind == kKindAifc) read_aifc_sample_double(info, pos);
    }

    // The window's picture: peaks at a few widths and ranges, the loop seam
    // at whatever loop points the file gave.
    for (int32_t columns : {1, 7, 300}) compute_peaks(info, 0, info.sample_length, columns);
    compute_peaks(info, int64_t(info.sample_length) - 3, 10, 50);
    loop_seam(info, info.loop_start, info.loop_end, 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Reader = AudioParseStatus (*)(const uint8_t*, size_t, SampleInfo&);
    SampleInfo info;
    for (Reader reader : {Reader(parse_wav), Reader(parse_aiff), Reader(parse_aifc)}) {
        if (reader(data, size, info) == AudioParseStatus::kOk) {
            check_record(info, data, size);
            read_samples(info);
        } else {
            check(info.file_kind == kKindNone);
        }
    }
    audio_info_text(data, size, info);
    if (size >= 10) decode_extended_rate(data);
    return 0;
}
