#pragma once

// Real archives for the extraction and installation tests, made with the system's 7zz.

#include "support/Fakes.h"

#include <filesystem>
#include <string>
#include <vector>

namespace dravik::test {

inline constexpr const char* kSystemExtractor = DRAVIK_7ZZ;

// Puts the system's extractor into the test bundle's resources, where the launcher looks for it.
inline void installExtractor(TestLauncher& t) {
    std::filesystem::copy_file(kSystemExtractor, t.launcher->platform.bundle.resourcesPath + "/7zz",
                               std::filesystem::copy_options::overwrite_existing);
}

// Archives the given files or folders, each stored under its own name at the archive's top.
inline bool makeArchive(const std::string& archive, const std::vector<std::string>& items) {
    std::vector<std::string> args{"a", "-bso0", "-bsp0", archive};
    args.insert(args.end(), items.begin(), items.end());
    RecordingProcesses maker;
    Expected<int> exitStatus = maker.run(kSystemExtractor, args);
    return exitStatus && *exitStatus == 0;
}

} // namespace dravik::test
