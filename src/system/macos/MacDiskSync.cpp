#include "system/macos/MacDiskSync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace {

// fsync of one item; on success its device, so that the volume can be flushed afterwards.
Status syncItem(const std::string& path, std::map<dev_t, std::string>& volumes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return fail(path + ": " + std::strerror(errno));
    struct stat info {};
    int code = ::fstat(fd, &info) == 0 && ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (code)
        return fail(path + ": " + std::strerror(code));
    volumes.emplace(info.st_dev, path);
    return Status::ok();
}

} // namespace

Status MacDiskSync::syncFiles(const std::vector<std::string>& files) {
    std::map<dev_t, std::string> volumes;
    std::set<std::string> folders;
    for (const std::string& file : files) {
        if (Status synced = syncItem(file, volumes); !synced)
            return synced;
        folders.insert(std::filesystem::path(file).parent_path().string());
    }
    for (const std::string& folder : folders)
        if (Status synced = syncItem(folder, volumes); !synced)
            return synced;
    for (const auto& [device, path] : volumes) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        // F_FULLFSYNC is refused by some file systems (network volumes): fsync was all they had.
        if (fd >= 0) {
            (void)::fcntl(fd, F_FULLFSYNC);
            ::close(fd);
        }
    }
    return Status::ok();
}

} // namespace dravik
