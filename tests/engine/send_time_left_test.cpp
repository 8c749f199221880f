#include "engine/send_time_left.h"

#include <gtest/gtest.h>

#include "engine/list_commands.h"
#include "fakes/test_context.h"
#include "fixtures/audio_files.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;

// A SysEx item of 3000 bytes in 3 messages, then a 16-bit sample of 400
// frames: 10 packets of 40 words and a header, 1291 bytes on the wire.
struct SendTimeLeft : ::testing::Test {
    void SetUp() override {
        Bytes sysex;
        for (int i = 0; i < 3; ++i) {
            Bytes m(1000, 0x11);
            m.front() = 0xF0;
            m.back() = 0xF7;
            sysex.insert(sysex.end(), m.begin(), m.end());
        }
        testing::WavFile w;
        w.samples.assign(400, 0);
        for (Bytes data : {sysex, testing::make_wav(w)}) {
            FileEntry e;
            e.file = "item";
            e.data = std::move(data);
            append_entry(t.ctx, std::move(e));
        }
        plan = plan_send(t.ctx, {1, 2});
    }
    testing::TestContext t;
    SendPlan plan;
};

TEST_F(SendTimeLeft, BytesAndPausesLeftFollowTheProgressThroughTheQueue) {
    ASSERT_EQ(plan.items.size(), 2u);
    EXPECT_EQ(plan.items[1].wire_bytes, 21 + 10 * 127);
    t.ctx.settings.send_delay = 6;  // 100 ms before each message
    struct Case {
        const char* description;
        SendProgress progress;
        int64_t want_bytes_left;
        int64_t want_pause_ms;
        int64_t want_sent;
    };
    const Case cases[] = {
        {"at the start", {true, false, 1, 2, 0}, 3000 + 1291, (3 + 11) * 100, 0},
        {"a third into the SysEx", {true, false, 1, 2, 1000}, 2000 + 1291, (2 + 11) * 100, 1000},
        {"half the sample", {true, true, 2, 2, 200}, 645, 550, 3000 + 646},
        {"at the end", {true, true, 2, 2, 400}, 0, 0, 3000 + 1291},
    };
    for (const Case& c : cases) {
        const TimeLeftInput in = send_time_left_input(t.ctx, plan, c.progress, 0);
        EXPECT_NEAR(double(in.bytes_left), double(c.want_bytes_left), 1) << c.description;
        EXPECT_NEAR(double(in.pause_ms), double(c.want_pause_ms), 1) << c.description;
        EXPECT_EQ(in.bytes_per_second, 3125) << c.description;
        EXPECT_NEAR(double(bytes_sent(plan, c.progress)), double(c.want_sent), 1) << c.description;
    }
    EXPECT_EQ(time_left_text(send_time_left_input(t.ctx, plan, {true, false, 1, 2, 0}, 0)),
              "0:03 left");  // 4291 bytes at 3125 bytes/s and 1.4 s of pauses: 2.77 s
}

}  // namespace
}  // namespace j3
