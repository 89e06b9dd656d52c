#include "common/PrivateFolder.h"

#include "common/Diagnostics.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kOwnerOnlyFolder = 0700;
constexpr mode_t kOwnerOnlyFile = 0600;

Status failure(const std::string& path, const std::string& description) {
    return fail(path + " - " + description);
}

} // namespace

Status PrivateFolder::create(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error))
        return {};
    if (fs::path parent = fs::path(path).parent_path(); !parent.empty())
        fs::create_directories(parent, error);
    // Another start of the launcher may make it meanwhile: a folder there is what was wanted.
    if (::mkdir(path.c_str(), kOwnerOnlyFolder) != 0) {
        int code = errno;
        if (!(code == EEXIST && fs::is_directory(path, error)))
            return failure(path, std::strerror(code));
    }
    return {};
}

Status PrivateFolder::secure(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return failure(path, std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return failure(path, std::strerror(ENOTDIR));
    if (info.st_uid != ::geteuid())
        return failure(path, "他のユーザーのフォルダです");
    // Ours: a folder that others may enter is tightened (a read-only volume keeps its mode).
    if ((info.st_mode & 077) != 0)
        ::chmod(path.c_str(), kOwnerOnlyFolder);
    return {};
}

int PrivateFolder::openOwnFile(const std::string& path, int flags) {
    flags |= O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, kOwnerOnlyFile);
    struct stat info {};
    // Linux says ELOOP for a link; some systems say EMLINK or EFTYPE instead.
    if (fd < 0 && (flags & O_CREAT) && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        printDiagnostic(path + " was a symbolic link; it is replaced by a file of its own");
        if (::unlink(path.c_str()) == 0)
            fd = ::open(path.c_str(), flags | O_EXCL, kOwnerOnlyFile);
    }
    return fd;
}

void PrivateFolder::restrictToOwner(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (info.st_mode & 077) != 0)
        ::fchmod(fd, kOwnerOnlyFile);
}

Status PrivateFolder::writeFile(const std::string& path, const std::string& bytes) {
    int fd = openOwnFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0)
        return fail(std::strerror(errno));
    restrictToOwner(fd);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            int saved = errno ? errno : EIO;
            ::close(fd);
            return fail(std::strerror(saved));
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    if (::close(fd) != 0)
        return fail(std::strerror(errno));
    return {};
}

} // namespace dravik
