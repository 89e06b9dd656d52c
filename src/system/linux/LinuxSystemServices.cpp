#include "platform/RunningBundle.h"
#include "platform/SystemServices.h"
#include "platform/linux/LinuxBackgroundActivity.h"
#include "platform/linux/LinuxBundlePlacement.h"
#include "platform/linux/LinuxDiskSync.h"
#include "platform/linux/LinuxDisplaySettings.h"
#include "platform/linux/LinuxFileFlags.h"
#include "platform/linux/LinuxRunningApplications.h"
#include "platform/linux/LinuxWindowList.h"

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
