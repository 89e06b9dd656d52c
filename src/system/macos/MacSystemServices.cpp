#include "system/RunningBundle.h"
#include "system/SystemServices.h"
#include "system/macos/MacBackgroundActivity.h"
#include "system/macos/MacBundlePlacement.h"
#include "system/macos/MacDiskSync.h"
#include "system/macos/MacDisplaySettings.h"
#include "system/macos/MacFileFlags.h"
#include "system/macos/MacRunningApplications.h"
#include "system/macos/MacSystemTrust.h"
#include "system/macos/MacWindowList.h"

namespace dravik {

SystemServices makeSystemServices() {
    SystemServices services;
    services.runningApplications = std::make_unique<MacRunningApplications>();
    services.windows = std::make_unique<MacWindowList>();
    services.fileFlags = std::make_unique<MacFileFlags>();
    services.displaySettings = std::make_unique<MacDisplaySettings>();
    services.diskSync = std::make_unique<MacDiskSync>();
    services.placement = std::make_unique<MacBundlePlacement>();
    services.activity = std::make_unique<MacBackgroundActivity>();
    services.bundle = locateRunningBundle();
    services.privateFolder = privateFolderPath();
    services.notes = missingVersionNotes(services.bundle);
    if (Status trust = useSystemTrust(); !trust)
        services.notes.push_back(trust.error());
    return services;
}

} // namespace dravik
