#include "platform/RunningBundle.h"

#include "common/File.h"

#include <QDir>
#include <QStandardPaths>
#include <filesystem>

namespace dravik {

BundleInfo locateRunningBundle() {
    // <bundle>/Contents/MacOS/<executable>
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    BundleInfo info;
    info.bundlePath = executable.parent_path().parent_path().parent_path().string();
    info.resourcesPath = info.bundlePath + "/Contents/Resources";
    std::string plist;
    if (File::readAll(info.bundlePath + "/Contents/Info.plist", plist)) {
        info.shortVersion = infoPlistValue(plist, "CFBundleShortVersionString");
        info.buildVersion = infoPlistValue(plist, "CFBundleVersion");
    }
    return info;
}

std::string userDataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder.toStdString();
}

} // namespace dravik
