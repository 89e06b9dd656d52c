#include "platform/macos/MacFileFlags.h"

#include <cerrno>
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

} // namespace dravik
