// A stored SDS dump turned back into audio for the picture.
#include <gtest/gtest.h>

#include "audio/sample_convert.h"
#include "fixtures/audio_files.h"
#include "receive/sds_fixtures.h"
#include "receive/stored_dump.h"

namespace j3 {
namespace {

using namespace j3::testing;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes stored(const Dump& d) {
    Bytes all = d.first;
    for (const Bytes& p : d.packets) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(StoredDump, FirstWholeDumpBecomesAWavFile) {
    const std::vector<int16_t> frames = sine(150, 3.0, 150);
    const Bytes whole = stored(encode_item(wav16(frames, 1, Loop{20, 119, 0})));
    Bytes cut = stored(encode_item(wav16(sine(300, 1.0, 300), 1)));
    cut.resize(cut.size() - 127);  // its last packet never came

    struct Case {
        const char* description;
        Bytes buffer;
        bool found;
    } cases[] = {
        {"one dump", whole, true},
        {"junk, an unfinished dump, then the dump", cat({{0x01, 0x02}, cut, whole}), true},
        {"the dump, then a second one", cat({whole, stored(encode_item(wav16(frames, 1)))}), true},
        {"only an unfinished dump", cut, false},
        {"no dump at all", {0xF0, 0x43, 0xF7}, false},
    };
    for (const Case& c : cases) {
        const auto wav = first_dump_as_wav(c.buffer.data(), c.buffer.size());
        ASSERT_EQ(wav.has_value(), c.found) << c.description;
        if (!wav) continue;
        SampleInfo info;
        ASSERT_TRUE(parse_audio_file(wav->data(), wav->size(), info)) << c.description;
        ASSERT_EQ(info.sample_length, 150) << c.description;
        EXPECT_EQ(info.loop_present, 1) << c.description;
        EXPECT_EQ(info.loop_start, 20) << c.description;
        EXPECT_EQ(info.loop_end, 119) << c.description;
        for (int32_t f = 0; f < info.sample_length; ++f) {
            ASSERT_EQ(read_sample_word(info, info.data_start + 2 * f), frames[size_t(f)])
                << c.description << " frame " << f;
        }
    }
}

}  // namespace
}  // namespace j3
