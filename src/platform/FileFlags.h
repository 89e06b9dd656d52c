#pragma once

#include "common/Expected.h"

#include <string>

namespace dravik {

// The immutable (locked) attribute of files and folders.
class FileFlags {
public:
    virtual ~FileFlags() = default;

    virtual bool isImmutable(const std::string& path) = 0;
    virtual Status setImmutable(const std::string& path, bool on) = 0;
};

} // namespace dravik
