#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "audio/sds_encoder.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/test_context.h"
#include "fakes/test_folder.h"
#include "fixtures/audio_files.h"
#include "midi/endpoints.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace testing;

struct SendLoop : ::testing::Test {
    // Adds an entry holding bytes and selects the given ids.
    void add(const char* name, Bytes data) {
        FileEntry e;
        e.file = name;
        e.data = std::move(data);
        append_entry(t.ctx, std::move(e));
    }
    void start(std::vector<uint32_t> ids) {
        t.window.select(ids);
        ASSERT_EQ(refresh_selection(t.ctx), int32_t(ids.size()));
        t.ctx.endpoints.destination_endpoint = 1001;
        ASSERT_TRUE(start_sending(t.ctx));
    }
    std::vector<Bytes> sent() {
        std::vector<Bytes> out;
        for (auto& r : t.midi.sent_copy()) out.push_back(r.bytes);
        return out;
    }
    TestContext t;
};

TEST_F(SendLoop, SendsEveryPieceOfEveryItemInOrderThenFinishes) {
    add("a.syx", {0xF0, 0x01, 0x02, 0xF7, 0xF0, 0x03, 0xF7});
    add("b.syx", {0x00, 0xF0, 0x04, 0xF7});
    add("c.syx", {0xF0, 0x05, 0xF7});
    t.ctx.settings.send_delay = 6;
    start({1, 3});
    EXPECT_EQ(t.window.text(kSendButton), "Stop!");
    EXPECT_TRUE(t.ctx.send.sending());
    EXPECT_FALSE(t.ctx.send.progress().sample);

    // One request in flight at any time.
    while (t.midi.held() > 0) {
        EXPECT_EQ(t.midi.held(), 1u);
        t.midi.complete_next();
    }
    EXPECT_EQ(sent(), (std::vector<Bytes>{
                          {0xF0, 0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}, {0xF0, 0x05, 0xF7}}));
    for (auto& r : t.midi.sent_copy()) EXPECT_EQ(r.destination, 1001u);
    // Only the first request may make a lost connection again; after it a
    // lost connection means lost data.
    std::vector<bool> starts;
    for (auto& r : t.midi.sent_copy()) starts.push_back(r.starts_transfer);
    EXPECT_EQ(starts, (std::vector<bool>{true, false, false}));
    // A pause before every piece but the very first of the send.
    EXPECT_EQ(t.clock.pauses, 2);
    EXPECT_EQ(t.clock.ticks_paused, 12);
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.text(kSendButton), "Send");
    EXPECT_EQ(t.window.text(kSendStatus), "Done.");
    EXPECT_EQ(t.window.progress_value, 0);
}

TEST_F(SendLoop, StatusCountersFollowTheQueue) {
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0xF7});
    add("b.syx", {0xF0, 0x05, 0xF7});
    start({1, 2});
    EXPECT_EQ(t.ctx.send.progress().index, 1);
    EXPECT_EQ(t.ctx.send.progress().count, 2);
    EXPECT_EQ(t.ctx.send.progress().position, 3);
    EXPECT_EQ(t.window.progress_max, 7);
    t.midi.complete_next();
    EXPECT_EQ(t.ctx.send.progress().position, 7);
    t.midi.complete_next();
    EXPECT_EQ(t.ctx.send.progress().index, 2);
    // Re-reading the selection meanwhile (Loop, Stereo) leaves the queue alone.
    t.window.select({1});
    refresh_selection(t.ctx);
    EXPECT_EQ(t.ctx.send.progress().index, 2);
    t.midi.complete_all();
    EXPECT_EQ(t.midi.sent_copy().size(), 3u);
}

TEST_F(SendLoop, ItemsWithoutACompleteMessageArePassedOver) {
    add("junk.bin", {0x01, 0x02, 0x03});
    add("cut.syx", {0xF0, 0x01, 0x02});
    add("good.syx", {0xF0, 0x09, 0xF7});
    start({1, 2, 3});
    t.midi.complete_all();
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xF0, 0x09, 0xF7}}));
    EXPECT_EQ(t.window.text(kSendStatus), "Done.");

    // With nothing sendable at all the send ends at once.
    TestContext fresh;
    t.midi.sent.clear();
    start({1, 2});
    EXPECT_EQ(t.midi.held(), 0u);
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.text(kSendButton), "Send");
}

// The status line and the progress bar at the end tell what happened.
TEST(SendEnding, TheLastLineSaysWhatHappened) {
    struct Item {
        const char* name;
        Bytes data;
    };
    const struct {
        const char* description;
        std::vector<Item> items;
        int completions_before_stop;  // -1: no Stop
        std::string want;
    } cases[] = {
        {"every message sent", {{"a.syx", {0xF0, 0x01, 0xF7}}}, -1, "Done."},
        {"an empty file",
         {{"/x/empty.syx", {}}},
         -1,
         "Nothing to send: no complete SysEx message in empty.syx."},
        {"two items without a complete message",
         {{"cut.syx", {0xF0, 0x01}}, {"junk.bin", {0x01, 0x02}}},
         -1,
         "Nothing to send: no complete SysEx message in cut.syx. "
         "Nothing to send: no complete SysEx message in junk.bin."},
        {"stopped with a message in flight",
         {{"a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xF0, 0x03, 0xF7}}},
         1,
         "Stopped."},
        {"stopped before the first completion",
         {{"a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7}}},
         0,
         "Stopped."},
    };
    for (const auto& c : cases) {
        TestContext t;
        std::vector<uint32_t> ids;
        for (const Item& item : c.items) {
            FileEntry e;
            e.file = item.name;
            e.data = item.data;
            append_entry(t.ctx, std::move(e));
            ids.push_back(uint32_t(ids.size() + 1));
        }
        t.window.select(ids);
        refresh_selection(t.ctx);
        t.ctx.endpoints.destination_endpoint = 1001;
        ASSERT_TRUE(start_sending(t.ctx)) << c.description;
        if (c.completions_before_stop >= 0) {
            t.midi.complete_all(c.completions_before_stop);
            EXPECT_GT(t.window.progress_max, 0) << c.description;
            stop_sending(t.ctx);
        }
        t.midi.complete_all();
        EXPECT_FALSE(t.ctx.send.sending()) << c.description;
        EXPECT_EQ(t.window.text(kSendStatus), c.want) << c.description;
        EXPECT_EQ(t.window.text(kSendStatus), c.want) << c.description;
        EXPECT_EQ(t.window.progress_value, 0) << c.description;
    }
}

TEST_F(SendLoop, RefusedRequestLeavesTheProgressBarEmpty) {
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0x04, 0x05, 0x06, 0xF7});
    t.midi.refuse_above = 3;
    start({1});
    t.midi.complete_next();  // the first message went; the second is refused
    EXPECT_GT(t.window.progress_value, 0);
    t.midi.complete_all();
    EXPECT_EQ(t.window.progress_value, 0);
}

TEST_F(SendLoop, AudioItemsAreNotSentAsRawBytes) {
    Bytes wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0xF0, 0x01, 0xF7};
    add("b.syx", {0xF0, 0x05, 0xF7});
    add("s.wav", wav);
    start({1, 2});
    t.midi.complete_all();
    // Its bytes never go out as SysEx; it is no readable sample either, so
    // the send stops there and says so rather than "Done.".
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xF0, 0x05, 0xF7}}));
    EXPECT_EQ(t.window.text(kSendStatus), "Stopped: the audio of s cannot be read as a sample.");
}

TEST_F(SendLoop, StopCancelsTheRequestInFlightAndItsLateCompletionSendsNothing) {
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xF0, 0x03, 0xF7});
    t.window.set_sample_number(5);
    start({1});
    t.window.set_sample_number(9);
    ASSERT_EQ(t.midi.held(), 1u);
    SysexRequest* in_flight = t.midi.in_flight.front();
    ASSERT_FALSE(in_flight->complete);

    stop_sending(t.ctx);
    EXPECT_TRUE(in_flight->complete);  // cancelled
    EXPECT_EQ(t.midi.sent_copy().size(), 1u) << "nothing more of the item goes";
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.text(kSendButton), "Send");
    EXPECT_EQ(t.window.text(kSampleNumberField), "5");
    // A new send asked for now waits until the service has let go of the
    // cancelled request, then starts by itself from the item's start.
    EXPECT_FALSE(start_sending(t.ctx));
    EXPECT_FALSE(t.ctx.send.sending());
    t.midi.complete_next();  // the late completion
    EXPECT_TRUE(t.ctx.send.sending());
    ASSERT_EQ(t.midi.sent_copy().size(), 2u);
    EXPECT_EQ(t.midi.sent_copy()[1].bytes, (Bytes{0xF0, 0x01, 0xF7}));

    // Stop while a start waits: nothing starts.
    stop_sending(t.ctx);
    EXPECT_FALSE(start_sending(t.ctx));
    stop_sending(t.ctx);
    t.midi.complete_next();
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.midi.held(), 0u);
    EXPECT_EQ(t.midi.sent_copy().size(), 2u);
    EXPECT_EQ(t.window.progress_value, 0);
    EXPECT_EQ(t.window.text(kSendStatus), "Stopped.");
}

TEST_F(SendLoop, RefusedRequestStopsTheSendWithAMessage) {
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03, 0x04, 0xF7});
    t.midi.refuse_above = 3;
    start({1});
    t.midi.complete_all();
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.text(kSendStatus),
              "Stopped: the destination could not take a message of 5 bytes.");
}

// A clock whose pause lets the test act while the completion thread waits.
struct GateClock : Clock {
    std::function<void()> during_pause;
    void pause_ticks(int) override {
        if (during_pause) during_pause();
    }
    void sleep_ms(int) override {}
};

TEST_F(SendLoop, StopDuringTheDelayHandsNothingMoreOver) {
    GateClock gate;
    t.ctx.clock = &gate;
    t.ctx.settings.send_delay = 60;
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7});
    add("b.syx", {0xF0, 0x03, 0xF7});
    start({1, 2});
    gate.during_pause = [&] { stop_sending(t.ctx); };
    t.midi.complete_next();
    EXPECT_EQ(t.midi.held(), 0u);
    EXPECT_EQ(t.midi.sent_copy().size(), 1u);
    EXPECT_FALSE(t.ctx.send.sending());
    EXPECT_EQ(t.window.progress_value, 0) << "no late completion comes to reset the bar";
}

TEST_F(SendLoop, StopRacingCompletionsEndsCleanly) {
    Bytes many;
    for (int i = 0; i < 2000; ++i) many.insert(many.end(), {0xF0, uint8_t(i & 0x7F), 0xF7});
    for (int round = 0; round < 20; ++round) {
        TestContext fresh;
        FileEntry e;
        e.data = many;
        append_entry(fresh.ctx, std::move(e));
        fresh.window.select({1});
        refresh_selection(fresh.ctx);
        ASSERT_TRUE(start_sending(fresh.ctx));
        std::thread completer([&] {
            while (fresh.midi.complete_next()) {
            }
        });
        std::this_thread::yield();
        stop_sending(fresh.ctx);
        completer.join();
        fresh.midi.complete_all();
        EXPECT_FALSE(fresh.ctx.send.sending());
        EXPECT_EQ(fresh.midi.held(), 0u);
        EXPECT_FALSE(fresh.ctx.send.busy());
        EXPECT_EQ(fresh.window.text(kSendButton), "Send");
    }
}

// After Stop the service may still hold the cancelled request and read the
// entry's buffer: the list keeps its entries until it lets go.
TEST_F(SendLoop, EntriesStayWhileTheServiceHoldsTheCancelledRequest) {
    add("a.syx", {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7});
    add("b.syx", {0xF0, 0x03, 0xF7});
    start({1, 2});
    stop_sending(t.ctx);
    ASSERT_FALSE(t.ctx.send.sending());
    ASSERT_EQ(t.midi.held(), 1u);
    const uint8_t* held = t.midi.in_flight.front()->data;
    remove_selected_entries(t.ctx);
    remove_all_entries(t.ctx);
    ASSERT_EQ(t.ctx.files.size(), 2u);
    EXPECT_EQ(held, t.ctx.files.entry(1)->data.data());

    t.midi.complete_next();
    remove_all_entries(t.ctx);
    EXPECT_EQ(t.ctx.files.size(), 0u);
}

// A request the service could not deliver (the destination was disconnected
// or left, its server went away, the MIDI system raised an error) stops the
// send with the reason: never "Done." with the rest lost. An xrun during the
// send ends it with a warning.
TEST_F(SendLoop, LossOnTheWayIsReported) {
    struct Case {
        const char* description;
        SendResult undelivered;
        uint64_t xruns;
        size_t want_sent;
        std::string want_status;
        const char* raise = "";  // what the MIDI system says as it fails
    } cases[] = {
        {"delivered", kSendTaken, 0, 3, "Done."},
        {"disconnected", kSendDisconnected, 0, 2,
         "Stopped: the destination was disconnected from J3's output."},
        {"server gone", kSendBackendLost, 0, 2,
         "Stopped: the MIDI server behind the destination has gone away."},
        {"xrun", kSendTaken, 1, 3,
         "Sent, but the MIDI server fell behind during the send (xrun): some data may have "
         "been lost."},
        {"the MIDI system raises an error", kSendTaken, 0, 2,
         "Stopped: the MIDI system refused the message: MidiOutAlsa::sendMessage: error sending "
         "MIDI message to port.",
         "MidiOutAlsa::sendMessage: error sending MIDI message to port."},
    };
    for (const Case& c : cases) {
        TestContext fresh;
        FileEntry e;
        e.data = {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xF0, 0x03, 0xF7};
        append_entry(fresh.ctx, std::move(e));
        fresh.window.select({1});
        refresh_selection(fresh.ctx);
        ASSERT_TRUE(start_sending(fresh.ctx));
        fresh.midi.complete_next();
        fresh.midi.undelivered = c.undelivered;
        fresh.midi.xruns += c.xruns;
        fresh.midi.raise_backend_error = c.raise;
        fresh.midi.complete_all();
        EXPECT_EQ(fresh.midi.sent_copy().size(), c.want_sent) << c.description;
        EXPECT_FALSE(fresh.ctx.send.sending()) << c.description;
        EXPECT_EQ(fresh.window.text(kSendStatus), c.want_status) << c.description;
        fresh.midi.undelivered = kSendTaken;
        EXPECT_TRUE(start_sending(fresh.ctx)) << c.description << ": the next send may start";
        fresh.midi.complete_all();
        EXPECT_EQ(fresh.window.text(kSendStatus), "Done.") << c.description;
    }
}

// An item opened from a file holds a mapping of it. When another program cuts
// the file short, the send stops with the reason, before the item or at the
// next piece: the zeros read in place of the lost pages (no crash) are never
// sent. A file replaced through a rename is sent as it was opened.
struct SendFromFile : TestFolder {
    TestContext t;
};

TEST_F(SendFromFile, AFileChangedOnDiskStopsTheSendWithItsName) {
    // Two messages, each larger than a small file, so the item is mapped.
    Bytes item;
    for (int m = 0; m < 2; ++m) {
        item.push_back(0xF0);
        item.insert(item.end(), kSmallestMappedItem, uint8_t(0x10 + m));
        item.push_back(0xF7);
    }
    const auto cut_short = [](const std::string& p) {
        const int fd = ::open(p.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 100), 0);
        ::close(fd);
    };
    const auto replace = [](const std::string& p) {
        const uint8_t other[] = {0xF0, 0x7F, 0xF7};
        ASSERT_TRUE(write_whole_file(p, other, sizeof other));
    };
    enum class Sent { kNothing, kPart, kAll };  // of the item as opened, never anything else
    struct Case {
        const char* description;
        std::function<void(const std::string&)> change;
        bool after_first_piece;  // else before the send starts
        Sent want_sent;
        const char* want_status;
    } cases[] = {
        {"cut short in the list", cut_short, false, Sent::kNothing,
         "Stopped: the file of a.syx changed on disk while it was in the list."},
        {"cut short while sent", cut_short, true, Sent::kPart,
         "Stopped: the file of a.syx changed on disk while it was sent."},
        {"replaced in the list", replace, false, Sent::kAll, "Done."},
    };
    for (const Case& c : cases) {
        TestContext fresh;
        const std::string path = write("a.syx", item);
        ASSERT_TRUE(add_file_entry(fresh.ctx, path, nullptr));
        ASSERT_TRUE(fresh.ctx.files.entry(1).value().data.mapped());
        fresh.window.select({1});
        refresh_selection(fresh.ctx);
        if (!c.after_first_piece) c.change(path);
        start_sending(fresh.ctx);
        if (c.after_first_piece) {
            fresh.midi.complete_next();
            c.change(path);
        }
        fresh.midi.complete_all();
        Bytes sent;
        for (auto& r : fresh.midi.sent_copy())
            sent.insert(sent.end(), r.bytes.begin(), r.bytes.end());
        ASSERT_LE(sent.size(), item.size()) << c.description;
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), item.begin())) << c.description;
        const Sent got = sent.empty()                ? Sent::kNothing
                         : sent.size() < item.size() ? Sent::kPart
                                                     : Sent::kAll;
        EXPECT_EQ(got, c.want_sent) << c.description;
        EXPECT_FALSE(fresh.ctx.send.sending()) << c.description;
        EXPECT_EQ(fresh.window.text(kSendStatus), c.want_status) << c.description;
        // Selecting it shows the same, not an analysis of what is left.
        show_item_info(fresh.ctx, 1, kItemSelectedNotification);
        EXPECT_EQ(fresh.window.info_text.find("changed on disk") != std::string::npos,
                  c.want_status != std::string("Done."))
            << c.description << ": " << fresh.window.info_text;
    }
}

// The configuration window's OK changes the destination on the GUI thread
// while completions read it for the next request (the sanitizer run sees any
// race).
TEST_F(SendLoop, DestinationChangesWhileCompletionsRun) {
    t.midi.destinations = {{"one"}, {"two"}};
    scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
    Bytes many;
    for (int i = 0; i < 500; ++i) many.insert(many.end(), {0xF0, uint8_t(i & 0x7F), 0xF7});
    add("a.syx", many);
    start({1});
    std::atomic<bool> done{false};
    std::thread completer([&] {
        while (t.midi.complete_next()) {
        }
        done = true;
    });
    for (int i = 0; !done; ++i) choose_destination(*t.ctx.midi, t.ctx.endpoints, 1 + i % 2, false);
    completer.join();
    EXPECT_EQ(t.midi.sent_copy().size(), 500u);
    for (const SentRequest& r : t.midi.sent_copy()) {
        EXPECT_TRUE(r.destination == 1001 || r.destination == 1002 || r.destination == 1003)
            << r.destination;
    }
}

// A sample longer than a standard dump header announces goes out cut to what
// it can announce; the end of the send says so, and how to send it whole.
TEST_F(SendLoop, ACutSampleIsAnnouncedAtTheEnd) {
    WavFile w;
    w.bits = 8;
    w.container = 1;
    w.samples.assign(size_t(kStandardHeaderMaxWords) + 10, 0);
    add("long.wav", make_wav(w));
    for (bool extended : {false, true}) {
        t.ctx.settings.extended_sds = extended;
        start({1});
        t.midi.complete_all(100000);
        const std::string status = t.window.text(kSendStatus);
        if (extended) {
            EXPECT_EQ(status, "Done.");
        } else {
            EXPECT_TRUE(status.starts_with("Done. long")) << status;
            EXPECT_NE(status.find("Only the first 2097151 of 2097161 frames"), std::string::npos)
                << status;
            EXPECT_NE(status.find("(Extended SDS)"), std::string::npos) << status;
        }
    }
}

}  // namespace
}  // namespace j3
