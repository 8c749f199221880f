// The real service with its built-in endpoints only (and JACK asked for while
// no server of that name runs): the sending threads, pacing, cancelling,
// refusals, the loopback and the input thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "midi/endpoints.h"
#include "midi/midi_systems.h"
#include "midi/send_pump.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Generous bound on waits, so a fault shows as a failure instead of a hang.
constexpr auto kPatience = 10s;

// Collects completions and input, and lets the test wait for them.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<SysexRequest*> completed;
    std::set<std::thread::id> completion_threads;
    Bytes received;
    std::set<std::thread::id> input_threads;
    int packet_lists = 0;

    static void done(SysexRequest* r) {
        auto* self = static_cast<Recorder*>(r->completion_ref);
        std::lock_guard lock(self->mutex);
        EXPECT_TRUE(r->complete) << "the flag is set before the procedure runs";
        self->completed.push_back(r);
        self->completion_threads.insert(std::this_thread::get_id());
        self->changed.notify_all();
    }
    ReadProc read_proc() {
        return [this](const MidiPacketList& list) {
            std::lock_guard lock(mutex);
            for (auto& p : list) received.insert(received.end(), p.bytes.begin(), p.bytes.end());
            input_threads.insert(std::this_thread::get_id());
            ++packet_lists;
            changed.notify_all();
        };
    }
    bool wait_completed(size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, [&] { return completed.size() >= n; });
    }
    bool wait_received(size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, [&] { return received.size() >= n; });
    }
};

void fill(SysexRequest& r, Endpoint to, const Bytes& data, Recorder& rec) {
    r.destination = to;
    r.data = data.data();
    r.bytes_to_send = uint32_t(data.size());
    r.completion_proc = Recorder::done;
    r.completion_ref = &rec;
    r.complete = false;
}

Bytes sysex(size_t length, uint8_t fill_byte = 0x11) {
    Bytes m(length, fill_byte);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

struct Service : ::testing::Test {
    void SetUp() override {
        // JACK is asked for, but no server of this name runs: the service must
        // quietly do without it.
        ::setenv("JACK_DEFAULT_SERVER", "j3-test-no-such-server", 1);
        midi = make_midi_service(MidiServiceOptions{false, true});
        ASSERT_TRUE(midi->create_client("J3", "Input port", "Output port", rec.read_proc()));
        loop_out = midi->destination(midi->destination_count() - 1);
        loop_in = midi->source(midi->source_count() - 1);
    }
    Recorder rec;
    std::unique_ptr<MidiService> midi;
    Endpoint loop_out = kNoEndpoint, loop_in = kNoEndpoint;
};

TEST_F(Service, WithoutAnyMidiSystemOnlyTheLoopbackPairIsListed) {
    ASSERT_EQ(midi->source_count(), 1);
    ASSERT_EQ(midi->destination_count(), 1);
    EXPECT_EQ(midi->endpoint_info(loop_in).name, "J3 Loopback");
    EXPECT_EQ(midi->endpoint_info(loop_out).name, "J3 Loopback");
    EXPECT_NE(loop_in, loop_out);
    EXPECT_EQ(midi->source(1), kNoEndpoint);
    EXPECT_EQ(midi->destination(-1), kNoEndpoint);
    EXPECT_EQ(endpoint_display_name(*midi, loop_out, false), "J3 Loopback");
    // Ids stay across a rescan.
    midi->create_client("J3", "Input port", "Output port", nullptr);
    EXPECT_EQ(midi->destination(0), loop_out);
}

TEST_F(Service, TheLoopbackGivesBackWhatItWasSentInOrderOnTheInputThread) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    midi->set_max_sysex_speed(loop_out, 1000000);
    const Bytes a = sysex(300, 0x01), b = sysex(5, 0x02), c = sysex(4096, 0x03);
    SysexRequest ra, rb, rc;
    fill(ra, loop_out, a, rec);
    fill(rb, loop_out, b, rec);
    fill(rc, loop_out, c, rec);
    EXPECT_EQ(midi->send_sysex(&ra), kSendTaken);
    EXPECT_EQ(midi->send_sysex(&rb), kSendTaken);
    EXPECT_EQ(midi->send_sysex(&rc), kSendTaken);
    ASSERT_TRUE(rec.wait_completed(3));
    ASSERT_TRUE(rec.wait_received(a.size() + b.size() + c.size()));

    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.completed, (std::vector<SysexRequest*>{&ra, &rb, &rc}));
    Bytes want = a;
    want.insert(want.end(), b.begin(), b.end());
    want.insert(want.end(), c.begin(), c.end());
    EXPECT_EQ(rec.received, want);
    ASSERT_EQ(rec.completion_threads.size(), 1u);
    ASSERT_EQ(rec.input_threads.size(), 1u);
    EXPECT_NE(*rec.completion_threads.begin(), std::this_thread::get_id());
    EXPECT_NE(*rec.input_threads.begin(), std::this_thread::get_id());
    EXPECT_NE(*rec.input_threads.begin(), *rec.completion_threads.begin());
}

TEST_F(Service, EachRequestIsCompletedExactlyOnce) {
    midi->set_max_sysex_speed(loop_out, 10000000);
    const Bytes m = sysex(10);
    std::vector<SysexRequest> requests(200);
    for (auto& r : requests) {
        fill(r, loop_out, m, rec);
        ASSERT_EQ(midi->send_sysex(&r), kSendTaken);
    }
    ASSERT_TRUE(rec.wait_completed(requests.size()));
    std::this_thread::sleep_for(20ms);  // room for a stray second completion
    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.completed.size(), requests.size());
    std::set<SysexRequest*> distinct(rec.completed.begin(), rec.completed.end());
    EXPECT_EQ(distinct.size(), requests.size());
}

// A request whose next one follows at once is handed back while its bytes
// still cross, they arrive whole and at their time, and the next one waits
// for the wire; cancelling that one while it waits sends none of it.
TEST_F(Service, ARequestFollowedAtOnceIsHandedBackBeforeItsBytesArriveAndTheNextWaitsForTheWire) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    // 100 bytes at 200 bytes per second: half a second on the wire.
    midi->set_max_sysex_speed(loop_out, 200);
    const Bytes a = sysex(100, 0x01), b = sysex(100, 0x02);
    SysexRequest ra, rb;
    fill(ra, loop_out, a, rec);
    ra.queue_next = true;
    fill(rb, loop_out, b, rec);
    ASSERT_EQ(midi->send_sysex(&ra), kSendTaken);
    ASSERT_TRUE(rec.wait_completed(1));
    {
        std::lock_guard lock(rec.mutex);
        EXPECT_TRUE(rec.received.empty()) << "handed back before its bytes crossed";
    }
    ASSERT_EQ(midi->send_sysex(&rb), kSendTaken);
    rb.complete = true;  // cancelled while it waits for the wire
    ASSERT_TRUE(rec.wait_completed(2));
    ASSERT_TRUE(rec.wait_received(a.size()));
    std::this_thread::sleep_for(50ms);  // room for stray bytes of the cancelled one
    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.received, a);
    EXPECT_EQ(rb.outcome, kSendTaken);
}

TEST_F(Service, SettingTheFlagCancelsARequestOnTheWireAndOnlyPartOfItArrives) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    // 1000 bytes at 100 bytes per second take ten seconds on the wire.
    midi->set_max_sysex_speed(loop_out, 100);
    const Bytes m = sysex(1000);
    SysexRequest r;
    fill(r, loop_out, m, rec);
    ASSERT_EQ(midi->send_sysex(&r), kSendTaken);
    std::this_thread::sleep_for(50ms);
    r.complete = true;  // the program cancels
    ASSERT_TRUE(rec.wait_completed(1));
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.completed.size(), 1u);
    EXPECT_LT(rec.received.size(), m.size());
    EXPECT_EQ(Bytes(m.begin(), m.begin() + long(rec.received.size())), rec.received);
}

TEST_F(Service, ARequestCancelledBeforeItsTurnSendsNothing) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    midi->set_max_sysex_speed(loop_out, 100);
    const Bytes first = sysex(1000, 0x01), second = sysex(10, 0x02);
    SysexRequest r1, r2;
    fill(r1, loop_out, first, rec);
    fill(r2, loop_out, second, rec);
    ASSERT_EQ(midi->send_sysex(&r1), kSendTaken);
    ASSERT_EQ(midi->send_sysex(&r2), kSendTaken);
    r2.complete = true;
    r1.complete = true;
    ASSERT_TRUE(rec.wait_completed(2));
    std::lock_guard lock(rec.mutex);
    for (uint8_t byte : rec.received) EXPECT_NE(byte, 0x02);
}

TEST_F(Service, RefusedRequestsAreStillCompleted) {
    const Bytes m = sysex(8);
    struct Case {
        const char* description;
        Endpoint destination;
        int want;
    };
    const Case cases[] = {
        {"no endpoint", kNoEndpoint, kSendNoDestination},
        {"an id never given out", 4711, kSendNoDestination},
        {"a source is no destination", loop_in, kSendNoDestination},
    };
    size_t n = 0;
    for (const Case& c : cases) {
        SysexRequest r;
        fill(r, c.destination, m, rec);
        EXPECT_EQ(midi->send_sysex(&r), c.want) << c.description;
        ASSERT_TRUE(rec.wait_completed(++n)) << c.description;
        EXPECT_TRUE(r.complete) << c.description;
    }
}

TEST_F(Service, TheVirtualDestinationIsPrivateAndDiscards) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    const Endpoint brask = midi->create_virtual_destination("Brask");
    ASSERT_NE(brask, kNoEndpoint);
    EXPECT_EQ(midi->create_virtual_destination("Brask"), brask);
    EXPECT_EQ(midi->destination_count(), 1) << "not listed";
    const Bytes m = sysex(8);
    SysexRequest r;
    fill(r, brask, m, rec);
    EXPECT_EQ(midi->send_sysex(&r), kSendTaken);
    ASSERT_TRUE(rec.wait_completed(1));
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(rec.mutex);
    EXPECT_TRUE(rec.received.empty());
}

// The built-in endpoints never leave; an id that names no endpoint, or one
// of the other direction, is not there.
TEST_F(Service, PresenceIsAskedPerDirection) {
    const Endpoint brask = midi->create_virtual_destination("Brask");
    struct Case {
        const char* description;
        Endpoint endpoint;
        bool source;
        bool want;
    };
    const Case cases[] = {
        {"the loopback source", loop_in, true, true},
        {"the loopback destination", loop_out, false, true},
        {"the virtual destination", brask, false, true},
        {"a destination asked for as a source", loop_out, true, false},
        {"a source asked for as a destination", loop_in, false, false},
        {"no endpoint", kNoEndpoint, false, false},
        {"an id never given out", 9999, false, false},
    };
    for (const Case& c : cases) {
        const bool got =
            c.source ? midi->source_present(c.endpoint) : midi->destination_present(c.endpoint);
        EXPECT_EQ(got, c.want) << c.description;
    }
}

TEST_F(Service, SpeedsArePerDestinationWith3125BytesPerSecondUnlessSet) {
    const Endpoint brask = midi->create_virtual_destination("Brask");
    EXPECT_EQ(midi->max_sysex_speed(loop_out), 3125);
    midi->set_max_sysex_speed(loop_out, 62500);
    EXPECT_EQ(midi->max_sysex_speed(loop_out), 62500);
    EXPECT_EQ(midi->max_sysex_speed(brask), 3125);
}

TEST_F(Service, ARescanDisconnectsTheLoopbackSource) {
    ASSERT_TRUE(midi->connect_source(loop_in));
    ASSERT_TRUE(midi->create_client("J3", "Input port", "Output port", rec.read_proc()));
    midi->set_max_sysex_speed(loop_out, 1000000);
    const Bytes m = sysex(8);
    SysexRequest r;
    fill(r, loop_out, m, rec);
    midi->send_sysex(&r);
    ASSERT_TRUE(rec.wait_completed(1));
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(rec.mutex);
    EXPECT_TRUE(rec.received.empty());
    EXPECT_FALSE(midi->disconnect_source(loop_in)) << "nothing was connected";
}

TEST_F(Service, ClosingCompletesTheRequestsStillHeld) {
    midi->set_max_sysex_speed(loop_out, 10);  // minutes on the wire
    const Bytes m = sysex(1000);
    SysexRequest r1, r2;
    fill(r1, loop_out, m, rec);
    fill(r2, loop_out, m, rec);
    midi->send_sysex(&r1);
    midi->send_sysex(&r2);
    midi.reset();
    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.completed, (std::vector<SysexRequest*>{&r1, &r2}));
}

TEST_F(Service, ARequestHandedOverWhileClosingIsCompletedToo) {
    // Like the send loop, whose completion sends the next piece.
    struct Chain {
        MidiService* midi;
        SysexRequest next;
        SendResult result = kSendTaken;
        Recorder* rec;
    };
    static Chain chain;
    chain.midi = midi.get();
    chain.rec = &rec;
    midi->set_max_sysex_speed(loop_out, 10);
    const Bytes m = sysex(1000);
    SysexRequest first;
    fill(first, loop_out, m, rec);
    fill(chain.next, loop_out, m, rec);
    first.completion_proc = [](SysexRequest*) {
        chain.result = chain.midi->send_sysex(&chain.next);
    };
    midi->send_sysex(&first);
    midi.reset();
    EXPECT_EQ(chain.result, kSendBackendLost);
    std::lock_guard lock(rec.mutex);
    EXPECT_EQ(rec.completed, std::vector<SysexRequest*>{&chain.next});
}

TEST(WireTime, IsLengthOverSpeed) {
    struct Case {
        const char* description;
        uint32_t bytes;
        int speed;
        int64_t want_ns;
    };
    const Case cases[] = {
        {"one byte at MIDI speed", 1, 3125, 320000},
        {"a 4096-byte piece at index 11", 4096, 62500, 65536000},
        {"nothing", 0, 3125, 0},
        {"a speed of 0 counts as 1 byte per second", 2, 0, 2000000000},
        {"the largest request does not overflow", 0xFFFFFFFFu, 1, 4294967295000000000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wire_time(c.bytes, c.speed).count(), c.want_ns) << c.description;
    }
}

}  // namespace
}  // namespace j3
