#include <gtest/gtest.h>

#include "midi/port_names.h"

namespace j3 {
namespace {

TEST(PortNames, TheClientIsTheDeviceAndThePortTheEndpoint) {
    struct Case {
        const char* description;
        PortNaming naming;
        std::string full;
        std::string want_device;
        std::string want_name;
    };
    const Case cases[] = {
        {"JACK", PortNaming::kJack, "system:midi_capture_1", "system", "midi_capture_1"},
        {"JACK, a colon in the port name", PortNaming::kJack, "a2j:Synth [20]: port", "a2j",
         "Synth [20]: port"},
        {"ALSA drops the sequencer numbers", PortNaming::kAlsa,
         "Midi Through:Midi Through Port-0 14:0", "Midi Through", "Midi Through Port-0"},
        {"ALSA, blanks in both names", PortNaming::kAlsa, "USB MIDI Interface:USB MIDI 1 24:0",
         "USB MIDI Interface", "USB MIDI 1"},
        {"ALSA, no numbers at the end", PortNaming::kAlsa, "Box:Port 1", "Box", "Port 1"},
        {"ALSA, numbers without a colon stay", PortNaming::kAlsa, "Box:Port 24", "Box", "Port 24"},
        {"JACK keeps what looks like ALSA numbers", PortNaming::kJack, "c:p 1:2", "c", "p 1:2"},
        {"no colon: no device", PortNaming::kJack, "lonely", "", "lonely"},
        {"empty", PortNaming::kAlsa, "", "", ""},
    };
    for (const Case& c : cases) {
        const EndpointInfo info = endpoint_info_from_port_name(c.naming, c.full);
        EXPECT_EQ(info.device_name, c.want_device) << c.description;
        EXPECT_EQ(info.name, c.want_name) << c.description;
        EXPECT_EQ(info.has_entity, !c.want_device.empty()) << c.description;
    }
}

TEST(PortNames, OwnPortsAreThoseOfTheClientAndItsNumberedTwins) {
    struct Case {
        const char* description;
        std::string device;
        std::string port;
        bool want;
    };
    const Case cases[] = {
        {"the output port", "J3", "Output port", true},
        {"the input port on JACK's second client", "J3-01", "Input port", true},
        {"another client's port of the same name", "J30", "Input port", false},
        {"a suffix that is not a number", "J3-x", "Input port", false},
        {"a bare dash", "J3-", "Input port", false},
        {"another port of the client", "J3", "Other", false},
        {"no device", "", "Input port", false},
    };
    for (const Case& c : cases) {
        EndpointInfo info;
        info.device_name = c.device;
        info.name = c.port;
        EXPECT_EQ(is_own_port(info, "J3", "Input port", "Output port"), c.want) << c.description;
    }
}

}  // namespace
}  // namespace j3
