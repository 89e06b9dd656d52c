#pragma once

#include "platform/BundleInfo.h"

#include <string>

namespace dravik {

// The bundle this process runs from, with the versions of its Info.plist.
BundleInfo locateRunningBundle();

// The per-user folder for application data (macOS: ~/Library; Linux: the XDG data folder, such
// as ~/.local/share); the home folder when there is none.
std::string userDataFolder();

// The value of a <key> in an Info.plist text, empty when absent.
std::string infoPlistValue(const std::string& plist, const std::string& key);

} // namespace dravik
