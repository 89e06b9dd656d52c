#pragma once

#include "platform/FileFlags.h"

namespace dravik {

// The user immutable flag (UF_IMMUTABLE, "locked" in the Finder), read and set without
// following a symbolic link; copies through copyfile, cloned on APFS.
class MacFileFlags : public FileFlags {
public:
    bool isImmutable(const std::string& path) override;
    Status setImmutable(const std::string& path, bool on) override;
    Status copyTree(const std::string& source, const std::string& destination) override;
};

} // namespace dravik
