#include "platform/linux/LinuxRunningApplications.h"

#include "platform/linux/ProcFs.h"

#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <unistd.h>

namespace dravik {

std::vector<std::string> LinuxRunningApplications::names() {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return names;
    const uid_t user = getuid();
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long number = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || number <= 0)
            continue;
        auto pid = static_cast<pid_t>(number);
        if (procfs::realUserId(pid) != user || !procfs::isAlive(pid))
            continue;
        std::string name = procfs::processName(pid);
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

} // namespace dravik
