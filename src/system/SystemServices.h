#pragma once

#include "platform/BackgroundActivity.h"
#include "platform/BundleInfo.h"
#include "platform/BundlePlacement.h"
#include "platform/DiskSync.h"
#include "platform/DisplaySettings.h"
#include "platform/FileFlags.h"
#include "platform/RunningApplications.h"
#include "platform/WindowList.h"

#include <memory>
#include <string>
#include <vector>

namespace dravik {

// The services that each operating system provides in its own way.
struct SystemServices {
    std::unique_ptr<RunningApplications> runningApplications;
    std::unique_ptr<WindowList> windows;
    std::unique_ptr<FileFlags> fileFlags;
    std::unique_ptr<DisplaySettings> displaySettings;
    std::unique_ptr<DiskSync> diskSync;
    std::unique_ptr<BundlePlacement> placement;
    std::unique_ptr<BackgroundActivity> activity;
    BundleInfo bundle;
    std::string privateFolder;
    // Run-log lines about what could not be read (such as a version missing from Info.plist).
    std::vector<std::string> notes;
};

// The services of the system this program was built for; one definition per system.
SystemServices makeSystemServices();

} // namespace dravik
