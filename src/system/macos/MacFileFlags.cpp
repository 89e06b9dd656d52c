#include "system/macos/MacFileFlags.h"

#include <cerrno>
#include <copyfile.h>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

bool MacFileFlags::isImmutable(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && (info.st_flags & UF_IMMUTABLE) != 0;
}

Status MacFileFlags::setImmutable(const std::string& path, bool on) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return fail(std::strerror(errno));
    if (((info.st_flags & UF_IMMUTABLE) != 0) == on)
        return Status::ok();
    auto flags = on ? (info.st_flags | UF_IMMUTABLE) : (info.st_flags & ~UF_IMMUTABLE);
    if (::lchflags(path.c_str(), flags) != 0)
        return fail(std::strerror(errno));
    return Status::ok();
}

Status MacFileFlags::copyTree(const std::string& source, const std::string& destination) {
    // COPYFILE_CLONE clones each file where the volume can (APFS) and copies it otherwise; it
    // copies symbolic links as links, and the modes, extended attributes and access lists with
    // the data. COPYFILE_RECURSIVE walks a folder.
    if (::copyfile(source.c_str(), destination.c_str(), nullptr,
                   COPYFILE_CLONE | COPYFILE_RECURSIVE) != 0)
        return fail(std::strerror(errno));
    return Status::ok();
}

} // namespace dravik
