#include "platform/RunningBundle.h"
#include "platform/SystemServices.h"
#include "platform/macos/MacBackgroundActivity.h"
#include "platform/macos/MacBundlePlacement.h"
#include "platform/macos/MacDiskSync.h"
#include "platform/macos/MacDisplaySettings.h"
#include "platform/macos/MacFileFlags.h"
#include "platform/macos/MacRunningApplications.h"
#include "platform/macos/MacSystemTrust.h"
#include "platform/macos/MacWindowList.h"

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
