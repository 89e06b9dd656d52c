#include "support/SystemTesting.h"

#include <libproc.h>
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

} // namespace dravik::test
