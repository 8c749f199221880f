#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/audio_info.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using namespace testing;

struct Buttons {
    bool loop, stereo, waveform;
    bool operator==(const Buttons&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Buttons& b) {
    return os << "{loop " << b.loop << ", stereo " << b.stereo << ", waveform " << b.waveform
              << "}";
}

Bytes first_bytes(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

TEST(AudioInfoText, ShowsTheWindowsTexts) {
    const Buttons none{false, false, false};
    struct Case {
        const char* description;
        Bytes file;
        std::string text;
        Buttons buttons;
    } cases[] = {
        {"stereo WAV without loop",
         canonical_wav(1000),
         "Sample length: 1000 Channels: 2 Sample Rate: 44100\nBits: 16 Loop OFF.",
         {true, true, true}},
        {"mono WAV with a forward loop",
         wav({fmt(1, 1, 22050, 24), data_of_size(300), smpl(0, {{10, 90, 0}})}),
         "Sample length: 100 Channels: 1 Sample Rate: 22050\nBits: 24 Loop ON. Loop start: 10 "
         "Loop end: 90",
         {true, false, true}},
        {"a loop of 16384 frames is too long for a waveform",
         wav({fmt(1, 1, 44100, 8), data_of_size(20000), smpl(0, {{0, 16384, 0}})}),
         "Sample length: 20000 Channels: 1 Sample Rate: 44100\nBits: 8 Loop ON. Loop start: 0 "
         "Loop end: 16384",
         {true, false, false}},
        {"four channels never make a waveform",
         canonical_wav(10, 4),
         "Sample length: 10 Channels: 4 Sample Rate: 44100\nBits: 16 Loop OFF.",
         {true, false, false}},
        {"AIFF with markers and play mode 0",
         aiff({comm(1, 100, 16, 44100), inst(0, 1, 2), mark({{1, 5, "a"}, {2, 50, "b"}}),
               ssnd(Bytes(200))}),
         "Sample length: 100 Channels: 1 Sample Rate: 44100\nBits: 16 Loop OFF. Loop start: 5 "
         "Loop end: 50",
         {true, false, true}},
        {"a 32-bit WAV shows its own bits (its dump carries 28)",
         wav({fmt(1, 1, 44100, 32), data_of_size(40)}),
         "Sample length: 10 Channels: 1 Sample Rate: 44100\nBits: 32 Loop OFF.",
         {true, false, true}},
        {"a 29-bit AIFF shows 29",
         aiff({comm(1, 10, 29, 44100), ssnd(Bytes(40))}),
         "Sample length: 10 Channels: 1 Sample Rate: 44100\nBits: 29 Loop OFF.",
         {true, false, true}},
        {"AIFC fl32 stereo",
         aifc({comm(2, 10, 32, 48000, "fl32"), ssnd(Bytes(80))}),
         "Sample length: 10 Channels: 2 Sample Rate: 48000\nBits: 24 Loop OFF.",
         {true, true, true}},
        {"a RIFF size of 0", wav({}, 0), "Wave: Chunk size error", none},
        {"RIFF of another form", make_form("RIFF", "AVI ", {}, false), "", none},
        {"RIFF WAVE cut inside its first chunk header", first_bytes(canonical_wav(1), 18),
         "Wave: Chunk size error", none},
        {"WAV chunk size error", wav({fmt(1, 1, 44100, 16), {"data", Bytes(4), 8}}),
         "Wave: Chunk size error", none},
        {"WAV ADPCM", wav({fmt(2, 1, 44100, 4), data_of_size(4)}), "Wave: Not PCM or Float", none},
        {"WAV data before fmt", wav({data_of_size(4), fmt(1, 1, 44100, 16)}), "Unknown Wave Format",
         none},
        {"AIFF without COMM before SSND", aiff({ssnd(Bytes(4)), comm(1, 2, 16, 44100)}),
         "Unknown AIFF\tFormat", none},
        {"AIFF with zero channels", aiff({comm(0, 2, 16, 44100), ssnd(Bytes(4))}),
         "Unknown AIFF\tFormat", none},
        {"AIFF chunk size error", aiff({comm(1, 2, 16, 44100), {"SSND", Bytes(4), 80}}),
         "AIFF: Chunk size error", none},
        {"AIFC without COMM before SSND", aifc({ssnd(Bytes(4)), comm(1, 2, 16, 44100, "NONE")}),
         "Unknown AIFC\tFormat", none},
        {"AIFC chunk size error", aifc({comm(1, 2, 16, 44100, "NONE")}), "AIFC: Chunk size error",
         none},
        {"AIFC ima4", aifc({comm(1, 2, 16, 44100, "ima4"), ssnd(Bytes(4))}),
         "AIFC: Not PCM or Float", none},
        {"not audio", Bytes{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, "", none},
    };
    for (const Case& c : cases) {
        SampleInfo info;
        const AudioInfoText got = audio_info_text(c.file.data(), c.file.size(), info);
        EXPECT_EQ(got.text, c.text) << c.description;
        EXPECT_EQ((Buttons{got.enable.loop, got.enable.stereo, got.enable.waveform}), c.buttons)
            << c.description;
    }
}

}  // namespace
}  // namespace j3
