#pragma once

#include "platform/BundleInfo.h"

#include <string>
#include <vector>

namespace dravik {

// The bundle this process runs from, with the versions of its Info.plist; one definition per
// system.
BundleInfo locateRunningBundle();

// The private folder: the user's Library folder (on systems without one, the per-user data
// folder) with "Dravik" appended; the home folder with "Dravik" when the system reports none.
// One definition per system.
std::string privateFolderPath();

// The bundle at this path, with the versions read from its Contents/Info.plist text.
BundleInfo readBundle(const std::string& bundlePath);

// The value of a <key> in an Info.plist text, empty when absent.
std::string infoPlistValue(const std::string& plist, const std::string& key);

// Run-log lines naming each version the bundle's Info.plist does not give; empty when both are
// there.
std::vector<std::string> missingVersionNotes(const BundleInfo& bundle);

} // namespace dravik
