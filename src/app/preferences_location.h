// Where the preferences file lives: the user's configuration folder
// (~/.config on Linux, ~/Library/Preferences on macOS).
#pragma once

#include <filesystem>

namespace j3 {

std::filesystem::path preferences_location();

}  // namespace j3
