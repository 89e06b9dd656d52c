#include "update/ArchiveExtractor.h"

#include "common/Diagnostics.h"
#include "common/Launcher.h"
#include "platform/Processes.h"

#include <filesystem>

namespace dravik {

std::string ArchiveExtractor::extractorPath(const Launcher& launcher) {
    return File::join(launcher.platform.bundle.resourcesPath, "7zz");
}

bool ArchiveExtractor::extractArchive(const Launcher& launcher, const std::string& archivePath,
                                      const std::string& destinationFolder) {
    const std::string extractor = extractorPath(launcher);
    // An extractor that is already executable, or cannot be changed, is tried all the same.
    (void)launcher.file.makeExecutable(extractor);
    // The extractor reads a "*" in its -o destination as a placeholder for the archive's name,
    // so it runs inside the destination and is told "-o.": no character of the path is
    // interpreted.
    std::error_code error;
    std::filesystem::create_directories(destinationFolder, error);
    if (error) {
        printDiagnostic(error.message());
        return false;
    }
    // Started directly with its arguments, so blanks, quotes, "$" and backquotes in the paths
    // reach the extractor unchanged. -spd: the archive's name comes from the published record,
    // and a "*" or "?" in it must not make the extractor open other files as well. Its standard
    // input is /dev/null: an archive that asks for a password fails at once.
    Expected<int> exitStatus = launcher.platform.processes.run(
        extractor, {"x", "-y", "-spd", "-o.", archivePath}, destinationFolder);
    if (!exitStatus) {
        printDiagnostic(exitStatus.error());
        return false;
    }
    return *exitStatus == 0;
}

} // namespace dravik
