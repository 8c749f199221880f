// J3's version and the versions of the libraries it runs with, as the About
// box and `j3 --version` show them.
#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace j3 {

// The project's version, set once in the top CMakeLists.txt ("0.2.0").
QString j3_version();

// Each library J3 runs with and the version loaded now: Qt, RtMidi, JACK
// (empty when J3 was built without it) and libplist, in that order.
std::vector<std::pair<QString, QString>> library_versions();

// What `j3 --version` prints: "j3 0.2.0", then one "LIBRARY VERSION" a line.
QString version_text();

}  // namespace j3
