// Sample conversion: the file's own bytes, as a reader left them described in
// SampleInfo, turned into signed integer words for the SDS encoder and into
// doubles for the waveform builder. Nothing is resampled or dithered.
//
// Bounds: every function that takes a SampleInfo reads only inside
// [data_start, data_end); a position outside it (or a record without sample
// data) reads as silence and does not move. The single-sample readers take a
// pointer the caller has checked.
//
// Threads: plain functions without state. The SDS encoder calls the packet
// fillers on the MIDI completion thread with its own SampleInfo copy.
#pragma once

#include <array>
#include <cstdint>

#include "audio/sample_info.h"

namespace j3 {

// How read_wav_sample_int decodes, named after the WAV format tags.
enum WavEncoding : int32_t {
    kEncodingNeither = 0,
    kEncodingInteger = kWavFormatPcm,
    kEncodingFloat = kWavFormatFloat,
};

// The encoding for a WAV format_code: 1 integer, 3 float, anything else neither.
WavEncoding wav_encoding(int32_t format_code);

// One little-endian sample as a 32-bit integer, without the container shift.
// Integer: 1 byte is unsigned (byte - 128); 2 to 4 bytes are two's complement.
// Float: 4 bytes (float) or 8 bytes (double), limited to -1.0 .. 0.99999988,
// scaled by 2^31 and truncated (-2147483648 .. 2147483392). Neither, or an
// unsupported size: 0. p must hold bytes_per_sample bytes.
int32_t read_wav_sample_int(const uint8_t* p, int32_t bytes_per_sample, WavEncoding encoding);

// One AIFF sample: big-endian two's complement of bytes_per_sample bytes (8-bit
// AIFF is signed), shifted right by the container shift, so the result has
// bits_per_sample bits. p must hold bytes_per_sample bytes.
int32_t read_aiff_sample_int(const uint8_t* p, const SampleInfo& info);

// One AIFC sample of bits_per_sample bits, by info.aifc_compression: NONE as
// AIFF, sowt as WAV integers, fl32 / fl64 as big-endian floats scaled as WAV
// floats and shifted right by 8 (fl64 1.0 gives 8388606). Other: 0. p must
// hold bytes_per_sample bytes.
int32_t read_aifc_sample_int(const uint8_t* p, const SampleInfo& info);

// The words of one SDS data packet; 60 is the most a packet carries.
constexpr int32_t kPacketWordsMax = 60;
using PacketWords = std::array<int32_t, kPacketWordsMax>;

// One sample of one channel at p as the packet fillers read it: a word of
// bits_per_sample bits by the file kind (WAV with the container shift, float
// shifted by 8; AIFF; AIFC by its compression). p must hold bytes_per_sample
// bytes; a record of no known kind gives 0.
int32_t read_sample_word(const SampleInfo& info, const uint8_t* p);

// Packet fillers, one per file kind. For i = 0 .. word_count - 1 (at most 60):
// frame first_frame + i, when below sample_length, gives words[i] = its sample
// of bits_per_sample bits (stereo reduced to one channel by stereo_choice:
// 0 mix (L + R) / 2, 1 left, 2 right, other left; more channels: channel 0)
// and read_pos advances by one frame; frames past the end give 0 and leave
// read_pos alone. Returns the new read position, which the encoder stores back
// into info.read_pos. One pass over the frames, no allocation.
const uint8_t* fill_packet_words_wav(const SampleInfo& info, int32_t stereo_choice,
                                     const uint8_t* read_pos, int32_t first_frame,
                                     int32_t word_count, PacketWords& words);
const uint8_t* fill_packet_words_aiff(const SampleInfo& info, int32_t stereo_choice,
                                      const uint8_t* read_pos, int32_t first_frame,
                                      int32_t word_count, PacketWords& words);
const uint8_t* fill_packet_words_aifc(const SampleInfo& info, int32_t stereo_choice,
                                      const uint8_t* read_pos, int32_t first_frame,
                                      int32_t word_count, PacketWords& words);

// Double readers for the waveform builder: one sample of one channel at pos,
// which then advances by bytes_per_sample. The value is the container value
// (without the container shift) times 2 / 2^bits_per_sample, so 8-, 16- and
// 24-bit integer data map onto -1.0 .. just below 1.0; wider containers and
// float WAV (x * 256) come out larger by a constant factor, which the builder's
// peak normalisation removes. Outside [data_start, data_end): 0.0, pos unmoved.
double read_wav_sample_double(const SampleInfo& info, const uint8_t*& pos);
double read_aiff_sample_double(const SampleInfo& info, const uint8_t*& pos);
// AIFC data: the read_aifc_sample_int value times 2 / 2^bits_per_sample.
double read_aifc_sample_double(const SampleInfo& info, const uint8_t*& pos);

}  // namespace j3
