#pragma once

#include "platform/BundlePlacement.h"

namespace dravik {

// Linux has no translocation and no privacy protection of folders: the base folder is usable when
// this process may create and remove entries in it.
class LinuxBundlePlacement : public BundlePlacement {
public:
    StartPlace check(const std::string& bundlePath) override;
};

} // namespace dravik
