#include "common/Launcher.h"

#include "platform/Alerts.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace dravik {

Launcher::Launcher(Platform& platform, std::string privateFolder, std::string baseFolder,
                   std::string serviceBaseUrl)
    : platform(platform), file(platform.alerts, platform.fileFlags, platform.processes),
      privateFolder(std::move(privateFolder)), baseFolder(std::move(baseFolder)),
      serviceBaseUrl(std::move(serviceBaseUrl)), log(this->privateFolder + "/Dravik_log.txt") {
    // Workers that may still be blocked in a request are not waited for.
    exitProcess = [] {
        std::cout.flush();
        std::fflush(nullptr);
        _exit(0);
    };
}

void Launcher::clearSignInState() {
    authRecord.reset();
    invitedExhibitionId.reset();
    invitedHallId.reset();
}

std::string Launcher::exhibitionPath(const std::string& relative) const {
    // An empty base folder resolves against the current directory.
    std::string base = baseFolder.empty() ? std::string("Exhibition") : baseFolder + "/Exhibition";
    return relative.empty() ? base : base + "/" + relative;
}

std::string Launcher::privatePath(const std::string& name) const {
    return privateFolder + "/" + name;
}

std::string Launcher::apiUrl(const std::string& path) const {
    return serviceBaseUrl + "/exhibition/api/v1/" + path;
}

void showAlertAndWait(Launcher& launcher, const std::string& text) {
    launcher.writeLog(text);
    launcher.platform.alerts.critical(text);
}

} // namespace dravik
