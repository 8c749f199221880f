// The real send loop through the real service's loopback pair: what a new
// user without an instrument sees.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_window.h"
#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "receive/reception.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

template <class Cond>
bool eventually(Cond cond) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

Bytes sysex(size_t length, uint8_t fill) {
    Bytes m(length, fill);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

struct LoopbackSend : ::testing::Test {
    void SetUp() override {
        ctx.window = &window;
        ctx.reception = &reception;
        ctx.clock = &clock;
        midi = make_midi_service(MidiServiceOptions{false, false});
        ctx.midi = midi.get();
        scan_midi(*ctx.midi, ctx.endpoints, [this](const MidiPacketList& list) {
            std::lock_guard lock(mutex);
            for (auto& p : list) received.insert(received.end(), p.bytes.begin(), p.bytes.end());
        });
        // The loopback pair is listed last.
        ctx.settings.selected_in =
            choose_source(*ctx.midi, ctx.endpoints, ctx.endpoints.source_count, false);
        ctx.settings.selected_out =
            choose_destination(*ctx.midi, ctx.endpoints, ctx.endpoints.destination_count, false);
    }
    void TearDown() override {
        if (ctx.send.sending()) stop_sending(ctx);
        midi.reset();
    }
    void add(Bytes data) {
        FileEntry e;
        e.file = "item.syx";
        e.data = std::move(data);
        append_entry(ctx, std::move(e));
    }
    void start() {
        std::vector<uint32_t> ids;
        for (uint32_t id = 1; id <= ctx.files.size(); ++id) ids.push_back(id);
        window.select(ids);
        refresh_selection(ctx);
        ASSERT_TRUE(start_sending(ctx));
    }
    size_t received_size() {
        std::lock_guard lock(mutex);
        return received.size();
    }

    testing::FakeWindow window;
    testing::FakeClock clock;
    Reception reception;
    Context ctx;
    std::unique_ptr<MidiService> midi;
    std::mutex mutex;
    Bytes received;
};

TEST_F(LoopbackSend, EveryMessageComesBackInOrder) {
    midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, 1000000);
    const Bytes a = sysex(10, 0x01), b = sysex(5000, 0x02), c = sysex(3, 0x03);
    Bytes first = a;
    first.insert(first.end(), b.begin(), b.end());
    add(first);
    add({0x00, 0xF0, 0x7F});  // an unterminated message only: nothing goes out
    add(c);
    start();
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    EXPECT_EQ(window.text(testing::kSendStatus), "Done.");
    ASSERT_TRUE(eventually([&] { return received_size() >= a.size() + b.size() + c.size(); }));
    Bytes want = first;
    want.insert(want.end(), c.begin(), c.end());
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, want);
}

TEST_F(LoopbackSend, StopCutsTheSendShortAndALaterSendStillWorks) {
    // 20 messages of 500 bytes at 3125 bytes per second: over three seconds.
    Bytes all;
    for (int i = 0; i < 20; ++i) {
        const Bytes m = sysex(500, uint8_t(i));
        all.insert(all.end(), m.begin(), m.end());
        add(m);
    }
    start();
    ASSERT_TRUE(eventually([&] { return received_size() >= 500; }));
    stop_sending(ctx);
    EXPECT_FALSE(ctx.send.sending());
    ASSERT_TRUE(eventually([&] { return !ctx.send.busy(); }));

    midi->set_max_sysex_speed(ctx.endpoints.destination_endpoint, 1000000);
    start();
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    // The stopped send left whole messages only (the one already handed back
    // arrives whole, the next never starts), then the new send all of its own.
    EXPECT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        if (received.size() <= all.size() || received.size() >= 2 * all.size()) return false;
        const size_t before = received.size() - all.size();
        return before % 500 == 0 &&
               std::equal(all.begin(), all.begin() + long(before), received.begin()) &&
               std::equal(all.begin(), all.end(), received.begin() + long(before));
    }));
}

TEST_F(LoopbackSend, ARefusedRequestStopsTheSendWithAMessage) {
    // An id that names no destination, as one that has left the system.
    add(sysex(10, 0x01));
    ctx.endpoints.destination_endpoint = 4711;
    start();
    ASSERT_TRUE(eventually([&] { return !ctx.send.sending(); }));
    EXPECT_NE(window.text(testing::kSendStatus), "Done.");
    EXPECT_EQ(received_size(), 0u);
}

}  // namespace
}  // namespace j3
