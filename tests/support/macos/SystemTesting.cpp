#include "support/SystemTesting.h"

#include <libproc.h>
#include <mach/mach.h>
#include <unistd.h>
#include <vector>

namespace dravik::test {

void useFileSystemUser(uid_t uid) {
    // No per-thread file-system user here: the effective user of the whole process changes, which
    // the saved user id 0 lets us undo.
    if (getuid() == 0)
        seteuid(uid);
}

pid_t processOfExecutable(const std::string& executable) {
    int count = proc_listallpids(nullptr, 0);
    if (count <= 0)
        return -1;
    std::vector<pid_t> pids(static_cast<size_t>(count) + 64);
    count = proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    for (int i = 0; i < count; ++i) {
        char path[PROC_PIDPATHINFO_MAXSIZE];
        if (proc_pidpath(pids[static_cast<size_t>(i)], path, sizeof path) > 0 && executable == path)
            return pids[static_cast<size_t>(i)];
    }
    return -1;
}

int64_t residentBytes() {
    mach_task_basic_info_data_t info{};
    mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
    if (task_info(mach_task_self(), MACH_TASK_BASIC_INFO, reinterpret_cast<task_info_t>(&info),
                  &count) != KERN_SUCCESS)
        return 0;
    return static_cast<int64_t>(info.resident_size);
}

} // namespace dravik::test
