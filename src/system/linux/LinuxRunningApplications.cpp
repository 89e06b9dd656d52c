#include "system/linux/LinuxRunningApplications.h"

#include "system/linux/ProcFs.h"

#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace {

// Calls visit with each live process of the current user.
template <typename Visit> void forEachOwnProcess(Visit visit) {
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return;
    const uid_t user = getuid();
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long number = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || number <= 0)
            continue;
        auto pid = static_cast<pid_t>(number);
        if (procfs::realUserId(pid) == user && procfs::isAlive(pid))
            visit(pid);
    }
}

} // namespace

std::vector<std::string> LinuxRunningApplications::names() {
    std::vector<std::string> names;
    forEachOwnProcess([&](pid_t pid) {
        std::string name = procfs::processName(pid);
        if (!name.empty())
            names.push_back(name);
    });
    return names;
}

std::vector<int> LinuxRunningApplications::processesRunning(const std::string& executablePath) {
    std::vector<int> pids;
    struct stat wanted {};
    if (::stat(executablePath.c_str(), &wanted) != 0)
        return pids;
    forEachOwnProcess([&](pid_t pid) {
        // The link in /proc leads to the executable itself, even when it was renamed or replaced.
        struct stat running {};
        std::string exe = "/proc/" + std::to_string(pid) + "/exe";
        if (::stat(exe.c_str(), &running) == 0 && running.st_dev == wanted.st_dev &&
            running.st_ino == wanted.st_ino)
            pids.push_back(static_cast<int>(pid));
    });
    return pids;
}

} // namespace dravik
