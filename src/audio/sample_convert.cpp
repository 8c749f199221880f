#include "audio/sample_convert.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "format/bytes.h"

namespace j3 {
namespace {

// The largest float the 2^31 scaling keeps below full scale: 0x3F7FFFFE.
constexpr double kFloatCeiling = 0.9999998807;
constexpr float kFloatCeilingValue = 0.99999988079071044921875f;
constexpr double kFloatScale = 2147483648.0;  // 2^31
constexpr int kFloatShift = 8;                // 32-bit scaled float to 24-bit word

// Two's complement of n (1 .. 4) bytes already gathered into the low bits of u.
int32_t sign_extend(uint32_t u, int bytes) {
    const int unused = 32 - 8 * bytes;
    return int32_t(u << unused) >> unused;
}

int32_t read_be_signed(const uint8_t* p, int bytes) {
    uint32_t u = 0;
    for (int i = 0; i < bytes; ++i) u = u << 8 | p[i];
    return sign_extend(u, bytes);
}

int32_t scale_float(float x) {
    if (!(x >= -1.0f)) x = -1.0f;  // also not-a-number
    if (double(x) > kFloatCeiling) x = kFloatCeilingValue;
    return int32_t(double(x) * kFloatScale);
}

int32_t scale_double(double x) {
    if (!(x >= -1.0)) {
        x = -1.0;  // also not-a-number
    } else if (x > kFloatCeiling) {
        x = kFloatCeiling;
    }
    return int32_t(x * kFloatScale);
}

float float_from_bits(uint32_t bits) {
    return std::bit_cast<float>(bits);
}
double double_from_bits(uint64_t bits) {
    return std::bit_cast<double>(bits);
}

uint64_t read_le64(const uint8_t* p) {
    return uint64_t(read_le32(p + 4)) << 32 | read_le32(p);
}
uint64_t read_be64(const uint8_t* p) {
    return uint64_t(read_be32(p)) << 32 | read_be32(p + 4);
}

// Integer containers keep their samples left-justified.
int container_shift(const SampleInfo& info) {
    return std::clamp(info.bytes_per_sample * 8 - info.bits_per_sample, 0, 31);
}

bool inside(const SampleInfo& info, const uint8_t* pos, int64_t bytes) {
    return info.data_start != nullptr && pos >= info.data_start && pos <= info.data_end &&
           info.data_end - pos >= bytes;
}

// The WAV rule with the container shift (float words always shift by 8).
int32_t wav_word(const uint8_t* p, const SampleInfo& info) {
    const WavEncoding encoding = wav_encoding(info.format_code);
    const int32_t v = read_wav_sample_int(p, info.bytes_per_sample, encoding);
    return v >> (encoding == kEncodingFloat ? kFloatShift : container_shift(info));
}

template <typename ReadWord>
const uint8_t* fill_packet_words(const SampleInfo& info, int32_t stereo_choice,
                                 const uint8_t* read_pos, int32_t first_frame, int32_t word_count,
                                 PacketWords& words, ReadWord read_word) {
    const int64_t sample_bytes = info.bytes_per_sample;
    const int64_t frame_bytes = int64_t(info.channels) * sample_bytes;
    const bool stereo = info.channels == 2;
    const int32_t count = std::clamp(word_count, 0, kPacketWordsMax);
    for (int32_t i = 0; i < count; ++i) {
        const int64_t frame = int64_t(first_frame) + i;
        if (frame >= info.sample_length || frame_bytes <= 0 ||
            !inside(info, read_pos, frame_bytes)) {
            words[size_t(i)] = 0;
            continue;
        }
        int32_t word = 0;
        if (stereo && stereo_choice == 0) {
            const int64_t left = read_word(read_pos, info);
            const int64_t right = read_word(read_pos + sample_bytes, info);
            word = int32_t((left + right) / 2);
        } else if (stereo && stereo_choice == 2) {
            word = read_word(read_pos + sample_bytes, info);
        } else {
            word = read_word(read_pos, info);
        }
        words[size_t(i)] = word;
        read_pos += frame_bytes;
    }
    return read_pos;
}

template <typename ReadValue>
double read_double(const SampleInfo& info, const uint8_t*& pos, ReadValue read_value) {
    if (info.bytes_per_sample <= 0 || !inside(info, pos, info.bytes_per_sample)) return 0.0;
    const double v = read_value(pos);
    pos += info.bytes_per_sample;
    return std::ldexp(v, 1 - info.bits_per_sample);
}

}  // namespace

WavEncoding wav_encoding(int32_t format_code) {
    if (format_code == kWavFormatPcm) return kEncodingInteger;
    if (format_code == kWavFormatFloat) return kEncodingFloat;
    return kEncodingNeither;
}

int32_t read_wav_sample_int(const uint8_t* p, int32_t bytes_per_sample, WavEncoding encoding) {
    if (encoding == kEncodingInteger) {
        if (bytes_per_sample == 1) return int32_t(p[0]) - 128;  // 8-bit WAV is unsigned
        if (bytes_per_sample < 2 || bytes_per_sample > 4) return 0;
        uint32_t u = 0;
        for (int i = bytes_per_sample - 1; i >= 0; --i) u = u << 8 | p[i];
        return sign_extend(u, bytes_per_sample);
    }
    if (encoding == kEncodingFloat) {
        if (bytes_per_sample == 4) return scale_float(float_from_bits(read_le32(p)));
        if (bytes_per_sample == 8) return scale_double(double_from_bits(read_le64(p)));
    }
    return 0;
}

int32_t read_aiff_sample_int(const uint8_t* p, const SampleInfo& info) {
    if (info.bytes_per_sample < 1 || info.bytes_per_sample > 4) return 0;
    return read_be_signed(p, info.bytes_per_sample) >> container_shift(info);
}

int32_t read_aifc_sample_int(const uint8_t* p, const SampleInfo& info) {
    switch (info.aifc_compression) {
        case kAifcNone:
            return read_aiff_sample_int(p, info);
        case kAifcSowt:
            return read_wav_sample_int(p, info.bytes_per_sample, kEncodingInteger) >>
                   container_shift(info);
        case kAifcFl32:
            if (info.bytes_per_sample != 4) return 0;
            return scale_float(float_from_bits(read_be32(p))) >> kFloatShift;
        case kAifcFl64:
            if (info.bytes_per_sample != 8) return 0;
            return scale_double(double_from_bits(read_be64(p))) >> kFloatShift;
        default:
            return 0;
    }
}

int32_t read_sample_word(const SampleInfo& info, const uint8_t* p) {
    switch (info.file_kind) {
        case kKindWav:
            return wav_word(p, info);
        case kKindAiff:
            return read_aiff_sample_int(p, info);
        case kKindAifc:
            return read_aifc_sample_int(p, info);
        default:
            return 0;
    }
}

const uint8_t* fill_packet_words_wav(const SampleInfo& info, int32_t stereo_choice,
                                     const uint8_t* read_pos, int32_t first_frame,
                                     int32_t word_count, PacketWords& words) {
    return fill_packet_words(info, stereo_choice, read_pos, first_frame, word_count, words,
                             wav_word);
}

const uint8_t* fill_packet_words_aiff(const SampleInfo& info, int32_t stereo_choice,
                                      const uint8_t* read_pos, int32_t first_frame,
                                      int32_t word_count, PacketWords& words) {
    return fill_packet_words(info, stereo_choice, read_pos, first_frame, word_count, words,
                             read_aiff_sample_int);
}

const uint8_t* fill_packet_words_aifc(const SampleInfo& info, int32_t stereo_choice,
                                      const uint8_t* read_pos, int32_t first_frame,
                                      int32_t word_count, PacketWords& words) {
    return fill_packet_words(info, stereo_choice, read_pos, first_frame, word_count, words,
                             read_aifc_sample_int);
}

double read_wav_sample_double(const SampleInfo& info, const uint8_t*& pos) {
    return read_double(info, pos, [&](const uint8_t* p) {
        return read_wav_sample_int(p, info.bytes_per_sample, wav_encoding(info.format_code));
    });
}

double read_aiff_sample_double(const SampleInfo& info, const uint8_t*& pos) {
    return read_double(info, pos, [&](const uint8_t* p) {
        if (info.bytes_per_sample > 4) return 0;
        return read_be_signed(p, info.bytes_per_sample);
    });
}

double read_aifc_sample_double(const SampleInfo& info, const uint8_t*& pos) {
    return read_double(info, pos, [&](const uint8_t* p) { return read_aifc_sample_int(p, info); });
}

}  // namespace j3
