#include "update/ArchiveExtractor.h"

#include "common/Launcher.h"
#include "platform/Processes.h"

#include <iostream>

namespace dravik {

std::string ArchiveExtractor::extractorPath(const Launcher& launcher) {
    return File::join(launcher.platform.bundle.resourcesPath, "7zz");
}

bool ArchiveExtractor::extractArchive(const Launcher& launcher, const std::string& archivePath,
                                      const std::string& destinationFolder) {
    const std::string extractor = extractorPath(launcher);
    // An extractor that is already executable, or cannot be changed, is tried all the same.
    launcher.file.makeExecutable(extractor);
    // Started directly with its arguments, so blanks, quotes, "$" and backquotes in the paths
    // reach the extractor unchanged. -spd: the archive's name comes from the published record,
    // and a "*" or "?" in it must not make the extractor open other files as well.
    ProcessResult result = launcher.platform.processes.run(
        extractor, {"x", "-y", "-spd", "-o" + destinationFolder, archivePath});
    if (!result.started) {
        std::cout << result.error << std::endl;
        return false;
    }
    return result.exitStatus == 0;
}

} // namespace dravik
