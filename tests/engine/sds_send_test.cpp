#include "engine/sds_send.h"

#include <gtest/gtest.h>

#include "engine/context.h"
#include "fakes/test_context.h"
#include "fixtures/audio_files.h"
#include "format/sds_messages.h"
#include "receive/sds_fixtures.h"

namespace j3::testing {
namespace {

Bytes silent_mono16(size_t frames) {
    WavFile w;
    w.samples.assign(frames, 0);
    return make_wav(w);
}

TEST(SdsEncoder, SendLoopFormTakesTheSettings) {
    TestContext t;
    t.ctx.settings.device_number = 5;
    t.ctx.transfer.sample_number = 9;
    t.ctx.transfer.current_loop = kLoopOn;
    Bytes file = silent_mono16(100);
    int32_t pos = 0, length = int32_t(file.size());
    const uint8_t* msg = file.data();
    ASSERT_EQ(next_sds_message(t.ctx, pos, &length, msg, 0, nullptr), 21);
    EXPECT_EQ(msg[2], 5);
    EXPECT_EQ(msg[4], 9);
    EXPECT_EQ(msg[19], 0x00);
    // A reader run for the info text meanwhile does not touch the running item.
    Bytes other = silent_mono16(7);
    parse_audio_file(other.data(), other.size(), t.ctx.sample_info);
    ASSERT_EQ(next_sds_message(t.ctx, pos, nullptr, msg, 0, nullptr), 127);
    EXPECT_EQ(msg[2], 5);
    EXPECT_EQ(pos, 40);
    EXPECT_EQ(t.ctx.encoder.info.sample_length, 100);
}

}  // namespace
}  // namespace j3::testing
