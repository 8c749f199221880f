#include "app/versions.h"

#include <QtGlobal>

#include "format/plist_file.h"
#include "midi/midi_systems.h"

namespace j3 {

QString j3_version() {
    return QStringLiteral(J3_VERSION);
}

std::vector<std::pair<QString, QString>> library_versions() {
    return {
        {QStringLiteral("Qt"), QString::fromLatin1(qVersion())},
        {QStringLiteral("RtMidi"), QString::fromStdString(rtmidi_version())},
        {QStringLiteral("JACK"), QString::fromStdString(jack_library_version())},
        {QStringLiteral("libplist"), QString::fromLatin1(plist_library_version())},
    };
}

QString version_text() {
    QString text = QStringLiteral("j3 ") + j3_version() + QLatin1Char('\n');
    for (const auto& [name, version] : library_versions()) {
        text += name + QLatin1Char(' ') +
                (version.isEmpty() ? QStringLiteral("(not built in)") : version) +
                QLatin1Char('\n');
    }
    return text;
}

}  // namespace j3
