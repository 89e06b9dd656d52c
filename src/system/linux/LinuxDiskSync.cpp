#include "system/linux/LinuxDiskSync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

Status LinuxDiskSync::syncFiles(const std::vector<std::string>& files) {
    std::set<dev_t> synced;
    for (const std::string& file : files) {
        std::string folder = std::filesystem::path(file).parent_path().string();
        int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return fail(folder + ": " + std::strerror(errno));
        struct stat info {};
        int code = ::fstat(fd, &info) == 0 ? 0 : errno;
        if (!code && synced.insert(info.st_dev).second && ::syncfs(fd) != 0)
            code = errno;
        ::close(fd);
        if (code)
            return fail(folder + ": " + std::strerror(code));
    }
    return Status::ok();
}

} // namespace dravik
