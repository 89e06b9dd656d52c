#include "system/linux/LinuxFileFlags.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dravik {

namespace {

int openForFlags(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
}

} // namespace

bool LinuxFileFlags::isImmutable(const std::string& path) {
    int fd = openForFlags(path);
    if (fd < 0)
        return false;
    int flags = 0;
    bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL);
    ::close(fd);
    return immutable;
}

Status LinuxFileFlags::setImmutable(const std::string& path, bool on) {
    int fd = openForFlags(path);
    if (fd < 0)
        return fail(std::strerror(errno));
    int flags = 0;
    Status result;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        // File systems without attributes have nothing to clear.
        if (on || (errno != ENOTTY && errno != EOPNOTSUPP && errno != ENOSYS))
            result = fail(std::strerror(errno));
    } else if (((flags & FS_IMMUTABLE_FL) != 0) != on) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
            result = fail(std::strerror(errno));
    }
    ::close(fd);
    return result;
}

Status LinuxFileFlags::copyTree(const std::string& source, const std::string& destination) {
    std::error_code error;
    std::filesystem::copy(source, destination,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          error);
    if (error)
        return fail(error.message());
    return Status::ok();
}

} // namespace dravik
