#pragma once

#include "platform/DiskSync.h"

namespace dravik {

// The Mac has no flush of a whole file system: each file and folder is written out with fsync,
// then one F_FULLFSYNC per volume empties the drive's cache for all of them.
class MacDiskSync : public DiskSync {
public:
    Status syncFiles(const std::vector<std::string>& files) override;
};

} // namespace dravik
