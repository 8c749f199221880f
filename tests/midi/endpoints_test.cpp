#include <gtest/gtest.h>

#include <string>

#include "fakes/test_context.h"
#include "midi/endpoints.h"

namespace j3 {
namespace {

using testing::TestContext;

EndpointInfo port(std::string name, std::string device = "", int entities = 1) {
    EndpointInfo info;
    info.name = std::move(name);
    info.has_entity = !device.empty();
    info.device_name = std::move(device);
    info.device_entities = entities;
    return info;
}

TEST(EndpointDisplayName, FollowsTheDeviceAndEndpointNames) {
    struct Case {
        const char* description;
        EndpointInfo info;
        bool external;
        std::string want;
    };
    EndpointInfo no_device_name = port("In", "x");
    no_device_name.device_name.clear();
    const Case cases[] = {
        {"a device's port", port("midi_playback_1", "Interface"), false,
         "Interface - midi_playback_1"},
        {"an endpoint without entity: its name alone", port("J3 Loopback"), false, "J3 Loopback"},
        {"an entity whose device has no name: its name alone", no_device_name, false, "In"},
        {"without a device, external too", port("J3 Loopback"), true, "J3 Loopback"},
        {"an endpoint without a name", port("", "Box"), false, "Box - "},
        {"external, a device of one entity: its name alone", port("out", "Synth", 1), true,
         "Synth"},
        {"external, a device of two entities keeps the endpoint", port("out", "Synth", 2), true,
         "Synth - out"},
        {"a device named like the whole text is not repeated", port("x", "- x"), false, "- x"},
    };
    for (const Case& c : cases) {
        TestContext t;
        t.midi.destinations = {c.info};
        EXPECT_EQ(endpoint_display_name(t.midi, t.midi.destination(0), c.external), c.want)
            << c.description;
    }
}

TEST(ScanMidi, CreatesTheClientAndFillsCountsAndNames) {
    TestContext t;
    t.midi.sources = {port("capture", "Synth"), port("J3 Loopback")};
    t.midi.destinations = {port("playback", "Synth"), port("Caf\xC3\xA9 \xE2\x98\x83", "Mixer"),
                           port(std::string(100, 'n'))};
    t.ctx.endpoints.destination_endpoint = 1234;
    t.ctx.endpoints.destination_names.assign(6, "x");  // left from an earlier scan
    ReadProc proc = [](const MidiPacketList&) {};
    scan_midi(*t.ctx.midi, t.ctx.endpoints, proc);

    EXPECT_EQ(t.midi.client_name, "J3");
    EXPECT_TRUE(t.midi.read_proc);
    EXPECT_EQ(t.ctx.endpoints.source_count, 2);
    EXPECT_EQ(t.ctx.endpoints.destination_count, 3);
    // Names stay as the system gives them: UTF-8, whole.
    EXPECT_EQ(t.ctx.endpoints.source_names,
              (std::vector<std::string>{"Synth - capture", "J3 Loopback"}));
    EXPECT_EQ(t.ctx.endpoints.destination_names,
              (std::vector<std::string>{"Synth - playback", "Mixer - Caf\xC3\xA9 \xE2\x98\x83",
                                        std::string(100, 'n')}));
    // The last listed source, not connected; the destination is untouched.
    EXPECT_EQ(t.ctx.endpoints.source_endpoint, t.midi.source(1));
    EXPECT_TRUE(t.midi.connected.empty());
    EXPECT_EQ(t.ctx.endpoints.destination_endpoint.load(), 1234u);
}

TEST(ScanMidi, NamesEveryEndpoint) {
    TestContext t;
    for (int i = 0; i < 130; ++i) t.midi.sources.push_back(port("s" + std::to_string(i)));
    scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
    EXPECT_EQ(t.ctx.endpoints.source_count, 130);
    ASSERT_EQ(t.ctx.endpoints.source_names.size(), 130u);
    EXPECT_EQ(t.ctx.endpoints.source_names[129], "s129");
    EXPECT_EQ(t.ctx.endpoints.source_endpoint, t.midi.source(129));
}

TEST(ChooseEndpoints, AtLoadAStoredPositionIsTakenOnlyWithinTheList) {
    struct Case {
        const char* description;
        int count;
        int32_t stored;
        int32_t want_selected;
        bool want_connected;
    };
    const Case cases[] = {
        {"a position within the list", 3, 2, 2, true},
        {"the last position", 3, 3, 3, true},
        {"beyond three sources", 3, 4, 0, false},
        {"0 is taken and chooses nothing", 3, 0, 0, false},
        {"no sources: nothing is taken", 0, 1, 0, false},
        {"negative, compared unsigned", 3, -1, 0, false},
    };
    for (const Case& c : cases) {
        TestContext t;
        for (int i = 0; i < c.count; ++i) {
            t.midi.sources.push_back(port("s" + std::to_string(i)));
            t.midi.destinations.push_back(port("d" + std::to_string(i)));
        }
        scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
        t.ctx.settings.selected_in = t.ctx.settings.selected_out = c.stored;
        t.ctx.settings.selected_in = choose_source(*t.ctx.midi, t.ctx.endpoints, c.stored, true);
        t.ctx.settings.selected_out =
            choose_destination(*t.ctx.midi, t.ctx.endpoints, c.stored, true);
        EXPECT_EQ(t.ctx.settings.selected_in, c.want_selected) << c.description;
        EXPECT_EQ(t.ctx.settings.selected_out, c.want_selected) << c.description;
        const Endpoint want_source = c.want_connected ? t.midi.source(c.stored - 1) : kNoEndpoint;
        EXPECT_EQ(t.midi.connected, std::vector<Endpoint>(c.want_connected, want_source))
            << c.description;
        if (c.want_connected) {
            EXPECT_EQ(t.ctx.endpoints.source_endpoint, want_source) << c.description;
            EXPECT_EQ(t.ctx.endpoints.destination_endpoint.load(), t.midi.destination(c.stored - 1))
                << c.description;
        } else {
            EXPECT_EQ(t.ctx.endpoints.destination_endpoint.load(), kNoEndpoint) << c.description;
        }
    }
}

TEST(ChooseEndpoints, OkDisconnectsThePreviousSourceFirst) {
    TestContext t;
    t.midi.sources = {port("a"), port("b")};
    t.midi.destinations = {port("x"), port("y")};
    scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
    t.ctx.settings.selected_in = choose_source(*t.ctx.midi, t.ctx.endpoints, 1, true);
    ASSERT_EQ(t.midi.connected, std::vector<Endpoint>{t.midi.source(0)});

    t.ctx.settings.selected_in = choose_source(*t.ctx.midi, t.ctx.endpoints, 2, false);
    EXPECT_EQ(t.midi.connected, std::vector<Endpoint>{t.midi.source(1)});
    EXPECT_EQ(t.ctx.settings.selected_in, 2);
    t.ctx.settings.selected_out = choose_destination(*t.ctx.midi, t.ctx.endpoints, 2, false);
    EXPECT_EQ(t.ctx.endpoints.destination_endpoint.load(), t.midi.destination(1));

    // OK with nothing selected in either list.
    t.ctx.settings.selected_in = choose_source(*t.ctx.midi, t.ctx.endpoints, 0, false);
    t.ctx.settings.selected_out = choose_destination(*t.ctx.midi, t.ctx.endpoints, 0, false);
    EXPECT_TRUE(t.midi.connected.empty());
    EXPECT_EQ(t.ctx.endpoints.source_endpoint, kNoEndpoint);
    EXPECT_EQ(t.ctx.endpoints.destination_endpoint.load(), kNoEndpoint);
    EXPECT_EQ(t.ctx.settings.selected_in, 0);
    EXPECT_EQ(t.ctx.settings.selected_out, 0);
}

TEST(ChooseEndpoints, ARescanLeavesTheInputPortWithoutASource) {
    TestContext t;
    t.midi.sources = {port("a")};
    scan_midi(*t.ctx.midi, t.ctx.endpoints, nullptr);
    t.ctx.settings.selected_in = choose_source(*t.ctx.midi, t.ctx.endpoints, 1, true);
    ASSERT_FALSE(t.midi.connected.empty());
    scan_midi(*t.ctx.midi, t.ctx.endpoints,
              nullptr);  // the configuration window opens; then Cancel
    EXPECT_TRUE(t.midi.connected.empty());
}

TEST(ChooseEndpoints, AStoredNameFindsItsPosition) {
    const std::vector<std::string> names = {"A", "B", "A", "- D"};
    const struct {
        const char* description;
        int32_t position;
        std::string name;
        int32_t want;
    } cases[] = {
        {"no name: the position as stored", 2, "", 2},
        {"no name, beyond the list: left to the range rule", 7, "", 7},
        {"the name moved", 1, "B", 2},
        {"the position still carries the name", 3, "A", 3},
        {"the position carries another: the first of that name", 2, "A", 1},
        {"the name is gone", 2, "C", 0},
        {"a name with position 0", 0, "B", 2},
        {"the older text of a port without a device", 1, "- B", 2},
        {"the older text, the position still carries the name", 3, "- A", 3},
        {"the older text of a port gone", 2, "- C", 0},
        {"a port whose own name starts with a dash", 1, "- D", 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(position_for_name(names, c.position, c.name), c.want) << c.description;
    }
}

TEST(VirtualDestination, IsMadeOnceAndReportsFailure) {
    TestContext t;
    ASSERT_TRUE(create_virtual_destination(*t.ctx.midi, t.ctx.endpoints));
    EXPECT_EQ(t.midi.virtual_destination, "Brask");
    EXPECT_EQ(t.ctx.endpoints.virtual_destination, t.midi.kVirtualDestination);
    t.midi.virtual_destination.clear();
    EXPECT_TRUE(create_virtual_destination(*t.ctx.midi, t.ctx.endpoints));
    EXPECT_EQ(t.midi.virtual_destination, "") << "not made a second time";

    TestContext failing;
    failing.midi.fail_virtual_destination = true;
    EXPECT_FALSE(create_virtual_destination(*failing.ctx.midi, failing.ctx.endpoints));
    EXPECT_EQ(failing.ctx.endpoints.virtual_destination, kNoEndpoint);
}

}  // namespace
}  // namespace j3
