#pragma once

#include <string>

namespace dravik {

class Launcher;

// Unpacks the release archive with the 7-Zip console program shipped in the bundle's resources.
// The extractor decides the formats it accepts; Dravik relies only on its command line and its
// exit status.
class ArchiveExtractor {
public:
    // <bundle>/Contents/Resources/7zz
    static std::string extractorPath(const Launcher& launcher);

    // Extracts with full paths into the destination folder (created by the extractor when
    // missing), overwriting existing files without a question. Blocks until the extractor ends.
    // True exactly when the extractor started and exited with status 0; shows and logs nothing.
    static bool extractArchive(const Launcher& launcher, const std::string& archivePath,
                               const std::string& destinationFolder);
};

} // namespace dravik
