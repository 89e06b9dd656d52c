#pragma once

#include <string>

namespace dravik {

// The running application bundle: Dravik.app/Contents/{MacOS,Resources,Info.plist}.
struct BundleInfo {
    std::string bundlePath;    // .../Dravik.app
    std::string resourcesPath; // .../Dravik.app/Contents/Resources
    std::string shortVersion;  // CFBundleShortVersionString
    std::string buildVersion;  // CFBundleVersion
};

} // namespace dravik
