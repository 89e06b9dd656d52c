#pragma once

#include "base/Expected.h"

#include <string>
#include <vector>

namespace dravik {

// Writes what reached the file system to the disk, for many files at once: one barrier instead
// of a flush per file.
class DiskSync {
public:
    virtual ~DiskSync() = default;

    // When this returns, the files and the entries of the folders that hold them are on the disk
    // (the system may write more than that at the same time).
    virtual Status syncFiles(const std::vector<std::string>& files) = 0;
};

} // namespace dravik
