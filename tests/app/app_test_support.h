// What the window tests share: a context with the fake MIDI service and
// clock, a temporary folder for the preferences and the items, and a
// preferences file writer that stands in for another program's output.
#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "engine/context.h"
#include "engine/preferences.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_midi_service.h"
#include "receive/reception.h"

namespace j3::testing {

struct PrefsKey {
    std::string name;
    std::string xml;  // e.g. "<integer>1</integer>"; empty drops the key
};

inline std::string int_xml(int64_t v) {
    return "<integer>" + std::to_string(v) + "</integer>";
}

// A version-1 preferences file with an empty list, changed by keys.
inline std::string prefs_xml(std::vector<PrefsKey> keys) {
    std::vector<PrefsKey> all = {{"Version", int_xml(1)}, {"File Array", "<array/>"}};
    for (PrefsKey& k : keys) {
        bool replaced = false;
        for (PrefsKey& a : all) {
            if (a.name == k.name) {
                a.xml = k.xml;
                replaced = true;
            }
        }
        if (!replaced) all.push_back(k);
    }
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (const PrefsKey& k : all) {
        if (!k.xml.empty()) text += "<key>" + k.name + "</key>" + k.xml + "\n";
    }
    return text + "</dict>\n</plist>\n";
}

// The controls' numbers, as the interface files give them.
enum ControlId : int {
    kSendButton = 1,
    kReceiveButton = 2,
    kConfigButton = 6,
    kFileList = 8,
    kProgressBar = 9,
    kInfoText = 10,
    kSendStatus = 11,
    kReceiveStatus = 12,
    kLoopButton = 13,
    kStereoButton = 14,
    kSampleNumberField = 15,
    kTurboButton = 16,
    kSpeedIndicator = 17,
    kSpeedLabel = 18,
    kWaveformButton = 19,
    kSourceList = 103,
    kDestinationList = 104,
    kReloadCheckbox = 105,
    kDelayField = 106,
    kTurboPopup = 107,
    kHandshakeCheckbox = 108,
    kDeviceNumberField = 109,
    kSdsFormatPopup = 110,
    kSendFilenameCheckbox = 111,
    kExtendedSdsCheckbox = 112,
};

// One window over a fresh context. The MIDI service is the fake unless the
// test sets another before start().
struct Harness {
    Harness(const std::filesystem::path& prefs_file, int sources = 1, int destinations = 1)
        : prefs(prefs_file) {
        for (int i = 0; i < sources; ++i) midi.sources.push_back({"In " + std::to_string(i + 1)});
        for (int i = 0; i < destinations; ++i) {
            midi.destinations.push_back({"Out " + std::to_string(i + 1)});
        }
        ctx.midi = &midi;
        ctx.clock = &clock;
        ctx.reception = &reception;
        window = std::make_unique<MainWindow>(ctx, prefs);
    }
    std::filesystem::path prefs;
    FakeMidiService midi;
    FakeClock clock;
    Reception reception;
    Context ctx;
    std::unique_ptr<MainWindow> window;
};

inline std::filesystem::path write_file(const QTemporaryDir& dir, const std::string& name,
                                        const std::string& bytes) {
    const std::filesystem::path p = std::filesystem::path(dir.path().toStdString()) / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

}  // namespace j3::testing
