#include "audio/sample_info.h"

#include "format/bytes.h"

namespace j3 {
namespace {

bool form_is(const uint8_t* data, size_t size, const char (&container)[5], const char (&form)[5]) {
    return size >= 12 && tag_is(data, container) && tag_is(data + 8, form);
}

}  // namespace

bool is_wav_file(const uint8_t* data, size_t size) {
    return form_is(data, size, "RIFF", "WAVE");
}
bool is_aiff_file(const uint8_t* data, size_t size) {
    return form_is(data, size, "FORM", "AIFF");
}
bool is_aifc_file(const uint8_t* data, size_t size) {
    return form_is(data, size, "FORM", "AIFC");
}

bool is_audio_file(const uint8_t* data, size_t size) {
    return is_wav_file(data, size) || is_aiff_file(data, size) || is_aifc_file(data, size);
}

bool parse_audio_file(const uint8_t* data, size_t size, SampleInfo& info) {
    AudioParseStatus r;
    if (is_wav_file(data, size)) {
        r = parse_wav(data, size, info);
    } else if (is_aiff_file(data, size)) {
        r = parse_aiff(data, size, info);
    } else if (is_aifc_file(data, size)) {
        r = parse_aifc(data, size, info);
    } else {
        return false;
    }
    return r == AudioParseStatus::kOk;
}

}  // namespace j3
