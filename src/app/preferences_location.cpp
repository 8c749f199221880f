#include "app/preferences_location.h"

#include <QStandardPaths>

#include "engine/preferences.h"

namespace j3 {

std::filesystem::path preferences_location() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::filesystem::path(folder.toStdString()) / kPreferencesFileName;
}

}  // namespace j3
