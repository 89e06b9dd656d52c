#pragma once

#include "platform/FileFlags.h"

namespace dravik {

// The file system's immutable attribute (FS_IMMUTABLE_FL). Setting it needs the privilege to do
// so; without it the flag reads false and setting reports the error.
class LinuxFileFlags : public FileFlags {
public:
    bool isImmutable(const std::string& path) override;
    Status setImmutable(const std::string& path, bool on) override;
    Status copyTree(const std::string& source, const std::string& destination) override;
};

} // namespace dravik
