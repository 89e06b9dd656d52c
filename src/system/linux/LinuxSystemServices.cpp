#include "system/RunningBundle.h"
#include "system/SystemServices.h"
#include "system/linux/LinuxBackgroundActivity.h"
#include "system/linux/LinuxBundlePlacement.h"
#include "system/linux/LinuxDiskSync.h"
#include "system/linux/LinuxDisplaySettings.h"
#include "system/linux/LinuxFileFlags.h"
#include "system/linux/LinuxRunningApplications.h"
#include "system/linux/LinuxWindowList.h"

namespace dravik {

SystemServices makeSystemServices() {
    SystemServices services;
    services.runningApplications = std::make_unique<LinuxRunningApplications>();
    services.windows = std::make_unique<LinuxWindowList>();
    services.fileFlags = std::make_unique<LinuxFileFlags>();
    services.displaySettings = std::make_unique<LinuxDisplaySettings>();
    services.diskSync = std::make_unique<LinuxDiskSync>();
    services.placement = std::make_unique<LinuxBundlePlacement>();
    services.activity = std::make_unique<LinuxBackgroundActivity>();
    services.bundle = locateRunningBundle();
    services.privateFolder = privateFolderPath();
    services.notes = missingVersionNotes(services.bundle);
    return services;
}

} // namespace dravik
