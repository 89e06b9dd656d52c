#pragma once

#include "platform/DiskSync.h"

namespace dravik {

// syncfs for each file system that holds one of the files: cheaper than a flush per file when
// there are many, and the same when there are few.
class LinuxDiskSync : public DiskSync {
public:
    Status syncFiles(const std::vector<std::string>& files) override;
};

} // namespace dravik
