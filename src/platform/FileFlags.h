#pragma once

#include "base/Expected.h"

#include <string>

namespace dravik {

// What each file system does its own way: the immutable (locked) attribute of files and folders,
// and copies.
class FileFlags {
public:
    virtual ~FileFlags() = default;

    virtual bool isImmutable(const std::string& path) = 0;
    virtual Status setImmutable(const std::string& path, bool on) = 0;
    // Copies a file or a folder tree, symbolic links as links, to a destination that does not
    // exist yet. Where the file system can, the copy shares the source's blocks (a clone).
    virtual Status copyTree(const std::string& source, const std::string& destination) = 0;
};

} // namespace dravik
