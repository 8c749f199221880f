#include "audio/audio_info.h"

#include <cstdio>

namespace j3 {
namespace {

// The waveform builder takes loops shorter than this many frames.
constexpr int64_t kWaveformMaxLoop = 16384;

struct FailureTexts {
    const char* unknown;      // results 0 and -1
    const char* chunk_size;   // -2
    const char* unsupported;  // -3
};

constexpr FailureTexts kWavTexts{"Unknown Wave Format", "Wave: Chunk size error",
                                 "Wave: Not PCM or Float"};
// The AIFF walk reports unusable COMM values as an unknown format, never -3.
constexpr FailureTexts kAiffTexts{"Unknown AIFF\tFormat", "AIFF: Chunk size error",
                                  "Unknown AIFF\tFormat"};
constexpr FailureTexts kAifcTexts{"Unknown AIFC\tFormat", "AIFC: Chunk size error",
                                  "AIFC: Not PCM or Float"};

AudioInfoText sample_text(const SampleInfo& info) {
    AudioInfoText out;
    out.enable.stereo = info.channels == 2;
    out.enable.loop = true;
    out.enable.waveform =
        int64_t(info.loop_end) - info.loop_start < kWaveformMaxLoop && info.channels <= 2;
    // The text describes the file: a 32-bit file says 32, though its dump
    // carries 28 bits.
    const int32_t bits = info.file_bits > 0 ? info.file_bits : info.bits_per_sample;
    char text[512];
    if (info.loop_present == 0) {
        std::snprintf(text, sizeof text,
                      "Sample length: %d Channels: %d Sample Rate: %d\nBits: %d Loop OFF.",
                      info.sample_length, info.channels, info.sample_rate, bits);
    } else {
        std::snprintf(text, sizeof text,
                      "Sample length: %d Channels: %d Sample Rate: %d\nBits: %d Loop %s. Loop "
                      "start: %d Loop end: %d",
                      info.sample_length, info.channels, info.sample_rate, bits,
                      info.loop_type == 127 ? "OFF" : "ON", info.loop_start, info.loop_end);
    }
    out.text = text;
    return out;
}

AudioInfoText failure_text(AudioParseStatus r, const FailureTexts& texts) {
    AudioInfoText out;
    switch (r) {
        case AudioParseStatus::kChunkSize:
            out.text = texts.chunk_size;
            break;
        case AudioParseStatus::kUnsupported:
            out.text = texts.unsupported;
            break;
        default:
            out.text = texts.unknown;
            break;
    }
    return out;
}

}  // namespace

AudioInfoText audio_info_text(const uint8_t* data, size_t size, SampleInfo& info) {
    AudioParseStatus r;
    const FailureTexts* texts;
    if (is_wav_file(data, size)) {
        r = parse_wav(data, size, info);
        texts = &kWavTexts;
    } else if (is_aiff_file(data, size)) {
        r = parse_aiff(data, size, info);
        texts = &kAiffTexts;
    } else if (is_aifc_file(data, size)) {
        r = parse_aifc(data, size, info);
        texts = &kAifcTexts;
    } else {
        return {};
    }
    return r == AudioParseStatus::kOk ? sample_text(info) : failure_text(r, *texts);
}

}  // namespace j3
