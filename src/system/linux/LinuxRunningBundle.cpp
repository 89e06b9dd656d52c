#include "system/RunningBundle.h"

#include <QDir>
#include <QStandardPaths>
#include <filesystem>

namespace dravik {

BundleInfo locateRunningBundle() {
    // <bundle>/Contents/MacOS/<executable>
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return readBundle(executable.parent_path().parent_path().parent_path().string());
}

std::string privateFolderPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder.toStdString() + "/Dravik";
}

} // namespace dravik
